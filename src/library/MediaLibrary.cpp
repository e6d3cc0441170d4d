#include "library/MediaLibrary.h"

namespace kelvara {

Artist& MediaLibrary::addArtist() { return artists_.emplace_back(); }

Album& MediaLibrary::addAlbum() { return albums_.emplace_back(); }

MediaItem& MediaLibrary::addMediaItem() {
    MediaItem& item = items_.emplace_back();
    itemList_.push_back(&item);
    return item;
}

Playlist& MediaLibrary::addPlaylist() {
    Playlist& playlist = playlists_.emplace_back();
    playlistList_.push_back(&playlist);
    return playlist;
}

}  // namespace kelvara
