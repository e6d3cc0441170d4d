#include "cli/ConsoleExportUi.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "engine/FileNameRules.h"
#include "platform/DesktopNotifier.h"

namespace kelvara::cli {
namespace {

// Titles and paths may hold line breaks and escape sequences; the terminal gets neither.
std::string terminalText(const std::string& text) {
    return FileNameRules::withoutControlCharacters(text, " ");
}

}  // namespace

ConsoleExportUi::ConsoleExportUi(bool verbose)
    : verbose_(verbose), live_(isatty(STDERR_FILENO) == 1) {}

void ConsoleExportUi::logLine(const std::string& line) {
    std::lock_guard lock(mutex_);
    clearProgressLine();
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    log_ += line + "\n";
    drawProgressLine();
}

void ConsoleExportUi::consoleLine(const std::string& line) {
    if (!verbose_) return;
    std::lock_guard lock(mutex_);
    clearProgressLine();
    std::cerr << terminalText(line) << "\n";
    drawProgressLine();
}

void ConsoleExportUi::showProgress() {
    std::lock_guard lock(mutex_);
    started_ = std::chrono::steady_clock::now();
    showing_ = true;
}

void ConsoleExportUi::closeProgress() {
    std::lock_guard lock(mutex_);
    clearProgressLine();
    showing_ = false;
}

template <typename F>
void ConsoleExportUi::update(F change) {
    std::lock_guard lock(mutex_);
    change();
    drawProgressLine();
}

void ConsoleExportUi::setProgressMaximum(long maximum) {
    update([&] { maximum_ = maximum; });
}
void ConsoleExportUi::setProgressValue(long value) {
    update([&] { value_ = value; });
}
void ConsoleExportUi::setProgressMessage(const std::string& message) {
    update([&] { message_ = message; });
}
void ConsoleExportUi::setSmallInfo(const std::string& info) {
    update([&] { info_ = info; });
}

void ConsoleExportUi::alert(const std::string& message) {
    std::lock_guard lock(mutex_);
    clearProgressLine();
    std::cerr << "kelvara-cli: " << terminalText(message) << "\n";
}

void ConsoleExportUi::notify(const std::string& title, const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        std::cerr << title << ": " << text << "\n";
    }
    // Someone at a desktop may have turned to other work during a long run.
    if (live_) postDesktopNotification(title, text);
}

void ConsoleExportUi::notice(const std::string& text) {
    std::lock_guard lock(mutex_);
    clearProgressLine();
    std::cerr << text << "\n";
    drawProgressLine();
}

std::string ConsoleExportUi::log() const {
    std::lock_guard lock(mutex_);
    return log_;
}

void ConsoleExportUi::clearProgressLine() {
    if (live_ && drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
}

// "Exporting playlist: Mix | song 3 of 12 | Exporting song: Intro | 01:05", redrawn in place.
void ConsoleExportUi::drawProgressLine() {
    if (!live_ || !showing_) return;
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::steady_clock::now() - started_)
                             .count();
    std::string line = terminalText(message_);
    if (maximum_ > 0)
        line += " | song " + std::to_string(std::min(value_ + 1, maximum_)) + " of " +
                std::to_string(maximum_);
    if (!info_.empty()) line += " | " + terminalText(info_);
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, " | %02lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    line += elapsed;
    std::fputs(("\r\033[K" + line).c_str(), stderr);
    std::fflush(stderr);
    drawn_ = true;
}

}  // namespace kelvara::cli
