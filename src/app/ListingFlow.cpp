#include "app/ListingFlow.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QRadioButton>
#include <algorithm>
#include <climits>
#include <utility>

#include "app/AlbumPage.h"
#include "app/DesktopActions.h"
#include "app/FileChoosers.h"
#include "app/LoadingSheet.h"
#include "app/PlaylistPage.h"
#include "app/SongListView.h"
#include "dialogs/ListingDialog.h"
#include "listing/FXCsvExporter.h"
#include "listing/ListingSongs.h"
#include "listing/RBExcel.h"

using namespace kelvara;

namespace {

bool& opensWorkbooks() {
    static bool open = true;
    return open;
}

std::function<void(std::size_t)>& gatherHook() {
    static std::function<void(std::size_t)> hook;
    return hook;
}

struct TypeNames {
    const char* name;
    const char* extension;
};

TypeNames namesOf(ListingFlow::FileType type) {
    switch (type) {
        case ListingFlow::FileType::Csv:
            return {"CSV file", ".csv"};
        case ListingFlow::FileType::Xls:
            return {"Excel 97-2004 workbook", ".xls"};
        case ListingFlow::FileType::Xlsx:
            break;
    }
    return {"Excel workbook", ".xlsx"};
}

// A window-modal alert on the main window; it deletes itself when dismissed.
void showAlert(QWidget* window, const QString& text, const QString& details = {}) {
    auto* box = new QMessageBox(QMessageBox::Warning, QObject::tr("Kelvara"), text, QMessageBox::Ok,
                                window);
    if (!details.isEmpty()) box->setInformativeText(details);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

}  // namespace

void ListingFlow::start(PlaylistPage* page, QWidget* window) {
    if (!page) return;
    (new ListingFlow(page, page, nullptr, window))->openDialog();
}

void ListingFlow::start(AlbumPage* page, QWidget* window) {
    if (!page) return;
    (new ListingFlow(page, nullptr, page, window))->openDialog();
}

void ListingFlow::setOpensWorkbooks(bool open) { opensWorkbooks() = open; }

void ListingFlow::setGatherHookForTests(std::function<void(std::size_t)> hook) {
    gatherHook() = std::move(hook);
}

ListingFlow::ListingFlow(BrowserPage* page, PlaylistPage* playlists, AlbumPage* albums,
                         QWidget* window)
    : QObject(page), page_(page), playlists_(playlists), albums_(albums), window_(window) {}

ListingFlow::~ListingFlow() {
    cancelled_->store(true);
    if (worker_.joinable()) worker_.join();
}

void ListingFlow::openDialog() {
    auto* dialog = new ListingDialog(window_);
    dialog->setIsAlbum(albums_ != nullptr);
    connect(dialog, &QDialog::finished, this, [this, dialog] { dialogEnded(dialog); });
    dialog->open();
}

void ListingFlow::dialogEnded(ListingDialog* dialog) {
    dialog->deleteLater();
    if (dialog->cancel()) return finish();
    type_ = dialog->csvType()->isChecked()    ? FileType::Csv
            : dialog->xlsxType()->isChecked() ? FileType::Xlsx
                                              : FileType::Xls;
    // Read before the search is cleared: the columns and order are the ones the user looked at.
    columns_ = page_->songList()->visibleColumns();
    // Spreadsheets keep the songs in the order they were gathered.
    if (type_ == FileType::Csv) sortKeys_ = page_->songList()->sortKeys();
    page_->clearSearchAndPersist();
    const ItemChoice choice = dialog->contentChoice();

    if (playlists_) {
        const std::vector<const Playlist*> chosen = playlists_->chosenPlaylists(choice);
        if (choice == ItemChoice::Current && chosen.empty()) return finish();
        // No ticked playlist still gives a listing: a file with the header alone.
        chooseFile(ListingSongs::fromPlaylists(chosen));
        return finish();
    }
    std::vector<std::shared_ptr<KvrAlbumInfo>> chosen = albums_->chosenAlbums(choice);
    if (choice == ItemChoice::Current && chosen.empty()) return finish();
    if (chosen.empty() || !albums_->catalogue()) {
        showAlert(window_, QStringLiteral("Please select at least one album."));
        return finish();
    }
    gatherAlbums(std::move(chosen));
}

void ListingFlow::gatherAlbums(std::vector<std::shared_ptr<KvrAlbumInfo>> albums) {
    auto* sheet = new LoadingSheet(window_);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setMessageToString(QStringLiteral("Preparing content for Excel..."));
    sheet->setMaximum(static_cast<int>(std::min<std::size_t>(albums.size(), INT_MAX)));
    sheet->setValue(0);
    connect(sheet, &LoadingSheet::cancelClicked, this,
            [cancelled = cancelled_] { *cancelled = true; });
    sheet_ = sheet;
    sheet->openOn(window_);

    AlbumCatalogue* catalogue = albums_->catalogue();
    std::function<void(std::size_t)> hook = gatherHook();
    // The worker touches no widget: it reads the cancel flag and posts its progress.
    worker_ =
        std::thread([this, catalogue, albums = std::move(albums), hook, cancelled = cancelled_] {
            std::optional<std::vector<const MediaItem*>> songs =
                ListingSongs::fromAlbums(*catalogue, albums, [&](std::size_t done, std::size_t) {
                    if (hook) hook(done);
                    if (cancelled->load()) return false;
                    QMetaObject::invokeMethod(
                        this,
                        [this, done] {
                            if (sheet_) sheet_->setValue(static_cast<int>(done));
                        },
                        Qt::QueuedConnection);
                    return true;
                });
            QMetaObject::invokeMethod(
                this, [this, songs = std::move(songs)]() mutable { gathered(std::move(songs)); },
                Qt::QueuedConnection);
        });
}

void ListingFlow::gathered(std::optional<std::vector<const MediaItem*>> songs) {
    if (worker_.joinable()) worker_.join();
    if (sheet_) sheet_->finish();
    // Cancelled: the sheet closes and nothing is written.
    if (songs) chooseFile(std::move(*songs));
    finish();
}

// The chooser may never answer (the user cancels it), so what the writer needs goes with it and
// the flow itself ends here.
void ListingFlow::chooseFile(std::vector<const MediaItem*> songs) {
    const bool plMode = playlists_ != nullptr;
    const TypeNames names = namesOf(type_);
    auto write = [window = window_, type = type_, columns = columns_, keys = sortKeys_, plMode,
                  songs = std::move(songs)](const QString& chosen) {
        const std::filesystem::path file = QFile::encodeName(chosen).toStdString();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        Status written = okStatus();
        if (type == FileType::Csv) {
            FXCsvExporter exporter;
            exporter.setArrayController(songs);
            exporter.setSortDescriptors(keys);
            written = exporter.createCSVWithVisibleColumns(columns, file, plMode);
        } else {
            RBExcel excel;
            excel.setTitle(plMode ? "Playlists" : "Albums");
            excel.setArrayController(songs);
            written = excel.createExcelIsXMl(type == FileType::Xlsx, columns, plMode, file);
        }
        QApplication::restoreOverrideCursor();
        if (!written.ok()) {
            showAlert(window, QObject::tr("The listing could not be saved."),
                      QString::fromStdString(written.message()));
            return;
        }
        if (type != FileType::Csv && opensWorkbooks()) DesktopActions::openWithDefaultApp(chosen);
    };
    FileChoosers::chooseListingFile(
        window_, plMode ? QStringLiteral("Playlists") : QStringLiteral("Albums"),
        QString::fromUtf8(names.name), QString::fromUtf8(names.extension), std::move(write));
}

void ListingFlow::finish() { deleteLater(); }
