#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QTimer>
#include <string_view>

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

// The options, for the parser of the running application and for the terminal-only one.
struct CommandLine {
    QCommandLineParser parser;
    const QCommandLineOption library{"library", "The library's XML file.", "file"};
    const QCommandLineOption musicFolder{"music-folder",
                                         "The local copy of the library's music folder.", "folder"};
    const QCommandLineOption map{"map", "Replace the path prefix FROM by TO (repeatable).",
                                 "FROM=TO"};
    const QCommandLineOption configDir{"config-dir", "Keep the preferences in this folder.",
                                       "folder"};
    const QCommandLineOption screenshots{
        "screenshots", "Save PNG pictures of the pages to a folder and quit.", "folder"};

    CommandLine() {
        parser.setApplicationDescription(
            QStringLiteral("Copies music out of an iTunes or Music library."));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({library, musicFolder, map, configDir, screenshots});
    }
};

// --help and --version must answer where no display can be opened (over ssh, in a package
// check), and a QApplication aborts there before it parses anything.
bool onlyAsksForText(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") return false;
        if (arg == "-h" || arg == "--help" || arg == "-?" || arg == "--help-all" || arg == "-v" ||
            arg == "--version")
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (onlyAsksForText(argc, argv)) {
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("kelvara"));
        QCoreApplication::setApplicationVersion(QStringLiteral(KELVARA_VERSION));
        CommandLine commandLine;
        commandLine.parser.process(core);  // prints the text and exits
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvara"));
    QApplication::setApplicationVersion(QStringLiteral(KELVARA_VERSION));
    // The installed desktop entry's id: the desktop shell matches windows to it, and the theme
    // holds the icon under the same name.
    QApplication::setDesktopFileName(QStringLiteral("io.github.kelvara.Kelvara"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("io.github.kelvara.Kelvara")));

    CommandLine commandLine;
    QCommandLineParser& parser = commandLine.parser;
    const QCommandLineOption& library = commandLine.library;
    const QCommandLineOption& musicFolder = commandLine.musicFolder;
    const QCommandLineOption& map = commandLine.map;
    const QCommandLineOption& configDir = commandLine.configDir;
    const QCommandLineOption& screenshots = commandLine.screenshots;
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
