#include "ExportFixture.h"

namespace kelvara::test {
namespace {

using Lines = std::vector<std::string>;

class ExportNaming : public ExportFixture {
  protected:
    void SetUp() override {
        ExportFixture::SetUp();
        lowtide = &artist("Lowtide");
        hours = &album("Blue Hours", std::string("Lowtide"));
        intro = &song("Intro", lowtide, hours, "01 Intro.mp3", "audio", 7);
    }
    // The files a run of `list` writes, without playlist file, under file name pattern `pattern`.
    Lines names(const Playlist* list, int pattern, FormatList custom = {}, std::int64_t width = 0) {
        std::filesystem::remove_all(out);
        auto m = manager();
        m->setExportPlaylistFile(false);
        m->setFileNameFormatType(storedOption<NamePattern>(pattern));
        m->setTrackNumberFormat(width);
        if (pattern == 5) m->setCustomFormatArray(std::move(custom));
        EXPECT_EQ(runPlaylists(*m, {list}), RunEnding::Finished);
        return tree();
    }
    const Artist* lowtide = nullptr;
    const Album* hours = nullptr;
    MediaItem* intro = nullptr;
};

TEST_F(ExportNaming, PlaylistAndAlbumRunsPlaceSongsAndPlaylistFileByLayout) {
    struct Placement {
        bool album;
        int layout;
        bool withFiles;
        const char *songFile, *m3uFile, *pathLine;
    };
    const Placement cases[] = {
        {false, 0, true, "Mix/01 Intro.mp3", "Mix/Mix.m3u", "01 Intro.mp3"},
        {false, 0, false, "Mix/01 Intro.mp3", "Mix.m3u", "Mix/01 Intro.mp3"},
        {false, 1, true, "Music/Lowtide/Blue Hours/01 Intro.mp3", "Mix.m3u",
         "Music/Lowtide/Blue Hours/01 Intro.mp3"},
        {false, 2, true, "Music/01 Intro.mp3", "Music/Mix.m3u", "01 Intro.mp3"},
        {false, 2, false, "Music/01 Intro.mp3", "Mix.m3u", "Music/01 Intro.mp3"},
        {false, 3, false, "01 Intro.mp3", "Mix.m3u", "01 Intro.mp3"},
        {false, 4, true, "Lowtide/Blue Hours/01 Intro.mp3", "Mix.m3u",
         "Lowtide/Blue Hours/01 Intro.mp3"},
        // Album runs number by the track number in every layout.
        {true, 0, false, "Lowtide - Blue Hours/007 Intro.mp3", "Lowtide - Blue Hours.m3u",
         "Lowtide - Blue Hours/007 Intro.mp3"},
        {true, 1, true, "Music/Lowtide/Blue Hours/007 Intro.mp3",
         "Music/Lowtide/Blue Hours/Lowtide - Blue Hours.m3u", "007 Intro.mp3"},
        {true, 1, false, "Music/Lowtide/Blue Hours/007 Intro.mp3", "Lowtide - Blue Hours.m3u",
         "Music/Lowtide/Blue Hours/007 Intro.mp3"},
        {true, 2, true, "Music/007 Intro.mp3", "Music/Lowtide - Blue Hours.m3u", "007 Intro.mp3"},
        {true, 3, true, "007 Intro.mp3", "Lowtide - Blue Hours.m3u", "007 Intro.mp3"},
        {true, 4, false, "Lowtide/Blue Hours/007 Intro.mp3", "Lowtide - Blue Hours.m3u",
         "Lowtide/Blue Hours/007 Intro.mp3"},
    };
    const char* structures[] = {"Album folder", "Music/Artist/Album folder", "Music files folder",
                                "Root folder", "Root/Artist/Album folder"};
    const Playlist* mix = playlist("Mix", {intro});
    const auto record = albumRecord("Blue Hours", std::string("Lowtide"), hours, {intro});
    for (const Placement& c : cases) {
        SCOPED_TRACE(testing::Message() << "album " << c.album << " layout " << c.layout
                                        << " with files " << c.withFiles);
        std::filesystem::remove_all(out);
        ui.lines.clear();
        options.setFilesSaveToFolder(storedOption<FolderLayout>(c.layout));
        options.setSaveM3uWithFiles(c.withFiles);
        auto m = manager();
        if (c.album) m->setFileNameFormatType(NamePattern::NumberTitle);
        ASSERT_EQ(c.album ? runAlbums(*m, {record}) : runPlaylists(*m, {mix}), RunEnding::Finished);
        Lines expected{c.m3uFile, c.songFile};
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(tree(), expected);
        EXPECT_EQ(readFile(out / c.m3uFile),
                  std::string("#EXTINF:239,Intro - Lowtide\n") + c.pathLine + "\n");
        EXPECT_TRUE(ui.logged(std::string("Music files structure: ") +
                              (c.album || c.layout ? structures[c.layout] : "Playlist folder")));
    }
}

TEST_F(ExportNaming, AlbumRunNamesFoldersFromArtistAndTitle) {
    const auto record = albumRecord("Blue Hours", std::string("Lowtide"), hours, {intro});
    ASSERT_EQ(runAlbums(*manager(), {record}), RunEnding::Finished);
    EXPECT_EQ(tree(), (Lines{"Lowtide - Blue Hours/01 Intro.mp3",
                             "Lowtide - Blue Hours/Lowtide - Blue Hours.m3u"}));
    EXPECT_TRUE(ui.logged("Exporting album: Blue Hours"));

    std::filesystem::remove_all(out);
    auto withArtist = manager();
    withArtist->setCreateArtistFolder(true);
    ASSERT_EQ(runAlbums(*withArtist, {record}), RunEnding::Finished);
    EXPECT_EQ(tree(), (Lines{"Lowtide/Blue Hours/01 Intro.mp3",
                             "Lowtide/Blue Hours/LowtideBlue Hours.m3u"}));
}

TEST_F(ExportNaming, CompilationsGoToVariousArtistsOnlyInAlbumRuns) {
    const Album& hits = album("Hits", std::string("Someone"), true);
    MediaItem& hit = song("Hit", lowtide, &hits, "hit.mp3");
    options.setFilesSaveToFolder(FolderLayout::RootArtistAlbum);
    ASSERT_EQ(runAlbums(*manager(), {albumRecord("Hits", std::nullopt, &hits, {&hit})}),
              RunEnding::Finished);
    EXPECT_TRUE(std::filesystem::exists(out / "Various Artists/Hits/hit.mp3"));

    ASSERT_EQ(runPlaylists(*manager(), {playlist("P", {&hit})}), RunEnding::Finished);
    EXPECT_TRUE(std::filesystem::exists(out / "Someone/Hits/hit.mp3"));

    // An album artist present but empty does not fall back to the song's artist.
    MediaItem& lone = song("Lone", lowtide, &album("Blank", std::string("")), "lone.mp3");
    ASSERT_EQ(runPlaylists(*manager(), {playlist("Q", {&lone})}), RunEnding::Finished);
    EXPECT_TRUE(std::filesystem::exists(out / "unknown/Blank/lone.mp3"));
}

TEST_F(ExportNaming, PatternsNumberByPositionOnlyInLayoutZeroPlaylistRuns) {
    MediaItem& untracked = song("No Number", lowtide, hours, "x.mp3", "audio", 0);
    const Playlist* mix = playlist("Mix", {&untracked, intro});
    const auto named = [&](int layout, int pattern) {
        options.setFilesSaveToFolder(storedOption<FolderLayout>(layout));
        return names(mix, pattern);
    };
    EXPECT_EQ(named(0, 1), (Lines{"Mix/001 No Number.mp3", "Mix/002 Intro.mp3"}));
    EXPECT_EQ(named(3, 1), (Lines{"000 No Number.mp3", "007 Intro.mp3"}));
    EXPECT_EQ(named(3, 2),
              (Lines{"Lowtide - Blue Hours - Intro.mp3", "Lowtide - Blue Hours - No Number.mp3"}));
    EXPECT_EQ(named(3, 3), (Lines{"000 Lowtide - Blue Hours - No Number.mp3",
                                  "007 Lowtide - Blue Hours - Intro.mp3"}));
    EXPECT_EQ(named(3, 4), (Lines{"Intro.mp3", "No Number.mp3"}));
    EXPECT_EQ(named(3, 0), (Lines{"01 Intro.mp3", "x.mp3"}));
    EXPECT_EQ(named(3, 6), (Lines{"01 Intro.mp3", "x.mp3"}));
}

TEST_F(ExportNaming, CustomPatternBuildsNamesAndCannotLeaveTheFolder) {
    options.setFilesSaveToFolder(FolderLayout::Root);
    const auto run = [&](FormatList format, std::int64_t width, const MediaItem* item) {
        return names(playlist("P", {item}), 5, std::move(format), width);
    };
    using E = std::vector<FormatList::Element>;
    const MetadataToken track{"Track NO"}, title{"Title"}, disc{"Disk NO"};
    EXPECT_EQ(run(FormatList(E{track, std::string(". "), title}), 1, intro),
              (Lines{"07. Intro.mp3"}));
    EXPECT_EQ(run(FormatList(E{disc, std::string("-"), track, std::string(" "), title}), 3, intro),
              (Lines{"1-0007 Intro.mp3"}));
    // A stored pattern with "/" stays inside the folder.
    EXPECT_EQ(run(FormatList(E{std::string("../../"), title}), 0, intro), (Lines{"....Intro.mp3"}));
    // A name that comes out as "." or ".." is replaced.
    MediaItem& bare = song("?", lowtide, hours, "noext", "audio");  // sanitizes to nothing
    EXPECT_EQ(run(FormatList(E{std::string("."), title}), 0, &bare), (Lines{"unknown"}));
    // An empty pattern keeps the source's own name.
    EXPECT_EQ(run(FormatList(), 0, intro), (Lines{"01 Intro.mp3"}));
}

TEST_F(ExportNaming, OverlongNamesAreShortenedIdenticallyInFileAndPlaylist) {
    std::string title;
    for (int i = 0; i < 150; ++i) title += "ü";  // 300 bytes
    MediaItem& longOne = song(title, lowtide, hours, "long.mp3");
    auto m = manager();
    m->setFileNameFormatType(NamePattern::Title);
    ASSERT_EQ(runPlaylists(*m, {playlist("P", {&longOne})}), RunEnding::Finished);
    const Lines files = tree();
    ASSERT_EQ(files.size(), 2u);
    const std::string name = std::filesystem::path(files[1]).filename().string();
    EXPECT_EQ(name.size(), 254u);  // 125 whole "ü" and ".mp3"
    EXPECT_EQ(readFile(out / "P/P.m3u"), "#EXTINF:239," + title + " - Lowtide\n" + name + "\n");
}

TEST_F(ExportNaming, PlaylistFilesInAsciiWithCrLfAndWindowsPaths) {
    MediaItem& cafe = song("Café 日本", lowtide, hours, "cafe.mp3");
    options.setPlaylistEncoding(PlaylistEncoding::Ascii);
    options.setLineEnding(LineEnding::CrLf);
    options.setWindowsPaths(true);
    options.setFilesSaveToFolder(FolderLayout::MusicArtistAlbum);
    auto m = manager();
    m->setFileNameFormatType(NamePattern::Title);
    ASSERT_EQ(runPlaylists(*m, {playlist("Été", {&cafe})}), RunEnding::Finished);
    EXPECT_EQ(tree(), (Lines{"Ete.m3u", "Music/Lowtide/Blue Hours/Cafe .mp3"}));
    EXPECT_EQ(readFile(out / "Ete.m3u"),
              "#EXTINF:239,Cafe ?? - Lowtide\r\nMusic\\Lowtide\\Blue Hours\\Cafe .mp3\r\n");
    EXPECT_TRUE(ui.logged("Encoding: ASCII"));
}

TEST_F(ExportNaming, OnlyAStoredOneMeansCrLf) {
    // 2^32 + 1 is not 1, whatever its low 32 bits say.
    writeFile(dir / "stored.json", R"({"LineEnding": 4294967297, "OrginizeFilesOption": 3})");
    options = KvrUserOptions::loadFrom(PreferencesStore(dir / "stored.json"));
    auto m = manager();
    m->setFileNameFormatType(NamePattern::Title);
    ASSERT_EQ(runPlaylists(*m, {playlist("P", {intro})}), RunEnding::Finished);
    EXPECT_EQ(readFile(out / "P.m3u"), "#EXTINF:239,Intro - Lowtide\nIntro.mp3\n");
}

TEST_F(ExportNaming, PlaylistFilesInLatin1AreCodePage1252Bytes) {
    MediaItem& cafe = song("Café – Œ", lowtide, hours, "cafe.mp3");
    options.setPlaylistEncoding(PlaylistEncoding::Latin1);
    options.setFilesSaveToFolder(FolderLayout::Root);
    auto m = manager();
    m->setFileNameFormatType(NamePattern::Title);
    ASSERT_EQ(runPlaylists(*m, {playlist("P", {&cafe})}), RunEnding::Finished);
    EXPECT_EQ(tree(), (Lines{"Café – Œ.mp3", "P.m3u"}));
    EXPECT_EQ(readFile(out / "P.m3u"),
              "#EXTINF:239,Caf\xE9 \x96 \x8C - Lowtide\nCaf\xE9 \x96 \x8C.mp3\n");
}

TEST_F(ExportNaming, CustomTextInALossyCharacterSetNamesTheSameFileInThePlaylist) {
    MediaItem& cafe = song("Intro", lowtide, hours, "Über ½.mp3");
    options.setPlaylistEncoding(PlaylistEncoding::Ascii);
    options.setFilesSaveToFolder(FolderLayout::Root);
    using E = std::vector<FormatList::Element>;
    auto run = [&](FormatList format) {
        std::filesystem::remove_all(out);
        auto m = manager();
        m->setFileNameFormatType(NamePattern::Custom);
        m->setCustomFormatArray(std::move(format));
        EXPECT_EQ(runPlaylists(*m, {playlist("P", {&cafe})}), RunEnding::Finished);
        const std::string m3u = readFile(out / "P.m3u");
        return m3u.substr(m3u.find('\n') + 1);
    };
    // Separators typed by the user and the source's own name reach the disk as the playlist
    // file spells them, so the entry finds its file.
    std::string line = run(FormatList(E{MetadataToken{"Title"}, std::string(" ★ é ")}));
    EXPECT_EQ(tree(), (Lines{"Intro ? e .mp3", "P.m3u"}));
    EXPECT_EQ(line, "Intro ? e .mp3\n");
    // "½" transliterates to " 1/2 ": the slash must not make a folder.
    line = run(FormatList());
    EXPECT_EQ(tree(), (Lines{"P.m3u", "Uber  12 .mp3"}));
    EXPECT_EQ(line, "Uber  12 .mp3\n");
}

TEST_F(ExportNaming, TrackOrdersSortByTheirKeyAndShuffleKeepsEverySong) {
    Artist& b = artist("B");
    Artist& a = artist("A");
    MediaItem& s1 = song("Zulu", &b, hours, "1.mp3");
    s1.setYear(2001);
    s1.setPlayCount(5);
    MediaItem& s2 = song("Alpha", &a, hours, "2.mp3");
    s2.setYear(1999);
    s2.setPlayCount(9);
    MediaItem& s3 = song("Mike", nullptr, hours, "3.mp3");
    s3.setYear(2010);
    s3.setPlayCount(1);
    const Playlist& list = *playlist("P", {&s1, &s2, &s3});
    const auto order = [&](int tracksOrder, bool ascending) {
        return songOrder(list, tracksOrder, ascending);
    };
    EXPECT_EQ(order(0, true), (Lines{"Zulu", "Alpha", "Mike"}));
    EXPECT_EQ(order(1, true), (Lines{"Mike", "Alpha", "Zulu"}));  // no artist first
    EXPECT_EQ(order(2, true), (Lines{"Alpha", "Mike", "Zulu"}));
    EXPECT_EQ(order(2, false), (Lines{"Zulu", "Mike", "Alpha"}));
    EXPECT_EQ(order(4, true), (Lines{"Alpha", "Zulu", "Mike"}));
    EXPECT_EQ(order(6, false), (Lines{"Alpha", "Zulu", "Mike"}));
    EXPECT_EQ(order(9, true), (Lines{"Zulu", "Alpha", "Mike"}));
    Lines shuffled = order(7, true);
    std::sort(shuffled.begin(), shuffled.end());
    EXPECT_EQ(shuffled, (Lines{"Alpha", "Mike", "Zulu"}));
}

TEST_F(ExportNaming, AlbumTitleAndDateAddedOrdersPutAbsentValuesFirstAscending) {
    const Album& zed = album("Zed");
    MediaItem& s1 = song("One", lowtide, &zed, "1.mp3");
    s1.setAddedDate(Date(std::chrono::seconds(2000)));
    MediaItem& s2 = song("Two", lowtide, nullptr, "2.mp3");  // no album, no date added
    MediaItem& s3 = song("Three", lowtide, hours, "3.mp3");
    s3.setAddedDate(Date(std::chrono::seconds(1000)));
    const Playlist& list = *playlist("P", {&s1, &s2, &s3});
    const auto order = [&](int tracksOrder, bool ascending) {
        return songOrder(list, tracksOrder, ascending);
    };
    EXPECT_EQ(order(3, true), (Lines{"Two", "Three", "One"}));
    EXPECT_EQ(order(3, false), (Lines{"One", "Three", "Two"}));
    EXPECT_EQ(order(5, true), (Lines{"Two", "Three", "One"}));
    EXPECT_EQ(order(5, false), (Lines{"One", "Three", "Two"}));
}

TEST_F(ExportNaming, ItemsOfOneRunNeverShareAFolderOrAPlaylistFile) {
    options.setSaveM3uWithFiles(false);
    auto m = manager();
    ASSERT_EQ(runPlaylists(
                  *m, {playlist("Same", {intro}), playlist("Same", {intro}),
                       playlist("A/B", {intro}), playlist("AB", {intro}), playlist(".", {intro}),
                       playlist("", {intro}), playlist("Mix", {intro}), playlist("MIX", {intro})}),
              RunEnding::Finished);
    EXPECT_EQ(tree(), (Lines{"AB (2).m3u", "AB (2)/01 Intro.mp3", "AB.m3u", "AB/01 Intro.mp3",
                             "MIX (2).m3u", "MIX (2)/01 Intro.mp3", "Mix.m3u", "Mix/01 Intro.mp3",
                             "Same (2).m3u", "Same (2)/01 Intro.mp3", "Same.m3u",
                             "Same/01 Intro.mp3", "unknown (2).m3u", "unknown (2)/01 Intro.mp3",
                             "unknown.m3u", "unknown/01 Intro.mp3"}));
    EXPECT_EQ(readFile(out / "Same (2).m3u"),
              "#EXTINF:239,Intro - Lowtide\nSame (2)/01 Intro.mp3\n");
    EXPECT_TRUE(ui.logged("Exporting playlist: Same"));

    // Without item folders only the playlist files are told apart; albums with artist folders
    // get the number on the album level.
    std::filesystem::remove_all(out);
    options.setFilesSaveToFolder(FolderLayout::Root);
    ASSERT_EQ(runPlaylists(*manager(), {playlist("Same", {intro}), playlist("Same", {intro})}),
              RunEnding::Finished);
    EXPECT_EQ(tree(), (Lines{"01 Intro.mp3", "Same (2).m3u", "Same.m3u"}));

    std::filesystem::remove_all(out);
    options.setFilesSaveToFolder(FolderLayout::PlaylistFolder);
    options.setSaveM3uWithFiles(true);
    const auto record = albumRecord("Blue Hours", std::string("Lowtide"), hours, {intro});
    auto albums = manager();
    albums->setCreateArtistFolder(true);
    ASSERT_EQ(runAlbums(*albums, {record, record}), RunEnding::Finished);
    EXPECT_EQ(tree(), (Lines{"Lowtide/Blue Hours (2)/01 Intro.mp3",
                             "Lowtide/Blue Hours (2)/LowtideBlue Hours (2).m3u",
                             "Lowtide/Blue Hours/01 Intro.mp3",
                             "Lowtide/Blue Hours/LowtideBlue Hours.m3u"}));
}

TEST_F(ExportNaming, ControlCharactersBecomeSpacesInTextAndLeaveNames) {
    MediaItem& odd = song(
        "Line\nTwo\t\x1B[31m\x07 \xC2\x85"
        "end",
        lowtide, hours, "bad\r\nname\x7F.mp3");
    options.setFilesSaveToFolder(FolderLayout::Root);
    const auto run = [&](int pattern, FormatList custom = {}) {
        std::filesystem::remove_all(out);
        ui.lines.clear();
        auto m = manager();
        m->setFileNameFormatType(storedOption<NamePattern>(pattern));
        m->setCustomFormatArray(std::move(custom));
        EXPECT_EQ(runPlaylists(*m, {playlist("Tab\there", {&odd})}), RunEnding::Finished);
    };
    run(4);
    EXPECT_EQ(tree(), (Lines{"LineTwo[31m end.mp3", "Tabhere.m3u"}));
    EXPECT_EQ(readFile(out / "Tabhere.m3u"),
              "#EXTINF:239,Line Two  [31m   end - Lowtide\nLineTwo[31m end.mp3\n");
    EXPECT_TRUE(ui.logged("Exporting song: bad  name .mp3"));
    EXPECT_TRUE(ui.logged("Exporting playlist: Tab here"));

    // The source's own name, and separators typed into a custom pattern, invalid UTF-8 included.
    run(0);
    EXPECT_EQ(tree(), (Lines{"Tabhere.m3u", "badname.mp3"}));
    using E = std::vector<FormatList::Element>;
    run(5, FormatList(E{std::string("\x01<\xF8\x88\x80\x80\x80\xC0\xAF\xED\xA0\x80>\n"),
                        MetadataToken{"Title"}}));
    EXPECT_EQ(tree(), (Lines{"<>LineTwo[31m end.mp3", "Tabhere.m3u"}));
    run(5, FormatList());
    EXPECT_EQ(tree(), (Lines{"Tabhere.m3u", "badname.mp3"}));
}

TEST_F(ExportNaming, TextOrdersIgnoreCaseAndNormalFormAndCountNumbersByValue) {
    const std::string nfd = "e\xCC\x81", nfc = "\xC3\xA9";
    std::vector<const MediaItem*> items;
    for (const std::string& title :
         {std::string("Zulu"), std::string("alpha"), nfd, std::string("f"),
          std::string("\xC3\x89mile"), nfc, std::string("Track 10"), std::string("Track 2")})
        items.push_back(&song(title, lowtide, hours, title + ".mp3"));
    const Playlist& list = *playlist("P", items);
    EXPECT_EQ(songOrder(list, 2, true),
              (Lines{"alpha", nfd, nfc, "\xC3\x89mile", "f", "Track 2", "Track 10", "Zulu"}));

    // Artists sort the same way, and the position numbers follow the order.
    Artist& lower = artist("alpha");
    Artist& upper = artist("Beta");
    MediaItem& one = song("One", &lower, hours, "one.mp3");
    MediaItem& two = song("Two", &upper, hours, "two.mp3");
    options.setTracksOrder(TrackOrder::Artist);
    EXPECT_EQ(names(playlist("Q", {&two, &one}), 1), (Lines{"Q/001 One.mp3", "Q/002 Two.mp3"}));
}

}  // namespace
}  // namespace kelvara::test
