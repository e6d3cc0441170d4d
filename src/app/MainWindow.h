#pragma once

#include <QMainWindow>
#include <QPointer>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "library/MediaLibrary.h"

class AlbumPage;
class LoadingSheet;
class LogWindow;
class PlaylistPage;
class PreviewPanel;
class QActionGroup;
class QStackedWidget;
class QToolBar;
class StatusDisplay;
class WelcomePage;

// The main window: the toolbar with the two page buttons, the status display and the song
// commands; the playlist page, the album page, or the welcome page when there is no library.
class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    struct Options {
        // The library file named on the command line; else it is found as the command line finds
        // it.
        std::optional<std::filesystem::path> libraryFile;
        // Where the files are, given on the command line; else the preferences say.
        std::optional<kelvara::LibraryOpenOptions> locations;
    };

    explicit MainWindow(Options options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Reads the library file on a worker thread behind the loading sheet and fills the pages.
    void reloadLibrary();
    // The Reload command: the playlist page re-reads the file, the album page rebuilds its records.
    void reloadItunesData();
    void selectPlaylistView();
    void selectAlbumsView();
    void showLogWindow();
    // Export… and Save Listing…, forwarded to the page on screen.
    void exportFolder();
    void saveToExcel();
    // Opens a file the user chose and remembers it as "LibraryPath".
    void openLibraryFile(const QString& file);
    void showLibrarySettings();
    void showAbout();
    // The welcome page instead of the pages, with why the library could not be read.
    void showWelcome(const QString& reason);

    PlaylistPage* playlistPage() const { return playlistPage_; }
    AlbumPage* albumPage() const { return albumPage_; }
    WelcomePage* welcomePage() const { return welcomePage_; }
    StatusDisplay* statusDisplay() const { return status_; }
    LogWindow* logWindow() const { return logWindow_.get(); }
    QToolBar* toolBar() const { return toolBar_; }
    QWidget* currentPage() const;
    bool isLoading() const { return loading_; }
    QAction* action(const QString& objectName) const;

  Q_SIGNALS:
    // A library load ended: the pages are filled, or the welcome page says why not.
    void libraryLoaded(bool ok);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    struct Loaded;
    void buildToolBarAndMenus();
    // Export and Save Listing need a library and no load going on.
    void updateJobActions();
    void finishLoading(std::shared_ptr<Loaded> loaded);
    void offerMusicFolder();
    void saveState() const;
    void restoreState();
    kelvara::LibraryOpenOptions locations() const;

    Options options_;
    StatusDisplay* status_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    PlaylistPage* playlistPage_ = nullptr;
    AlbumPage* albumPage_ = nullptr;
    WelcomePage* welcomePage_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QActionGroup* views_ = nullptr;
    QAction* playlistsAction_ = nullptr;
    QAction* albumsAction_ = nullptr;
    QAction* exportAction_ = nullptr;
    QAction* listingAction_ = nullptr;
    std::unique_ptr<LogWindow> logWindow_;
    PreviewPanel* previewPanel_ = nullptr;
    QPointer<LoadingSheet> sheet_;
    std::thread worker_;
    int generation_ = 0;
    bool loading_ = false;
    // Set once the runs have stopped after the user chose to quit during one.
    bool runsStopped_ = false;
};
