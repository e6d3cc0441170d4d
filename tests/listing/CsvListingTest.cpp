#include <gtest/gtest.h>

#include "listing/FXCsvExporter.h"
#include "listing/ListingFixtures.h"

namespace kelvara {
namespace {

using test::ListingLibrary;
using Rows = std::vector<std::vector<std::string>>;

struct CsvListing : testing::Test {
    ListingLibrary lib;
    test::TempDir dir;
    std::filesystem::path file = dir / "Songs.csv";

    Rows write(std::vector<std::string> columns, bool playlist = true,
               std::vector<ListingSortKey> sort = {}) {
        FXCsvExporter exporter;
        exporter.setArrayController(lib.songs);
        exporter.setSortDescriptors(std::move(sort));
        const Status written =
            exporter.createCSVWithVisibleColumns(std::move(columns), file, playlist);
        EXPECT_TRUE(written.ok()) << written.message();
        return test::readCsv(file);
    }
};

TEST_F(CsvListing, WritesHeaderAndOneLinePerSongWithTheValuesOfEveryColumn) {
    const Rows rows = write({"title",     "artist", "time",        "album",     "genre",
                             "year",      "kind",   "bitrate",     "track",     "disk",
                             "playCount", "bpm",    "sortArtist",  "sortAlbum", "sortAlbumArtist",
                             "comments",  "rating", "releaseDate", "addedDate", "lastPlayedDate"});
    const Rows expected = {
        {"Title",      "Artist", "Time",         "Album",      "Genre",
         "Year",       "Kind",   "Bitrate",      "Track",      "Disc",
         "Play count", "BPM",    "Sort Artist",  "Sort Album", "Sort Album Artist",
         "Comments",   "Rating", "Release Date", "Added Date", "LastPlayed Date"},
        {"Alpha",
         "Zed, \"the\" Band",
         "59:59",
         "Album One",
         "Rock",
         "1999",
         "MPEG audio file",
         "256",
         "3",
         "2",
         "0",
         "0",
         "Band, Zed",
         "One Album",
         "Folk, Various",
         "",
         "0",
         "2001-02-03 20:15:30 +0000",
         "2020-12-31 23:59:59 +0000",
         ""},
        // No album and no artist: empty texts, but the album's disc number reads as 0.
        {"日本語のタイトル",
         "",
         "1:00:00",
         "",
         "",
         "0",
         "",
         "0",
         "0",
         "0",
         "5",
         "120",
         "",
         "",
         "",
         "line one\nline two",
         "80",
         "",
         "",
         ""},
        {"",
         "Zed, \"the\" Band",
         "10:00:00",
         "Album One",
         "Ambient",
         "2010",
         "",
         "0",
         "0",
         "2",
         "0",
         "0",
         "Band, Zed",
         "One Album",
         "Folk, Various",
         "",
         "0",
         "",
         "",
         "1999-12-31 00:00:00 +0000"},
    };
    EXPECT_EQ(rows, expected);
}

TEST_F(CsvListing, QuotesOnlyWhereNeededAndEndsLinesWithLineFeeds) {
    write({"title", "artist", "comments"});
    EXPECT_EQ(test::readFile(file),
              "Title,Artist,Comments\n"
              "Alpha,\"Zed, \"\"the\"\" Band\",\n"
              "日本語のタイトル,,\"line one\nline two\"\n"
              ",\"Zed, \"\"the\"\" Band\",\n");
}

TEST_F(CsvListing, AlbumArtistFollowsTheListingsMode) {
    EXPECT_EQ(write({"albumArtist"}, true)[0][0], "Album Artist");
    EXPECT_EQ(write({"albumArtist"}, true)[1][0], "Various Folk");
    EXPECT_EQ(write({"albumArtist"}, false)[0][0], "Artist");
    EXPECT_EQ(write({"albumArtist"}, false)[1][0], "Zed, \"the\" Band");
    // The album song list's own identifiers.
    EXPECT_EQ(write({"albumTitle", "albumAlbumArtist", "albumTime"}, false)[0],
              (std::vector<std::string>{"Title", "Album Artist", "Time"}));
}

TEST_F(CsvListing, UnknownIdentifiersTakeNoPlaceInAnyLine) {
    EXPECT_EQ(write({"title", "nonsense", "year"})[1], (std::vector<std::string>{"Alpha", "1999"}));
    write({"nonsense", "checked"});
    EXPECT_EQ(test::readFile(file), "\n\n\n\n");
}

TEST_F(CsvListing, SortsByTheKeysInTurnKeepingTiesInOrder) {
    // With a second column, a song without a title still has a line of fields.
    const auto titles = [](const Rows& rows) {
        std::vector<std::string> out;
        for (std::size_t i = 1; i < rows.size(); ++i) out.push_back(rows[i].at(0));
        return out;
    };
    // Durations sort by length, not by their text ("10:00:00" < "59:59" as text).
    EXPECT_EQ(titles(write({"title", "year"}, true, {{"time", false}})),
              (std::vector<std::string>{"", "日本語のタイトル", "Alpha"}));
    // Absent artist first; the two songs of one artist then by year, descending.
    EXPECT_EQ(titles(write({"title", "year"}, true, {{"artist", true}, {"year", false}})),
              (std::vector<std::string>{"日本語のタイトル", "", "Alpha"}));
    // Equal under every key: the given order stays.
    EXPECT_EQ(titles(write({"title", "year"}, true, {{"album", true}})),
              (std::vector<std::string>{"日本語のタイトル", "Alpha", ""}));
    EXPECT_EQ(titles(write({"title", "year"}, true, {{"unknownKey", true}})),
              (std::vector<std::string>{"Alpha", "日本語のタイトル", ""}));
}

TEST_F(CsvListing, ASongHandedOverTwiceIsListedTwiceAndNoSongsGiveOnlyTheHeader) {
    lib.songs = {lib.songs[0], lib.songs[0]};
    EXPECT_EQ(write({"title"}).size(), 3u);
    lib.songs.clear();
    write({"title", "year"});
    EXPECT_EQ(test::readFile(file), "Title,Year\n");
}

TEST_F(CsvListing, ReplacesTheFileOnlyWhenCompleteAndReportsAnUnwritableFolder) {
    test::writeFile(file, "old");
    write({"title"});
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename(), "Songs.csv");

    const auto missing = dir / "missing";
    FXCsvExporter exporter;
    const Status written =
        exporter.createCSVWithVisibleColumns({"title"}, missing / "Songs.csv", true);
    EXPECT_FALSE(written.ok());
    const std::string& error = written.message();
    EXPECT_NE(error.find(missing.string()), std::string::npos) << error;
}

}  // namespace
}  // namespace kelvara
