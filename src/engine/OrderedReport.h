#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace kelvara {

// Keeps what a run reports in export order while several songs are worked on at once. Each song
// takes a ticket in export order; what is said for a ticket is said at once while every earlier
// ticket is complete, and otherwise held until they are, then said together. Ticket 0 belongs to
// no song and is said at once. Safe to use from any thread; the calls it makes never overlap.
class OrderedReport {
  public:
    using Ticket = std::uint64_t;

    // A ticket after every ticket opened before.
    Ticket open();
    // The song of `ticket` has said everything; what later songs hold may follow.
    void complete(Ticket ticket);
    void say(Ticket ticket, std::function<void()> call);

  private:
    struct Song {
        Ticket ticket = 0;
        bool complete = false;
        std::deque<std::function<void()>> held;
    };
    Song* find(Ticket ticket);

    std::mutex mutex_;
    std::deque<Song> songs_;  // open tickets in export order; the front one speaks at once
    Ticket last_ = 0;
};

}  // namespace kelvara
