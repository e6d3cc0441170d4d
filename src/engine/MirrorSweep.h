#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/ExportManifest.h"

namespace kelvara {

// After a run, removes the files an earlier run recorded and this run no longer produces, and the
// folders that leaves empty, so a stick stays in step with the selection. Only what the earlier
// record vouches for is removed: a file not in it, or in it but changed since (another size or
// time), or reached through a link, stays; so does every folder that still holds anything, and the
// destination root itself. Nothing under the root is followed through a link.
//
// Refuses entirely (removes nothing, says why in one line) when the run was stopped, when a song
// failed, when the earlier record is missing, unreadable or from a newer version, when the root
// cannot be opened, or when the confirmation is declined.
class MirrorSweep {
  public:
    // More files than this to remove asks the confirmation first.
    static constexpr std::size_t confirmAbove = 20;
    // How many names the confirmation is shown.
    static constexpr std::size_t namesShown = 10;

    struct Request {
        std::filesystem::path root;
        const ExportManifest* earlier = nullptr;  // the record as the run found it
        const ExportManifest* current = nullptr;  // what this run produced (skipped files too)
        bool stopped = false;
        int failedSongs = 0;
        bool plan = false;  // dry run: say what would go, touch nothing
    };

    // Each line to log; `issue` for those that count as problems.
    using Log = std::function<void(const std::string& line, bool issue)>;
    // Asked before removing more than confirmAbove files: the count and the first names; true
    // to go on.
    using Confirm = std::function<bool(std::size_t count, const std::vector<std::string>& first)>;

    struct Outcome {
        bool refused = false;
        int removedFiles = 0;  // in plan mode: that would be removed
        int removedFolders = 0;
        int keptChanged = 0;  // ours once, changed by the user since
        int failed = 0;
        // The files removed (or, in plan mode, to be removed), relative to the root.
        std::vector<std::string> removed;
        // Earlier entries the next record must not carry over: removed, gone, or no longer ours.
        std::set<std::string> forgotten;
    };

    static Outcome run(const Request& request, const Log& log, const Confirm& confirm = {});
};

}  // namespace kelvara
