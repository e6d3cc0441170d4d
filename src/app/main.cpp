#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTimer>

#include "app/AlbumPage.h"
#include "app/MainWindow.h"
#include "engine/KvrUserOptions.h"
#include "library/LibraryPreferences.h"
#include "platform/PreferencesStore.h"

using namespace kelvara;

namespace {

// --screenshots: the two pages of the library, then the welcome page, as PNG files.
void takeScreenshots(MainWindow& window, const QString& folder) {
    QDir().mkpath(folder);
    auto grab = [&window, folder](const QString& name) {
        QApplication::processEvents();
        window.grab().save(QDir(folder).filePath(name));
    };
    QObject::connect(
        &window, &MainWindow::libraryLoaded, &window, [&window, grab, folder](bool ok) {
            if (!ok) {
                grab(QStringLiteral("welcome.png"));
                QApplication::exit(0);
                return;
            }
            QTimer::singleShot(300, &window, [&window, grab] {
                grab(QStringLiteral("playlists.png"));
                QObject::connect(window.albumPage(), &AlbumPage::loaded, &window, [&window, grab] {
                    QTimer::singleShot(300, &window, [&window, grab] {
                        grab(QStringLiteral("albums.png"));
                        window.showWelcome({});
                        grab(QStringLiteral("welcome.png"));
                        QApplication::exit(0);
                    });
                });
                window.selectAlbumsView();
            });
        });
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvara"));
    QApplication::setApplicationVersion(QStringLiteral(KELVARA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("kelvara"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Copies music out of an iTunes or Music library."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption library("library", "The library's XML file.", "file");
    const QCommandLineOption musicFolder("music-folder",
                                         "The local copy of the library's music folder.", "folder");
    const QCommandLineOption map("map", "Replace the path prefix FROM by TO (repeatable).",
                                 "FROM=TO");
    const QCommandLineOption configDir("config-dir", "Keep the preferences in this folder.",
                                       "folder");
    const QCommandLineOption screenshots(
        "screenshots", "Save PNG pictures of the pages to a folder and quit.", "folder");
    parser.addOptions({library, musicFolder, map, configDir, screenshots});
    parser.process(app);

    if (parser.isSet(configDir)) {
        PreferencesStore::useDirectory(parser.value(configDir).toStdString());
        KvrUserOptions::resetSharedOptions();
    }
    MainWindow::Options options;
    if (parser.isSet(library)) options.libraryFile = parser.value(library).toStdString();
    if (parser.isSet(musicFolder) || parser.isSet(map)) {
        LibraryOpenOptions locations;
        if (parser.isSet(musicFolder))
            locations.musicFolder = parser.value(musicFolder).toStdString();
        for (const QString& pair : parser.values(map)) {
            const auto mapping = LibraryPreferences::parseMapping(pair.toStdString());
            if (!mapping) {
                qCritical("kelvara: --map expects FROM=TO, got \"%s\"", qPrintable(pair));
                return 2;
            }
            locations.mappings.push_back(*mapping);
        }
        options.locations = std::move(locations);
    }

    MainWindow window(std::move(options));
    if (parser.isSet(screenshots)) {
        window.resize(1280, 800);
        takeScreenshots(window, parser.value(screenshots));
    }
    window.show();
    QTimer::singleShot(0, &window, &MainWindow::reloadLibrary);
    return app.exec();
}
