#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvara {

// What a dry run found a real run would do, song by song: filled by the engine instead of writing
// anything, shown by the command line as text or JSON and by the desktop in a window.
class ExportPlan {
  public:
    struct Song {
        std::string title;
        std::string source;
        // Relative to the destination, '/'-separated; empty when the song cannot be exported.
        std::string destination;
        // "new", "unchanged (skip)", "exists (skip)", "replace", or "cannot export".
        std::string action;
        // "MP3" or "AAC" when converted, empty when copied.
        std::string conversion;
        // Why it cannot be exported, or why it is written again; may be empty.
        std::string detail;
        // What writing it would cost (a conversion's size is estimated from its bit rate).
        std::int64_t bytes = 0;
        bool writes() const { return action == "new" || action == "replace"; }
    };

    std::vector<Song> songs;
    std::vector<std::string> playlists;  // m3u files it would write, relative to the destination
    std::vector<std::string> removals;   // with mirror: files it would remove
    std::string removalNote;             // with mirror: why nothing would be removed, if so

    // One line per song, playlist file and removal, each as the plan's word, then the summary.
    std::vector<std::string> lines() const;
    // "Plan: 3 new, 1 replace, ... ; 12.3 MB to write".
    std::string summary() const;
    std::string toJson() const;
    std::int64_t bytesToWrite() const;
    int count(const std::string& action) const;
    int conversions() const;
};

}  // namespace kelvara
