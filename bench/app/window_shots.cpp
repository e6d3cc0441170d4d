// Pictures of the export windows for the README: runs a copy export of a library (the demo one)
// through the desktop front end into a temporary folder, then saves the log window, the progress
// sheet in the middle of a run, the About dialog, the preview panel and the export, advanced
// options, file-name format and listing dialogs as PNG files.
//
// Usage: window_shots LIBRARY.xml MUSIC_FOLDER OUTPUT_FOLDER
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <cstdio>
#include <functional>
#include <future>

#include "app/AboutDialog.h"
#include "app/LoadingSheet.h"
#include "app/LogWindow.h"
#include "app/PreviewPanel.h"
#include "app/ProgressSheet.h"
#include "app/QtExportUi.h"
#include "dialogs/AdvancedExportDialog.h"
#include "dialogs/ExportDialog.h"
#include "dialogs/FormatEditor.h"
#include "dialogs/ListingDialog.h"
#include "engine/KvExportManager.h"
#include "engine/KvrUserOptions.h"
#include "library/MediaLibrary.h"
#include "library/PlaylistBrowser.h"
#include "platform/PreferencesStore.h"

using namespace kelvara;

namespace {

void waitFor(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget* widget, const QString& folder, const QString& name) {
    QApplication::processEvents();
    const bool ok = widget->grab().save(QDir(folder).filePath(name));
    std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "cannot write",
                 qPrintable(QDir(folder).filePath(name)));
    return ok;
}

// Stops the worker in the second song long enough to picture the sheet.
class PausingExportUi : public QtExportUi {
  public:
    using QtExportUi::QtExportUi;
    void setSmallInfo(const std::string& info) override {
        QtExportUi::setSmallInfo(info);
        if (!info.empty() && ++songs_ == 2) resume.get_future().wait();
    }
    std::promise<void> resume;

  private:
    int songs_ = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: window_shots LIBRARY.xml MUSIC_FOLDER OUTPUT_FOLDER\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[3]);
    QDir().mkpath(output);
    QTemporaryDir scratch;
    PreferencesStore::useDirectory(QDir(scratch.path()).filePath("config").toStdString());
    KvrUserOptions::resetSharedOptions();

    LibraryOpenOptions options;
    options.musicFolder = std::filesystem::path(argv[2]);
    auto opened = MediaLibrary::initWithContentsOfFile(argv[1], options);
    if (!opened.ok()) {
        std::fprintf(stderr, "window_shots: %s\n", opened.status().message().c_str());
        return 1;
    }
    std::shared_ptr<const MediaLibrary> library(std::move(*opened));

    QMainWindow window;
    window.setWindowTitle("Kelvara");
    auto* backdrop = new QLabel("Kelvara");
    backdrop->setAlignment(Qt::AlignCenter);
    window.setCentralWidget(backdrop);
    window.resize(900, 560);
    window.show();
    LogWindow log;
    log.resize(760, 520);
    PausingExportUi ui(&window, &log);
    ui.setOpensDestination(false);
    ui.setNotifies(false);
    bool ended = false;
    QObject::connect(&ui, &QtExportUi::runEnded, [&] { ended = true; });

    PlaylistBrowser browser(library.get(), PreferencesStore::standardUserDefaults());
    browser.loadPlaylist();
    const std::vector<const Playlist*> playlists = browser.chosen(ItemChoice::All);
    // A fixed destination: the log names it, and the picture stays the same from run to run.
    QDir destination(QDir::temp().filePath("Kelvara Export"));
    destination.removeRecursively();
    {
        KvExportManager manager(ui);
        manager.setLibrary(library);
        manager.setExportPlaylistFile(true);
        manager.exportPlaylists(playlists, destination.path().toStdString());
        waitFor([&] {
            return ui.progressSheet()->isVisible() && !ui.progressSheet()->smallInfo().isEmpty() &&
                   ui.progressSheet()->value() > 0;
        });
        bool ok = save(ui.progressSheet(), output, "progress-sheet.png");
        ui.resume.set_value();
        waitFor([&] { return ended; });
        manager.waitUntilFinished();
        log.showWindow();
        ok = save(&log, output, "log-window.png") && ok;
        destination.removeRecursively();
        if (!ok) return 1;
    }

    AboutDialog about(&window);
    about.open();
    save(&about, output, "about.png");
    about.accept();

    LoadingSheet loading;
    loading.setMessageToString("Loading Playlists...");
    loading.openOn(&window);
    save(&loading, output, "loading-sheet.png");
    loading.finish();

    for (const bool albums : {false, true}) {
        ExportDialog dialog(&window);
        dialog.setIsAlbum(albums);
        dialog.setNumberOfPlaylistForExport(albums ? 12 : 3);
        dialog.setNumberOfSongsForExport(albums ? 141 : 58);
        dialog.setNumberOfAllPlaylist(albums ? 40 : 9);
        dialog.setNumberOfAllSongs(albums ? 420 : 180);
        dialog.resize(dialog.width(), 490);
        dialog.open();
        waitFor([&] { return !dialog.previewNumbersLabel()->text().isEmpty(); });
        save(&dialog, output, albums ? "export-dialog-albums.png" : "export-dialog.png");
        dialog.done(QDialog::Accepted);
    }
    AdvancedExportDialog advanced(false, &window);
    advanced.open();
    save(&advanced, output, "advanced-options.png");
    advanced.done(QDialog::Rejected);
    FormatEditor editor(&window);
    editor.open();
    save(&editor, output, "format-editor.png");
    editor.done(QDialog::Rejected);
    ListingDialog listing(&window);
    listing.open();
    save(&listing, output, "listing-dialog.png");
    listing.done(QDialog::Rejected);

    PreviewPanel preview(&window);
    for (const MediaItem* item : library->allMediaItems())
        if (item->location()) {
            preview.showSong(item);
            break;
        }
    // Pictured without showing it: shown, it would start playing.
    preview.adjustSize();
    save(&preview, output, "preview-panel.png");
    return 0;
}
