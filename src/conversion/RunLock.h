#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>

namespace kelvara {

// An exclusive flock on a lock file, held from acquire() until release() or destruction. The
// kernel drops it when the process dies, so a killed run never blocks the next one.
class RunLock {
  public:
    RunLock() = default;
    ~RunLock() { release(); }
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock, creating the file (and its folder) when missing. When another process
    // holds it, calls `waiting` once and waits until it is free; with `cancel`, the wait looks at
    // it every 50 ms and gives up, returning false with `error` untouched, once it is true.
    // False with `error` when the file cannot be opened or locked.
    bool acquire(const std::filesystem::path& lockFile, const std::function<void()>& waiting,
                 std::string& error, const std::atomic<bool>* cancel = nullptr);
    void release();
    bool isHeld() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace kelvara
