// The desktop application's speed on a big library, on the offscreen platform: opening the library
// until the playlist page is filled (against `kelvara-cli playlists` on the same file), selecting
// a big playlist until its song table is filled, typing one character into the search field of the
// playlist and album pages, and the peak memory with the library open.
//
// Usage: app_bench LIBRARY.xml KELVARA_CLI
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/AlbumPage.h"
#include "app/AlbumTableModel.h"
#include "app/KvrTableView.h"
#include "app/MainWindow.h"
#include "app/PlaylistPage.h"
#include "app/PlaylistTableModel.h"
#include "app/SongListView.h"
#include "engine/KvrUserOptions.h"
#include "library/Playlist.h"
#include "platform/PreferencesStore.h"

using namespace kelvara;

namespace {

// Runs the event loop until `done`, then once more so that what was queued by the change is
// handled too; the seconds it took from `clock`'s start. The loop sleeps between events, as the
// application's own does: spinning would take a core from the loading threads on a small machine.
double until(const QElapsedTimer& clock, const std::function<bool()>& done) {
    QTimer look;  // wakes the sleeping loop to look at `done` again
    look.start(2);
    while (!done()) {
        if (clock.elapsed() > 600'000) {
            std::fprintf(stderr, "app_bench: gave up waiting\n");
            std::exit(1);
        }
        QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    QApplication::processEvents();
    return clock.nsecsElapsed() / 1e9;
}

double cliPlaylists(const QString& cli, const QString& library, const QString& config) {
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(cli, {"--library", library, "--config-dir", config, "playlists"});
    process.waitForFinished(-1);
    return clock.nsecsElapsed() / 1e9;
}

// The time one character typed into `page`'s search field takes, until the list shows the result.
double typeOne(BrowserPage* page, char c) {
    page->searchField()->setFocus();
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(page->searchField(), c);
    QApplication::processEvents();
    const double seconds = clock.nsecsElapsed() / 1e9;
    QTest::keyClick(page->searchField(), Qt::Key_Backspace);
    QApplication::processEvents();
    return seconds;
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: app_bench LIBRARY.xml KELVARA_CLI\n");
        return 2;
    }
    const QString library = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir config;
    PreferencesStore::useDirectory(config.path().toStdString());
    KvrUserOptions::resetSharedOptions();

    // The command line first, with a warm file cache for both.
    cliPlaylists(argv[2], library, config.path());
    double cli = 1e9;
    for (int i = 0; i < 3; ++i) cli = std::min(cli, cliPlaylists(argv[2], library, config.path()));

    QElapsedTimer clock;
    clock.start();
    MainWindow::Options options;
    options.libraryFile = std::filesystem::path(argv[1]);
    options.locations = LibraryOpenOptions{};
    MainWindow window(options);
    window.resize(1280, 800);
    window.show();
    bool loaded = false;
    QObject::connect(&window, &MainWindow::libraryLoaded, [&](bool ok) {
        if (!ok) {
            std::fprintf(stderr, "app_bench: the library did not load\n");
            std::exit(1);
        }
        loaded = true;
    });
    window.reloadLibrary();  // as the application starts it, once the window is shown
    PlaylistPage* playlists = window.playlistPage();
    const double open =
        until(clock, [&] { return loaded && playlists->listModel()->rowCount() > 0; });
    std::printf(
        "open %d playlists: %.3f s   kelvara-cli playlists: %.3f s   ratio %.2f (at most 1.5)\n",
        playlists->listModel()->rowCount(), open, cli, open / cli);

    // The biggest playlist on the page.
    int biggest = -1;
    std::size_t size = 0;
    for (int row = 0; row < playlists->listModel()->rowCount(); ++row) {
        const Playlist* playlist = playlists->listModel()->playlist(row);
        if (playlist && !playlist->isFolder() && playlist->items().size() > size &&
            playlist->items().size() <= 20000) {
            size = playlist->items().size();
            biggest = row;
        }
    }
    if (biggest >= 0) {
        clock.restart();
        playlists->table()->selectRow(biggest);
        const double select = until(clock, [&] {
            return playlists->songList()->model()->rowCount() > 0 &&
                   playlists->selectedPlaylist() == playlists->listModel()->playlist(biggest);
        });
        std::printf("select a playlist of %zu songs (%d rows): %.3f s (under 0.3)\n", size,
                    playlists->songList()->model()->rowCount(), select);
    }

    std::printf("type into the search of %d playlists: %.1f ms (under 50)\n",
                playlists->listModel()->rowCount(), typeOne(playlists, 'e') * 1000);

    window.selectAlbumsView();
    AlbumPage* albums = window.albumPage();
    clock.restart();
    const double catalogue = until(clock, [&] { return albums->listModel()->rowCount() > 0; });
    std::printf("album catalogue of %d albums: %.3f s\n", albums->listModel()->rowCount(),
                catalogue);
    std::printf("type into the search of %d albums: %.1f ms (under 50)\n",
                albums->listModel()->rowCount(), typeOne(albums, 'e') * 1000);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory: %.0f MB (under 700)\n", usage.ru_maxrss / 1024.0);
    return 0;
}
