#include "conversion/RunLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kelvara {

bool RunLock::acquire(const std::filesystem::path& lockFile, const std::function<void()>& waiting,
                      std::string& error) {
    if (fd_ >= 0) return true;
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
        if (waiting) waiting();
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            error = "Cannot lock " + lockFile.string() + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
    }
    fd_ = fd;
    return true;
}

void RunLock::release() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace kelvara
