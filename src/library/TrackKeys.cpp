#include "library/TrackKeys.h"

#include <cstring>

namespace kelvara {
namespace {

// Whether `name`, already known to have the literal's length, is that literal: a compare of
// known length, which the compiler turns into a few word compares.
template <std::size_t N>
inline bool is(std::string_view name, const char (&literal)[N]) {
    return std::memcmp(name.data(), literal, N - 1) == 0;
}

}  // namespace

// Found by length first: this runs for every key of every track, millions of times in a large
// library.
std::optional<TrackKey> trackKeyFor(std::string_view name) {
    switch (name.size()) {
        case 3:
            if (is(name, "BPM")) return TrackKey::BPM;
            break;
        case 4:
            if (is(name, "Name")) return TrackKey::Name;
            if (is(name, "Kind")) return TrackKey::Kind;
            if (is(name, "Year")) return TrackKey::Year;
            if (is(name, "Size")) return TrackKey::Size;
            break;
        case 5:
            if (is(name, "Album")) return TrackKey::Album;
            if (is(name, "Genre")) return TrackKey::Genre;
            if (is(name, "Movie")) return TrackKey::Movie;
            break;
        case 6:
            if (is(name, "Artist")) return TrackKey::Artist;
            if (is(name, "Rating")) return TrackKey::Rating;
            break;
        case 7:
            if (is(name, "TV Show")) return TrackKey::TVShow;
            if (is(name, "Podcast")) return TrackKey::Podcast;
            if (is(name, "iTunesU")) return TrackKey::ITunesU;
            break;
        case 8:
            if (is(name, "Track ID")) return TrackKey::TrackID;
            if (is(name, "Composer")) return TrackKey::Composer;
            if (is(name, "Comments")) return TrackKey::Comments;
            if (is(name, "Bit Rate")) return TrackKey::BitRate;
            if (is(name, "Location")) return TrackKey::Location;
            break;
        case 9:
            if (is(name, "Sort Name")) return TrackKey::SortName;
            if (is(name, "Protected")) return TrackKey::Protected;
            if (is(name, "Has Video")) return TrackKey::HasVideo;
            break;
        case 10:
            if (is(name, "Sort Album")) return TrackKey::SortAlbum;
            if (is(name, "Total Time")) return TrackKey::TotalTime;
            if (is(name, "Play Count")) return TrackKey::PlayCount;
            if (is(name, "Date Added")) return TrackKey::DateAdded;
            if (is(name, "Track Type")) return TrackKey::TrackType;
            break;
        case 11:
            if (is(name, "Sort Artist")) return TrackKey::SortArtist;
            if (is(name, "Disc Number")) return TrackKey::DiscNumber;
            if (is(name, "Apple Music")) return TrackKey::AppleMusic;
            if (is(name, "Compilation")) return TrackKey::Compilation;
            if (is(name, "Music Video")) return TrackKey::MusicVideo;
            break;
        case 12:
            if (is(name, "Album Artist")) return TrackKey::AlbumArtist;
            if (is(name, "Track Number")) return TrackKey::TrackNumber;
            if (is(name, "Album Rating")) return TrackKey::AlbumRating;
            if (is(name, "Release Date")) return TrackKey::ReleaseDate;
            break;
        case 13:
            if (is(name, "Sort Composer")) return TrackKey::SortComposer;
            if (is(name, "Date Modified")) return TrackKey::DateModified;
            // "Play Date" is local time in seconds since 1904; the UTC date is the one to read.
            if (is(name, "Play Date UTC")) return TrackKey::PlayDateUTC;
            if (is(name, "Persistent ID")) return TrackKey::PersistentID;
            if (is(name, "Artwork Count")) return TrackKey::ArtworkCount;
            break;
        case 17:
            if (is(name, "Sort Album Artist")) return TrackKey::SortAlbumArtist;
            break;
        case 21:
            if (is(name, "Album Rating Computed")) return TrackKey::AlbumRatingComputed;
            break;
    }
    return std::nullopt;
}

}  // namespace kelvara
