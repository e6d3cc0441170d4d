#include "platform/FileCopy.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/UniqueHandles.h"

namespace kelvara {
namespace {

std::string reason(const std::string& what, const std::filesystem::path& path, int error) {
    return what + " " + path.string() + ": " + std::strerror(error);
}

bool aborted(const std::atomic<bool>* abort) {
    return abort && abort->load(std::memory_order_relaxed);
}

std::string notRegularReason(const std::filesystem::path& path) {
    return "Cannot read " + path.string() + ": it is not a regular file";
}

// Opens for reading without blocking on a FIFO (or a device that waits for a peer); the caller
// checks the type before the first read.
UniqueFd openNonBlocking(const std::filesystem::path& path) {
    return UniqueFd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
}

// Large chunks keep the number of system calls low; small enough that a stop is felt at once.
constexpr std::size_t kChunk = 16u << 20;

bool copyWithReadWrite(int in, int out, off_t offset, const std::atomic<bool>* abort,
                       int& failure) {
    std::vector<char> buffer(1u << 20);
    if (lseek(in, offset, SEEK_SET) < 0 || lseek(out, offset, SEEK_SET) < 0) {
        failure = errno;
        return false;
    }
    while (true) {
        if (aborted(abort)) {
            failure = ECANCELED;
            return false;
        }
        const ssize_t got = read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            failure = errno;
            return false;
        }
        if (got == 0) return true;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put =
                write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) {
                failure = errno;
                return false;
            }
            done += put;
        }
    }
}

}  // namespace

std::optional<std::string> notARegularFile(const std::filesystem::path& source) {
    const UniqueFd in(openNonBlocking(source));
    struct stat info {};
    if (in.get() < 0 || fstat(in.get(), &info) != 0) return std::nullopt;
    if (S_ISREG(info.st_mode)) return std::nullopt;
    return notRegularReason(source);
}

Status copyFileAtomically(const std::filesystem::path& source,
                          const std::filesystem::path& destination,
                          const std::atomic<bool>* abort) {
    const UniqueFd in(openNonBlocking(source));
    if (in.get() < 0) return errorStatus(reason("Cannot read", source, errno));
    struct stat info {};
    if (fstat(in.get(), &info) != 0) return errorStatus(reason("Cannot read", source, errno));
    if (!S_ISREG(info.st_mode)) return errorStatus(notRegularReason(source));
    // A regular file never blocks; plain blocking reads from here on.
    const int flags = fcntl(in.get(), F_GETFL);
    if (flags < 0 || fcntl(in.get(), F_SETFL, flags & ~O_NONBLOCK) < 0)
        return errorStatus(reason("Cannot read", source, errno));
    posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    auto created = AtomicFile::create(destination);
    if (!created.ok()) return created.status();
    const auto& out = *created;

    int failure = 0;
    bool copied = ioctl(out->fd(), FICLONE, in.get()) == 0;
    if (!copied) {
        // copy_file_range lets the kernel copy (or share extents) without passing the data through
        // user space; read/write is the fallback where it is not supported across these files.
        off_t offset = 0;
        const off_t size = info.st_size;
        bool fallback = false;
        while (offset < size) {
            if (aborted(abort)) {
                failure = ECANCELED;
                break;
            }
            const std::size_t want =
                static_cast<std::size_t>(std::min<off_t>(size - offset, kChunk));
            const ssize_t done = copy_file_range(in.get(), nullptr, out->fd(), nullptr, want, 0);
            if (done < 0 && errno == EINTR) continue;
            if (done < 0) {
                if (offset == 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                                    errno == EINVAL || errno == EBADF)) {
                    fallback = true;
                } else {
                    failure = errno;
                }
                break;
            }
            if (done == 0) break;  // the file shrank while we copied; take what is there
            offset += done;
        }
        if (fallback) {
            copied = copyWithReadWrite(in.get(), out->fd(), 0, abort, failure);
        } else if (!failure && offset < size) {
            // copy_file_range stopped early (file grew or shrank); finish in user space.
            copied = copyWithReadWrite(in.get(), out->fd(), offset, abort, failure);
        } else {
            copied = failure == 0;
        }
    }
    if (!copied) {
        // The temporary file goes with `out`.
        return errorStatus(failure == ECANCELED
                               ? "Copy of " + source.string() + " stopped"
                               : "Cannot copy " + source.string() + " to " + destination.string() +
                                     ": " + std::strerror(failure ? failure : EIO));
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    futimens(out->fd(), times);
    return out->commit();
}

}  // namespace kelvara
