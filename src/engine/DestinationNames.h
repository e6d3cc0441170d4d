#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ExportOptionValues.h"
#include "engine/MetadataToken.h"
#include "library/MediaItem.h"

namespace kelvara {

// Decides every name a run puts under its destination folder: the name of each playlist or album
// (its folder and playlist file), the folder of each song by the folder layout, and each song's
// file name by the file-name pattern. Touches no disk; one per run, as it remembers the item
// names the run has taken.
class DestinationNames {
  public:
    struct Options {
        PlaylistEncoding encoding = PlaylistEncoding::Utf8;
        FolderLayout layout = FolderLayout::PlaylistFolder;
        bool albumRun = false;
        bool artistFolder = false;  // album runs: album folders inside artist folders
        NamePattern pattern = NamePattern::SourceName;
        std::int64_t trackNumberFormat = 0;
        FormatList customFormat;
    };

    // A playlist's or album's name, sanitized. An album named with the artist-folder option has
    // two levels: `folderParent` (its artist, possibly empty) above `name`.
    struct Item {
        std::optional<std::string> folderParent;
        std::string name;
        // Both levels with "/" between them, or the name alone.
        std::string path() const { return folderParent ? *folderParent + "/" + name : name; }
    };

    explicit DestinationNames(Options options);

    // The naming rule for every folder and file name, in the run's character set.
    std::string sanitize(std::string_view text) const;

    Item playlistItem(const std::string& playlistName) const;
    // `artist` absent counts as empty.
    Item albumItem(const OptionalText& artist, const std::string& title) const;
    // `item` made unique within the run: two items never share a folder or a playlist file, so
    // a later one gets " (2)", " (3)", ... on its last level (compared ignoring case, as FAT and
    // exFAT cards do). An item that sanitizes to nothing is named "unknown".
    Item claim(Item item);

    // The playlist file's name of a claimed item.
    std::string playlistFileName(const Item& item) const;
    // The folder levels of `song` below the destination, each fitted to the file system and
    // none empty; no levels for the destination itself.
    std::vector<std::string> songFolder(const MediaItem& song, const Item& item) const;
    // `song`'s file name from its source file's name, the extension `ext` it gets and its
    // `number` (track number, or position in the playlist). Never "", "." or "..", never a "/".
    std::string songFileName(const MediaItem& song, const std::string& sourceName,
                             const std::string& ext, std::int64_t number) const;

  private:
    std::string folderArtist(const MediaItem& song) const;
    std::string songField(const OptionalText& value) const;
    std::string typedText(std::string text) const;
    std::string patternStem(const MediaItem& song, const std::string& sourceName,
                            std::int64_t number) const;
    std::string customStem(const MediaItem& song, std::int64_t number) const;

    Options options_;
    // Folder and playlist file names taken by the run's items, folded for comparison.
    std::set<std::string> taken_;
};

}  // namespace kelvara
