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
    Album& album(const std::string& title, OptionalText albumArtist = std::nullopt, bool compilation = false) {
        Album& a = library.addAlbum();
        a.setPersistentID(++nextID);
        a.setTitle(title);
        a.setAlbumArtist(std::move(albumArtist));
        a.setIsCompilation(compilation);
        return a;
    }
    // A song whose file `fileName` (under music/) holds `content`; no file when content is empty.
    MediaItem& song(const std::string& title, const Artist* by, const Album* on, const std::string& fileName,
                    const std::string& content = "audio", unsigned track = 0) {
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

    // Every file under `out`, relative, sorted.
    std::vector<std::string> tree() const {
        std::vector<std::string> files;
        std::error_code ec;
        for (std::filesystem::recursive_directory_iterator it(out, ec), end; !ec && it != end; it.increment(ec))
            if (it->symlink_status().type() != std::filesystem::file_type::directory) files.push_back(it->path().lexically_relative(out).string());
        std::sort(files.begin(), files.end());
        return files;
    }

    TempDir dir;
    MediaLibrary library;
    RecordingExportUi ui;
    KvrUserOptions options;
    PreferencesStore preferences{dir / "prefs.json"};
    std::filesystem::path out = dir / "out";
    PersistentID nextID = 0x100;
};

}  // namespace kelvara::test
