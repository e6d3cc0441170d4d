#include "platform/Diagnostics.h"

#include <iostream>
#include <mutex>
#include <utility>

namespace kelvara {
namespace {

// The lock also keeps a line from being cut by another thread's on standard error.
std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

std::function<void(std::string_view)>& currentSink() {
    static std::function<void(std::string_view)> sink;
    return sink;
}

}  // namespace

void diagnostic(std::string_view line) {
    const std::lock_guard lock(sinkMutex());
    if (const auto& sink = currentSink()) {
        sink(line);
        return;
    }
    std::cerr << line << '\n';
}

void setDiagnosticSink(std::function<void(std::string_view)> sink) {
    const std::lock_guard lock(sinkMutex());
    currentSink() = std::move(sink);
}

}  // namespace kelvara
