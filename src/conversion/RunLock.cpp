#include "conversion/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

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

bool RunLock::acquire(const std::filesystem::path& lockFile, const std::function<void()>& waiting,
                      std::string& error, const std::atomic<bool>* cancel) {
    if (fd_ >= 0) return true;
    bool saidWaiting = false;
    for (;;) {
        std::error_code ec;
        std::filesystem::create_directories(lockFile.parent_path(), ec);
        const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            error = "Cannot open " + lockFile.string() + ": " + std::strerror(errno);
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK) {
                error = "Cannot lock " + lockFile.string() + ": " + std::strerror(errno);
                ::close(fd);
                return false;
            }
            if (waiting && !saidWaiting) waiting();
            saidWaiting = true;
            // A blocking flock cannot be interrupted by a stop request: poll instead.
            const int mode = cancel ? LOCK_EX | LOCK_NB : LOCK_EX;
            while (::flock(fd, mode) != 0) {
                if (errno == EINTR) continue;
                if (cancel && errno == EWOULDBLOCK) {
                    if (*cancel) {
                        ::close(fd);
                        return false;
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    continue;
                }
                error = "Cannot lock " + lockFile.string() + ": " + std::strerror(errno);
                ::close(fd);
                return false;
            }
        }
        if (stillLinked(fd, lockFile)) {
            fd_ = fd;
            return true;
        }
        ::close(fd);  // the file was replaced while we waited: lock the one that is there now
    }
}

void RunLock::release() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace kelvara
