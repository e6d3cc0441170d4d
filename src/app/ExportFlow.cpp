#include "app/ExportFlow.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <atomic>
#include <exception>
#include <future>

#include "app/AlbumPage.h"
#include "app/AlbumTableModel.h"
#include "app/FileChoosers.h"
#include "app/KvrTableView.h"
#include "app/LogWindow.h"
#include "app/MainWindow.h"
#include "app/PlaylistPage.h"
#include "app/PlaylistTableModel.h"
#include "app/ProgressSheet.h"
#include "app/QtExportUi.h"
#include "conversion/MediaConverter.h"
#include "dialogs/ExportDialog.h"
#include "engine/KvExportManager.h"
#include "engine/KvrUserOptions.h"
#include "platform/PreferencesStore.h"

using namespace kelvara;

namespace {

// The dialog's counts: at most this many ticked albums whose songs are not known yet are looked
// up for it; the others count no songs until they are exported.
constexpr int kAlbumLookupsForCounts = 30;

std::function<void(QtExportUi&)>& uiSetup() {
    static std::function<void(QtExportUi&)> setup;
    return setup;
}

// Every flow of the process, for the one-run-at-a-time rule and for quitting.
std::vector<ExportFlow*>& flows() {
    static std::vector<ExportFlow*> all;
    return all;
}

// The dry run behind "Preview" tells nobody anything while it runs: its plan is the answer.
class SilentUi : public ExportUi {
  public:
    void logLine(const std::string&) override {}
    void issueLine(const std::string&) override {}
    void showProgress() override {}
    void closeProgress() override {}
    void setProgressMaximum(long) override {}
    void setProgressValue(long) override {}
    void setProgressMessage(const std::string&) override {}
    void setSmallInfo(const std::string&) override {}
    void setSpinner(bool) override {}
    bool cancelRequested() const override { return false; }
    void alert(const std::string&) override {}
    void notify(const std::string&, const std::string&) override {}
    void openDestination(const std::filesystem::path&) override {}
    void beginPowerInhibit(const std::string&) override {}
    void endPowerInhibit() override {}
};

// The answer to the removal question, handed from the GUI thread to the run's worker. Whatever
// ends the question without an answer (the box closed with the window, the application quitting
// before it was shown) counts as "keep": the last owner going answers no.
class RemovalAnswer {
  public:
    ~RemovalAnswer() { give(false); }
    void give(bool remove) {
        if (!given_.exchange(true)) promise_.set_value(remove);
    }
    std::future<bool> future() { return promise_.get_future(); }

  private:
    std::promise<bool> promise_;
    std::atomic<bool> given_{false};
};

bool keepsInStep(const KvrUserOptions& options) {
    return options.existingFiles() == KvrUserOptions::ExistingFiles::UpdateWhenChanged ||
           options.mirrorDestination();
}

}  // namespace

ExportFlow::ExportFlow(BrowserPage* page, QWidget* window, bool albums)
    : QObject(page), page_(page), window_(window), albums_(albums) {
    flows().push_back(this);
}

ExportFlow::~ExportFlow() {
    std::erase(flows(), this);
    if (dialog_) dialog_->deleteLater();
    {
        std::lock_guard lock(questionMutex_);
        if (dropQuestion_) dropQuestion_();
    }
    // The engine ends a run still going and joins its worker before the front end goes.
    manager_.reset();
    preview_.reset();
}

void ExportFlow::setUiSetupForTests(std::function<void(QtExportUi&)> setup) {
    uiSetup() = std::move(setup);
}

QtExportUi* ExportFlow::exportUi() const { return ui_.get(); }

bool ExportFlow::isWaiting() const { return stage_ == Stage::Waiting; }

bool ExportFlow::isRunning() const {
    if (stage_ != Stage::Started || !manager_) return false;
    // The engine's ending changes on its worker; the sheet closes a moment later on this thread.
    return manager_->ending() == RunEnding::Running || ui_->running();
}

bool ExportFlow::anyBusy() {
    for (const ExportFlow* flow : flows())
        if (flow->isWaiting() || flow->isRunning()) return true;
    return false;
}

void ExportFlow::stopAll(std::function<void()> stopped) {
    for (ExportFlow* flow : std::vector<ExportFlow*>(flows())) {
        if (flow->isWaiting()) flow->cancelWait();
        if (!flow->isRunning()) continue;
        flow->ui_->requestStop();
    }
    auto* timer = new QTimer(qApp);
    timer->setInterval(50);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, stopped = std::move(stopped)] {
        if (anyBusy()) return;
        timer->stop();
        timer->deleteLater();
        stopped();
    });
    timer->start();
}

void ExportFlow::start(PlaylistPage* page, QWidget* window) {
    (new ExportFlow(page, window, false))->openDialog();
}

void ExportFlow::start(AlbumPage* page, QWidget* window) {
    (new ExportFlow(page, window, true))->openDialog();
}

LogWindow* ExportFlow::logWindow() const {
    auto* main = qobject_cast<MainWindow*>(window_.data());
    return main ? main->logWindow() : nullptr;
}

void ExportFlow::openDialog() {
    // A flow whose folder chooser was cancelled never hears of it again: the next one clears it.
    for (ExportFlow* flow : page_->findChildren<ExportFlow*>(Qt::FindDirectChildrenOnly))
        if (flow != this && flow->stage_ == Stage::ChoosingFolder) flow->deleteLater();

    auto* dialog = new ExportDialog(window_);
    dialog_ = dialog;
    if (albums_) {
        auto* page = static_cast<AlbumPage*>(page_.data());
        AlbumTableModel* model = page->listModel();
        qint64 ticked = 0, tickedSongs = 0;
        for (int row = 0; row < model->rowCount(); ++row) {
            if (!model->isChecked(row)) continue;
            KvrAlbumInfo* album = model->album(row);
            if (!album->albumSongs() && ticked < kAlbumLookupsForCounts && page->catalogue())
                page->catalogue()->getSongsFromAlbumInfo(*album);
            if (album->albumSongs()) tickedSongs += qint64(album->albumSongs()->size());
            ++ticked;
        }
        qint64 currentSongs = 0;
        if (KvrAlbumInfo* selected = model->album(page->selectedRow());
            selected && page->catalogue())
            currentSongs = qint64(page->catalogue()->getSongsFromAlbumInfo(*selected).size());
        dialog->setNumberOfPlaylistForExport(ticked);
        dialog->setNumberOfAllPlaylist(model->rowCount());
        dialog->setNumberOfAllSongs(page->catalogue() ? qint64(page->catalogue()->allSongs().size())
                                                      : 0);
        dialog->setNumberOfSongsForExport(tickedSongs);
        dialog->setNumberOfCurrentPlaylistSongs(currentSongs);
    } else {
        auto* page = static_cast<PlaylistPage*>(page_.data());
        PlaylistTableModel* model = page->listModel();
        qint64 ticked = 0, allSongs = 0, tickedSongs = 0;
        // Items as the library gives them, videos included.
        for (int row = 0; row < model->rowCount(); ++row) {
            const auto items = qint64(model->playlist(row)->items().size());
            allSongs += items;
            if (model->isChecked(row)) {
                ++ticked;
                tickedSongs += items;
            }
        }
        const Playlist* selected = page->selectedPlaylist();
        dialog->setNumberOfPlaylistForExport(ticked);
        dialog->setNumberOfAllPlaylist(model->rowCount());
        dialog->setNumberOfAllSongs(allSongs);
        dialog->setNumberOfSongsForExport(tickedSongs);
        dialog->setNumberOfCurrentPlaylistSongs(selected ? qint64(selected->items().size()) : 0);
    }
    dialog->resize(dialog->width(), 490);
    dialog->setIsAlbum(albums_);
    connect(dialog, &QDialog::finished, this, &ExportFlow::dialogEnded);
    dialog->open();
}

void ExportFlow::dialogEnded() {
    if (!dialog_ || !page_ || dialog_->cancel()) return end();
    try {
        page_->clearSearchAndPersist();
        if (page_->shownCount() == 0) return end();
        const ItemChoice choice = dialog_->contentChoice();
        if (albums_) {
            auto* page = static_cast<AlbumPage*>(page_.data());
            albumRecords_ = page->chosenAlbums(choice);
            library_ = page->library();
        } else {
            auto* page = static_cast<PlaylistPage*>(page_.data());
            playlists_ = page->chosenPlaylists(choice);
            library_ = page->library();
        }
        // Current with no selected row: nothing to do, and nothing to say.
        if (playlists_.empty() && albumRecords_.empty() && choice == ItemChoice::Current)
            return end();
        if (playlists_.empty() && albumRecords_.empty()) {
            alert(albums_ ? QStringLiteral("Please select at least one album.")
                          : QStringLiteral("Please select at least one playlist."));
            return end();
        }
    } catch (const std::exception& error) {
        return failed(error.what());
    }
    stage_ = Stage::ChoosingFolder;
    QPointer<ExportFlow> self(this);
    FileChoosers::chooseDestinationFolder(window_, [self](const QString& folder) {
        if (self && self->stage_ == Stage::ChoosingFolder) self->folderChosen(folder);
    });
}

void ExportFlow::folderChosen(const QString& folder) {
    destination_ = QDir::cleanPath(folder);
    try {
        ui_ = std::make_unique<QtExportUi>(window_, logWindow());
        if (uiSetup()) uiSetup()(*ui_);
        converter_ = std::make_unique<MediaConverter>();
        manager_ = std::make_unique<KvExportManager>(*ui_, converter_.get());
        manager_->setUserOptions(KvrUserOptions::shareOptions());
        manager_->setPreferences(PreferencesStore::standardUserDefaults());
        manager_->setLibrary(library_);
        if (dialog_) dialog_->applyTo(*manager_);
        manager_->setConfirmRemoval(
            [this](std::size_t count, const std::vector<std::string>& first) {
                return confirmRemoval(count, first);
            });
        if (keepsInStep(KvrUserOptions::shareOptions())) {
            previewUi_ = std::make_unique<SilentUi>();
            preview_ = std::make_unique<KvExportManager>(*previewUi_, converter_.get());
            preview_->setUserOptions(KvrUserOptions::shareOptions());
            preview_->setPreferences(PreferencesStore::standardUserDefaults());
            preview_->setLibrary(library_);
            preview_->setDryRun(true);
            if (dialog_) dialog_->applyTo(*preview_);
        }
    } catch (const std::exception& error) {
        return failed(error.what());
    }
    if (dialog_) dialog_->deleteLater();
    if (preview_) return openReadySheet();
    proceed();
}

void ExportFlow::openReadySheet() {
    auto* sheet = new QDialog(window_);
    sheet->setObjectName(QString::fromUtf8(kReadySheetName));
    sheet->setWindowTitle(tr("Export"));
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(sheet);
    layout->addWidget(new QLabel(tr("Export into this folder?"), sheet));
    auto* folder = new QLabel(QDir::toNativeSeparators(destination_), sheet);
    folder->setWordWrap(true);
    layout->addWidget(folder);
    sheet->setMinimumWidth(420);
    auto* buttons = new QHBoxLayout;
    auto* preview = new QPushButton(tr("&Preview"), sheet);
    preview->setAccessibleName(tr("Preview"));
    preview->setToolTip(
        tr("Show what the export would write, skip and remove, without writing "
           "anything"));
    auto* cancel = new QPushButton(tr("Cancel"), sheet);
    cancel->setAccessibleName(tr("Cancel"));
    cancel->setToolTip(tr("Do not export"));
    auto* start = new QPushButton(tr("Export"), sheet);
    start->setAccessibleName(tr("Export"));
    start->setToolTip(tr("Start the export into this folder"));
    start->setDefault(true);
    buttons->addWidget(preview);
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(start);
    layout->addLayout(buttons);
    connect(preview, &QPushButton::clicked, this, &ExportFlow::showPreview);
    connect(start, &QPushButton::clicked, sheet, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, sheet, &QDialog::reject);
    // Escape rejects the sheet; only Export goes on.
    connect(sheet, &QDialog::finished, this, [this](int result) {
        if (result == QDialog::Accepted)
            proceed();
        else
            end();
    });
    sheet->open();
}

void ExportFlow::showPreview() {
    if (!preview_) return;
    auto* window = new QDialog(window_);
    window->setObjectName(QString::fromUtf8(kPreviewWindowName));
    window->setWindowTitle(tr("Export Preview"));
    window->setWindowModality(Qt::WindowModal);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->resize(640, 420);
    auto* layout = new QVBoxLayout(window);
    auto* text = new QPlainTextEdit(window);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setAccessibleName(tr("Export plan"));
    text->setToolTip(tr("What the export would do with each song, playlist file and removal"));
    text->setPlainText(tr("Working out the plan…"));
    layout->addWidget(text);
    auto* close = new QPushButton(tr("Close"), window);
    close->setAccessibleName(tr("Close"));
    close->setToolTip(tr("Close the preview"));
    close->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(close);
    layout->addLayout(row);
    connect(close, &QPushButton::clicked, window, &QDialog::accept);
    window->open();

    const std::filesystem::path destination(QFile::encodeName(destination_).toStdString());
    // One dry run per flow: the plan does not change while the sheet is open.
    if (preview_->ending() == RunEnding::NotStarted) {
        if (albums_)
            preview_->exportAlbums(albumRecords_, destination);
        else
            preview_->exportPlaylists(playlists_, destination);
    }
    // The dry run only reads; the window fills in when it is done.
    auto* poll = new QTimer(window);
    poll->setInterval(30);
    connect(poll, &QTimer::timeout, window, [this, poll, text] {
        if (!preview_ || preview_->ending() == RunEnding::Running) return;
        poll->stop();
        QStringList lines;
        for (const std::string& line : preview_->plan().lines())
            lines << QString::fromStdString(line);
        text->setPlainText(lines.join(QLatin1Char('\n')));
    });
    poll->start();
}

bool ExportFlow::confirmRemoval(std::size_t count, const std::vector<std::string>& first) {
    QString names;
    for (const std::string& name : first)
        names += QStringLiteral("\n") + QString::fromStdString(name);
    if (count > first.size()) names += QStringLiteral("\n…");
    const QString text = tr("The export would remove %1 files that are no longer in the "
                            "selection:\n%2\n\nRemove them?")
                             .arg(count)
                             .arg(names);
    auto answer = std::make_shared<RemovalAnswer>();
    std::future<bool> future = answer->future();
    {
        std::lock_guard lock(questionMutex_);
        dropQuestion_ = [answer] { answer->give(false); };
    }
    QPointer<QWidget> window = window_;
    QMetaObject::invokeMethod(
        qApp,
        [answer, window, text]() mutable {
            auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Kelvara"), text,
                                        QMessageBox::NoButton, window);
            QPushButton* remove = box->addButton(tr("Remove Files"), QMessageBox::DestructiveRole);
            QPushButton* keep = box->addButton(tr("Keep Files"), QMessageBox::RejectRole);
            box->setDefaultButton(keep);
            box->setEscapeButton(keep);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
            QObject::connect(box, &QMessageBox::finished, box, [answer, box, remove] {
                answer->give(box->clickedButton() == remove);
            });
            box->open();
        },
        Qt::QueuedConnection);
    const bool remove = future.get();
    std::lock_guard lock(questionMutex_);
    dropQuestion_ = nullptr;
    return remove;
}

void ExportFlow::proceed() {
    if (!anyOtherBusy()) return startRun();
    stage_ = Stage::Waiting;
    if (LogWindow* log = logWindow()) log->appendLine(QString::fromUtf8(kWaitingLine));
    ProgressSheet* sheet = ui_->progressSheet();
    sheet->resetCancel();
    sheet->setMessage(QString::fromUtf8(kWaitingLine));
    sheet->setSmallInfo(QString());
    sheet->openSheet();
    connect(sheet, &ProgressSheet::cancelClicked, this, [this] {
        if (stage_ == Stage::Waiting) cancelWait();
    });
    waitTimer_ = new QTimer(this);
    waitTimer_->setInterval(50);
    connect(waitTimer_, &QTimer::timeout, this, [this] {
        if (stage_ != Stage::Waiting || anyOtherBusy()) return;
        waitTimer_->stop();
        // The run shows the sheet again as its own.
        if (ProgressSheet* sheet = ui_->progressSheet()) sheet->done(QDialog::Accepted);
        startRun();
    });
    waitTimer_->start();
}

bool ExportFlow::anyOtherBusy() const {
    for (const ExportFlow* flow : flows())
        if (flow != this && flow->isRunning()) return true;
    // Runs that asked before this one go first.
    for (const ExportFlow* flow : flows()) {
        if (flow == this) break;
        if (flow->isWaiting()) return true;
    }
    return false;
}

void ExportFlow::cancelWait() {
    if (waitTimer_) waitTimer_->stop();
    stage_ = Stage::Over;
    if (LogWindow* log = logWindow()) log->appendLine(QStringLiteral("User stopped export"));
    if (ProgressSheet* sheet = ui_ ? ui_->progressSheet() : nullptr) sheet->done(QDialog::Rejected);
    deleteLater();
}

void ExportFlow::startRun() {
    stage_ = Stage::Started;
    // The page keeps this run's engine until its next run replaces it; the previous one has
    // ended, since runs take their turns.
    if (page_) {
        if (ExportFlow* previous = page_->exportFlow(); previous && previous != this)
            previous->deleteLater();
        page_->setExportFlow(this);
    }
    try {
        const std::filesystem::path destination(QFile::encodeName(destination_).toStdString());
        if (albums_)
            manager_->exportAlbums(albumRecords_, destination);
        else
            manager_->exportPlaylists(playlists_, destination);
    } catch (const std::exception& error) {
        failed(error.what());
    }
}

void ExportFlow::failed(const char* what) {
    // The album table shows its records afresh before the message.
    if (albums_ && page_) page_->table()->viewport()->update();
    alert(QStringLiteral("Error message: %1").arg(QString::fromUtf8(what)));
    end();
}

void ExportFlow::alert(const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Kelvara"), text,
                                QMessageBox::Ok, window_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(window_ ? Qt::WindowModal : Qt::ApplicationModal);
    box->open();
}

void ExportFlow::end() {
    stage_ = Stage::Over;
    deleteLater();
}
