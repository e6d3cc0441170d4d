#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <functional>

namespace kelvara::test {

// Runs the event loop until `done` holds; false when `ms` pass first. Widgets update through
// queued events, so a test cannot simply check right after it acts.
inline bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace kelvara::test
