#include "listing/ListingSongs.h"

namespace kelvara {

std::vector<const MediaItem*> ListingSongs::fromPlaylists(
    const std::vector<const Playlist*>& playlists) {
    std::vector<const MediaItem*> songs;
    for (const Playlist* playlist : playlists)
        songs.insert(songs.end(), playlist->items().begin(), playlist->items().end());
    return songs;
}

std::optional<std::vector<const MediaItem*>> ListingSongs::fromAlbums(
    AlbumCatalogue& catalogue, const std::vector<std::shared_ptr<KvrAlbumInfo>>& albums,
    const Progress& progress) {
    std::vector<const MediaItem*> songs;
    for (std::size_t i = 0; i < albums.size(); ++i) {
        if (progress && !progress(i, albums.size())) return std::nullopt;
        const auto& albumSongs = catalogue.getSongsFromAlbumInfo(*albums[i]);
        songs.insert(songs.end(), albumSongs.begin(), albumSongs.end());
    }
    if (progress && !progress(albums.size(), albums.size())) return std::nullopt;
    return songs;
}

}  // namespace kelvara
