#pragma once

#include <memory>

#include "app/BrowserPage.h"
#include "library/MediaLibrary.h"
#include "library/PlaylistBrowser.h"

class PlaylistTableModel;

// The playlist page: the library's playlists with their ticks and the remembered selection, and
// the songs of the selected one. Its reload re-reads the library file, which the window does on
// a worker thread; the page only shows what was read.
class PlaylistPage : public BrowserPage {
    Q_OBJECT

  public:
    explicit PlaylistPage(StatusDisplay* status, QWidget* parent = nullptr);

    // Shows the playlists of `library` (none: an empty page).
    void showLibrary(std::shared_ptr<const kelvara::MediaLibrary> library);
    void reloadItunesData() override { Q_EMIT reloadRequested(); }
    void exportFolder() override;
    void exportToExcel() override;

    PlaylistTableModel* listModel() const { return model_; }
    const kelvara::Playlist* selectedPlaylist() const;
    // The library the shown playlists belong to.
    const std::shared_ptr<const kelvara::MediaLibrary>& library() const { return library_; }
    // The shown playlists the choice takes, in list order; none for Current without a selection.
    std::vector<const kelvara::Playlist*> chosenPlaylists(kelvara::ItemChoice choice) const;

  Q_SIGNALS:
    // The page cannot read the file itself; the window does.
    void reloadRequested();

  protected:
    void showRow(int row) override;
    const void* itemAt(int row) const override;
    int rowOfItem(const void* item) const override;

  private:
    PlaylistTableModel* model_;
    std::shared_ptr<const kelvara::MediaLibrary> library_;
};
