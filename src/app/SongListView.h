#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "app/PreviewPanel.h"
#include "app/SongTableModel.h"
#include "library/KvrAlbumInfo.h"
#include "library/Playlist.h"
#include "listing/ListingSortKey.h"

class KvrTableView;
class QMenu;
class QRadioButton;
class StatusDisplay;

// The right-hand pane of a page: the songs of the selected playlist or album. A playlist list has
// two modes (all songs, or only the ticked ones) kept per playlist in "SongsSelectionOption",
// with the songs the user unticked in the playlist's unchecked-songs list. Rows that cannot be
// exported are red with the reason as tool tip; a load with cloud or DRM songs warns once.
class SongListView : public QWidget {
    Q_OBJECT

  public:
    SongListView(SongTableModel::Kind kind, StatusDisplay* status, QWidget* parent = nullptr);

    void loadPlaylist(const kelvara::Playlist* playlist, kelvara::CheckedFlags* flags);
    void loadAlbum(const kelvara::KvrAlbumInfo& album);
    // Empties the list (a library that failed to load).
    void clear();

    void revealInFinder();
    void openFile();
    void preview();
    void setPreviewPanel(PreviewPanel* panel) { previewPanel_ = panel; }

    bool chooseSongsMode() const;
    // The mode buttons' action: shows or hides the check column and persists the mode.
    void chooseSongsForExport(bool choose);
    void checkAll();
    void uncheckAll();
    void tickSelected(bool checked);

    void showAll();
    void hideAll();
    void toggleColumn(int column);

    // What a listing of this list writes: the identifiers of the shown columns in their on-screen
    // order (the check column left out), and the order the table is sorted by (none when its
    // header shows no sort indicator).
    std::vector<std::string> visibleColumns() const;
    std::vector<kelvara::ListingSortKey> sortKeys() const;

    // The header's state (widths, order, shown columns), for the window to keep across runs.
    QByteArray columnState() const;
    void restoreColumnState(const QByteArray& state);

    KvrTableView* table() const { return table_; }
    SongTableModel* model() const { return model_; }
    QMenu* headerMenu() const { return headerMenu_; }
    QMenu* rowMenu() const { return rowMenu_; }
    QMessageBox* openWarning() const { return warning_; }
    QRadioButton* allSongsButton() const { return allSongs_; }
    QRadioButton* chooseSongsButton() const { return chooseSongs_; }

  private:
    void buildMenus();
    void prepareHeaderMenu();
    void prepareRowMenu();
    void songTicked(int row, bool checked);
    void updateToolbar();
    void warnAbout(const std::vector<const kelvara::MediaItem*>& items);
    void closePreview();
    void selectionChanged();
    void alertMissingFile();
    void applyCheckColumn(bool shown);
    std::string playlistKey() const;

    SongTableModel::Kind kind_;
    StatusDisplay* status_;
    SongTableModel* model_;
    KvrTableView* table_;
    QRadioButton* allSongs_ = nullptr;
    QRadioButton* chooseSongs_ = nullptr;
    QMenu* headerMenu_ = nullptr;
    QMenu* rowMenu_ = nullptr;
    QAction* revealAction_ = nullptr;
    QAction* openAction_ = nullptr;
    QList<QAction*> tickActions_;
    QPointer<PreviewPanel> previewPanel_;
    QPointer<QMessageBox> warning_;
    const kelvara::Playlist* playlist_ = nullptr;
};
