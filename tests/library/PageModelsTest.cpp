#include <gtest/gtest.h>

#include "library/AlbumCatalogue.h"
#include "library/KvrItunesMAnager.h"
#include "library/KvrSongInfo.h"
#include "library/PlaylistBrowser.h"
#include "library/SongStatus.h"
#include "support/TestSupport.h"

using namespace kelvara;
using kelvara::test::TempDir;

namespace {

// A small library built in code: albums and artists are shared by the songs that name them.
class LibraryBuilder {
  public:
    MediaLibrary library;

    const Album* album(OptionalText title, OptionalText albumArtist = std::nullopt,
                       bool compilation = false, unsigned disc = 0) {
        Album& album = library.addAlbum();
        album.setTitle(std::move(title));
        album.setAlbumArtist(std::move(albumArtist));
        album.setIsCompilation(compilation);
        album.setDiscNumber(disc);
        return &album;
    }
    const Artist* artist(OptionalText name) {
        Artist& artist = library.addArtist();
        artist.setName(std::move(name));
        return &artist;
    }
    MediaItem& song(std::string title, const Album* album, const Artist* artist,
                    unsigned track = 0) {
        MediaItem& item = library.addMediaItem();
        item.setPersistentID(library.allMediaItems().size());
        item.setTitle(std::move(title));
        item.setAlbum(album);
        item.setArtist(artist);
        item.setTrackNumber(track);
        return item;
    }
    Playlist& playlist(std::string name, unsigned kind = 0, PersistentID id = 0) {
        Playlist& playlist = library.addPlaylist();
        playlist.setName(std::move(name));
        playlist.setDistinguishedKind(kind);
        playlist.setPersistentID(id ? id : 1000 + library.allPlaylists().size());
        return playlist;
    }
};

std::vector<std::string> titles(const AlbumCatalogue& catalogue) {
    std::vector<std::string> result;
    for (const auto& album : catalogue.albums())
        result.push_back(album->title() + "|" + album->artist().value_or("<none>"));
    return result;
}

}  // namespace

class PageModels : public testing::Test {
  protected:
    void SetUp() override { KvrItunesMAnager::sharedManager().reset(); }
    TempDir dir;
    PreferencesStore preferences{dir / "preferences.json"};
    LibraryBuilder b;
};

TEST_F(PageModels, PlaylistFilterHidesSystemListsInEveryLanguage) {
    b.playlist("Library").setIsMaster(true);
    b.playlist("Bibliothèque").setIsMaster(true);
    b.playlist("Musique", 3);
    b.playlist("Music");
    b.playlist("music");
    b.playlist("Films", 1);
    b.playlist("Podcasts", 7);
    b.playlist("Purchased", 16);
    b.playlist("Recently Added", 42);
    b.playlist("Road trip");
    PlaylistBrowser browser(&b.library, preferences);
    browser.loadPlaylist();
    std::vector<std::string> shown;
    for (const Playlist* p : browser.playlists()) shown.push_back(p->name());
    EXPECT_EQ(shown, (std::vector<std::string>{"music", "Recently Added", "Road trip"}));
}

TEST_F(PageModels, PlaylistTicksAndSelectionComeBackFromTheStore) {
    b.playlist("A", 0, 11);
    b.playlist("B", 0, 12);
    b.playlist("A", 0, 13);
    b.playlist("C", 0, 14);
    preferences.setObject("SelectedPlaylists", {"A"});
    preferences.setObject("SelectedPlaylistID", 14);
    PlaylistBrowser browser(&b.library, preferences);
    browser.loadPlaylist();
    // Same-named playlists are ticked together.
    EXPECT_TRUE(browser.isChecked(*browser.playlists()[0]));
    EXPECT_FALSE(browser.isChecked(*browser.playlists()[1]));
    EXPECT_TRUE(browser.isChecked(*browser.playlists()[2]));
    EXPECT_EQ(browser.selectedRow(), 3u);

    preferences.setObject("SelectedPlaylistID", 99);
    browser.loadPlaylist();
    EXPECT_EQ(browser.selectedRow(), 0u);

    browser.setChecked(*browser.playlists()[1], true);
    browser.persistTicks();
    PreferencesStore reread(dir / "preferences.json");
    EXPECT_EQ(reread.stringArrayForKey("SelectedPlaylists"),
              (std::vector<std::string>{"A", "B", "A"}));
    EXPECT_EQ(browser.chosen(ItemChoice::Ticked).size(), 3u);
    EXPECT_EQ(browser.chosen(ItemChoice::All).size(), 4u);
}

TEST_F(PageModels, ShiftClickTicksTheRangeAndNeverUnticks) {
    for (int i = 0; i < 9; ++i) b.playlist("P" + std::to_string(i));
    PlaylistBrowser browser(&b.library, preferences);
    browser.loadPlaylist();
    const auto shiftClick = [&](std::size_t from, std::size_t to) {
        browser.selectRow(from);
        browser.tickRange(to);
        std::string ticks;
        for (const Playlist* p : browser.playlists()) ticks += browser.isChecked(*p) ? 'x' : '.';
        return ticks;
    };
    EXPECT_EQ(shiftClick(2, 5), "..xxxx...");
    EXPECT_EQ(shiftClick(7, 5), "..xxxxxx.");
    EXPECT_EQ(PreferencesStore(dir / "preferences.json").integerForKey("SelectedPlaylistID"),
              static_cast<std::int64_t>(browser.playlists()[7]->persistentID()));
}

TEST_F(PageModels, AlbumRecordsGatherSongsByTitleAndArtistIgnoringCase) {
    const Artist* x = b.artist("X");
    const Artist* lowerX = b.artist("x");
    const Artist* y = b.artist("Y");
    b.song("1", b.album("Abc"), x, 2);
    b.song("2", b.album("abc"), lowerX, 1);
    b.song("3", b.album("Abc", std::nullopt), y);
    // A compilation gathers many artists under "Various Artists".
    b.song("4", b.album("Hits", std::nullopt, true), x, 1);
    b.song("5", b.album("Hits", std::nullopt, true), y, 2);
    b.song("6", b.album("Hits"), y, 1);
    // An album artist wins over the song's own artist.
    b.song("7", b.album("Solo", "The Band"), x);
    // No album title: "Unknown Album" per artist; an empty title is another record.
    b.song("8", b.album(std::nullopt), x);
    b.song("9", b.album(std::nullopt), y);
    b.song("10", b.album(""), x);
    b.song("video", b.album("Abc"), x).setMediaKind(MediaKind::Movie);

    AlbumCatalogue catalogue(&b.library, preferences);
    catalogue.loadAlbums();
    EXPECT_EQ(titles(catalogue),
              (std::vector<std::string>{"Abc|X", "Abc|Y", "Hits|Various Artists", "Hits|Y",
                                        "Solo|The Band", "Unknown Album|X", "Unknown Album|Y",
                                        "Unknown Album|X"}));

    auto songTitles = [&](std::size_t row) {
        std::vector<std::string> result;
        for (const MediaItem* song : catalogue.getSongsFromAlbumInfo(*catalogue.albums()[row]))
            result.push_back(*song->title());
        return result;
    };
    EXPECT_EQ(songTitles(0), (std::vector<std::string>{"2", "1"}));  // by track number
    EXPECT_EQ(songTitles(2), (std::vector<std::string>{"4", "5"}));
    // The rule matches by artist name too, so Y's song on the compilation also belongs to Y's
    // own album of the same title.
    EXPECT_EQ(songTitles(3), (std::vector<std::string>{"6", "5"}));
    EXPECT_EQ(songTitles(4), (std::vector<std::string>{"7"}));
    EXPECT_EQ(songTitles(5), (std::vector<std::string>{"8"}));
    // The export's own lookup runs over the session's list, which the catalogue has handed on.
    KvrAlbumInfo copy = *catalogue.albums()[0];
    copy.setAlbumSongs({});
    KvrAlbumInfo fresh;
    fresh.setAlbum(catalogue.albums()[0]->album());
    fresh.setLibArtist(catalogue.albums()[0]->libArtist());
    EXPECT_EQ(fresh.getSongs().size(), 2u);
}

TEST_F(PageModels, AlbumSortComparesNumbersByValueIgnoresCaseAndPutsAccentsAmongTheirLetters) {
    const auto order = [&](std::vector<std::string> titles) {
        LibraryBuilder fresh;
        const Artist* a = fresh.artist("A");
        for (const std::string& title : titles) fresh.song("s", fresh.album(title), a);
        AlbumCatalogue catalogue(&fresh.library, preferences);
        catalogue.loadAlbums();
        titles.clear();
        for (const auto& album : catalogue.albums()) titles.push_back(album->title());
        return titles;
    };
    EXPECT_EQ(order({"Vol 10", "vol 2", "Beta", "alpha", "Vol 1"}),
              (std::vector<std::string>{"alpha", "Beta", "Vol 1", "vol 2", "Vol 10"}));
    // "Café" once composed and once decomposed, as Mac libraries write it. Accents only part
    // titles that are otherwise equal, the plain one first.
    EXPECT_EQ(
        order({"Zebra", "\u00c9clair", "eclair", "Ecluse", "\u00c4rger", "Bar", "Album",
               "Cafe\u0301 2", "Caf\u00e9 10", "Cafe 3"}),
        (std::vector<std::string>{"Album", "\u00c4rger", "Bar", "Cafe\u0301 2", "Cafe 3",
                                  "Caf\u00e9 10", "eclair", "\u00c9clair", "Ecluse", "Zebra"}));
}

TEST_F(PageModels, AlbumRatingUsesTheComputedRatingOrTheFirstSongsStars) {
    const Artist* a = b.artist("A");
    Album& computed = const_cast<Album&>(*b.album("Computed"));
    computed.setIsRatingComputed(true);
    computed.setRating(60);
    b.song("s", &computed, a).setRating(100);
    b.song("s", b.album("Own"), a).setRating(80);
    b.song("s", b.album("None"), a);
    AlbumCatalogue catalogue(&b.library, preferences);
    catalogue.loadAlbums();
    EXPECT_EQ(catalogue.albums()[0]->rating(), 60);
    EXPECT_EQ(catalogue.albums()[1]->rating(), std::nullopt);
    EXPECT_EQ(catalogue.albums()[2]->rating(), 4);
}

TEST_F(PageModels, AlbumTicksAndSelectionPersistByTitleAndArtist) {
    const Artist* a = b.artist("A");
    b.song("s", b.album("One"), a);
    b.song("s", b.album("Two"), a);
    preferences.setObject("SelectedAlbums", {"Two - A"});
    preferences.setString("SelectedAlbumTitle", "Two");
    preferences.setString("SelectedAlbumArtist", "A");
    AlbumCatalogue catalogue(&b.library, preferences);
    catalogue.loadAlbums();
    EXPECT_FALSE(catalogue.albums()[0]->checked());
    EXPECT_TRUE(catalogue.albums()[1]->checked());
    EXPECT_EQ(catalogue.selectedRow(), 1u);
    EXPECT_EQ(catalogue.findByDisplayName("A - One"), catalogue.albums()[0]);
    EXPECT_EQ(catalogue.findByDisplayName("One - A"), catalogue.albums()[0]);
    EXPECT_EQ(catalogue.findByDisplayName("Three - A"), nullptr);
    catalogue.selectAll();
    EXPECT_EQ(PreferencesStore(dir / "preferences.json").stringArrayForKey("SelectedAlbums"),
              (std::vector<std::string>{"One - A", "Two - A"}));
}

TEST_F(PageModels, SongRecordFillRule) {
    const Album* album = b.album("Al", "AA", false, 0);
    MediaItem& item = b.song("T", album, b.artist("Ar"));
    item.setTotalTime(3599999);
    const KvrSongInfo info = KvrSongInfo::fromMediaItem(item);
    EXPECT_EQ(info.timeWithFormat(), "59:59");
    EXPECT_EQ(info.year(), std::nullopt);
    EXPECT_EQ(info.rating(), std::nullopt);
    EXPECT_EQ(info.beatsPerMinute(), std::nullopt);
    EXPECT_EQ(info.diskNumber(), std::nullopt);
    EXPECT_EQ(info.trackNumber(), std::nullopt);
    EXPECT_EQ(info.playCount(), 0u);
    EXPECT_EQ(info.songDescription(), "");
    EXPECT_EQ(info.albumArtist(), "AA");
    EXPECT_EQ(KvrSongInfo::formatDuration(3600), "1:00:00");
    EXPECT_EQ(KvrSongInfo::formatDuration(3725), "1:02:05");
    EXPECT_EQ(KvrSongInfo::formatDuration(65), "01:05");
    EXPECT_EQ(KvrSongInfo::formatDuration(0), "00:00");
}

TEST_F(PageModels, DisplayStatusAndWarning) {
    TempDir files;
    kelvara::test::writeFile(files / "a.mp3", "x");
    const Album* album = b.album("Al");
    MediaItem& ok = b.song("ok", album, nullptr);
    ok.setMappedPath(files / "a.mp3");
    MediaItem& missing = b.song("missing", album, nullptr);
    missing.setMappedPath(files / "gone.mp3");
    MediaItem& cloud = b.song("cloud", album, nullptr);
    cloud.setIsCloud(true);
    MediaItem& drm = b.song("drm", album, nullptr);
    drm.setMappedPath(files / "a.mp3");
    drm.setIsDRMProtected(true);
    EXPECT_EQ(displayStatus(ok), DisplayStatus::Exportable);
    EXPECT_EQ(displayStatus(missing), DisplayStatus::FileMissing);
    EXPECT_EQ(displayStatus(cloud), DisplayStatus::InCloud);
    EXPECT_EQ(displayStatus(drm), DisplayStatus::DRMProtected);
    EXPECT_EQ(warningForItems({&ok, &drm, &cloud}), ListWarning::DRM);
    EXPECT_EQ(warningForItems({&ok, &missing}), ListWarning::None);
    EXPECT_EQ(warningForItems({&cloud, &drm}), ListWarning::Cloud);
}
