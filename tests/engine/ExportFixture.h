#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "RecordingExportUi.h"
#include "engine/KvExportManager.h"
#include "library/MediaLibrary.h"
#include "platform/PreferencesStore.h"
#include "support/TestSupport.h"

namespace kelvara::test {

// A library built in code over real files, a destination folder and a recording front end.
class ExportFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        PreferencesStore::useDirectory(dir.path() / "config");
        KvrUserOptions::resetSharedOptions();
        std::filesystem::create_directories(dir / "music");
    }

    Artist& artist(const std::string& name) {
        Artist& a = library.addArtist();
        a.setName(name);
        return a;
    }
    Album& album(const std::string& title, OptionalText albumArtist = std::nullopt,
                 bool compilation = false) {
        Album& a = library.addAlbum();
        a.setPersistentID(++nextID);
        a.setTitle(title);
        a.setAlbumArtist(std::move(albumArtist));
        a.setIsCompilation(compilation);
        return a;
    }
    // A song whose file `fileName` (under music/) holds `content`; no file when content is empty.
    MediaItem& song(const std::string& title, const Artist* by, const Album* on,
                    const std::string& fileName, const std::string& content = "audio",
                    unsigned track = 0) {
        MediaItem& item = library.addMediaItem();
        item.setPersistentID(++nextID);
        item.setTitle(title);
        item.setArtist(by);
        item.setAlbum(on);
        item.setTrackNumber(track);
        item.setTotalTime(239999);
        item.setCanonicalKind(std::string("MPEG audio file"));
        const auto path = dir / "music" / fileName;
        if (!content.empty()) writeFile(path, content);
        item.setMappedPath(path);
        return item;
    }
    const Playlist* playlist(const std::string& name, std::vector<const MediaItem*> items) {
        Playlist& p = library.addPlaylist();
        p.setPersistentID(++nextID);
        p.setName(name);
        p.setItems(std::move(items));
        return &p;
    }

    // A manager with the given persistent options and m3u files on.
    std::unique_ptr<KvExportManager> manager(SongConverter* converter = nullptr) {
        auto m = std::make_unique<KvExportManager>(ui, converter);
        m->setUserOptions(options);
        m->setPreferences(preferences);
        m->setExportPlaylistFile(true);
        return m;
    }

    RunEnding runPlaylists(KvExportManager& m, std::vector<const Playlist*> playlists) {
        m.exportPlaylists(std::move(playlists), out);
        return m.waitUntilFinished();
    }
    // An album page record, as the album catalogue makes it.
    static std::shared_ptr<KvrAlbumInfo> albumRecord(const std::string& title, OptionalText artist,
                                                     const Album* on,
                                                     std::vector<const MediaItem*> songs) {
        auto record = std::make_shared<KvrAlbumInfo>();
        record->setTitle(title);
        record->setArtist(std::move(artist));
        record->setAlbum(on);
        record->setAlbumSongs(std::move(songs));
        return record;
    }
    RunEnding runAlbums(KvExportManager& m, std::vector<std::shared_ptr<KvrAlbumInfo>> albums) {
        m.exportAlbums(std::move(albums), out);
        return m.waitUntilFinished();
    }
    // The titles of a playlist's songs in the export's order under the given track order.
    std::vector<std::string> songOrder(const Playlist& list, int tracksOrder, bool ascending) {
        options.setTracksOrder(storedOption<TrackOrder>(tracksOrder));
        options.setOrderAscending(ascending);
        std::vector<std::string> titles;
        for (const MediaItem* item : manager()->getSongsFromPlaylist(list))
            titles.push_back(*item->title());
        return titles;
    }
    // A run that stopped on `error`: the line after the separator, the alert, nothing announced.
    void expectStoppedWithError(const std::string& error) {
        ASSERT_GE(ui.lines.size(), 2u);
        EXPECT_EQ(ui.lines[ui.lines.size() - 2], std::string(77, '-'));
        EXPECT_EQ(ui.lines.back(), "Export stopped with error:" + error);
        EXPECT_EQ(ui.alerts, std::vector<std::string>{"Error:" + error});
        EXPECT_EQ(ui.progressClosed, 1);
        EXPECT_EQ(ui.inhibitEnded, 1);
        EXPECT_TRUE(ui.notifications.empty());
    }

    std::vector<std::string> tree() const { return filesUnder(out); }

    TempDir dir;
    MediaLibrary library;
    RecordingExportUi ui;
    KvrUserOptions options;
    PreferencesStore preferences{dir / "prefs.json"};
    std::filesystem::path out = dir / "out";
    PersistentID nextID = 0x100;
};

}  // namespace kelvara::test
