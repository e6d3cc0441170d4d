#pragma once

#include <cstdint>

namespace kelvara {

// Playlist kinds in the numbering the browsing rules use (the playlist filter, the media kinds).
// The XML file numbers them differently; distinguishedKindFromLibraryValue() is the one place
// that translates.
namespace distinguished_kind {
inline constexpr unsigned None = 0;
inline constexpr unsigned Movies = 1;
inline constexpr unsigned TVShows = 2;
inline constexpr unsigned Music = 3;
inline constexpr unsigned Audiobooks = 4;
inline constexpr unsigned Ringtones = 5;
inline constexpr unsigned Podcasts = 7;
inline constexpr unsigned VoiceMemos = 14;
inline constexpr unsigned Purchases = 16;
inline constexpr unsigned ITunesU = 26;
inline constexpr unsigned Music90s = 42;
inline constexpr unsigned MyTopRated = 43;
inline constexpr unsigned Top25MostPlayed = 44;
inline constexpr unsigned RecentlyPlayed = 45;
inline constexpr unsigned RecentlyAdded = 46;
inline constexpr unsigned MusicVideosSmart = 47;
inline constexpr unsigned ClassicalMusic = 48;
inline constexpr unsigned MusicVideos = 49;
inline constexpr unsigned HomeVideos = 50;
inline constexpr unsigned Applications = 51;
}  // namespace distinguished_kind

// The rules' kind of a playlist whose "Distinguished Kind" in the XML file is `value`; 0 for
// values without a counterpart (iTunes DJ, Genius, the "Downloaded" lists) and unknown ones.
unsigned distinguishedKindFromLibraryValue(std::int64_t value);

}  // namespace kelvara
