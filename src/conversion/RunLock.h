#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/Status.h"
#include "platform/UniqueHandles.h"

namespace kelvara {

// An exclusive flock on a lock file, held from acquire() until release() or destruction. The
// kernel drops it when the process dies, so a killed run never blocks the next one.
class RunLock {
  public:
    RunLock() = default;
    ~RunLock() = default;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock, creating the file (and its folder) when missing. When another process
    // holds it, calls `waiting` once and waits until it is free; with `cancel`, the wait looks at
    // it every 50 ms and gives up, giving false, once it is true. True once held. Fails when the
    // file cannot be opened or locked.
    Result<bool> acquire(const std::filesystem::path& lockFile,
                         const std::function<void()>& waiting,
                         const std::atomic<bool>* cancel = nullptr);
    void release();
    bool isHeld() const { return static_cast<bool>(fd_); }

  private:
    UniqueFd fd_;
};

}  // namespace kelvara
