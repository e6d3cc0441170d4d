#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/KvrAlbumInfo.h"
#include "library/MediaLibrary.h"
#include "library/PlaylistBrowser.h"
#include "library/SongIndex.h"
#include "platform/PreferencesStore.h"

namespace kelvara {

// The album page without its window: album records built from the library's songs, their ticks
// and the remembered selection. Used by the desktop page and the CLI.
class AlbumCatalogue {
  public:
    AlbumCatalogue(const MediaLibrary* library, PreferencesStore& preferences);

    // Builds the records from every song (media kind 2), sorted by title the way a file browser
    // sorts, and restores ticks from "SelectedAlbums" and the selection from
    // "SelectedAlbumTitle"/"SelectedAlbumArtist".
    void loadAlbums();

    const std::vector<std::shared_ptr<KvrAlbumInfo>>& albums() const { return albums_; }
    const std::vector<const MediaItem*>& allSongs() const { return allSongs_; }
    std::size_t selectedRow() const { return selectedRow_; }

    // The record's songs, looked up once; also hands the song list to the library session.
    // Ordered by track number only, as the export takes them.
    const std::vector<const MediaItem*>& getSongsFromAlbumInfo(KvrAlbumInfo& album);

    // The order of the album song list: by disc number, then track number; a number that is not
    // set (0) comes before the others, and songs equal in both keep their order.
    static std::vector<const MediaItem*> songListOrder(std::vector<const MediaItem*> songs);

    void selectAll();
    void unSelectAll();
    void tickRange(std::size_t clickedRow);
    // Writes "TITLE - ARTIST" of the ticked shown records to "SelectedAlbums" and flushes.
    void persistTicks();
    void selectRow(std::size_t row);

    std::vector<std::shared_ptr<KvrAlbumInfo>> chosen(ItemChoice choice) const;

    // The record named "ARTIST - TITLE" (as the command line names albums) or "TITLE - ARTIST"
    // (as ticks are stored); none when no record has that name.
    std::shared_ptr<KvrAlbumInfo> findByDisplayName(const std::string& name) const;

  private:
    const MediaLibrary* library_;
    PreferencesStore& preferences_;
    std::vector<const MediaItem*> allSongs_;
    std::unique_ptr<SongIndex> songIndex_;  // made at the first lookup
    std::vector<std::shared_ptr<KvrAlbumInfo>> albums_;
    std::size_t selectedRow_ = 0;
};

}  // namespace kelvara
