#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "app/MainWindow.h"
#include "engine/KvrUserOptions.h"
#include "library/KvrItunesMAnager.h"
#include "platform/PreferencesStore.h"
#include "support/TestSupport.h"

// A generated library in a temporary folder, a temporary preferences folder, and the main window
// over them, loaded the way the application loads at launch.
class MainWindowFixture : public testing::Test {
  protected:
    struct Song {
        Song(std::string title, std::string artist = "Artist", std::string album = "Album",
             long long milliseconds = 200000, bool withFile = true, std::string extra = {})
            : title(std::move(title)),
              artist(std::move(artist)),
              album(std::move(album)),
              milliseconds(milliseconds),
              withFile(withFile),
              extra(std::move(extra)) {}
        std::string title, artist, album;
        long long milliseconds;
        bool withFile;
        std::string extra;  // more keys: "<key>Protected</key><true/>", a Track Type...
    };
    struct List {
        List(std::string name, std::vector<int> songs, std::string extra = {})
            : name(std::move(name)), songs(std::move(songs)), extra(std::move(extra)) {}
        std::string name;
        std::vector<int> songs;  // indexes into the song list, 0-based
        std::string extra;
    };

    void SetUp() override {
        kelvara::PreferencesStore::useDirectory(config.path());
        kelvara::KvrUserOptions::resetSharedOptions();
        kelvara::KvrItunesMAnager::sharedManager().reset();
    }
    void TearDown() override {
        window.reset();
        kelvara::KvrItunesMAnager::sharedManager().reset();
    }

    static std::string persistentID(int n) {
        char text[17];
        std::snprintf(text, sizeof text, "%016X", 0xA000 + n);
        return text;
    }
    static std::uint64_t persistentNumber(int n) { return 0xA000 + n; }

    std::filesystem::path writeLibrary(const std::vector<Song>& songs,
                                       const std::vector<List>& lists) {
        using namespace kelvara::test;
        std::string tracks;
        for (std::size_t i = 0; i < songs.size(); ++i) {
            const Song& song = songs[i];
            const std::filesystem::path file = music.path() / (std::to_string(i) + ".mp3");
            if (song.withFile) writeFile(file, "not really audio");
            tracks += trackXml(int(i) + 1, "<key>Name</key><string>" + song.title +
                                               "</string>"
                                               "<key>Artist</key><string>" +
                                               song.artist +
                                               "</string>"
                                               "<key>Album</key><string>" +
                                               song.album +
                                               "</string>"
                                               "<key>Total Time</key><integer>" +
                                               std::to_string(song.milliseconds) +
                                               "</integer><key>Persistent ID</key><string>" +
                                               persistentID(int(i) + 1) +
                                               "</string><key>Location</key><string>file://" +
                                               file.string() + "</string>" + song.extra);
        }
        std::string playlists;
        for (std::size_t i = 0; i < lists.size(); ++i) {
            std::vector<int> ids;
            for (int song : lists[i].songs) ids.push_back(song + 1);
            playlists += playlistXml("<key>Name</key><string>" + lists[i].name +
                                         "</string><key>Playlist Persistent ID</key><string>" +
                                         persistentID(100 + int(i)) + "</string>" + lists[i].extra,
                                     ids);
        }
        const std::filesystem::path file = library.path() / "Library.xml";
        writeFile(file, libraryXml(tracks, playlists));
        return file;
    }

    // Opens the window on `file` and waits until the playlist page is filled (or the welcome page
    // says why not).
    bool open(const std::filesystem::path& file) {
        MainWindow::Options options;
        options.libraryFile = file;
        window = std::make_unique<MainWindow>(options);
        window->show();
        return reload();
    }
    bool reload() {
        bool ok = false;
        bool done = false;
        auto connection =
            QObject::connect(window.get(), &MainWindow::libraryLoaded, [&](bool loaded) {
                ok = loaded;
                done = true;
            });
        window->reloadLibrary();
        const bool ended = QTest::qWaitFor([&] { return done; }, 10000);
        QObject::disconnect(connection);
        QTest::qWait(20);
        return ended && ok;
    }

    kelvara::PreferencesStore& settings() {
        return kelvara::PreferencesStore::standardUserDefaults();
    }

    kelvara::test::TempDir config, music, library;
    std::unique_ptr<MainWindow> window;
};
