#include "listing/ListingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kelvara {
namespace {

std::string cannotOpen(const std::filesystem::path& target, const std::string& reason) {
    return "cannot open " + target.string() + " for writing: " + reason;
}

}  // namespace

Result<std::unique_ptr<AtomicFile>> createListingFile(const std::filesystem::path& target) {
    struct stat info {};
    if (stat(target.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return errorStatus(cannotOpen(target, std::strerror(EISDIR)));
        if (!S_ISREG(info.st_mode)) return errorStatus(cannotOpen(target, "not a regular file"));
        // Root passes every access check, so for root the mode bits decide.
        const bool writable = geteuid() == 0
                                  ? (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0
                                  : faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0;
        if (!writable)
            return errorStatus(cannotOpen(target, std::strerror(geteuid() == 0 ? EACCES : errno)));
    }
    std::filesystem::path folder = target.parent_path();
    AtomicFile::removeLeftovers(folder.empty() ? "." : folder);
    return AtomicFile::create(target);
}

}  // namespace kelvara
