#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>
#include <set>

#include "library/DistinguishedKinds.h"
#include "library/MediaLibraryReader.h"
#include "support/TestSupport.h"

namespace kelvara {
namespace {

using namespace std::chrono;

using test::libraryXml;
using test::playlistXml;
using test::trackXml;

std::unique_ptr<MediaLibrary> load(const std::string& xml, LibraryOpenOptions options = {}) {
    auto library = MediaLibraryReader(std::move(options)).readText(xml, "test.xml");
    EXPECT_TRUE(library.ok()) << library.message();
    return library.ok() ? std::move(*library) : nullptr;
}

const MediaItem& only(const MediaLibrary& library) {
    EXPECT_EQ(library.allMediaItems().size(), 1u);
    return *library.allMediaItems().front();
}

TEST(MediaLibraryReader, ReadsEveryTrackProperty) {
    auto library = load(libraryXml(trackXml(684, R"(
        <key>Name</key><string>Caf&#233; &amp; Cr&#232;me</string>
        <key>Artist</key><string>A Day To Remember</string>
        <key>Album Artist</key><string>A Day to Remember</string>
        <key>Album</key><string>Homesick</string>
        <key>Genre</key><string>Post-Hardcore</string>
        <key>Kind</key><string>MPEG audio file</string>
        <key>Composer</key><string>J. McKinnon</string>
        <key>Comments</key><string>loud</string>
        <key>Sort Name</key><string>Cafe</string>
        <key>Sort Artist</key><string>Day To Remember</string>
        <key>Sort Album</key><string>Homesick (sort)</string>
        <key>Sort Album Artist</key><string>Day to Remember</string>
        <key>Sort Composer</key><string>McKinnon</string>
        <key>Size</key><integer>8367824000</integer>
        <key>Total Time</key><integer>5000000000</integer>
        <key>Track Number</key><integer>7</integer>
        <key>Disc Number</key><integer>2</integer>
        <key>Year</key><integer>2009</integer>
        <key>Play Count</key><integer>12</integer>
        <key>BPM</key><integer>140</integer>
        <key>Bit Rate</key><integer>320</integer>
        <key>Rating</key><integer>60</integer>
        <key>Album Rating</key><integer>80</integer>
        <key>Album Rating Computed</key><true/>
        <key>Release Date</key><date>2009-02-03T08:00:00Z</date>
        <key>Date Added</key><date>2013-09-24T22:49:35Z</date>
        <key>Date Modified</key><date>2010-03-09T10:22:58Z</date>
        <key>Play Date</key><integer>3462912081</integer>
        <key>Play Date UTC</key><date>2013-09-24T23:01:21Z</date>
        <key>Persistent ID</key><string>F1C97181E0FB3F29</string>
        <key>Track Type</key><string>File</string>
        <key>Artwork Count</key><integer>1</integer>
        <key>Location</key><string>file:///Users/a/Music/x.mp3</string>)")));
    const MediaItem& item = only(*library);
    EXPECT_EQ(item.title(), "Café & Crème");
    EXPECT_EQ(item.genre(), "Post-Hardcore");
    EXPECT_EQ(item.kind(), "MPEG audio file");
    EXPECT_EQ(item.canonicalKind(), "MPEG audio file");
    EXPECT_EQ(item.composer(), "J. McKinnon");
    EXPECT_EQ(item.comments(), "loud");
    EXPECT_EQ(item.sortTitle(), "Cafe");
    EXPECT_EQ(item.sortComposer(), "McKinnon");
    EXPECT_FALSE(item.description());
    EXPECT_EQ(item.fileSize(), 8367824000u);
    EXPECT_EQ(item.totalTime(), 5000000000u);
    EXPECT_EQ(item.trackNumber(), 7u);
    EXPECT_EQ(item.year(), 2009u);
    EXPECT_EQ(item.playCount(), 12u);
    EXPECT_EQ(item.beatsPerMinute(), 140u);
    EXPECT_EQ(item.bitrate(), 320u);
    EXPECT_EQ(item.rating(), 60);
    EXPECT_EQ(item.releaseDate(), sys_days(2009y / 2 / 3) + 8h);
    EXPECT_EQ(item.addedDate(), sys_days(2013y / 9 / 24) + 22h + 49min + 35s);
    EXPECT_EQ(item.modifiedDate(), sys_days(2010y / 3 / 9) + 10h + 22min + 58s);
    // From "Play Date UTC", not the local 1904-based "Play Date".
    EXPECT_EQ(item.lastPlayedDate(), sys_days(2013y / 9 / 24) + 23h + 1min + 21s);
    EXPECT_EQ(item.persistentID(), 0xF1C97181E0FB3F29u);
    EXPECT_TRUE(item.hasArtworkAvailable());
    EXPECT_FALSE(item.isCloud());
    EXPECT_FALSE(item.isDRMProtected());
    EXPECT_FALSE(item.isVideo());
    EXPECT_EQ(item.mediaKind(), MediaKind::Song);
    EXPECT_EQ(item.mappedPath(), "/Users/a/Music/x.mp3");

    ASSERT_TRUE(item.artist());
    EXPECT_EQ(item.artist()->name(), "A Day To Remember");
    EXPECT_EQ(item.artist()->sortName(), "Day To Remember");
    ASSERT_TRUE(item.album());
    EXPECT_EQ(item.album()->title(), "Homesick");
    EXPECT_EQ(item.album()->sortTitle(), "Homesick (sort)");
    EXPECT_EQ(item.album()->albumArtist(), "A Day to Remember");
    EXPECT_EQ(item.album()->sortAlbumArtist(), "Day to Remember");
    EXPECT_EQ(item.album()->discNumber(), 2u);
    EXPECT_EQ(item.album()->rating(), 80);
    EXPECT_TRUE(item.album()->isRatingComputed());
    EXPECT_FALSE(item.album()->isCompilation());
}

TEST(MediaLibraryReader, MissingMalformedAndUnknownValuesReadAsAbsent) {
    auto library =
        load(libraryXml("<key>5</key><dict>"  // no inner Track ID: the dict's key stands in
                        "<key>Work</key><string>Nocturnes</string>"
                        "<key>Year</key><string>1999</string>"
                        "<key>Track Number</key><integer>seven</integer>"
                        "<key>Play Count</key><integer>-3</integer>"
                        "<key>Disc Number</key><integer>99999999999</integer>"
                        "<key>Name</key><integer>1984</integer>"
                        "<key>Date Added</key><date>2013-02-30T00:00:00Z</date>"
                        "<key>Release Date</key><string>2013-01-01T00:00:00Z</string>"
                        "<key>Persistent ID</key><string>not hex</string>"
                        "<key>Favorited</key><true/>"
                        "<key>Protected</key><string>yes</string>"
                        "</dict>\n",
                        playlistXml("<key>Name</key><string>P</string>", {5})));
    const MediaItem& item = only(*library);
    EXPECT_FALSE(item.title());
    EXPECT_EQ(item.year(), 0u);
    EXPECT_EQ(item.trackNumber(), 0u);
    EXPECT_EQ(item.playCount(), 0u);
    EXPECT_EQ(item.album()->discNumber(), 0u);
    EXPECT_FALSE(item.addedDate());
    EXPECT_FALSE(item.releaseDate());
    EXPECT_FALSE(item.isDRMProtected());
    EXPECT_FALSE(item.artist());
    ASSERT_TRUE(item.album());
    EXPECT_FALSE(item.album()->title());
    EXPECT_TRUE(item.mappedPath().empty());
    EXPECT_FALSE(item.location());
    // Settings are keyed by persistent ID: an item without one still gets a stable one.
    EXPECT_NE(item.persistentID(), 0u);
    EXPECT_EQ(
        load(libraryXml("<key>5</key><dict><key>Persistent ID</key><string>x</string></dict>"))
            ->allMediaItems()
            .front()
            ->persistentID(),
        item.persistentID());
    ASSERT_EQ(library->allPlaylists().size(), 1u);
    EXPECT_EQ(library->allPlaylists()[0]->items().size(), 1u);
}

TEST(MediaLibraryReader, TopLevelKeysInAnyOrderAndMusicFolderAppliesToEarlierTracks) {
    // Playlists before Tracks, "Music Folder" last.
    const std::string xml =
        "<plist version=\"1.0\"><dict>"
        "<key>Playlists</key><array>" +
        playlistXml("<key>Name</key><string>P</string>", {2, 1}) +
        "</array><key>Tracks</key><dict>" +
        trackXml(1, "<key>Location</key><string>file:///Users/demo/Music/a.mp3</string>") +
        trackXml(2, "<key>Location</key><string>file:///Users/demo/Music/b.mp3</string>") +
        "</dict><key>Music Folder</key><string>file:///Users/demo/Music/</string></dict></plist>";
    LibraryOpenOptions options;
    options.musicFolder = "/srv/music";
    auto library = load(xml, options);
    EXPECT_EQ(library->musicFolder(), "file:///Users/demo/Music/");
    const Playlist& p = *library->allPlaylists().at(0);
    ASSERT_EQ(p.items().size(), 2u);
    EXPECT_EQ(p.items()[0]->mappedPath(), "/srv/music/b.mp3");
    EXPECT_EQ(p.items()[1]->mappedPath(), "/srv/music/a.mp3");
}

TEST(MediaLibraryReader, PlaylistsReferToTracksByIdKeepOrderDuplicatesAndSkipUnknownTracks) {
    // Track IDs neither in file order nor positions.
    auto library = load(libraryXml(
        trackXml(900, "<key>Name</key><string>one</string>") +
            trackXml(12, "<key>Name</key><string>two</string>"),
        playlistXml("<key>Name</key><string>Library</string><key>Master</key><true/>"
                    "<key>Playlist Persistent ID</key><string>930205BE8D64BB99</string>",
                    {900, 12}) +
            playlistXml("<key>Name</key><string>Mix</string>", {12, 900, 999, 12}) +
            playlistXml("<key>Name</key><string>Empty</string>", {}) +
            playlistXml("<key>Name</key><string>Folder</string><key>Folder</key><true/>"
                        "<key>Playlist Persistent ID</key><string>00000000000000AB</string>",
                        {900}) +
            playlistXml("<key>Name</key><string>Child</string>"
                        "<key>Parent Persistent ID</key><string>00000000000000AB</string>",
                        {900})));
    const auto& playlists = library->allPlaylists();
    ASSERT_EQ(playlists.size(), 5u);
    EXPECT_TRUE(playlists[0]->isMaster());
    EXPECT_EQ(playlists[0]->persistentID(), 0x930205BE8D64BB99u);
    const auto& mix = playlists[1]->items();
    ASSERT_EQ(mix.size(), 3u);
    EXPECT_EQ(mix[0]->title(), "two");
    EXPECT_EQ(mix[1]->title(), "one");
    EXPECT_EQ(mix[2], mix[0]);
    EXPECT_TRUE(playlists[2]->items().empty());
    EXPECT_FALSE(playlists[2]->isMaster());
    EXPECT_TRUE(playlists[3]->isFolder());
    EXPECT_EQ(playlists[3]->parentPersistentID(), 0u);
    EXPECT_EQ(playlists[4]->parentPersistentID(), 0xABu);
    EXPECT_FALSE(playlists[4]->isFolder());
}

TEST(MediaLibraryReader, RepeatedKeysKeepTheLastValue) {
    auto library = load(libraryXml(
        trackXml(1, "<key>Name</key><string>first</string><key>Name</key><string>last</string>") +
            trackXml(2, ""),
        playlistXml("<key>Name</key><string>P</string>"
                    "<key>Playlist Items</key><array><dict><key>Track ID</key><integer>1</integer>"
                    "</dict></array>",
                    {2, 2})));
    EXPECT_EQ(library->allMediaItems()[0]->title(), "last");
    // The second "Playlist Items" replaces the first instead of adding to it.
    const auto& items = library->allPlaylists()[0]->items();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0], library->allMediaItems()[1]);
    EXPECT_EQ(items[1], library->allMediaItems()[1]);
}

TEST(MediaLibraryReader, PlaylistsWithoutPersistentIdGetDistinctStableOnes) {
    // Ticks, the remembered selection and the unchecked-songs lists are keyed by the playlist's
    // persistent ID: old libraries that give none must not put every playlist under 0.
    const std::string playlists =
        playlistXml("<key>Name</key><string>A</string>", {}) +
        playlistXml("<key>Name</key><string>B</string>", {}) +
        playlistXml("<key>Name</key><string>A</string>", {}) +
        playlistXml(
            "<key>Name</key><string>C</string>"
            "<key>Playlist Persistent ID</key><string>00000000000000C0</string>",
            {});
    auto library = load(libraryXml("", playlists));
    std::set<PersistentID> ids;
    for (const Playlist* p : library->allPlaylists()) {
        EXPECT_NE(p->persistentID(), 0u) << p->name();
        ids.insert(p->persistentID());
    }
    EXPECT_EQ(ids.size(), 4u);
    EXPECT_EQ(library->allPlaylists()[3]->persistentID(), 0xC0u);
    // The same in the next export of the library, even when a playlist was added before them.
    auto again =
        load(libraryXml("", playlistXml("<key>Name</key><string>New</string>", {}) + playlists));
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(again->allPlaylists()[i + 1]->persistentID(),
                  library->allPlaylists()[i]->persistentID());
    }
}

TEST(MediaLibraryReader, DatesInEveryPropertyListForm) {
    const auto added = [](const std::string& text) {
        auto library =
            load(libraryXml(trackXml(1, "<key>Date Added</key><date>" + text + "</date>")));
        return library->allMediaItems().front()->addedDate();
    };
    EXPECT_EQ(added("2013-09-24T22:49:35Z"), sys_days(2013y / 9 / 24) + 22h + 49min + 35s);
    // Later parts may be left out.
    EXPECT_EQ(added("2013-09-24T22:49Z"), sys_days(2013y / 9 / 24) + 22h + 49min);
    EXPECT_EQ(added("2013-09-24T22Z"), sys_days(2013y / 9 / 24) + 22h);
    EXPECT_EQ(added("2013-09-24Z"), sys_days(2013y / 9 / 24));
    EXPECT_EQ(added("2013-09Z"), sys_days(2013y / 9 / 1));
    EXPECT_EQ(added("2013Z"), sys_days(2013y / 1 / 1));
    // Before 1970 is fine; anything else is absent.
    EXPECT_EQ(added("1904-01-01T00:00:00Z"), sys_days(1904y / 1 / 1));
    for (const char* bad :
         {"2013-09-24T22:49:35", "2013-09-24 22:49:35Z", "2013-9-24Z", "2013-09-24T22:49:35+01:00",
          "2013-13-01Z", "2013-09-24T24:00:00Z", "Z", "", "13-09-24Z", "2013-09-24T22:49:35.5Z"}) {
        EXPECT_FALSE(added(bad)) << bad;
    }
}

TEST(MediaLibraryReader, AlbumsAreSharedPerTitleAlbumArtistCompilationAndDisc) {
    const auto song = [](int id, const std::string& album, const std::string& extra) {
        return trackXml(id, "<key>Album</key><string>" + album + "</string>" + extra);
    };
    auto library = load(libraryXml(song(1, "Abbey Road",
                                        "<key>Album Artist</key><string>The Beatles</string>"
                                        "<key>Artist</key><string>The Beatles</string>") +
                                   song(2, "Abbey Road",
                                        "<key>Album Artist</key><string>The Beatles</string>"
                                        "<key>Artist</key><string>The Beatles</string>") +
                                   song(3, "Abbey Road",
                                        "<key>Album Artist</key><string>The Beatles</string>"
                                        "<key>Disc Number</key><integer>2</integer>") +
                                   song(4, "Abbey Road",
                                        "<key>Album Artist</key><string>The Beatles</string>"
                                        "<key>Compilation</key><true/>") +
                                   song(5, "Abbey Road", "") +
                                   song(6, "Abbey Road",
                                        "<key>Album Artist</key><string></string>"
                                        "<key>Artist</key><string>The Beatles</string>")));
    const auto& items = library->allMediaItems();
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[0]->album(), items[1]->album());
    std::set<const Album*> albums;
    for (const MediaItem* item : items) albums.insert(item->album());
    EXPECT_EQ(albums.size(), 5u) << "disc 2, compilation, absent and empty album artist differ";
    EXPECT_TRUE(items[3]->album()->isCompilation());
    EXPECT_EQ(items[2]->album()->discNumber(), 2u);
    EXPECT_NE(items[0]->album()->persistentID(), items[2]->album()->persistentID());

    // Artists are shared by name, with an identity that survives a reload.
    EXPECT_EQ(items[0]->artist(), items[5]->artist());
    EXPECT_FALSE(items[2]->artist());
    auto again = load(libraryXml(song(1, "X", "<key>Artist</key><string>The Beatles</string>")));
    EXPECT_EQ(again->allMediaItems()[0]->artist()->persistentID(),
              items[0]->artist()->persistentID());
}

TEST(MediaLibraryReader, CloudProtectedAndVideoFlags) {
    auto library = load(libraryXml(
        trackXml(1,
                 "<key>Track Type</key><string>Remote</string><key>Apple Music</key><true/>"
                 "<key>Location</key><string>file:///Users/a/x.m4a</string>") +
        trackXml(2,
                 "<key>Protected</key><true/><key>Location</key><string>file:///x/y.m4p</string>") +
        trackXml(3,
                 "<key>Track Type</key><string>URL</string>"
                 "<key>Location</key><string>http://radio.example/stream.mp3</string>") +
        trackXml(4, "<key>Has Video</key><true/>") + trackXml(5, "<key>Movie</key><true/>") +
        trackXml(6, "<key>TV Show</key><true/>") + trackXml(7, "<key>Music Video</key><true/>")));
    const auto& items = library->allMediaItems();
    EXPECT_TRUE(items[0]->isCloud());
    EXPECT_TRUE(items[0]->mappedPath().empty()) << "a cloud item has no local file";
    EXPECT_FALSE(items[0]->location());
    EXPECT_TRUE(items[1]->isDRMProtected());
    EXPECT_FALSE(items[1]->isCloud());
    EXPECT_EQ(items[1]->canonicalKind(), "Protected AAC audio file");
    EXPECT_FALSE(items[2]->isCloud());
    EXPECT_TRUE(items[2]->mappedPath().empty()) << "streams have no location";
    EXPECT_FALSE(items[2]->location());
    for (std::size_t i = 3; i < 7; ++i) EXPECT_TRUE(items[i]->isVideo()) << i;
    EXPECT_FALSE(items[0]->isVideo());
}

TEST(MediaLibraryReader, MediaKindFollowsTheFlagsThenExtensionsThenSpecialPlaylists) {
    const auto at = [](const std::string& file) {
        return "<key>Location</key><string>file:///m/" + file + "</string>";
    };
    const std::vector<std::pair<std::string, MediaKind>> cases = {
        {"<key>Podcast</key><true/><key>iTunesU</key><true/><key>Movie</key><true/>",
         MediaKind::Podcast},
        {"<key>iTunesU</key><true/><key>TV Show</key><true/>", MediaKind::ITunesU},
        {"<key>TV Show</key><true/><key>Music Video</key><true/>", MediaKind::TVShow},
        {"<key>Music Video</key><true/><key>Movie</key><true/>", MediaKind::MusicVideo},
        {"<key>Movie</key><true/><key>Has Video</key><true/>" + at("a.m4b"), MediaKind::Movie},
        {at("Game.IPA"), MediaKind::IOSApplication},
        {at("manual.pdf"), MediaKind::PDFBook},
        {at("novel.epub"), MediaKind::Book},
        {at("story.m4b"), MediaKind::Audiobook},
        {at("story.aax"), MediaKind::Audiobook},
        {at("story.aa"), MediaKind::Audiobook},
        {at("bell.m4r"), MediaKind::Ringtone},
        {"<key>Has Video</key><true/>" + at("clip.m4v"), MediaKind::HomeVideo},
        {at("song.mp3"), MediaKind::Song},
        {"", MediaKind::Song},
    };
    std::string tracks;
    for (std::size_t i = 0; i < cases.size(); ++i)
        tracks += trackXml(static_cast<int>(i) + 1, cases[i].first);
    auto library = load(libraryXml(tracks));
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(library->allMediaItems()[i]->mediaKind(), cases[i].second) << cases[i].first;
    }
}

TEST(MediaLibraryReader, DistinguishedKindsAreTranslatedAndSpecialOnesDecideTheMediaKind) {
    const std::string m4a = "<key>Location</key><string>file:///m/x.m4a</string>";
    auto library = load(libraryXml(
        trackXml(1, m4a) + trackXml(2, m4a) + trackXml(3, m4a) +
            trackXml(4, "<key>Has Video</key><true/>") + trackXml(5, "<key>Podcast</key><true/>") +
            trackXml(6, m4a),
        // Names are localised and do not count; the kinds do (5 Audiobooks, 17 Voice Memos,
        // 6 Tones). Track 4 is in two of them: the audiobook comes first.
        // The last two have no counterpart (26 Genius) or no integer: kind 0, no effect on track 6.
        playlistXml("<key>Name</key><string>Livres audio</string><key>Distinguished "
                    "Kind</key><integer>5</integer>",
                    {1, 4, 5}) +
            playlistXml("<key>Name</key><string>Mémos vocaux</string><key>Distinguished Kind</key>"
                        "<integer>17</integer>",
                        {2, 4}) +
            playlistXml("<key>Name</key><string>Sonneries</string><key>Distinguished "
                        "Kind</key><integer>6</integer>",
                        {3}) +
            playlistXml("<key>Name</key><string>Audiobooks</string>", {6}) +
            playlistXml("<key>Name</key><string>Genius</string><key>Distinguished "
                        "Kind</key><integer>26</integer>",
                        {6}) +
            playlistXml(
                "<key>Name</key><string>x</string><key>Distinguished Kind</key><string>5</string>",
                {6})));
    std::vector<unsigned> kinds;
    for (const Playlist* p : library->allPlaylists()) kinds.push_back(p->distinguishedKind());
    EXPECT_EQ(kinds,
              (std::vector<unsigned>{distinguished_kind::Audiobooks, distinguished_kind::VoiceMemos,
                                     distinguished_kind::Ringtones, 0, 0, 0}));
    const auto& items = library->allMediaItems();
    EXPECT_EQ(items[0]->mediaKind(), MediaKind::Audiobook);
    EXPECT_EQ(items[1]->mediaKind(), MediaKind::VoiceMemo);
    EXPECT_EQ(items[2]->mediaKind(), MediaKind::Ringtone);
    EXPECT_EQ(items[3]->mediaKind(), MediaKind::Audiobook);
    EXPECT_EQ(items[4]->mediaKind(), MediaKind::Podcast);
    EXPECT_EQ(items[5]->mediaKind(), MediaKind::Song);
}

TEST(MediaLibraryReader, CanonicalKindIsEnglishTextOrFromTheExtension) {
    using R = MediaLibraryReader;
    EXPECT_EQ(R::canonicalKind("Apple Lossless audio file", ".m4a"), "Apple Lossless audio file");
    EXPECT_EQ(R::canonicalKind("AAC audio file", ".m4a"), "AAC audio file");
    EXPECT_EQ(R::canonicalKind("Purchased AAC audio file", ".m4a"), "Purchased AAC audio file");
    // Music.app writes no-break spaces inside some kinds.
    EXPECT_EQ(R::canonicalKind("Apple\xC2\xA0Music AAC audio file", ""),
              "Apple Music AAC audio file");
    // Localised texts fall back to the extension...
    EXPECT_EQ(R::canonicalKind("Arq. áudio MPEG", ".mp3"), "MPEG audio file");
    EXPECT_EQ(R::canonicalKind("Fichier AAC protégé", ".m4p"), "Protected AAC audio file");
    EXPECT_EQ(R::canonicalKind("AAC-Audiodatei", ".aac"), "AAC audio file");
    EXPECT_EQ(R::canonicalKind(std::nullopt, ".wav"), "WAV audio file");
    EXPECT_EQ(R::canonicalKind("Fichier AIFF", ".aiff"), "AIFF audio file");
    // ...except ".m4a", AAC or Apple Lossless, which is probed at conversion time.
    EXPECT_FALSE(R::canonicalKind("Fichier audio AAC", ".m4a"));
    EXPECT_FALSE(R::canonicalKind("Fichier audio AAC Apple\xC2\xA0Music", ""));
    EXPECT_FALSE(R::canonicalKind("mpeg audio file", ""));  // not Apple's text

    // The extension comes from the decoded location, whatever its case.
    auto library =
        load(libraryXml(trackXml(1,
                                 "<key>Kind</key><string>Arq. áudio MPEG</string>"
                                 "<key>Location</key><string>file:///m/Song%2EMP3</string>")));
    EXPECT_EQ(only(*library).kind(), "Arq. áudio MPEG");
    EXPECT_EQ(only(*library).canonicalKind(), "MPEG audio file");
}

TEST(MediaLibraryReader, KindTextsTheTableDoesNotKnowAreKeptAsTheLibraryGivesThem) {
    using R = MediaLibraryReader;
    // Formats the library plays but the table does not name must stay recognisably themselves:
    // the conversion decision tells "no kind" (counted as AAC) from "some other kind".
    EXPECT_EQ(R::canonicalKind("FLAC audio file", ".flac"), "FLAC audio file");
    EXPECT_EQ(R::canonicalKind("Ogg Vorbis audio file", ".ogg"), "Ogg Vorbis audio file");
    EXPECT_EQ(R::canonicalKind("Fichier audio FLAC", ".flac"), "Fichier audio FLAC");
    EXPECT_EQ(R::canonicalKind("Opus\u00A0audio", ".opus"), "Opus\u00A0audio")
        << "not even spaces change";
    EXPECT_EQ(R::canonicalKind("", ".flac"), "") << "an empty kind is there, not absent";
    // Only a missing kind with nothing in the extension to go on is absent.
    EXPECT_FALSE(R::canonicalKind(std::nullopt, ".flac"));
    EXPECT_FALSE(R::canonicalKind(std::nullopt, ""));
    // MPEG-4 files are AAC or Apple Lossless whatever the localised text says: probed.
    for (const char* extension : {".m4a", ".m4b", ".m4r", ".mp4"})
        EXPECT_FALSE(R::canonicalKind("Fichier audio Apple Lossless", extension)) << extension;

    auto library =
        load(libraryXml(trackXml(1,
                                 "<key>Kind</key><string>FLAC audio file</string>"
                                 "<key>Location</key><string>file:///m/a.flac</string>") +
                        trackXml(2,
                                 "<key>Kind</key><string>Ogg Vorbis audio file</string>"
                                 "<key>Location</key><string>file:///m/b.ogg</string>") +
                        trackXml(3, "<key>Location</key><string>file:///m/c.flac</string>")));
    const auto& items = library->allMediaItems();
    EXPECT_EQ(items[0]->canonicalKind(), "FLAC audio file");
    EXPECT_EQ(items[1]->canonicalKind(), "Ogg Vorbis audio file");
    EXPECT_FALSE(items[2]->canonicalKind());
}

TEST(MediaLibraryReader, EveryTextIsMadeValidUtf8WhereItIsRead) {
    // One U+FFFD for each byte that starts no character and for each character cut short.
    const std::string bad =
        "a\xFF"
        "b\xC0\xAF"
        "c\xF8\x88\x80\x80\x80"
        "d\xED\xA0\x80"
        "e\xE2\x82"
        "f\xF4\x90\x80\x80"
        "g";
    const std::string fixed =
        "a\uFFFD"
        "b\uFFFD\uFFFD"
        "c\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"
        "d\uFFFD\uFFFD\uFFFD"
        "e\uFFFD"
        "f\uFFFD\uFFFD\uFFFD\uFFFD"
        "g";
    const std::string good = "caf\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x8E\xB5 \xEF\xBF\xBD";
    const auto text = [](const std::string& key, const std::string& value) {
        return "<key>" + key + "</key><string>" + value + "</string>";
    };
    std::string body;
    for (const char* key :
         {"Name", "Artist", "Album Artist", "Album", "Genre", "Kind", "Composer", "Comments",
          "Sort Name", "Sort Artist", "Sort Album", "Sort Album Artist", "Sort Composer"})
        body += text(key, bad);
    body += text("Location", "file:///m/%FF" + bad + ".flac");
    auto library = load(libraryXml(
        trackXml(1, body) +
            trackXml(2, text("Name", good) + text("Artist", "&#xD800;&#x110000;&#xDFFF;")),
        playlistXml(text("Name", bad), {1}), text("Music Folder", "file:///\xFE/")));
    ASSERT_EQ(library->allMediaItems().size(), 2u);
    const MediaItem& item = *library->allMediaItems()[0];
    const std::vector<OptionalText> values = {item.title(),
                                              item.artist()->name(),
                                              item.album()->albumArtist(),
                                              item.album()->title(),
                                              item.genre(),
                                              item.kind(),
                                              item.canonicalKind(),
                                              item.composer(),
                                              item.comments(),
                                              item.sortTitle(),
                                              item.artist()->sortName(),
                                              item.album()->sortTitle(),
                                              item.sortComposer(),
                                              item.album()->sortAlbumArtist(),
                                              library->allPlaylists()[0]->name()};
    for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(values[i], fixed) << i;
    // Escapes in a location name bytes of a file name, which need not be UTF-8: kept.
    EXPECT_EQ(item.mappedPath(), "/m/\xFF" + fixed + ".flac");
    EXPECT_EQ(library->musicFolder(), "file:///\uFFFD/");
    // Valid text is kept byte for byte, U+FFFD included; character references to surrogates or
    // past U+10FFFF give no invalid UTF-8 either.
    EXPECT_EQ(library->allMediaItems()[1]->title(), good);
    const OptionalText& fromReferences = library->allMediaItems()[1]->artist()->name();
    ASSERT_TRUE(fromReferences);
    EXPECT_NE(fromReferences->find("\uFFFD"), std::string::npos) << *fromReferences;
    const auto check = test::runPython(
        "import sys\nfor a in sys.argv[1:]: a.encode('utf-8', 'surrogateescape').decode('utf-8', "
        "'strict')",
        {*fromReferences, *item.title()});
    EXPECT_EQ(check.exitCode, 0) << check.err;
}

// ---------------------------------------------------------------------------------------------
// Files that cannot be read as a library.

class BadLibraryFile : public ::testing::Test {
  protected:
    std::string errorFor(const std::string& content) {
        const auto file = dir_ / "Bad Library.xml";
        test::writeFile(file, content);
        return errorForFile(file);
    }
    static std::string errorForFile(const std::filesystem::path& file) {
        auto library = MediaLibrary::initWithContentsOfFile(file, {});
        EXPECT_FALSE(library.ok());
        const std::string& error = library.message();
        EXPECT_NE(error.find(file.string()), std::string::npos) << error;
        return error;
    }
    test::TempDir dir_;
};

TEST_F(BadLibraryFile, MissingOrUnreadable) {
    EXPECT_NE(errorForFile(dir_ / "nowhere.xml").find("No such file"), std::string::npos);
    EXPECT_NE(errorForFile(dir_.path()).find("folder"), std::string::npos);
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const auto file = dir_ / "Library.xml";
    test::writeFile(file, libraryXml(""));
    std::filesystem::permissions(file, std::filesystem::perms::none);
    EXPECT_NE(errorForFile(file).find("Permission denied"), std::string::npos);
}

TEST_F(BadLibraryFile, APipeOrDeviceIsRefusedWithoutWaitingForAWriter) {
    const auto fifo = dir_ / "Library.xml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto reading = std::async(std::launch::async, [&] { return errorForFile(fifo); });
    if (reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // Let the blocked open return, so that the test ends.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
        FAIL() << "reading a FIFO waited for a writer";
    }
    EXPECT_NE(reading.get().find("not a regular file"), std::string::npos);
    EXPECT_NE(errorForFile("/dev/null").find("not a regular file"), std::string::npos);
}

TEST_F(BadLibraryFile, EmptyMalformedForeignAndTruncatedFilesSayWhatIsWrong) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"", {"empty"}},
        {"<plist><dict><key>A</key><str ing></dict></plist>", {"not valid XML", "byte offset 34"}},
        {"Name,Artist\nfoo,bar\n", {"not valid XML"}},
        {"<plist><dict></plist>",
         {"not valid XML"}},  // a mismatch in the middle is not a short file
        {"<html><body/></html>", {"not a property list"}},
        {"<plist version=\"1.0\"><dict><key>Name</key><string>x</string></dict></plist>",
         {"not a music library"}},
        {"<plist version=\"1.0\"><array/></plist>", {"not a music library"}},
    };
    for (const auto& [content, parts] : cases) {
        const std::string error = errorFor(content);
        for (const std::string& part : parts)
            EXPECT_NE(error.find(part), std::string::npos) << error;
    }
    const std::string whole =
        test::readFile(test::fixture("itunes-xml/windows-itunes11-en-gb.xml"));
    for (const std::size_t cut : {std::size_t{300}, whole.size() / 2, whole.size() - 12,
                                  whole.size() - 9, whole.size() - 2}) {
        const std::string error = errorFor(whole.substr(0, cut));
        EXPECT_NE(error.find("truncated"), std::string::npos) << cut << ": " << error;
    }
}

// Large files are read a slice of tracks at a time; files the quick scan does not recognise are
// parsed whole. Both must give the same library and the same error offsets.
std::string describe(const MediaLibrary& library) {
    std::string text;
    for (const MediaItem* item : library.allMediaItems()) {
        text += item->title().value_or("-") + "|" + item->mappedPath().string() + "|" +
                std::to_string(item->persistentID()) + "\n";
    }
    for (const Playlist* p : library.allPlaylists()) {
        text += p->name() + ":";
        for (const MediaItem* item : p->items()) text += item->title().value_or("-") + ",";
        text += "\n";
    }
    return text;
}

TEST(MediaLibraryReader, SlicedAndWholeParsingAgree) {
    std::string tracks;
    for (int i = 1; i <= 40; ++i) {
        tracks += trackXml(i * 3, "<key>Name</key><string>Song " + std::to_string(i) +
                                      " &lt;&amp;&gt;</string><key>Persistent ID</key><string>" +
                                      persistentIDToHex(0xABC000u + i) + "</string><!-- x > y -->");
    }
    tracks += "<key>999</key><dict/>";
    const std::string body =
        "<key>Tracks</key><dict>" + tracks + "</dict><key>Playlists</key><array>" +
        playlistXml("<key>Name</key><string>P</string>", {9, 3, 120, 3, 7}) + "</array>";
    const std::string plain =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">"
        "<dict>" +
        body + "</dict></plist>";
    // An internal DTD subset (it could declare entities) makes the reader parse the file whole.
    const std::string withSubset =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [ <!ENTITY a \"b\"> ]>"
        "<plist version=\"1.0\"><dict>" +
        body + "</dict></plist>";
    // Quoted '>' in attributes, a byte-order mark and comments are part of XML, not of tags.
    const std::string unusual =
        "\xEF\xBB\xBF<!-- <dict> --><plist version=\"1>0\"><dict>" + body + "</dict></plist>";
    const auto expected = describe(*load(plain));
    EXPECT_EQ(describe(*load(withSubset)), expected);
    EXPECT_EQ(describe(*load(unusual)), expected);
    EXPECT_NE(expected.find("P:Song 3 <&>,Song 1 <&>,Song 40 <&>,Song 1 <&>,\n"), std::string::npos)
        << expected;
}

TEST(MediaLibraryReader, ErrorOffsetsCountFromTheStartOfTheFile) {
    // The same broken byte inside the tracks and after them.
    const std::string good = libraryXml(trackXml(1, "<key>Name</key><string>a</string>"),
                                        playlistXml("<key>Name</key><string>P</string>", {1}));
    for (const std::string& anchor : {std::string("<string>a"), std::string("<string>P")}) {
        std::string broken = good;
        const auto at = broken.find(anchor) + anchor.size();
        broken.insert(at, "<");
        const auto library = MediaLibraryReader({}).readText(broken, "b.xml");
        EXPECT_FALSE(library.ok());
        const std::string& error = library.message();
        EXPECT_NE(error.find("not valid XML"), std::string::npos) << error;
        // The parser points at the byte after the stray '<'.
        EXPECT_NE(error.find("offset " + std::to_string(at + 1)), std::string::npos)
            << at << ": " << error;
    }
}

}  // namespace
}  // namespace kelvara
