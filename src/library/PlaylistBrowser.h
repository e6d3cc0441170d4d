#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "library/MediaLibrary.h"
#include "platform/PreferencesStore.h"

namespace kelvara {

// Which playlists to take: the selected one, every shown one, or the ticked ones.
enum class ItemChoice { Current, All, Ticked };

// The playlist page without its window: which playlists are shown, their ticks and the
// remembered selection, kept in the preferences store. Used by the desktop page and the CLI.
class PlaylistBrowser {
  public:
    PlaylistBrowser(const MediaLibrary* library, PreferencesStore& preferences);

    // The filter: not named "Library" or "Music", not the master or music playlist under any
    // name, and none of the excluded kinds.
    static bool isShown(const Playlist& playlist);

    // Rebuilds the shown list and its ticks from "SelectedPlaylists", and remembers the row of
    // "SelectedPlaylistID" (row 0 when it is gone).
    void loadPlaylist();

    const std::vector<const Playlist*>& playlists() const { return playlists_; }
    std::size_t selectedRow() const { return selectedRow_; }
    const Playlist* selectedPlaylist() const;

    bool isChecked(const Playlist& playlist) const;
    void setChecked(const Playlist& playlist, bool checked);
    void sellectAll();
    void unSellectAll();
    // Shift-click: ticks every row between the selected row (or 0) and `clickedRow`.
    void tickRange(std::size_t clickedRow);
    // Writes the names of the ticked shown playlists to "SelectedPlaylists" and flushes.
    void persistTicks();

    // Selecting a row remembers its playlist in "SelectedPlaylistID".
    void selectRow(std::size_t row);

    std::vector<const Playlist*> chosen(ItemChoice choice) const;

    // The songs the user unticked in a playlist: its unchecked-songs list.
    static std::vector<std::uint64_t> uncheckedSongs(const PreferencesStore& preferences,
                                                     PersistentID playlist);

  private:
    const MediaLibrary* library_;
    PreferencesStore& preferences_;
    std::vector<const Playlist*> playlists_;
    std::size_t selectedRow_ = 0;
};

}  // namespace kelvara
