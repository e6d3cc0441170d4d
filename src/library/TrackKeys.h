#pragma once

#include <optional>
#include <string_view>

namespace kelvara {

// The keys of a track's dict that the library reads; every other key is ignored.
// clang-format off
enum class TrackKey {
    TrackID, Name, Artist, AlbumArtist, Album, Genre, Kind, Composer, Comments, SortName,
    SortArtist, SortAlbum, SortAlbumArtist, SortComposer, TotalTime, TrackNumber, DiscNumber,
    Year, PlayCount, BPM, BitRate, Rating, AlbumRating, AlbumRatingComputed, ReleaseDate,
    DateAdded, DateModified, PlayDateUTC, PersistentID, Location, TrackType, Protected,
    AppleMusic, Compilation, HasVideo, Movie, TVShow, MusicVideo, Podcast, ITunesU,
    ArtworkCount, Size,
};
// clang-format on

// The key named `name` as the file writes it ("Track ID", "Sort Album Artist"); absent for keys
// the library does not read.
std::optional<TrackKey> trackKeyFor(std::string_view name);

}  // namespace kelvara
