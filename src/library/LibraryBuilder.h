#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "library/HashIndex.h"
#include "library/LocationMapper.h"
#include "library/MediaKindRules.h"
#include "library/MediaLibrary.h"
#include "library/TrackIDIndex.h"
#include "library/TrackReader.h"

namespace kelvara {

// Fills a MediaLibrary from the "Tracks" and "Playlists" of a library file: one media item per
// track, albums and artists shared by the tracks that agree on them, playlists that refer to the
// items. Call in this order: readTracks (any number of times), startMapping, then readPlaylists
// and mapLocations, then finish. Does not own the library; it must outlive the builder.
class LibraryBuilder {
  public:
    explicit LibraryBuilder(MediaLibrary& library) : library_(library) {}

    // Room for about `tracks` tracks, to spare regrowing.
    void reserve(std::size_t tracks);

    // Reads the track dicts among the children of `tracks` (a "Tracks" dict, or a slice of one).
    void readTracks(const pugi::xml_node& tracks);
    // Reads the playlist dicts of a "Playlists" array.
    void readPlaylists(const pugi::xml_node& playlists);

    // Maps the locations once the music folder is known (it may come after the tracks). Call
    // mapLocations() from any number of threads at once, readPlaylists() may run meanwhile;
    // each item is mapped by exactly one of them.
    void startMapping(const LibraryOpenOptions& options);
    void mapLocations();

    // Derives the media kinds; every location must have been mapped.
    void finish();

  private:
    void readTrack(const pugi::xml_node& dict, std::string_view outerKey);
    std::uint64_t albumHash(const AlbumParts& album);
    void readLocation(MediaItem& item, TrackFields& track) const;
    // `hash` is the name's std::hash.
    Artist* artistNamed(const OptionalText& name, std::uint64_t hash, const OptionalText& sortName);
    Album* albumFor(AlbumParts&& parts, std::uint64_t hash);
    void keepTrack(MediaItem& item, TrackFields&& track, std::string_view outerKey);

    void readPlaylist(const pugi::xml_node& dict);
    void readPlaylistItems(const pugi::xml_node& array, std::vector<const MediaItem*>& items);
    void givePlaylistID(Playlist& playlist);

    MediaLibrary& library_;
    std::vector<MediaItem*> items_;
    std::vector<KindTraits> traits_;  // one per item, in the same order
    TrackIDIndex trackIDs_;
    HashIndex<Artist> artists_;  // by name
    HashIndex<Album> albums_;    // by the fields that tell albums apart (see albumHash)
    std::string albumKey_;       // reused: one allocation for the whole library
    std::unordered_set<const MediaItem*> audiobooks_, voiceMemos_, tones_;
    std::unordered_map<std::string, unsigned>
        playlistsWithoutID_;  // playlists without an ID, per name
    std::optional<LocationMapper> mapper_;
    std::atomic<std::size_t> nextToMap_{0};
};

}  // namespace kelvara
