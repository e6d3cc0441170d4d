#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/TestSupport.h"

namespace kelvara {
namespace {

// A library of three songs on two albums and two playlists that share a song; `mike` adds keys to
// the third song.
std::string libraryFile(const std::string& mike = "") {
    const auto song = [](int id, const std::string& title, const std::string& artist,
                         const std::string& album, int time, const std::string& more) {
        return test::trackXml(
            id,
            "<key>Name</key><string>" + title + "</string><key>Artist</key><string>" + artist +
                "</string><key>Album</key><string>" + album +
                "</string><key>Kind</key><string>"
                "MPEG audio file</string><key>Total Time</key><integer>" +
                std::to_string(time) + "</integer><key>Persistent ID</key><string>000000000000000" +
                std::to_string(id) + "</string><key>Track Type</key><string>File</string>" + more);
    };
    const auto list = [](const std::string& name, const std::string& id,
                         const std::vector<int>& items) {
        return test::playlistXml("<key>Name</key><string>" + name +
                                     "</string><key>Playlist Persistent ID</key><string>"
                                     "00000000000000" +
                                     id + "</string><key>All Items</key><true/>",
                                 items);
    };
    const std::string band = "<key>Album Artist</key><string>Band</string><key>Year</key><integer>";
    return test::libraryXml(
        song(1, "Shared, song", "Ann", "First", 245000, band + "2001</integer>") +
            song(2, "Zulu", "Ann", "First", 3725000, band + "1999</integer>") +
            song(3, "Mike", "Bob", "Second", 60000, mike),
        list("Red", "A1", {1, 2}) + list("Blue", "A2", {3, 1}),
        "<key>Major Version</key><integer>1</integer>"
        "<key>Music Folder</key><string>file:///Users/demo/Music/</string>");
}

struct ListCommand : testing::Test {
    test::TempDir dir;
    ListCommand() { test::writeFile(dir / "Library.xml", libraryFile()); }

    test::CommandResult list(std::vector<std::string> args) {
        args.insert(args.begin(), {"--library", (dir / "Library.xml").string(), "--config-dir",
                                   (dir / "config").string(), "list"});
        return test::runCli(args);
    }
    nlohmann::json csv(const std::string& name) { return test::readCsv(dir / name); }
};

TEST_F(ListCommand, PlaylistsAreListedOneAfterTheOtherWithSharedSongsTwice) {
    const auto result =
        list({"--playlist", "Red", "--playlist", "Blue", "--to", (dir / "out.csv").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "Wrote 4 songs to " + (dir / "out.csv").string() + "\n");
    EXPECT_EQ(csv("out.csv"),
              nlohmann::json::parse(R"([["Title","Artist","Time","Album","Genre","Year"],
        ["Shared, song","Ann","04:05","First","","2001"],["Zulu","Ann","1:02:05","First","","1999"],
        ["Mike","Bob","01:00","Second","","0"],["Shared, song","Ann","04:05","First","","2001"]])"));
}

TEST_F(ListCommand, ColumnsSortKeysAndModeFollowTheOptions) {
    auto result =
        list({"--playlist", "Red", "--playlist", "Blue", "--columns", "title,albumArtist,bogus",
              "--sort", "albumArtist,-title", "--to", (dir / "sorted.csv").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("unknown column \"bogus\""), std::string::npos) << result.err;
    EXPECT_EQ(csv("sorted.csv"), nlohmann::json::parse(R"([["Title","Album Artist"],["Mike",""],
        ["Zulu","Band"],["Shared, song","Band"],["Shared, song","Band"]])"));

    // An album listing: "albumArtist" is the song's artist there.
    result = list({"--album", "Band - First", "--album", "Second - Bob", "--columns",
                   "title,albumArtist", "--to", (dir / "albums.csv").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(csv("albums.csv"),
              nlohmann::json::parse(R"([["Title","Artist"],["Shared, song","Ann"],
        ["Zulu","Ann"],["Mike","Bob"]])"));
}

TEST_F(ListCommand, SpreadsheetTypeComesFromTheExtensionOrTheOption) {
    ASSERT_EQ(list({"--all", "--albums", "--to", (dir / "a.xlsx").string()}).exitCode, 0);
    ASSERT_EQ(list({"--all", "--type", "xls", "--to", (dir / "b.listing").string()}).exitCode, 0);
    const auto result = test::runPython(
        "import sys, openpyxl, xlrd\n"
        "ws = openpyxl.load_workbook(sys.argv[1])['Songs']\n"
        "sh = xlrd.open_workbook(sys.argv[2]).sheet_by_name('Songs')\n"
        "print(ws.max_row, ws['A1'].value, sh.nrows, sh.cell_value(0, 2))\n",
        {(dir / "a.xlsx").string(), (dir / "b.listing").string()});
    EXPECT_EQ(result.out, "4 Title 5 Time\n") << result.err;
}

TEST_F(ListCommand, AMissingNameOrExtensionComesFromTheType) {
    const auto wrote = [&](std::vector<std::string> args, const std::filesystem::path& expected) {
        const auto result = list(std::move(args));
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, "Wrote 4 songs to " + expected.string() + "\n");
        EXPECT_TRUE(std::filesystem::is_regular_file(expected)) << expected;
    };
    std::filesystem::create_directory(dir / "folder");
    // A folder gets the proposed name "Songs" with the type's extension; XLSX when no type is
    // given.
    wrote({"--all", "--to", (dir / "folder").string()}, dir / "folder" / "Songs.xlsx");
    wrote({"--all", "--type", "csv", "--to", (dir / "folder").string() + "/"},
          dir / "folder" / "Songs.csv");
    wrote({"--all", "--type", "xls", "--to", (dir / "folder").string()},
          dir / "folder" / "Songs.xls");
    // A name without an extension gets the type's.
    wrote({"--all", "--type", "csv", "--to", (dir / "listing").string()}, dir / "listing.csv");
    wrote({"--all", "--to", (dir / "plain").string()}, dir / "plain.xlsx");
    EXPECT_EQ(csv("folder/Songs.csv").size(), 5u);
    EXPECT_EQ(csv("listing.csv")[0][0], "Title");
    const auto result = test::runPython(
        "import sys, openpyxl, xlrd\n"
        "print(openpyxl.load_workbook(sys.argv[1])['Songs'].max_row, "
        "openpyxl.load_workbook(sys.argv[2])['Songs']"
        ".max_row, xlrd.open_workbook(sys.argv[3]).sheet_by_name('Songs').nrows)\n",
        {(dir / "folder" / "Songs.xlsx").string(), (dir / "plain.xlsx").string(),
         (dir / "folder" / "Songs.xls").string()});
    EXPECT_EQ(result.out, "5 5 5\n") << result.err;
}

TEST_F(ListCommand, AFileNameThatIsNotUtf8KeepsEveryListingReadable) {
    // Linux file names are bytes: this one holds a Latin-1 "é".
    const std::string name = "caf\xE9.mp3";
    test::writeFile(dir / name, "");
    test::writeFile(dir / "Library.xml", libraryFile("<key>Location</key><string>file://" +
                                                     dir.path().string() + "/caf%E9.mp3</string>"));
    for (const std::string type : {"csv", "xls", "xlsx"})
        ASSERT_EQ(list({"--playlist", "Blue", "--columns", "title,path", "--to",
                        (dir / ("odd." + type)).string()})
                      .exitCode,
                  0)
            << type;
    const auto result = test::runPython(
        "import sys, csv, json, openpyxl, xlrd\n"
        "rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))\n"
        "x = openpyxl.load_workbook(sys.argv[2])['Songs']\n"
        "s = xlrd.open_workbook(sys.argv[3]).sheet_by_name('Songs')\n"
        "print(json.dumps([rows[1][1], x['B2'].value, s.cell_value(1, 1)]))\n",
        {(dir / "odd.csv").string(), (dir / "odd.xlsx").string(), (dir / "odd.xls").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string shown = dir.path().string() + "/caf\uFFFD.mp3";
    EXPECT_EQ(nlohmann::json::parse(result.out), nlohmann::json::array({shown, shown, shown}));
}

TEST_F(ListCommand, MistakesEndWithOneClearLineAndNoFile) {
    const auto expectError = [&](std::vector<std::string> args, const std::string& message) {
        const auto result = list(std::move(args));
        EXPECT_EQ(result.exitCode, 2) << message;
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    };
    expectError({"--all", "--to", (dir / "x.ods").string()}, "name it .csv, .xls or .xlsx");
    expectError({"--all", "--sort", "title", "--to", (dir / "x.xlsx").string()},
                "CSV listings only");
    expectError({"--all", "--sort", "nope", "--to", (dir / "x.csv").string()},
                "cannot sort by \"nope\"");
    expectError({"--ticked", "--albums", "--to", (dir / "x.csv").string()},
                "Please select at least one album.");
    expectError({"--playlist", "Green", "--to", (dir / "x.csv").string()},
                "no playlist named \"Green\"");
    expectError({"--all", "--playlist", "Red", "--to", (dir / "x.csv").string()}, "exactly one of");
    expectError({"--all", "--to", (dir / "no" / "x.csv").string()}, (dir / "no").string());
    EXPECT_FALSE(std::filesystem::exists(dir / "x.csv"));
    EXPECT_FALSE(std::filesystem::exists(dir / "x.xlsx"));
}

TEST_F(ListCommand, AReadOnlyListingIsNotReplacedAndLeftoversAreCleared) {
    const auto file = dir / "Songs.xlsx";
    test::writeFile(file, "read only");
    std::filesystem::permissions(file, std::filesystem::perms::owner_read);
    test::writeFile(dir / ".kelvara-part-Zq9x1A", "left by a killed listing");
    auto result = list({"--all", "--to", file.string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("cannot open " + file.string() + " for writing: Permission denied"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(test::readFile(file), "read only");

    std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    result = list({"--all", "--to", file.string()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(std::filesystem::exists(dir / ".kelvara-part-Zq9x1A"));
}

}  // namespace
}  // namespace kelvara
