#include "library/PlaylistBrowser.h"

#include <algorithm>
#include <array>

namespace kelvara {
namespace {

// Kinds the page never offers: movies, TV shows, podcasts, audiobooks... (rules' numbering).
constexpr std::array<unsigned, 12> kExcludedKinds = {1, 2, 4, 7, 14, 16, 26, 47, 49, 50, 51, 53};
constexpr unsigned kMusicKind = 3;

}  // namespace

PlaylistBrowser::PlaylistBrowser(const MediaLibrary* library, PreferencesStore& preferences)
    : library_(library), preferences_(preferences) {}

bool PlaylistBrowser::isShown(const Playlist& playlist) {
    if (playlist.name() == "Library" || playlist.name() == "Music") return false;
    // Localised libraries call these "Biblioteca", "Música", ...: hide them by what they are.
    if (playlist.isMaster() || playlist.distinguishedKind() == kMusicKind) return false;
    return std::find(kExcludedKinds.begin(), kExcludedKinds.end(), playlist.distinguishedKind()) ==
           kExcludedKinds.end();
}

void PlaylistBrowser::loadPlaylist() {
    playlists_.clear();
    selectedRow_ = 0;
    if (!library_) return;
    const std::vector<std::string> selected = preferences_.stringArrayForKey("SelectedPlaylists");
    const std::int64_t selectedID = preferences_.integerForKey("SelectedPlaylistID").value_or(0);
    std::optional<std::size_t> remembered;
    for (const Playlist* playlist : library_->allPlaylists()) {
        if (!isShown(*playlist)) continue;
        const bool checked =
            std::find(selected.begin(), selected.end(), playlist->name()) != selected.end();
        library_->checkedFlags().setChecked(playlist, checked);
        if (static_cast<std::int64_t>(playlist->persistentID()) == selectedID)
            remembered = playlists_.size();
        playlists_.push_back(playlist);
    }
    selectedRow_ = remembered.value_or(0);
}

const Playlist* PlaylistBrowser::selectedPlaylist() const {
    return selectedRow_ < playlists_.size() ? playlists_[selectedRow_] : nullptr;
}

bool PlaylistBrowser::isChecked(const Playlist& playlist) const {
    return library_ && library_->checkedFlags().isChecked(&playlist);
}

void PlaylistBrowser::setChecked(const Playlist& playlist, bool checked) {
    if (library_) library_->checkedFlags().setChecked(&playlist, checked);
}

void PlaylistBrowser::sellectAll() {
    for (const Playlist* playlist : playlists_) setChecked(*playlist, true);
    persistTicks();
}

void PlaylistBrowser::unSellectAll() {
    for (const Playlist* playlist : playlists_) setChecked(*playlist, false);
    persistTicks();
}

void PlaylistBrowser::tickRange(std::size_t clickedRow) {
    if (playlists_.empty()) return;
    const std::size_t from = std::min(selectedRow_, clickedRow);
    const std::size_t to = std::min(std::max(selectedRow_, clickedRow), playlists_.size() - 1);
    for (std::size_t row = from; row <= to; ++row) setChecked(*playlists_[row], true);
    persistTicks();
}

void PlaylistBrowser::persistTicks() {
    nlohmann::json names = nlohmann::json::array();
    for (const Playlist* playlist : playlists_)
        if (isChecked(*playlist)) names.push_back(playlist->name());
    preferences_.setObject("SelectedPlaylists", std::move(names));
    preferences_.flush();
}

void PlaylistBrowser::selectRow(std::size_t row) {
    if (row >= playlists_.size()) return;
    selectedRow_ = row;
    preferences_.setObject("SelectedPlaylistID", playlists_[row]->persistentID());
    preferences_.flush();
}

std::vector<const Playlist*> PlaylistBrowser::chosen(ItemChoice choice) const {
    switch (choice) {
        case ItemChoice::Current:
            if (const Playlist* playlist = selectedPlaylist()) return {playlist};
            return {};
        case ItemChoice::All:
            return playlists_;
        case ItemChoice::Ticked:
            break;
    }
    std::vector<const Playlist*> ticked;
    for (const Playlist* playlist : playlists_)
        if (isChecked(*playlist)) ticked.push_back(playlist);
    return ticked;
}

std::vector<std::uint64_t> PlaylistBrowser::uncheckedSongs(const PreferencesStore& preferences,
                                                           PersistentID playlist) {
    return preferences.numberArrayForKey(std::to_string(playlist));
}

}  // namespace kelvara
