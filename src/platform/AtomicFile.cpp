#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>

#include "platform/UniqueHandles.h"

namespace kelvara {
namespace {

std::string systemError(const std::string& what, const std::filesystem::path& path) {
    return what + " " + path.string() + ": " + std::strerror(errno);
}

// Six random letters or digits, as mkstemp would pick them.
std::string randomSuffix() {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string suffix(6, ' ');
    for (char& c : suffix) c = kLetters[pick(generator)];
    return suffix;
}

// Creates a new file under an unused name. The mode goes through open so the kernel applies the
// umask (and a folder's default ACL) as for any new file; reading the umask would change it for
// every thread of the process for a moment.
UniqueFd createUnique(const std::filesystem::path& folder, std::filesystem::path& created) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = folder / (std::string(AtomicFile::temporaryPrefix) + randomSuffix());
        UniqueFd fd(
            open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (fd) {
            created = candidate;
            return fd;
        }
        if (errno != EEXIST) return UniqueFd();
    }
    return UniqueFd();  // errno is still EEXIST
}

}  // namespace

Result<std::unique_ptr<AtomicFile>> AtomicFile::create(const std::filesystem::path& finalPath) {
    auto file = std::make_unique<AtomicFile>(Key());
    file->finalPath_ = finalPath;
    std::filesystem::path folder = finalPath.parent_path();
    if (folder.empty()) folder = ".";
    std::filesystem::path temporary;
    file->fd_ = createUnique(folder, temporary);
    if (!file->fd_) return errorStatus(systemError("Cannot create a file in", folder));
    // Held until the file is closed: tells another run cleaning this folder that the file is
    // being written, not left over.
    flock(file->fd_.get(), LOCK_EX);
    file->temporaryPath_ = temporary;
    return file;
}

AtomicFile::~AtomicFile() {
    fd_.reset();
    if (!committed_ && !temporaryPath_.empty()) unlink(temporaryPath_.c_str());
}

Status AtomicFile::write(std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd_.get(), data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errorStatus(systemError("Cannot write", finalPath_));
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return okStatus();
}

Status AtomicFile::commit(bool durable) {
    if (durable && fsync(fd_.get()) != 0)
        return errorStatus(systemError("Cannot write", finalPath_));
    if (fd_.close() != 0) return errorStatus(systemError("Cannot write", finalPath_));
    if (rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0)
        return errorStatus(systemError("Cannot replace", finalPath_));
    committed_ = true;
    if (durable) {
        std::filesystem::path folder = finalPath_.parent_path();
        const UniqueFd dir(
            open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir) fsync(dir.get());
    }
    return okStatus();
}

bool AtomicFile::isTemporaryFileName(std::string_view name) {
    return name.size() == temporaryPrefix.size() + 6 &&
           name.substr(0, temporaryPrefix.size()) == temporaryPrefix;
}

int AtomicFile::removeLeftovers(const std::filesystem::path& folder) {
    int removed = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!isTemporaryFileName(name) ||
            it->symlink_status(ec).type() != std::filesystem::file_type::regular)
            continue;
        // A file whose writer is alive is locked; only an abandoned one can be locked here.
        const UniqueFd fd(open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd) continue;
        if (flock(fd.get(), LOCK_EX | LOCK_NB) == 0 && unlink(it->path().c_str()) == 0) ++removed;
    }
    return removed;
}

Status writeFileAtomically(const std::filesystem::path& file, std::string_view data) {
    auto atomic = AtomicFile::create(file);
    if (!atomic.ok()) return atomic.status();
    if (Status written = (*atomic)->write(data); !written.ok()) return written;
    return (*atomic)->commit(true);
}

bool fileHolds(const std::filesystem::path& file, std::string_view data) {
    struct stat info {};
    if (lstat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) != data.size())
        return false;
    const UniqueFd fd(open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return false;
    std::string block(std::min<std::size_t>(data.size() + 1, 1 << 16), '\0');
    std::size_t compared = 0;
    for (;;) {
        const ssize_t got = read(fd.get(), block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return compared == data.size();
        const auto size = static_cast<std::size_t>(got);
        if (compared + size > data.size() ||
            std::string_view(block.data(), size) != data.substr(compared, size))
            return false;
        compared += size;
    }
}

}  // namespace kelvara
