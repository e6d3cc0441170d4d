#include "engine/MirrorSweep.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/UniqueHandles.h"

namespace kelvara {
namespace {

const std::string kRefusal = "Not removing files no longer exported: ";

std::vector<std::string> componentsOf(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// Opens the folder holding the last of `parts`, one level at a time below `root`, never through a
// link; invalid with errno set (ELOOP or ENOTDIR for a link on the way) when it cannot.
UniqueFd openFolderOf(int root, const std::vector<std::string>& parts) {
    UniqueFd folder(fcntl(root, F_DUPFD_CLOEXEC, 0));
    for (std::size_t i = 0; folder && i + 1 < parts.size(); ++i)
        folder = UniqueFd(openat(folder.get(), parts[i].c_str(),
                                 O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return folder;
}

FileStamp stampOf(const struct stat& info) {
    return {static_cast<std::int64_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

}  // namespace

MirrorSweep::Outcome MirrorSweep::run(const Request& request, const Log& log,
                                      const Confirm& confirm) {
    Outcome outcome;
    const auto refuse = [&](const std::string& why, bool issue) {
        log(why, issue);
        outcome.refused = true;
        return outcome;
    };
    if (request.stopped) return refuse(kRefusal + "the export was stopped.", false);
    if (request.failedSongs > 0)
        return refuse(kRefusal + std::to_string(request.failedSongs) +
                          (request.failedSongs == 1 ? " song" : " songs") +
                          " could not be exported.",
                      false);
    const ExportManifest* earlier = request.earlier;
    if (!earlier || !request.current || earlier->origin() == ExportManifest::Origin::Absent ||
        earlier->origin() == ExportManifest::Origin::Fresh)
        return refuse(kRefusal + "no record of an earlier export in " + request.root.string() + ".",
                      false);
    if (!earlier->permitsRemoval()) return refuse(kRefusal + earlier->loadStatus().message(), true);
    // The root may itself be a link the user chose; nothing below it is followed.
    const UniqueFd root(open(request.root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root)
        return refuse(
            kRefusal + "cannot open " + request.root.string() + ": " + std::strerror(errno), true);

    struct Candidate {
        std::string path;
        std::vector<std::string> parts;
    };
    std::vector<Candidate> candidates;
    for (const ManifestEntry& entry : earlier->entries()) {
        if (request.current->contains(entry.path)) continue;
        // Checked again here: a record built in memory has not been through load().
        if (!ExportManifest::isSafeRelativePath(entry.path)) continue;
        Candidate candidate{entry.path, componentsOf(entry.path)};
        const UniqueFd folder = openFolderOf(root.get(), candidate.parts);
        struct stat info {};
        if (!folder && errno != ENOENT) {
            log("Keeping " + entry.path + ": a folder on its way is a link or cannot be opened",
                false);
            outcome.forgotten.insert(entry.path);
            continue;
        }
        if (!folder || fstatat(folder.get(), candidate.parts.back().c_str(), &info,
                               AT_SYMLINK_NOFOLLOW) != 0) {
            outcome.forgotten.insert(entry.path);  // already gone
            continue;
        }
        if (!S_ISREG(info.st_mode) || stampOf(info) != entry.output) {
            log("Keeping " + entry.path + ": changed since it was exported", false);
            ++outcome.keptChanged;
            outcome.forgotten.insert(entry.path);
            continue;
        }
        candidates.push_back(std::move(candidate));
    }

    if (request.plan) {
        for (const auto& candidate : candidates) {
            log("Would remove file no longer exported: " + candidate.path, false);
            outcome.removed.push_back(candidate.path);
        }
        outcome.removedFiles = static_cast<int>(candidates.size());
        return outcome;
    }
    if (confirm && candidates.size() > confirmAbove) {
        std::vector<std::string> first;
        for (std::size_t i = 0; i < std::min(namesShown, candidates.size()); ++i)
            first.push_back(candidates[i].path);
        if (!confirm(candidates.size(), first))
            return refuse("Not removing " + std::to_string(candidates.size()) +
                              " files no longer exported: not confirmed.",
                          false);
    }

    std::set<std::string> folders;
    for (const auto& candidate : candidates) {
        const UniqueFd folder = openFolderOf(root.get(), candidate.parts);
        log("Removing file no longer exported: " + candidate.path, false);
        if (!folder || unlinkat(folder.get(), candidate.parts.back().c_str(), 0) != 0) {
            log("Cannot remove " + candidate.path + ": " + std::strerror(errno), true);
            ++outcome.failed;
            continue;
        }
        ++outcome.removedFiles;
        outcome.removed.push_back(candidate.path);
        outcome.forgotten.insert(candidate.path);
        std::string parent = candidate.path;
        for (std::size_t slash; (slash = parent.rfind('/')) != std::string::npos;) {
            parent.resize(slash);
            folders.insert(parent);
        }
    }

    // Deepest first, so that a folder is tried after the folders inside it; rmdir itself refuses
    // a folder that still holds anything.
    std::vector<std::string> byDepth(folders.begin(), folders.end());
    std::stable_sort(
        byDepth.begin(), byDepth.end(), [](const std::string& a, const std::string& b) {
            return std::count(a.begin(), a.end(), '/') > std::count(b.begin(), b.end(), '/');
        });
    for (const std::string& path : byDepth) {
        const auto parts = componentsOf(path);
        const UniqueFd folder = openFolderOf(root.get(), parts);
        if (folder && unlinkat(folder.get(), parts.back().c_str(), AT_REMOVEDIR) == 0) {
            log("Removing folder left empty: " + path, false);
            ++outcome.removedFolders;
        }
    }
    return outcome;
}

}  // namespace kelvara
