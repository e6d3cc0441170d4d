#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ExportUi.h"

namespace kelvara::test {

// Records what a run tells the user, for tests to read after the run.
class RecordingExportUi : public ExportUi {
  public:
    void logLine(const std::string& line) override { record(line, false); }
    void issueLine(const std::string& line) override { record(line, true); }
    void consoleLine(const std::string& line) override {
        std::lock_guard lock(mutex_);
        console.push_back(line);
    }
    void showProgress() override { ++progressShown; }
    void closeProgress() override { ++progressClosed; }
    void setProgressMaximum(long maximum) override {
        std::lock_guard lock(mutex_);
        maxima.push_back(maximum);
        events.push_back("maximum " + std::to_string(maximum));
    }
    void setProgressValue(long) override {}
    void setProgressMessage(const std::string& message) override {
        std::lock_guard lock(mutex_);
        messages.push_back(message);
        events.push_back("message " + message);
    }
    void setSmallInfo(const std::string&) override {}
    void setSpinner(bool) override {}
    bool cancelRequested() const override { return cancel.load(); }
    void alert(const std::string& message) override {
        std::lock_guard lock(mutex_);
        alerts.push_back(message);
    }
    void notify(const std::string& title, const std::string& text) override {
        std::lock_guard lock(mutex_);
        notifications.push_back(title + ": " + text);
    }
    void openDestination(const std::filesystem::path& folder) override {
        std::lock_guard lock(mutex_);
        opened.push_back(folder);
    }
    void beginPowerInhibit(const std::string&) override { ++inhibitBegun; }
    void endPowerInhibit() override { ++inhibitEnded; }

    bool logged(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    // Lines in order; issues are also in `issues`. `events` interleaves log lines ("log ...") with
    // the sheet's item changes ("maximum N", "message ...") in the order they were made.
    std::vector<std::string> lines, issues, console, messages, alerts, notifications, events;
    std::vector<long> maxima;
    std::vector<std::filesystem::path> opened;
    std::atomic<int> progressShown{0}, progressClosed{0}, inhibitBegun{0}, inhibitEnded{0};
    std::atomic<bool> cancel{false};
    // Called for every log line, on the run's thread; tests use it to press Cancel mid-run.
    std::function<void(const std::string&)> onLine;

  private:
    void record(const std::string& line, bool issue) {
        {
            std::lock_guard lock(mutex_);
            lines.push_back(line);
            events.push_back("log " + line);
            if (issue) issues.push_back(line);
        }
        if (onLine) onLine(line);
    }
    std::mutex mutex_;
};

}  // namespace kelvara::test
