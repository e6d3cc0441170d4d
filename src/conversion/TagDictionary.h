#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kelvara {

class MediaItem;

// The song values the MP3 encoder hands to the ID3 tag writer. Field names are the dictionary's
// keys ("truckNum" is spelled so on purpose: it is the key the tag writer reads).
struct TagDictionary {
    std::string title;
    std::string album;
    std::string artist;
    std::string genre;
    std::string truckNum;  // the track number alone, or empty
    std::string year;      // decimal, or empty
    long bpm = 0;
    std::optional<std::filesystem::path> artwork;  // a JPEG file; absent when the song has none

    // Values of a media item; missing ones are empty (year and track number below 1 too).
    static TagDictionary fromItem(const MediaItem* item);
};

}  // namespace kelvara
