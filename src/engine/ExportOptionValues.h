#pragma once

#include <cstdint>

namespace kelvara {

// The named values of the export options. Each value is the integer the preferences store (and
// the command line) holds for it; storedOption / toStored below are the only way between the two.

// Where a run puts the songs, below the destination folder.
enum class FolderLayout : std::int32_t {
    PlaylistFolder = 0,    // a folder per playlist ("Album folder" in an album run)
    MusicArtistAlbum = 1,  // Music/artist/album
    MusicFolder = 2,       // Music
    Root = 3,              // the destination itself
    RootArtistAlbum = 4,   // artist/album
};

// How a song's file is named.
enum class NamePattern : std::int64_t {
    SourceName = 0,              // the source file's own name
    NumberTitle = 1,             // "007 Title"
    ArtistAlbumTitle = 2,        // "Artist - Album - Title"
    NumberArtistAlbumTitle = 3,  // "007 Artist - Album - Title"
    Title = 4,
    Custom = 5,  // the user's own pattern of tokens and separators
};

// The character set of playlist files and of the characters allowed in names.
enum class PlaylistEncoding : std::int32_t {
    Utf8 = 0,
    Latin1 = 1,  // what the user sees as Latin-1 is Windows code page 1252
    Ascii = 2,
};

// How the lines of a playlist file end.
enum class LineEnding : std::int64_t {
    Lf = 0,
    CrLf = 1,
};

// The order of a playlist's songs in a playlist run.
enum class TrackOrder : std::int32_t {
    PlaylistOrder = 0,
    Artist = 1,
    Title = 2,
    Album = 3,
    Year = 4,
    DateAdded = 5,
    PlayCount = 6,
    Shuffle = 7,
};

// The MP3 encoder's trade-off between quality and speed.
enum class Mp3Algorithm : std::int64_t {
    BestQuality = 0,
    Standard = 1,
    Fastest = 2,
};

// What a run exports. Run state only: never stored.
enum class ExportType {
    Playlists = 0,
    Albums = 1,
};

// Every value an option has, and the one that any other stored integer stands for.
template <typename Option>
struct StoredValues;

template <>
struct StoredValues<FolderLayout> {
    static constexpr FolderLayout values[] = {
        FolderLayout::PlaylistFolder, FolderLayout::MusicArtistAlbum, FolderLayout::MusicFolder,
        FolderLayout::Root, FolderLayout::RootArtistAlbum};
    static constexpr FolderLayout otherwise = FolderLayout::PlaylistFolder;
};

template <>
struct StoredValues<NamePattern> {
    static constexpr NamePattern values[] = {NamePattern::SourceName,
                                             NamePattern::NumberTitle,
                                             NamePattern::ArtistAlbumTitle,
                                             NamePattern::NumberArtistAlbumTitle,
                                             NamePattern::Title,
                                             NamePattern::Custom};
    static constexpr NamePattern otherwise = NamePattern::SourceName;
};

template <>
struct StoredValues<PlaylistEncoding> {
    static constexpr PlaylistEncoding values[] = {PlaylistEncoding::Utf8, PlaylistEncoding::Latin1,
                                                  PlaylistEncoding::Ascii};
    static constexpr PlaylistEncoding otherwise = PlaylistEncoding::Utf8;
};

template <>
struct StoredValues<LineEnding> {
    static constexpr LineEnding values[] = {LineEnding::Lf, LineEnding::CrLf};
    static constexpr LineEnding otherwise = LineEnding::Lf;
};

template <>
struct StoredValues<TrackOrder> {
    static constexpr TrackOrder values[] = {TrackOrder::PlaylistOrder, TrackOrder::Artist,
                                            TrackOrder::Title,         TrackOrder::Album,
                                            TrackOrder::Year,          TrackOrder::DateAdded,
                                            TrackOrder::PlayCount,     TrackOrder::Shuffle};
    static constexpr TrackOrder otherwise = TrackOrder::PlaylistOrder;
};

template <>
struct StoredValues<Mp3Algorithm> {
    static constexpr Mp3Algorithm values[] = {Mp3Algorithm::BestQuality, Mp3Algorithm::Standard,
                                              Mp3Algorithm::Fastest};
    // The encoder takes every value but 0 and 1 as its fastest setting.
    static constexpr Mp3Algorithm otherwise = Mp3Algorithm::Fastest;
};

template <typename Option>
constexpr std::int64_t toStored(Option value) {
    return static_cast<std::int64_t>(value);
}

// The value `stored` stands for; compared as a whole, so 2^32 + 1 is not 1.
template <typename Option>
constexpr Option storedOption(std::int64_t stored) {
    for (Option value : StoredValues<Option>::values)
        if (toStored(value) == stored) return value;
    return StoredValues<Option>::otherwise;
}

}  // namespace kelvara
