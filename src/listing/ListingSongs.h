#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "library/AlbumCatalogue.h"
#include "library/MediaItem.h"
#include "library/Playlist.h"

namespace kelvara {

// The songs a listing covers, gathered from the chosen playlists or albums.
class ListingSongs {
  public:
    // The items of each playlist in playlist order, one playlist after the other: a song in two
    // playlists is listed twice.
    static std::vector<const MediaItem*> fromPlaylists(
        const std::vector<const Playlist*>& playlists);

    // Reports (albums done, albums in all) before each album and at the end; returning false
    // stops the gathering.
    using Progress = std::function<bool(std::size_t done, std::size_t total)>;

    // The songs of each album in turn. Absent when `progress` stopped it.
    static std::optional<std::vector<const MediaItem*>> fromAlbums(
        AlbumCatalogue& catalogue, const std::vector<std::shared_ptr<KvrAlbumInfo>>& albums,
        const Progress& progress = {});
};

}  // namespace kelvara
