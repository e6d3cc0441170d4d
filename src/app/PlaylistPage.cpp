#include "app/PlaylistPage.h"

#include <QLineEdit>

#include "app/ExportFlow.h"
#include "app/KvrTableView.h"
#include "app/ListingFlow.h"
#include "app/PlaylistTableModel.h"
#include "app/SongListView.h"
#include "platform/PreferencesStore.h"

using namespace kelvara;

PlaylistPage::PlaylistPage(StatusDisplay* status, QWidget* parent)
    : BrowserPage(SongTableModel::Kind::Playlist, status, parent),
      model_(new PlaylistTableModel(this)) {
    setListModel(model_);
}

void PlaylistPage::showLibrary(std::shared_ptr<const MediaLibrary> library) {
    firstTime_ = true;
    library_ = std::move(library);
    PlaylistBrowser browser(library_.get(), PreferencesStore::standardUserDefaults());
    browser.loadPlaylist();
    model_->setPlaylists(browser.playlists(), library_ ? &library_->checkedFlags() : nullptr);
    model_->setSearch(searchField()->text());
    if (!library_ || browser.playlists().empty()) songList()->clear();
    // Our table does not select the rows it is given, so there is no insertion selection for
    // the first-load flag to swallow: it ends here, before the remembered row is selected.
    firstTime_ = false;
    const int remembered = model_->rowOf(browser.selectedPlaylist());
    selectRow(remembered >= 0 ? remembered : 0);
    Q_EMIT loaded();
}

void PlaylistPage::exportFolder() { ExportFlow::start(this, window()); }

void PlaylistPage::exportToExcel() { ListingFlow::start(this, window()); }

const Playlist* PlaylistPage::selectedPlaylist() const { return model_->playlist(selectedRow()); }

std::vector<const Playlist*> PlaylistPage::chosenPlaylists(ItemChoice choice) const {
    std::vector<const Playlist*> chosen;
    if (choice == ItemChoice::Current) {
        if (const Playlist* selected = selectedPlaylist()) chosen.push_back(selected);
        return chosen;
    }
    for (int row = 0; row < model_->rowCount(); ++row)
        if (choice == ItemChoice::All || model_->isChecked(row))
            chosen.push_back(model_->playlist(row));
    return chosen;
}

void PlaylistPage::showRow(int row) {
    const Playlist* playlist = model_->playlist(row);
    if (!playlist) return;
    if (firstTime_ && row == model_->rowCount() - 1) {
        firstTime_ = false;
        return;
    }
    songList()->loadPlaylist(playlist, &library_->checkedFlags());
    PreferencesStore& preferences = PreferencesStore::standardUserDefaults();
    preferences.setObject("SelectedPlaylistID", playlist->persistentID());
    preferences.flush();
}

const void* PlaylistPage::itemAt(int row) const { return model_->playlist(row); }

int PlaylistPage::rowOfItem(const void* item) const {
    return model_->rowOf(static_cast<const Playlist*>(item));
}
