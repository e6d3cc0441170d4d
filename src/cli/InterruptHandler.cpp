#include "cli/InterruptHandler.h"

#include <pthread.h>
#include <unistd.h>

#include <thread>

#include "cli/CliContext.h"

namespace kelvara::cli {

InterruptHandler::InterruptHandler() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    // Blocked before the run's worker exists, so only the watching thread receives them.
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
}

void InterruptHandler::forget() {
    std::lock_guard lock(state().mutex);
    state().ui = nullptr;
    state().manager = nullptr;
}

void InterruptHandler::watch(ConsoleExportUi& ui, KvExportManager& manager) {
    {
        std::lock_guard lock(state().mutex);
        state().ui = &ui;
        state().manager = &manager;
    }
    // Detached: it lives until the process ends, blocked in sigwait.
    std::thread([set = set_] {
        int interrupts = 0;
        while (true) {
            int signal = 0;
            if (sigwait(&set, &signal) != 0) continue;
            std::lock_guard lock(state().mutex);
            ++interrupts;
            if (!state().ui || interrupts > 2) _exit(kExitStopped);
            state().ui->cancel = true;
            if (signal == SIGINT && interrupts == 1)
                state().ui->notice(
                    "Stopping after the current song (press Ctrl-C again to stop at once)");
            else
                state().manager->abort();
        }
    }).detach();
}

InterruptHandler::State& InterruptHandler::state() {
    static State s;
    return s;
}

}  // namespace kelvara::cli
