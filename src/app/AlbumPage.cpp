#include "app/AlbumPage.h"

#include <QLineEdit>

#include "app/AlbumTableModel.h"
#include "app/ExportFlow.h"
#include "app/KvrTableView.h"
#include "app/ListingFlow.h"
#include "app/LoadingSheet.h"
#include "app/RatingDelegate.h"
#include "app/SongListView.h"
#include "library/KvrItunesMAnager.h"
#include "platform/PreferencesStore.h"

using namespace kelvara;

AlbumPage::AlbumPage(StatusDisplay* status, QWidget* parent)
    : BrowserPage(SongTableModel::Kind::Album, status, parent), model_(new AlbumTableModel(this)) {
    setListModel(model_);
    table()->setItemDelegateForColumn(2, new RatingDelegate(AlbumTableModel::StarsRole, this));
}

AlbumPage::~AlbumPage() {
    // A listing's worker reads the catalogue: it is joined before the catalogue goes.
    qDeleteAll(findChildren<ListingFlow*>(Qt::FindDirectChildrenOnly));
    if (worker_.joinable()) worker_.join();
}

bool AlbumPage::isCurrent() const {
    return catalogue_ && library_ == KvrItunesMAnager::sharedManager().library();
}

void AlbumPage::reloadItunesData() {
    firstTime_ = true;
    auto library = KvrItunesMAnager::sharedManager().library();
    if (worker_.joinable()) worker_.join();
    if (sheet_) sheet_->finish();
    sheet_ = new LoadingSheet(window());
    sheet_->setAttribute(Qt::WA_DeleteOnClose);
    sheet_->setMessageToString(QStringLiteral("Loading Albums..."));
    sheet_->openOn(window());

    const int generation = ++generation_;
    QPointer<AlbumPage> page(this);
    worker_ = std::thread([page, generation, library] {
        auto catalogue = std::make_shared<AlbumCatalogue>(library.get(),
                                                          PreferencesStore::standardUserDefaults());
        catalogue->loadAlbums();
        QMetaObject::invokeMethod(
            page.data(),
            [page, generation, library, catalogue] {
                if (page && generation == page->generation_)
                    page->showCatalogue(library, catalogue);
            },
            Qt::QueuedConnection);
    });
}

void AlbumPage::exportFolder() { ExportFlow::start(this, window()); }

void AlbumPage::exportToExcel() { ListingFlow::start(this, window()); }

void AlbumPage::showCatalogue(std::shared_ptr<const MediaLibrary> library,
                              std::shared_ptr<AlbumCatalogue> catalogue) {
    if (sheet_) sheet_->finish();
    library_ = std::move(library);
    catalogue_ = std::move(catalogue);
    model_->setAlbums(catalogue_->albums());
    model_->setSearch(searchField()->text());
    if (catalogue_->albums().empty()) songList()->clear();
    // As on the playlist page, no insertion selection comes: the first-load flag ends before the
    // remembered row is selected.
    firstTime_ = false;
    const auto& albums = catalogue_->albums();
    const KvrAlbumInfo* remembered = catalogue_->selectedRow() < albums.size()
                                         ? albums[catalogue_->selectedRow()].get()
                                         : nullptr;
    const int row = model_->rowOf(remembered);
    selectRow(row >= 0 ? row : 0);
    Q_EMIT loaded();
}

void AlbumPage::showRow(int row) {
    KvrAlbumInfo* album = model_->album(row);
    if (!album || !catalogue_) return;
    catalogue_->getSongsFromAlbumInfo(*album);
    songList()->loadAlbum(*album);
    if (firstTime_) {
        firstTime_ = false;
        return;
    }
    PreferencesStore& preferences = PreferencesStore::standardUserDefaults();
    preferences.setString("SelectedAlbumTitle", album->title());
    preferences.setString("SelectedAlbumArtist", album->artist().value_or(""));
    preferences.flush();
}

const void* AlbumPage::itemAt(int row) const { return model_->album(row); }

int AlbumPage::rowOfItem(const void* item) const {
    return model_->rowOf(static_cast<const KvrAlbumInfo*>(item));
}

std::vector<std::shared_ptr<KvrAlbumInfo>> AlbumPage::chosenAlbums(ItemChoice choice) const {
    std::vector<std::shared_ptr<KvrAlbumInfo>> chosen;
    if (choice == ItemChoice::Current) {
        if (auto selected = model_->record(selectedRow())) chosen.push_back(std::move(selected));
        return chosen;
    }
    for (int row = 0; row < model_->rowCount(); ++row)
        if (choice == ItemChoice::All || model_->isChecked(row))
            chosen.push_back(model_->record(row));
    return chosen;
}
