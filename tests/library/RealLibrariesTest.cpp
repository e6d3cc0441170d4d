// The real library files of tests/fixtures/itunes-xml (see its README), read end to end.
#include <gtest/gtest.h>

#include <set>

#include "library/DistinguishedKinds.h"
#include "library/MediaLibrary.h"
#include "support/TestSupport.h"

namespace kelvara {
namespace {

namespace dk = distinguished_kind;

std::unique_ptr<MediaLibrary> open(const std::string& name, LibraryOpenOptions options = {}) {
    std::string error;
    auto library = MediaLibrary::initWithContentsOfFile(test::fixture("itunes-xml/" + name), options, error);
    EXPECT_TRUE(library) << error;
    return library;
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
    EXPECT_EQ(first.mappedPath(), "/mnt/music/Music/A Day to Remember/Homesick/01 The Downfall Of Us All.mp3");
    EXPECT_EQ(first.persistentID(), 0x01C97181E0FB3F29u);
    EXPECT_EQ(first.album()->rating(), 60);
    EXPECT_TRUE(first.album()->isRatingComputed());

    std::set<const Album*> albums;
    std::set<const Artist*> artists;
    std::size_t voiceMemos = 0, songs = 0;
    for (const MediaItem* item : library->allMediaItems()) {
        albums.insert(item->album());
        if (item->artist()) artists.insert(item->artist());
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

}  // namespace
}  // namespace kelvara
