#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kelvara {
namespace {

std::string systemError(const std::string& what, const std::filesystem::path& path) {
    return what + " " + path.string() + ": " + std::strerror(errno);
}

}  // namespace

std::unique_ptr<AtomicFile> AtomicFile::create(const std::filesystem::path& finalPath,
                                               std::string& error) {
    std::unique_ptr<AtomicFile> file(new AtomicFile());
    file->finalPath_ = finalPath;
    std::filesystem::path folder = finalPath.parent_path();
    if (folder.empty()) folder = ".";
    std::string pattern = (folder / (std::string(temporaryPrefix) + "XXXXXX")).string();
    file->fd_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (file->fd_ < 0) {
        error = systemError("Cannot create a file in", folder);
        return nullptr;
    }
    // Held until the file is closed: tells another run cleaning this folder that the file is
    // being written, not left over.
    flock(file->fd_, LOCK_EX);
    // mkstemp makes the file private; give it the permissions a plain new file would have.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(file->fd_, 0666 & ~mask);
    file->temporaryPath_ = pattern;
    return file;
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) close(fd_);
    if (!committed_ && !temporaryPath_.empty()) unlink(temporaryPath_.c_str());
}

bool AtomicFile::write(std::string_view data, std::string& error) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd_, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            error = systemError("Cannot write", finalPath_);
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool AtomicFile::commit(std::string& error, bool durable) {
    if (durable && fsync(fd_) != 0) {
        error = systemError("Cannot write", finalPath_);
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0) {
        error = systemError("Cannot write", finalPath_);
        return false;
    }
    if (rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0) {
        error = systemError("Cannot replace", finalPath_);
        return false;
    }
    committed_ = true;
    if (durable) {
        std::filesystem::path folder = finalPath_.parent_path();
        const int dirFd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            fsync(dirFd);
            close(dirFd);
        }
    }
    return true;
}

bool AtomicFile::isTemporaryFileName(std::string_view name) {
    return name.size() == temporaryPrefix.size() + 6 && name.substr(0, temporaryPrefix.size()) == temporaryPrefix;
}

int AtomicFile::removeLeftovers(const std::filesystem::path& folder) {
    int removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!isTemporaryFileName(name) || it->symlink_status(ec).type() != std::filesystem::file_type::regular)
            continue;
        // A file whose writer is alive is locked; only an abandoned one can be locked here.
        const int fd = open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && unlink(it->path().c_str()) == 0) ++removed;
        close(fd);
    }
    return removed;
}

bool writeFileAtomically(const std::filesystem::path& file, std::string_view data, std::string& error) {
    auto atomic = AtomicFile::create(file, error);
    return atomic && atomic->write(data, error) && atomic->commit(error, true);
}

}  // namespace kelvara
