#pragma once

#include <filesystem>
#include <string>

namespace kelvara {

// Everything an export run tells the user, and the one thing it asks (the stop request). The
// engine calls these from its worker thread and never waits for the user: a desktop front end
// posts each call to its window thread, the command line prints, tests record.
class ExportUi {
  public:
    virtual ~ExportUi() = default;

    // One line of the log, unchanged. An issue line is also counted by the engine and brings the
    // log forward.
    virtual void logLine(const std::string& line) = 0;
    virtual void issueLine(const std::string& line) = 0;
    // Lines for the developer's console, not for the log.
    virtual void consoleLine(const std::string& line) { (void)line; }

    // The progress sheet: shown at the start of a run (bar at 0, determinate, Cancel shown) and
    // closed at its end.
    virtual void showProgress() = 0;
    virtual void closeProgress() = 0;
    virtual void setProgressMaximum(long maximum) = 0;
    virtual void setProgressValue(long value) = 0;
    // The current playlist or album ("Exporting playlist: ...").
    virtual void setProgressMessage(const std::string& message) = 0;
    // The current song ("Exporting song: ..."); empty clears it.
    virtual void setSmallInfo(const std::string& info) = 0;
    virtual void setSpinner(bool spinning) = 0;

    // The stop request, read before every song and, while the run waits for another run's lock,
    // every 0.1 s from a second thread: it must be safe to read from any thread.
    virtual bool cancelRequested() const = 0;

    virtual void alert(const std::string& message) = 0;
    virtual void notify(const std::string& title, const std::string& text) = 0;
    virtual void openDestination(const std::filesystem::path& folder) = 0;

    // Keeps the computer awake while a run is going.
    virtual void beginPowerInhibit(const std::string& why) = 0;
    virtual void endPowerInhibit() = 0;
};

}  // namespace kelvara
