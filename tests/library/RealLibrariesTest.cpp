// The real library files of tests/fixtures/itunes-xml (see its README), read end to end.
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "library/AlbumCatalogue.h"
#include "library/DistinguishedKinds.h"
#include "library/MediaLibrary.h"
#include "platform/PreferencesStore.h"
#include "support/TestSupport.h"

namespace kelvara {
namespace {

namespace dk = distinguished_kind;

std::unique_ptr<MediaLibrary> open(const std::string& name, LibraryOpenOptions options = {}) {
    auto library =
        MediaLibrary::initWithContentsOfFile(test::fixture("itunes-xml/" + name), options);
    EXPECT_TRUE(library.ok()) << library.message();
    return library.ok() ? std::move(*library) : nullptr;
}

struct Expected {
    std::string name;
    unsigned kind;
    std::size_t items;
};

void expectPlaylists(const MediaLibrary& library, const std::vector<Expected>& expected) {
    const auto& playlists = library.allPlaylists();
    ASSERT_EQ(playlists.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(playlists[i]->name(), expected[i].name) << i;
        EXPECT_EQ(playlists[i]->distinguishedKind(), expected[i].kind) << expected[i].name;
        EXPECT_EQ(playlists[i]->items().size(), expected[i].items) << expected[i].name;
    }
}

TEST(RealLibraries, WindowsITunes11) {
    LibraryOpenOptions options;
    options.musicFolder = "/mnt/music";
    auto library = open("windows-itunes11-en-gb.xml", options);
    ASSERT_TRUE(library);
    EXPECT_EQ(library->allMediaItems().size(), 1779u);
    expectPlaylists(*library, {{"Library", 0, 1779},
                               {"Music", dk::Music, 1779},
                               {"Films", dk::Movies, 0},
                               {"TV Programmes", dk::TVShows, 0},
                               {"90s Music", dk::Music90s, 144},
                               {"Classical Music", dk::ClassicalMusic, 0},
                               {"My Top Rated", dk::MyTopRated, 96},
                               {"Recently Added", dk::RecentlyAdded, 1},
                               {"Recently Played", dk::RecentlyPlayed, 141},
                               {"Top 25 Most Played", dk::Top25MostPlayed, 25},
                               {"MamaMusic", 0, 27},
                               {"Meuuh", 0, 8},
                               {"Voice Memos", dk::VoiceMemos, 2}});
    EXPECT_TRUE(library->allPlaylists()[0]->isMaster());
    EXPECT_EQ(library->allPlaylists()[0]->persistentID(), 0x930205BE8D64BB99u);

    // Windows locations: the music folder prefix is mapped, case and escapes handled.
    const MediaItem& first = *library->allMediaItems().front();
    EXPECT_EQ(first.title(), "The Downfall Of Us All");
    EXPECT_EQ(first.mappedPath(),
              "/mnt/music/Music/A Day to Remember/Homesick/01 The Downfall Of Us All.mp3");
    EXPECT_EQ(first.persistentID(), 0x01C97181E0FB3F29u);
    EXPECT_EQ(first.album()->rating(), 60);
    EXPECT_TRUE(first.album()->isRatingComputed());

    // Albums and artists by identity: songs that disagree on sort texts or album rating hold
    // objects of their own with the same persistent ID.
    std::set<PersistentID> albums;
    std::set<PersistentID> artists;
    std::size_t voiceMemos = 0, songs = 0;
    for (const MediaItem* item : library->allMediaItems()) {
        albums.insert(item->album()->persistentID());
        if (item->artist()) artists.insert(item->artist()->persistentID());
        EXPECT_FALSE(item->isCloud());
        EXPECT_TRUE(item->canonicalKind()) << item->kind().value_or("");
        EXPECT_EQ(item->mappedPath().string().rfind("/mnt/music/", 0), 0u) << item->mappedPath();
        if (item->mediaKind() == MediaKind::VoiceMemo) ++voiceMemos;
        if (item->mediaKind() == MediaKind::Song) ++songs;
    }
    EXPECT_EQ(albums.size(), 269u);
    EXPECT_EQ(artists.size(), 265u);
    EXPECT_EQ(voiceMemos, 2u);
    EXPECT_EQ(songs, 1777u);

    // Without a music folder the paths stay as Windows wrote them.
    auto unmapped = open("windows-itunes11-en-gb.xml");
    EXPECT_EQ(unmapped->allMediaItems().front()->mappedPath(),
              "C:/Users/Emile/Music/iTunes/iTunes Media/Music/A Day to Remember/Homesick/"
              "01 The Downfall Of Us All.mp3");
    EXPECT_FALSE(unmapped->allMediaItems().front()->location());
}

TEST(RealLibraries, MusicAppFrenchCloudLibrary) {
    auto library = open("music-app-1.4-fr.xml");
    ASSERT_TRUE(library);
    EXPECT_EQ(library->allMediaItems().size(), 463u);
    expectPlaylists(*library, {{"Bibliothèque", 0, 463},
                               {"Musique", dk::Music, 463},
                               {"Arthur Rubinstein\xC2\xA0– Chopin: Nocturnes", 0, 6},
                               {"Calm", 0, 17},
                               {"Depression Time", 0, 22},
                               {"Old Song", 0, 35}});
    EXPECT_TRUE(library->allPlaylists()[0]->isMaster());
    for (const MediaItem* item : library->allMediaItems()) {
        EXPECT_TRUE(item->isCloud());
        EXPECT_FALSE(item->location());
        EXPECT_EQ(item->kind(), "Fichier audio AAC Apple\xC2\xA0Music");
        EXPECT_FALSE(item->canonicalKind());
        EXPECT_EQ(item->mediaKind(), MediaKind::Song);
    }
    const MediaItem& first = *library->allMediaItems().front();
    EXPECT_EQ(first.title(), "breathin");
    EXPECT_EQ(first.composer(), "Ariana Grande, Savan Kotecha, Peter Svensson & Ilya Salmanzadeh");
    EXPECT_EQ(first.album()->discNumber(), 1u);
    EXPECT_TRUE(first.hasArtworkAvailable());
}

TEST(RealLibraries, SmartPlaylistsOnly) {
    auto library = open("smart-playlists-only.xml");
    ASSERT_TRUE(library);
    EXPECT_TRUE(library->allMediaItems().empty());
    EXPECT_FALSE(library->musicFolder());
    const auto& playlists = library->allPlaylists();
    ASSERT_EQ(playlists.size(), 398u);
    EXPECT_TRUE(playlists[0]->isMaster());
    EXPECT_EQ(playlists[1]->distinguishedKind(), 0u) << "XML 65 (Downloaded) has no counterpart";
    EXPECT_EQ(playlists[2]->distinguishedKind(), dk::Music);

    std::vector<const Playlist*> folders;
    for (const Playlist* p : playlists) {
        if (p->isFolder()) folders.push_back(p);
    }
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0]->name(), "jrjzwj");
    const auto children = std::count_if(playlists.begin(), playlists.end(), [&](const Playlist* p) {
        return p->parentPersistentID() == folders[0]->persistentID();
    });
    EXPECT_EQ(children, 323);
}

// What Python's plistlib reads for each track, keyed by persistent ID: the album and artist values
// as the file gives them for that one song.
nlohmann::json trackValuesByPython(const std::string& name) {
    const auto result = test::runPython(R"(
import json, plistlib, sys
tracks = plistlib.load(open(sys.argv[1], "rb"))["Tracks"].values()
keys = ["Album Rating", "Album Rating Computed", "Sort Album", "Sort Album Artist", "Album Artist",
        "Compilation", "Disc Number", "Sort Artist", "Artist", "Album"]
print(json.dumps({t["Persistent ID"]: {k: t.get(k) for k in keys} for t in tracks}))
)",
                                        {test::fixture("itunes-xml/" + name).string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return nlohmann::json::parse(result.out);
}

template <typename T>
nlohmann::json jsonOr(const std::optional<T>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

TEST(RealLibraries, AlbumAndArtistValuesAreThoseOfEachSongItself) {
    for (const std::string name : {"windows-itunes11-en-gb.xml", "music-app-1.4-fr.xml"}) {
        auto library = open(name);
        ASSERT_TRUE(library);
        const nlohmann::json expected = trackValuesByPython(name);
        ASSERT_EQ(expected.size(), library->allMediaItems().size());
        std::size_t wrong = 0;
        for (const MediaItem* item : library->allMediaItems()) {
            const auto& want = expected.at(persistentIDToHex(item->persistentID()));
            const Album& album = *item->album();
            const nlohmann::json got = {
                {"Album Rating",
                 album.rating() ? nlohmann::json(album.rating()) : nlohmann::json(nullptr)},
                {"Album Rating Computed",
                 album.isRatingComputed() ? nlohmann::json(true) : nlohmann::json(nullptr)},
                {"Sort Album", jsonOr(album.sortTitle())},
                {"Sort Album Artist", jsonOr(album.sortAlbumArtist())},
                {"Album Artist", jsonOr(album.albumArtist())},
                {"Compilation",
                 album.isCompilation() ? nlohmann::json(true) : nlohmann::json(nullptr)},
                {"Disc Number",
                 album.discNumber() ? nlohmann::json(album.discNumber()) : nlohmann::json(nullptr)},
                {"Sort Artist", item->artist() ? jsonOr(item->artist()->sortName()) : nullptr},
                {"Artist", item->artist() ? jsonOr(item->artist()->name()) : nullptr},
                {"Album", jsonOr(album.title())}};
            if (got != want && ++wrong <= 5)
                ADD_FAILURE() << name << " " << *item->title() << "\n  got  " << got << "\n  want "
                              << want;
        }
        EXPECT_EQ(wrong, 0u) << name;
    }

    // Songs of other artists on a same-named album without album artist keep their own ratings:
    // only the records whose first song carries an album rating show one.
    auto library = open("windows-itunes11-en-gb.xml");
    ASSERT_TRUE(library);
    test::TempDir dir;
    PreferencesStore preferences(dir / "preferences.json");
    AlbumCatalogue catalogue(library.get(), preferences);
    catalogue.loadAlbums();
    std::map<std::string, std::optional<int>> ratings;
    for (const auto& record : catalogue.albums())
        if (record->title() == "Traxtorm Power - The Best Of Italian Hardcore")
            ratings[record->artist().value_or("")] = record->rating();
    EXPECT_EQ(ratings.size(), 13u);
    for (const auto& [artist, rating] : ratings) {
        if (artist == "Art Of Fighters" || artist == "Impulse Factory")
            EXPECT_EQ(rating, 60) << artist;
        else if (artist == "Baba Nation")
            EXPECT_EQ(rating, 20) << artist;
        else
            EXPECT_EQ(rating, std::nullopt) << artist;
    }

    // Every song keeps the album and artist identity it had (a digest of them all, in order).
    std::uint64_t digest = 0xcbf29ce484222325ULL;
    for (const MediaItem* item : library->allMediaItems()) {
        for (const PersistentID id :
             {item->album()->persistentID(), item->artist() ? item->artist()->persistentID() : 0}) {
            digest = (digest ^ id) * 0x100000001b3ULL;
        }
    }
    EXPECT_EQ(digest, 2678423104855823038u);
}

}  // namespace
}  // namespace kelvara
