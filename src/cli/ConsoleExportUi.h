#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>

#include "engine/ExportUi.h"
#include "platform/PowerInhibitor.h"

namespace kelvara::cli {

// Prints the log on stdout (and keeps it for --log), and a live progress line on stderr when it is
// a terminal. Called from the run's worker; the signal thread only sets the stop request and
// prints notices. Every member is safe to call from any thread.
class ConsoleExportUi : public ExportUi {
  public:
    // `verbose`: also print the developer's console lines on stderr.
    explicit ConsoleExportUi(bool verbose);

    void logLine(const std::string& line) override;
    void issueLine(const std::string& line) override { logLine(line); }
    void consoleLine(const std::string& line) override;
    void showProgress() override;
    void closeProgress() override;
    void setProgressMaximum(long maximum) override;
    void setProgressValue(long value) override;
    void setProgressMessage(const std::string& message) override;
    void setSmallInfo(const std::string& info) override;
    void setSpinner(bool) override {}
    bool cancelRequested() const override { return cancel.load(); }
    void alert(const std::string& message) override;
    void notify(const std::string& title, const std::string& text) override;
    void openDestination(const std::filesystem::path&) override {}  // a terminal opens no windows
    void beginPowerInhibit(const std::string& why) override { inhibitor_.begin(why); }
    void endPowerInhibit() override { inhibitor_.end(); }

    // A line on stderr that is not part of the log.
    void notice(const std::string& text);
    // Every log line so far, each ended by "\n".
    std::string log() const;

    // The stop request: the run stops before its next song.
    std::atomic<bool> cancel{false};

  private:
    template <typename F>
    void update(F change);
    void clearProgressLine();
    void drawProgressLine();

    mutable std::mutex mutex_;
    const bool verbose_;
    const bool live_;
    bool showing_ = false, drawn_ = false;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    long maximum_ = 0, value_ = 0;
    std::string message_, info_, log_;
    PowerInhibitor inhibitor_;
};

}  // namespace kelvara::cli
