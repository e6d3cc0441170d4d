#include "app/SongListView.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/DesktopActions.h"
#include "app/KvrTableView.h"
#include "app/PreviewPanel.h"
#include "app/RatingDelegate.h"
#include "app/StatusDisplay.h"
#include "library/AlbumCatalogue.h"
#include "library/SongStatus.h"
#include "platform/PreferencesStore.h"

using namespace kelvara;

namespace {

PreferencesStore& settings() { return PreferencesStore::standardUserDefaults(); }

// Shown until the user picks others: what a song list is usually read by.
const QStringList kFirstShown = {
    "checked",    "title",       "artist",    "time",       "album",      "genre", "year", "rating",
    "albumTitle", "albumArtist", "albumTime", "albumAlbum", "albumGenre", "track", "disk"};

}  // namespace

SongListView::SongListView(SongTableModel::Kind kind, StatusDisplay* status, QWidget* parent)
    : QWidget(parent),
      kind_(kind),
      status_(status),
      model_(new SongTableModel(kind, this)),
      table_(new KvrTableView(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    if (kind_ == SongTableModel::Kind::Playlist) {
        auto* modes = new QHBoxLayout;
        modes->setContentsMargins(6, 4, 6, 0);
        allSongs_ = new QRadioButton(tr("All songs"), this);
        chooseSongs_ = new QRadioButton(tr("Choose songs"), this);
        allSongs_->setAccessibleName(tr("Export all songs of the playlist"));
        chooseSongs_->setAccessibleName(tr("Choose the songs to export"));
        allSongs_->setChecked(true);
        auto* group = new QButtonGroup(this);
        group->addButton(allSongs_);
        group->addButton(chooseSongs_);
        modes->addWidget(new QLabel(tr("Export:"), this));
        modes->addWidget(allSongs_);
        modes->addWidget(chooseSongs_);
        modes->addStretch(1);
        layout->addLayout(modes);
        connect(allSongs_, &QRadioButton::clicked, this, [this] { chooseSongsForExport(false); });
        connect(chooseSongs_, &QRadioButton::clicked, this, [this] { chooseSongsForExport(true); });
    }
    layout->addWidget(table_, 1);

    table_->setModel(model_);
    table_->setAccessibleName(kind_ == SongTableModel::Kind::Playlist ? tr("Playlist songs")
                                                                      : tr("Album songs"));
    table_->setSortingEnabled(false);
    table_->setItemDelegateForColumn(model_->columnOf("rating"),
                                     new RatingDelegate(SongTableModel::StarsRole, this));
    QHeaderView* header = table_->horizontalHeader();
    header->setSectionsMovable(true);
    header->setStretchLastSection(false);
    header->setDefaultSectionSize(120);
    for (int column = 0; column < model_->columnCount(); ++column) {
        const QString& id = model_->columnIdentifiers()[column];
        // The album list's own identifiers repeat the playlist list's columns under album names.
        const bool albumOnly =
            kind_ == SongTableModel::Kind::Playlist && id.startsWith("album") && id != "album";
        header->setSectionHidden(column, albumOnly || !kFirstShown.contains(id));
    }
    const int check = model_->columnOf("checked");
    if (check >= 0) {
        header->resizeSection(check, 28);
        header->setSectionHidden(check, true);
    }
    const int title =
        model_->columnOf(kind_ == SongTableModel::Kind::Playlist ? "title" : "albumTitle");
    header->resizeSection(title, 220);
    // Numbers need little room; the default width would push the last columns out of view.
    for (const char* narrow : {"time", "year", "track", "disk", "albumTime"})
        if (const int column = model_->columnOf(narrow); column >= 0)
            header->resizeSection(column, 64);

    buildMenus();
    connect(model_, &SongTableModel::songTicked, this, &SongListView::songTicked);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &SongListView::selectionChanged);
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &SongListView::selectionChanged, Qt::UniqueConnection);
    });
    connect(table_, &KvrTableView::spacePressed, this, &SongListView::preview);
    connect(table_, &KvrTableView::rowMenuAboutToShow, this, &SongListView::prepareRowMenu);
}

void SongListView::buildMenus() {
    headerMenu_ = new QMenu(this);
    QHeaderView* header = table_->horizontalHeader();
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    for (int column = 0; column < model_->columnCount(); ++column) {
        if (model_->columnIdentifiers()[column] == QLatin1String("checked")) continue;
        QAction* action = headerMenu_->addAction(model_->headerText(column));
        action->setCheckable(true);
        action->setData(column);
        connect(action, &QAction::triggered, this, [this, column] { toggleColumn(column); });
    }
    headerMenu_->addSeparator();
    headerMenu_->addAction(tr("Show All"), this, &SongListView::showAll);
    headerMenu_->addAction(tr("Hide All"), this, &SongListView::hideAll);
    connect(headerMenu_, &QMenu::aboutToShow, this, &SongListView::prepareHeaderMenu);
    connect(header, &QHeaderView::customContextMenuRequested, this,
            [this, header](const QPoint& position) {
                headerMenu_->popup(header->mapToGlobal(position));
            });

    rowMenu_ = new QMenu(this);
    revealAction_ =
        rowMenu_->addAction(tr("Show in File Manager"), this, &SongListView::revealInFinder);
    openAction_ = rowMenu_->addAction(tr("Open"), this, &SongListView::openFile);
    rowMenu_->addAction(tr("Preview"), this, &SongListView::preview);
    if (kind_ == SongTableModel::Kind::Playlist) {
        tickActions_.append(rowMenu_->addSeparator());
        tickActions_.append(rowMenu_->addAction(tr("Tick"), this, [this] { tickSelected(true); }));
        tickActions_.append(
            rowMenu_->addAction(tr("Untick"), this, [this] { tickSelected(false); }));
        tickActions_.append(rowMenu_->addAction(tr("Tick All"), this, &SongListView::checkAll));
        tickActions_.append(rowMenu_->addAction(tr("Untick All"), this, &SongListView::uncheckAll));
    }
    table_->setRowMenu(rowMenu_);
}

void SongListView::prepareHeaderMenu() {
    for (QAction* action : headerMenu_->actions())
        if (action->isCheckable())
            action->setChecked(!table_->isColumnHidden(action->data().toInt()));
}

void SongListView::prepareRowMenu() {
    const bool target = table_->targetRow() >= 0;
    revealAction_->setEnabled(target);
    openAction_->setEnabled(target);
    for (QAction* action : tickActions_) action->setVisible(chooseSongsMode());
}

std::string SongListView::playlistKey() const {
    return playlist_ ? std::to_string(playlist_->persistentID()) : "";
}

bool SongListView::chooseSongsMode() const { return chooseSongs_ && chooseSongs_->isChecked(); }

void SongListView::applyCheckColumn(bool shown) {
    const int check = model_->columnOf("checked");
    if (check >= 0) table_->setColumnHidden(check, !shown);
}

void SongListView::closePreview() {
    if (previewPanel_ && previewPanel_->isVisible()) {
        previewPanel_->showSong(nullptr);
        previewPanel_->hide();
    }
}

void SongListView::loadPlaylist(const Playlist* playlist, CheckedFlags* flags) {
    closePreview();
    playlist_ = playlist;
    if (!playlist) return clear();
    const std::vector<std::uint64_t> unchecked = settings().numberArrayForKey(playlistKey());
    if (settings().contains("SongsSelectionOption")) {
        const auto modes = settings().boolMapForKey("SongsSelectionOption");
        const auto mode = modes.find(playlistKey());
        const bool choose = mode != modes.end() && mode->second;
        applyCheckColumn(choose);
        (choose ? chooseSongs_ : allSongs_)->setChecked(true);
    }
    status_->setPlaylistTitle(QString::fromStdString(playlist->name()));
    status_->setTypeString(QStringLiteral("Playlist"));

    std::vector<KvrSongInfo> records;
    records.reserve(playlist->items().size());
    for (const MediaItem* item : playlist->items()) {
        if (item->isVideo()) continue;
        records.push_back(KvrSongInfo::fromMediaItem(*item));
        flags->setChecked(item, std::find(unchecked.begin(), unchecked.end(),
                                          item->persistentID()) == unchecked.end());
    }
    model_->setSongs(std::move(records), flags);
    if (model_->rowCount() > 0) table_->selectRow(0);
    warnAbout(playlist->items());
    updateToolbar();
}

void SongListView::loadAlbum(const KvrAlbumInfo& album) {
    closePreview();
    status_->setPlaylistTitle(QString::fromStdString(album.title()));
    status_->setTypeString(QStringLiteral("Album"));
    const std::vector<const MediaItem*> songs =
        album.albumSongs() ? AlbumCatalogue::songListOrder(*album.albumSongs())
                           : std::vector<const MediaItem*>{};
    std::vector<KvrSongInfo> records;
    records.reserve(songs.size());
    qint64 total = 0;
    for (const MediaItem* item : songs) {
        records.push_back(KvrSongInfo::fromMediaItem(*item));
        total += static_cast<qint64>(item->totalTime() / 1000);
    }
    status_->setTotalTime(total);
    status_->setSongsNum(static_cast<qint64>(records.size()));
    model_->setSongs(std::move(records), nullptr);
    if (model_->rowCount() > 0) table_->selectRow(0);
    if (album.albumSongs()) warnAbout(*album.albumSongs());
}

void SongListView::clear() {
    closePreview();
    playlist_ = nullptr;
    model_->setSongs({}, nullptr);
    status_->setPlaylistTitle({});
    status_->setSongsNum(0);
    status_->setTotalTime(0);
}

void SongListView::updateToolbar() {
    qint64 songs = 0;
    qint64 total = 0;
    for (int row = 0; row < model_->rowCount(); ++row) {
        if (!model_->isChecked(row)) continue;
        ++songs;
        total += static_cast<qint64>(model_->song(row)->mediaItem()->totalTime() / 1000);
    }
    status_->setSongsNum(songs);
    status_->setTotalTime(total);
}

void SongListView::songTicked(int row, bool checked) {
    if (!playlist_) return;
    const PersistentID id = model_->song(row)->mediaItem()->persistentID();
    std::vector<std::uint64_t> unchecked = settings().numberArrayForKey(playlistKey());
    const bool listed = std::find(unchecked.begin(), unchecked.end(), id) != unchecked.end();
    if (listed && checked) std::erase(unchecked, id);
    if (!listed && !checked) unchecked.push_back(id);
    settings().setObject(playlistKey(), unchecked);
    settings().flush();
    updateToolbar();
}

void SongListView::chooseSongsForExport(bool choose) {
    if (!playlist_) return;
    (choose ? chooseSongs_ : allSongs_)->setChecked(true);
    auto modes = settings().boolMapForKey("SongsSelectionOption");
    applyCheckColumn(choose);
    if (!choose) {
        settings().removeObjectForKey(playlistKey());
        model_->setAllChecked(true);
    }
    modes[playlistKey()] = choose;
    settings().setObject("SongsSelectionOption", modes);
    settings().flush();
    updateToolbar();
}

void SongListView::checkAll() {
    if (!playlist_) return;
    settings().removeObjectForKey(playlistKey());
    settings().flush();
    model_->setAllChecked(true);
    updateToolbar();
}

void SongListView::uncheckAll() {
    if (!playlist_) return;
    model_->setAllChecked(false);
    std::vector<std::uint64_t> unchecked = settings().numberArrayForKey(playlistKey());
    for (const KvrSongInfo& record : model_->songs())
        unchecked.push_back(record.mediaItem()->persistentID());
    settings().setObject(playlistKey(), unchecked);
    settings().flush();
    updateToolbar();
}

void SongListView::tickSelected(bool checked) {
    const int row = table_->targetRow();
    const int check = model_->columnOf("checked");
    if (row < 0 || check < 0 || model_->isChecked(row) == checked) return;
    model_->setData(model_->index(row, check), checked ? Qt::Checked : Qt::Unchecked,
                    Qt::CheckStateRole);
}

void SongListView::warnAbout(const std::vector<const MediaItem*>& items) {
    const ListWarning warning = warningForItems(items);
    if (warning == ListWarning::None) return;
    const bool cloud = warning == ListWarning::Cloud;
    const std::string key = cloud ? "ViewAgainiCloudMessage" : "ViewAgainDRMMessage";
    if (settings().contains(key) && settings().boolForKey(key) == false) return;
    if (warning_) warning_->close();

    auto* box = new QMessageBox(window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setText(cloud ? QStringLiteral("Cloud songs (red color)")
                       : QStringLiteral("DRM protected songs (red color)"));
    box->setInformativeText(
        cloud ? QStringLiteral(
                    "Some songs in this playlist are not available for export because the music "
                    "file is "
                    "in iCloud. To export these songs you have to download files with iTunes.")
              : QStringLiteral("Some songs in this playlist are not available for export because "
                               "the music file is "
                               "DRM protected. Tracks you download from the Apple Music service "
                               "are DRM protected."));
    box->setStandardButtons(QMessageBox::Ok);
    auto* suppress = new QCheckBox(QStringLiteral("Do not show this message again"), box);
    box->setCheckBox(suppress);
    connect(box, &QMessageBox::finished, this, [key, suppress] {
        settings().setBool(key, !suppress->isChecked());
        settings().flush();
    });
    warning_ = box;
    box->open();
}

void SongListView::alertMissingFile() {
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Kelvara"),
                                QStringLiteral("Music file does not exist or has been removed."),
                                QMessageBox::Ok, window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

void SongListView::revealInFinder() {
    const KvrSongInfo* record = model_->song(table_->targetRow());
    if (!record) return;
    const auto path = record->locationString();
    if (!path || path->empty()) return alertMissingFile();
    DesktopActions::revealInFileManager(QString::fromStdString(path->string()));
}

void SongListView::openFile() {
    const KvrSongInfo* record = model_->song(table_->targetRow());
    if (!record) return;
    const auto path = record->locationString();
    if (!path || path->empty()) return alertMissingFile();
    DesktopActions::openWithDefaultApp(QString::fromStdString(path->string()));
}

void SongListView::preview() {
    if (!previewPanel_) return;
    const KvrSongInfo* record = model_->song(table_->selectedRow());
    if (!record) return;
    const auto path = record->locationString();
    if (previewPanel_->isVisible() || !path || path->empty()) return closePreview();
    previewPanel_->showSong(record->mediaItem());
    previewPanel_->togglePanelFor(window());
}

void SongListView::selectionChanged() {
    if (!previewPanel_ || !previewPanel_->isVisible()) return;
    const KvrSongInfo* record = model_->song(table_->selectedRow());
    const auto path = record ? record->locationString() : std::nullopt;
    if (path && !path->empty())
        previewPanel_->showSong(record->mediaItem());
    else
        closePreview();
}

void SongListView::showAll() {
    for (int column = 0; column < model_->columnCount(); ++column)
        if (model_->columnIdentifiers()[column] != QLatin1String("checked"))
            table_->setColumnHidden(column, false);
}

void SongListView::hideAll() {
    const QString keep = kind_ == SongTableModel::Kind::Playlist ? QStringLiteral("title")
                                                                 : QStringLiteral("albumTitle");
    for (int column = 0; column < model_->columnCount(); ++column) {
        const QString& identifier = model_->columnIdentifiers()[column];
        if (identifier != QLatin1String("checked"))
            table_->setColumnHidden(column, identifier != keep);
    }
}

void SongListView::toggleColumn(int column) {
    table_->setColumnHidden(column, !table_->isColumnHidden(column));
}

std::vector<std::string> SongListView::visibleColumns() const {
    const QHeaderView* header = table_->horizontalHeader();
    std::vector<std::string> columns;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int column = header->logicalIndex(visual);
        if (column < 0 || column >= model_->columnIdentifiers().size()) continue;
        if (header->isSectionHidden(column)) continue;
        const QString& identifier = model_->columnIdentifiers()[column];
        if (identifier.isEmpty() || identifier == QLatin1String("checked")) continue;
        columns.push_back(identifier.toStdString());
    }
    return columns;
}

std::vector<ListingSortKey> SongListView::sortKeys() const {
    const QHeaderView* header = table_->horizontalHeader();
    const int column = header->sortIndicatorSection();
    if (!header->isSortIndicatorShown() || column < 0 ||
        column >= model_->columnIdentifiers().size())
        return {};
    const QString& identifier = model_->columnIdentifiers()[column];
    if (identifier.isEmpty() || identifier == QLatin1String("checked")) return {};
    return {{identifier.toStdString(), header->sortIndicatorOrder() == Qt::AscendingOrder}};
}

QByteArray SongListView::columnState() const { return table_->horizontalHeader()->saveState(); }

void SongListView::restoreColumnState(const QByteArray& state) {
    if (state.isEmpty()) return;
    const bool checkShown = chooseSongsMode();
    table_->horizontalHeader()->restoreState(state);
    // The check column follows the mode, never the saved state.
    applyCheckColumn(checkShown);
}
