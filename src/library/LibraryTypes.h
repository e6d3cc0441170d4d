#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace kelvara {

// Stable identity of every library object: the library's "Persistent ID", 16 hex digits.
using PersistentID = std::uint64_t;

// Dates in the library are UTC instants with second resolution.
using Date = std::chrono::sys_seconds;

// Text values that the library may leave out; an absent value differs from an empty one.
using OptionalText = std::optional<std::string>;

// Media kinds, in the numbering the browsing rules use; the XML file has no such number.
enum class MediaKind : unsigned {
    Song = 2,
    Movie = 3,
    Podcast = 4,
    Audiobook = 5,
    MusicVideo = 7,
    TVShow = 8,
    HomeVideo = 12,
    Ringtone = 14,
    IOSApplication = 16,
    VoiceMemo = 17,
    ITunesU = 18,
    Book = 19,
    PDFBook = 20,
};

// "%016llX", the form the library writes and the command line prints.
std::string persistentIDToHex(PersistentID id);
std::optional<PersistentID> persistentIDFromHex(std::string_view hex);

}  // namespace kelvara
