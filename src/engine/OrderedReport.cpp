#include "engine/OrderedReport.h"

namespace kelvara {

OrderedReport::Ticket OrderedReport::open() {
    std::lock_guard lock(mutex_);
    songs_.push_back(Song{++last_, false, {}});
    return last_;
}

OrderedReport::Song* OrderedReport::find(Ticket ticket) {
    for (Song& song : songs_)
        if (song.ticket == ticket) return &song;
    return nullptr;
}

void OrderedReport::complete(Ticket ticket) {
    std::lock_guard lock(mutex_);
    Song* song = find(ticket);
    if (!song) return;
    song->complete = true;
    // Songs that finished out of order speak once every song before them has.
    while (!songs_.empty()) {
        Song& front = songs_.front();
        for (auto& call : front.held) call();
        front.held.clear();
        if (!front.complete) break;
        songs_.pop_front();
    }
}

void OrderedReport::say(Ticket ticket, std::function<void()> call) {
    std::lock_guard lock(mutex_);
    Song* song = ticket == 0 ? nullptr : find(ticket);
    if (song && song != &songs_.front()) {
        song->held.push_back(std::move(call));
        return;
    }
    call();
}

}  // namespace kelvara
