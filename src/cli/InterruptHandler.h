#pragma once

#include <signal.h>

#include <mutex>

#include "cli/ConsoleExportUi.h"
#include "engine/KvExportManager.h"

namespace kelvara::cli {

// Ctrl-C once: stop before the next song. Twice (or SIGTERM): stop at once; the song in flight
// is dropped with its temporary file. A third time ends the process outright.
// Make it before any thread starts, so that only its own thread receives the two signals.
class InterruptHandler {
  public:
    InterruptHandler();
    // Hands the signals of the run of `manager`, which reports to `ui`, to a thread of their own.
    void watch(ConsoleExportUi& ui, KvExportManager& manager);
    // The run is over: a late signal must not reach the objects about to go away.
    void forget();

  private:
    struct State {
        std::mutex mutex;
        ConsoleExportUi* ui = nullptr;
        KvExportManager* manager = nullptr;
    };
    // Shared with the watching thread, which outlives every handler.
    static State& state();

    sigset_t set_{};
};

}  // namespace kelvara::cli
