#include "app/MainWindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>

#include "app/AboutDialog.h"
#include "app/AlbumPage.h"
#include "app/ExportFlow.h"
#include "app/LibrarySettingsDialog.h"
#include "app/LoadingSheet.h"
#include "app/LogWindow.h"
#include "app/PlaylistPage.h"
#include "app/PreviewPanel.h"
#include "app/SongListView.h"
#include "app/StatusDisplay.h"
#include "app/ToolbarIcons.h"
#include "app/WelcomePage.h"
#include "engine/KvrUserOptions.h"
#include "library/KvrItunesMAnager.h"
#include "library/LibraryLocator.h"
#include "library/LibraryPreferences.h"
#include "platform/PreferencesStore.h"

using namespace kelvara;

namespace {

PreferencesStore& settings() { return PreferencesStore::standardUserDefaults(); }

QByteArray storedBytes(const char* key) {
    const auto text = settings().stringForKey(key);
    return text ? QByteArray::fromBase64(QByteArray::fromStdString(*text)) : QByteArray();
}

void storeBytes(const char* key, const QByteArray& bytes) {
    settings().setString(key, bytes.toBase64().toStdString());
}

}  // namespace

// What the worker hands back to the window.
struct MainWindow::Loaded {
    int generation = 0;
    std::shared_ptr<const MediaLibrary> library;
    std::string error;
    bool offerFolder = false;
};

MainWindow::MainWindow(Options options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)) {
    setWindowTitle(QStringLiteral("Kelvara"));
    setAccessibleName(QStringLiteral("Kelvara"));
    status_ = new StatusDisplay(this);

    // Launch order: both pages, the playlist page on screen, the shared options, the log window.
    stack_ = new QStackedWidget(this);
    playlistPage_ = new PlaylistPage(status_, stack_);
    albumPage_ = new AlbumPage(status_, stack_);
    welcomePage_ = new WelcomePage(stack_);
    stack_->addWidget(playlistPage_);
    stack_->addWidget(albumPage_);
    stack_->addWidget(welcomePage_);
    setCentralWidget(stack_);
    buildToolBarAndMenus();
    selectPlaylistView();
    KvrUserOptions::shareOptions();
    logWindow_ = std::make_unique<LogWindow>();
    logWindow_->hide();

    previewPanel_ = new PreviewPanel(this);
    previewPanel_->hide();
    playlistPage_->songList()->setPreviewPanel(previewPanel_);
    albumPage_->songList()->setPreviewPanel(previewPanel_);

    connect(playlistPage_, &PlaylistPage::reloadRequested, this, &MainWindow::reloadLibrary);
    connect(stack_, &QStackedWidget::currentChanged, this, &MainWindow::updateJobActions);
    connect(albumPage_, &AlbumPage::loaded, this, &MainWindow::updateJobActions);
    connect(this, &MainWindow::libraryLoaded, this, &MainWindow::updateJobActions);
    connect(welcomePage_, &WelcomePage::openLibraryFile, this, [this] {
        const QString file =
            QFileDialog::getOpenFileName(this, tr("Open Library File"), QDir::homePath(),
                                         tr("Library files (*.xml);;All files (*)"));
        if (!file.isEmpty()) openLibraryFile(file);
    });
    resize(1200, 760);
    restoreState();
    updateJobActions();
}

MainWindow::~MainWindow() {
    if (worker_.joinable()) worker_.join();
}

QAction* MainWindow::action(const QString& objectName) const {
    return findChild<QAction*>(objectName);
}

void MainWindow::buildToolBarAndMenus() {
    auto makeAction = [this](const QString& name, const QString& text, QStyle::StandardPixmap icon,
                             const QKeySequence& shortcut, auto slot) {
        auto* action = new QAction(ToolbarIcons::standardIcon(icon), text, this);
        action->setObjectName(name);
        if (!shortcut.isEmpty()) action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    playlistsAction_ = makeAction("playlists", tr("Playlists"), QStyle::SP_FileDialogListView,
                                  QKeySequence("Ctrl+1"), &MainWindow::selectPlaylistView);
    albumsAction_ = makeAction("albums", tr("Albums"), QStyle::SP_DriveCDIcon,
                               QKeySequence("Ctrl+2"), &MainWindow::selectAlbumsView);
    playlistsAction_->setCheckable(true);
    albumsAction_->setCheckable(true);
    views_ = new QActionGroup(this);
    views_->setExclusive(true);
    views_->addAction(playlistsAction_);
    views_->addAction(albumsAction_);
    QAction* reveal =
        makeAction("reveal", tr("Reveal"), QStyle::SP_DirOpenIcon, QKeySequence(), [this] {
            if (auto* page = qobject_cast<BrowserPage*>(currentPage())) page->revealInFinder();
        });
    QAction* open = makeAction("open", tr("Open"), QStyle::SP_MediaPlay, QKeySequence(), [this] {
        if (auto* page = qobject_cast<BrowserPage*>(currentPage())) page->openFile();
    });
    QAction* reload = makeAction("reload", tr("Reload"), QStyle::SP_BrowserReload,
                                 QKeySequence("Ctrl+R"), &MainWindow::reloadItunesData);
    QAction* log = makeAction("log", tr("Log"), QStyle::SP_FileDialogContentsView,
                              QKeySequence("Ctrl+L"), &MainWindow::showLogWindow);
    reveal->setToolTip(tr("Show the song's file in the file manager"));
    open->setToolTip(tr("Open the song's file"));
    reload->setToolTip(tr("Read the library again"));
    log->setToolTip(tr("Show the log window"));
    exportAction_ = makeAction("export", tr("Export…"), QStyle::SP_DialogSaveButton,
                               QKeySequence("Ctrl+E"), &MainWindow::exportFolder);
    listingAction_ =
        makeAction("saveListing", tr("Save Listing…"), QStyle::SP_FileDialogDetailedView,
                   QKeySequence("Ctrl+S"), &MainWindow::saveToExcel);
    exportAction_->setIconText(tr("Export"));
    listingAction_->setIconText(tr("Save Listing"));
    exportAction_->setToolTip(tr("Export the ticked playlists or albums into a folder (Ctrl+E)"));
    listingAction_->setToolTip(tr("Save a list of the songs as a CSV or Excel file (Ctrl+S)"));

    toolBar_ = addToolBar(tr("Toolbar"));
    toolBar_->setObjectName("toolbar");
    toolBar_->setAccessibleName(tr("Toolbar"));
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(ToolbarIcons::kSide, ToolbarIcons::kSide));
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    // The toolbar's own menu would offer to hide it or change how it looks: none of that here.
    toolBar_->setContextMenuPolicy(Qt::PreventContextMenu);
    toolBar_->toggleViewAction()->setEnabled(false);
    toolBar_->addAction(playlistsAction_);
    toolBar_->addAction(albumsAction_);
    auto spacer = [this] {
        auto* widget = new QWidget(toolBar_);
        widget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        return widget;
    };
    toolBar_->addWidget(spacer());
    toolBar_->addWidget(status_);
    toolBar_->addWidget(spacer());
    for (QAction* action : {exportAction_, listingAction_}) toolBar_->addAction(action);
    toolBar_->addSeparator();
    for (QAction* action : {reveal, open, reload, log}) toolBar_->addAction(action);
    for (QAction* action : toolBar_->actions())
        if (QWidget* button = toolBar_->widgetForAction(action);
            button && !action->text().isEmpty())
            button->setAccessibleName(action->text());

    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* openLibrary = file->addAction(tr("Open Library File…"), this, [this] {
        const QString chosen =
            QFileDialog::getOpenFileName(this, tr("Open Library File"), QDir::homePath(),
                                         tr("Library files (*.xml);;All files (*)"));
        if (!chosen.isEmpty()) openLibraryFile(chosen);
    });
    openLibrary->setShortcut(QKeySequence::Open);
    file->addAction(tr("Library Settings…"), this, &MainWindow::showLibrarySettings)
        ->setObjectName("librarySettings");
    file->addSeparator();
    file->addAction(exportAction_);
    file->addAction(listingAction_);
    file->addSeparator();
    file->addAction(reload);
    file->addSeparator();
    // Through the window's close, which asks first while an export runs.
    QAction* quit = file->addAction(tr("Quit"), this, &QWidget::close);
    quit->setObjectName("quit");
    quit->setShortcut(QKeySequence("Ctrl+Q"));

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    QAction* find = edit->addAction(tr("Find"), this, [this] {
        if (auto* page = qobject_cast<BrowserPage*>(currentPage())) {
            page->searchField()->setFocus(Qt::ShortcutFocusReason);
            page->searchField()->selectAll();
        }
    });
    find->setObjectName("find");
    find->setShortcut(QKeySequence("Ctrl+F"));
    edit->addAction(tr("Tick All in List"), this, [this] {
        if (auto* page = qobject_cast<BrowserPage*>(currentPage()))
            page->selectAllButton()->click();
    });
    edit->addAction(tr("Untick All in List"), this, [this] {
        if (auto* page = qobject_cast<BrowserPage*>(currentPage()))
            page->unselectAllButton()->click();
    });

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(playlistsAction_);
    view->addAction(albumsAction_);

    QMenu* song = menuBar()->addMenu(tr("&Song"));
    song->addAction(reveal);
    song->addAction(open);
    song->addAction(tr("Preview"), this, [this] {
        if (auto* page = qobject_cast<BrowserPage*>(currentPage())) page->preview();
    });

    QMenu* window = menuBar()->addMenu(tr("&Window"));
    window->addAction(log);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("About Kelvara…"), this, &MainWindow::showAbout)->setObjectName("about");
}

QWidget* MainWindow::currentPage() const { return stack_->currentWidget(); }

void MainWindow::selectPlaylistView() {
    playlistsAction_->setChecked(true);
    if (stack_->currentWidget() != welcomePage_) stack_->setCurrentWidget(playlistPage_);
}

void MainWindow::selectAlbumsView() {
    albumsAction_->setChecked(true);
    if (stack_->currentWidget() == welcomePage_) return;
    stack_->setCurrentWidget(albumPage_);
    // The catalogue is built when its page is first shown after a library was read.
    if (!albumPage_->isCurrent() && KvrItunesMAnager::sharedManager().library())
        albumPage_->reloadItunesData();
}

void MainWindow::showLogWindow() { logWindow_->showWindow(); }

void MainWindow::exportFolder() {
    if (!exportAction_->isEnabled()) return;
    if (auto* page = qobject_cast<BrowserPage*>(currentPage())) page->exportFolder();
}

void MainWindow::saveToExcel() {
    if (!listingAction_->isEnabled()) return;
    if (auto* page = qobject_cast<BrowserPage*>(currentPage())) page->exportToExcel();
}

void MainWindow::updateJobActions() {
    const bool ready = !loading_ && KvrItunesMAnager::sharedManager().library() &&
                       qobject_cast<BrowserPage*>(currentPage()) &&
                       (currentPage() != albumPage_ || albumPage_->isCurrent());
    exportAction_->setEnabled(ready);
    listingAction_->setEnabled(ready);
}

void MainWindow::reloadItunesData() {
    if (albumsAction_->isChecked() && stack_->currentWidget() == albumPage_)
        albumPage_->reloadItunesData();
    else
        reloadLibrary();
}

LibraryOpenOptions MainWindow::locations() const {
    return options_.locations ? *options_.locations : LibraryPreferences::openOptions(settings());
}

void MainWindow::reloadLibrary() {
    if (worker_.joinable()) worker_.join();
    const auto file = LibraryLocator::find(options_.libraryFile);
    if (!file.ok()) {
        KvrItunesMAnager::sharedManager().setLibrary(nullptr, file.message());
        playlistPage_->showLibrary(nullptr);
        showWelcome(QString::fromStdString(file.message()));
        Q_EMIT libraryLoaded(false);
        return;
    }
    loading_ = true;
    updateJobActions();
    if (sheet_) sheet_->finish();
    sheet_ = new LoadingSheet(this);
    sheet_->setAttribute(Qt::WA_DeleteOnClose);
    sheet_->setMessageToString(QStringLiteral("Loading Playlists..."));
    sheet_->openOn(this);

    auto job = std::make_shared<Loaded>();
    job->generation = ++generation_;
    const bool askForFolder = !options_.locations && !settings().contains("MusicFolder");
    QPointer<MainWindow> window(this);
    worker_ = std::thread([window, job, file = file.value(), options = locations(), askForFolder] {
        auto read = MediaLibrary::initWithContentsOfFile(file, options);
        std::shared_ptr<const MediaLibrary> library;
        if (read.ok()) library = std::move(read).value();
        job->library = library;
        job->error = read.ok() ? std::string() : read.message();
        job->offerFolder = library && askForFolder &&
                           !LibraryPreferences::musicFolderIsLocal(*library) &&
                           LibraryPreferences::mostFilesMissing(*library);
        QMetaObject::invokeMethod(
            window.data(),
            [window, job] {
                if (window) window->finishLoading(job);
            },
            Qt::QueuedConnection);
    });
}

void MainWindow::finishLoading(std::shared_ptr<Loaded> loaded) {
    if (loaded->generation != generation_) return;
    loading_ = false;
    if (sheet_) sheet_->finish();
    KvrItunesMAnager::sharedManager().reset();
    KvrItunesMAnager::sharedManager().setLibrary(loaded->library, loaded->error);
    if (!loaded->library) {
        playlistPage_->showLibrary(nullptr);
        showWelcome(QString::fromStdString(loaded->error));
        Q_EMIT libraryLoaded(false);
        return;
    }
    stack_->setCurrentWidget(albumsAction_->isChecked() ? static_cast<QWidget*>(albumPage_)
                                                        : playlistPage_);
    playlistPage_->showLibrary(loaded->library);
    if (stack_->currentWidget() == albumPage_) albumPage_->reloadItunesData();
    Q_EMIT libraryLoaded(true);
    if (loaded->offerFolder) offerMusicFolder();
}

void MainWindow::showWelcome(const QString& reason) {
    playlistPage_->songList()->clear();
    // Without a library no page's counts apply: the display shows the empty state.
    status_->setPlaylistTitle(QString());
    status_->setTypeString(QString());
    status_->setSongsNum(0);
    status_->setTotalTime(0);
    welcomePage_->setFailure(reason);
    stack_->setCurrentWidget(welcomePage_);
}

void MainWindow::openLibraryFile(const QString& file) {
    settings().setString("LibraryPath", file.toStdString());
    settings().flush();
    // The chosen file wins over one named on the command line.
    options_.libraryFile = std::filesystem::path(file.toStdString());
    reloadLibrary();
}

void MainWindow::offerMusicFolder() {
    auto* box = new QMessageBox(QMessageBox::Question, tr("Kelvara"),
                                tr("Most songs' files are not where the library says."),
                                QMessageBox::NoButton, this);
    box->setInformativeText(
        tr("The library was probably made on another computer. Choose the folder on this "
           "computer that holds its music, and Kelvara (and kelvara-cli) will look for the "
           "files there."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QPushButton* choose = box->addButton(tr("Choose Music Folder…"), QMessageBox::AcceptRole);
    box->addButton(tr("Not Now"), QMessageBox::RejectRole);
    connect(box, &QMessageBox::finished, this, [this, box, choose] {
        if (box->clickedButton() != choose) return;
        const QString folder =
            QFileDialog::getExistingDirectory(this, tr("Music Folder"), QDir::homePath());
        if (folder.isEmpty()) return;
        LibraryPreferences::store(settings(), std::filesystem::path(folder.toStdString()),
                                  LibraryPreferences::pathMap(settings()));
        reloadLibrary();
    });
    box->open();
}

void MainWindow::showLibrarySettings() {
    auto* dialog = new LibrarySettingsDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this] {
        options_.locations.reset();
        reloadLibrary();
    });
    dialog->open();
}

void MainWindow::showAbout() {
    auto* dialog = new AboutDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
}

void MainWindow::saveState() const {
    storeBytes("WindowGeometry", saveGeometry());
    storeBytes("PlaylistPageSplitter", playlistPage_->splitter()->saveState());
    storeBytes("AlbumPageSplitter", albumPage_->splitter()->saveState());
    storeBytes("PlaylistSongColumns", playlistPage_->songList()->columnState());
    storeBytes("AlbumSongColumns", albumPage_->songList()->columnState());
    settings().flush();
}

void MainWindow::restoreState() {
    const QByteArray geometry = storedBytes("WindowGeometry");
    if (!geometry.isEmpty()) restoreGeometry(geometry);
    const QByteArray playlistSplitter = storedBytes("PlaylistPageSplitter");
    if (!playlistSplitter.isEmpty()) playlistPage_->splitter()->restoreState(playlistSplitter);
    const QByteArray albumSplitter = storedBytes("AlbumPageSplitter");
    if (!albumSplitter.isEmpty()) albumPage_->splitter()->restoreState(albumSplitter);
    playlistPage_->songList()->restoreColumnState(storedBytes("PlaylistSongColumns"));
    albumPage_->songList()->restoreColumnState(storedBytes("AlbumSongColumns"));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!runsStopped_ && ExportFlow::anyBusy()) {
        event->ignore();
        auto* box = new QMessageBox(QMessageBox::Question, tr("Kelvara"),
                                    tr("An export is running. Stop it and quit?"),
                                    QMessageBox::NoButton, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        QPushButton* stop = box->addButton(tr("Stop and Quit"), QMessageBox::DestructiveRole);
        QPushButton* cancel = box->addButton(QMessageBox::Cancel);
        box->setDefaultButton(cancel);
        box->setEscapeButton(cancel);
        connect(box, &QMessageBox::finished, this, [this, box, stop] {
            if (box->clickedButton() != stop) return;
            // The song in flight ends whole; then the window closes as usual.
            QPointer<MainWindow> window(this);
            ExportFlow::stopAll([window] {
                if (!window) return;
                window->runsStopped_ = true;
                window->close();
            });
        });
        box->open();
        return;
    }
    saveState();
    event->accept();
    // The log window may still be open; closing the main window ends the application anyway.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}
