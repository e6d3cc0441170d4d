#pragma once

#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "library/Album.h"
#include "library/Artist.h"
#include "library/CheckedFlags.h"
#include "library/MediaItem.h"
#include "library/Playlist.h"
#include "platform/Status.h"

namespace kelvara {

// A prefix of the library's locations and the local folder that stands in for it. The prefix is
// either a file URL ("file:///Users/demo/Music/") or a decoded path ("/Users/demo/Music").
struct LocationMapping {
    std::string from;
    std::filesystem::path to;
};

struct LibraryOpenOptions {
    // Replaces the library's own "Music Folder" prefix.
    std::optional<std::filesystem::path> musicFolder;
    // Further prefix pairs, tried in order after the music folder.
    std::vector<LocationMapping> mappings;
};

// The open library, read from the XML file that iTunes or Music writes. Owns every playlist,
// media item, album and artist; the pointers it hands out live as long as the library.
class MediaLibrary {
  public:
    MediaLibrary() = default;
    MediaLibrary(const MediaLibrary&) = delete;
    MediaLibrary& operator=(const MediaLibrary&) = delete;

    // Reads a library file. A failure's message names the file (and, for XML errors, the byte
    // offset).
    static Result<std::unique_ptr<MediaLibrary>> initWithContentsOfFile(
        const std::filesystem::path& file, const LibraryOpenOptions& options);

    const std::vector<const Playlist*>& allPlaylists() const { return playlistList_; }
    const std::vector<const MediaItem*>& allMediaItems() const { return itemList_; }

    // The library's "Music Folder" URL as written in the file; absent in some exports.
    const OptionalText& musicFolder() const { return musicFolder_; }
    void setMusicFolder(OptionalText v) { musicFolder_ = std::move(v); }

    const std::filesystem::path& sourceFile() const { return sourceFile_; }
    void setSourceFile(std::filesystem::path v) { sourceFile_ = std::move(v); }

    CheckedFlags& checkedFlags() const { return checkedFlags_; }

    // Building, for the reader and for tests. Objects keep their address for the library's life.
    Artist& addArtist();
    Album& addAlbum();
    MediaItem& addMediaItem();
    Playlist& addPlaylist();

  private:
    std::deque<Artist> artists_;
    std::deque<Album> albums_;
    std::deque<MediaItem> items_;
    std::deque<Playlist> playlists_;
    std::vector<const MediaItem*> itemList_;
    std::vector<const Playlist*> playlistList_;
    OptionalText musicFolder_;
    std::filesystem::path sourceFile_;
    mutable CheckedFlags checkedFlags_;
};

}  // namespace kelvara
