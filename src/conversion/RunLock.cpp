#include "conversion/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace kelvara {

namespace {

// Whether `fd` is still the file at `path`: a lock taken on a file that was removed or replaced
// meanwhile would not exclude a run that opens the new one.
bool stillLinked(int fd, const std::filesystem::path& path) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

Result<bool> RunLock::acquire(const std::filesystem::path& lockFile,
                              const std::function<void()>& waiting,
                              const std::atomic<bool>* cancel) {
    if (fd_) return true;
    bool saidWaiting = false;
    for (;;) {
        std::error_code ec;
        std::filesystem::create_directories(lockFile.parent_path(), ec);
        UniqueFd fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        if (!fd)
            return errorStatus("Cannot open " + lockFile.string() + ": " + std::strerror(errno));
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK)
                return errorStatus("Cannot lock " + lockFile.string() + ": " +
                                   std::strerror(errno));
            if (waiting && !saidWaiting) waiting();
            saidWaiting = true;
            // A blocking flock cannot be interrupted by a stop request: poll instead.
            const int mode = cancel ? LOCK_EX | LOCK_NB : LOCK_EX;
            while (::flock(fd.get(), mode) != 0) {
                if (errno == EINTR) continue;
                if (cancel && errno == EWOULDBLOCK) {
                    if (*cancel) return false;
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    continue;
                }
                return errorStatus("Cannot lock " + lockFile.string() + ": " +
                                   std::strerror(errno));
            }
        }
        if (stillLinked(fd.get(), lockFile)) {
            fd_ = std::move(fd);
            return true;
        }
        // The file was replaced while we waited: `fd` closes, and we lock the one there now.
    }
}

void RunLock::release() {
    if (!fd_) return;
    ::flock(fd_.get(), LOCK_UN);
    fd_.reset();
}

}  // namespace kelvara
