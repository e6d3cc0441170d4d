#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "listing/ListingFixtures.h"
#include "listing/RBExcel.h"

namespace kelvara {
namespace {

using nlohmann::json;
using test::ListingLibrary;

// Runs with the user's time zone set to Tokyo (UTC+9, no daylight saving), restoring it after.
class TokyoTime {
  public:
    TokyoTime() {
        if (const char* tz = std::getenv("TZ")) saved_ = tz;
        setenv("TZ", "Asia/Tokyo", 1);
        tzset();
    }
    ~TokyoTime() {
        if (saved_)
            setenv("TZ", saved_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    std::optional<std::string> saved_;
};

// Every spreadsheet test runs for both formats, read back by openpyxl and by xlrd.
struct ExcelListing : testing::TestWithParam<std::string> {
    ListingLibrary lib;
    test::TempDir dir;
    std::filesystem::path file = dir / ("Songs." + GetParam());

    json write(std::vector<std::string> columns, bool playlist = true) {
        TokyoTime tokyo;
        RBExcel excel;
        excel.setArrayController(lib.songs);
        const Status written =
            excel.createExcelIsXMl(GetParam() == "xlsx", std::move(columns), playlist, file);
        EXPECT_TRUE(written.ok()) << written.message();
        json book = test::readWorkbook(file);
        EXPECT_FALSE(book.contains("error")) << book.dump();
        return book;
    }
    static std::vector<std::string> headers(const json& book) {
        std::vector<std::string> out;
        for (const json& cell : book["rows"][0]) out.push_back(cell["v"]);
        return out;
    }
};

TEST_P(ExcelListing, HeaderRowHasTheTitlesWidthsAndLookOfTheColumns) {
    const json book =
        write({"title", "bitrate", "nonsense", "lastPlayedDate", "sortAlbum", "path"});
    EXPECT_EQ(book["sheets"], json::array({"Songs"}));
    EXPECT_EQ(book["defaultFont"], json::array({"Arial", 11.0}));
    EXPECT_EQ(headers(book), (std::vector<std::string>{"Title", "Bitrate (kbps", "Last Played Date",
                                                       "Sort Album", "Path"}));
    const double widths[] = {35, 17, 20, 20, 55};
    for (std::size_t c = 0; c < 5; ++c) {
        // XLSX stores the width with the cell padding added (35 characters are 35.71).
        EXPECT_NEAR(book["widths"][std::to_string(c)].get<double>(), widths[c], 0.75)
            << "column " << c;
        const json& header = book["rows"][0][c];
        EXPECT_EQ(header["font"], "Arial");
        EXPECT_TRUE(header["bold"]);
        EXPECT_TRUE(header["centre"]);
        EXPECT_EQ(header["borders"], "LRTB");
        EXPECT_EQ(header["fill"], "CCFFCC");  // palette colour 42
        if (GetParam() == "xls") {
            EXPECT_EQ(header["paletteFill"], 42);
        }
    }
}

TEST_P(ExcelListing, CellsFollowTheWritingRulesOfTheirKind) {
    const json book = write({"title", "artist", "time", "album", "year", "track", "disk",
                             "playCount", "rating", "releaseDate", "lastPlayedDate"});
    const json& rows = book["rows"];
    ASSERT_EQ(rows.size(), 4u);
    const auto at = [&](std::size_t r, std::size_t c) { return rows[r][c]; };

    // Texts: plain Arial with a left border; Japanese unchanged.
    EXPECT_EQ(at(1, 0)["v"], "Alpha");
    EXPECT_EQ(at(2, 0)["v"], "日本語のタイトル");
    EXPECT_EQ(at(1, 0)["kind"], "text");
    EXPECT_FALSE(at(1, 0)["bold"]);
    EXPECT_EQ(at(1, 0)["font"], "Arial");
    EXPECT_EQ(at(1, 0)["borders"], "L");
    EXPECT_EQ(at(1, 0)["numFmt"], 0);
    EXPECT_TRUE(at(1, 0)["fill"].is_null());
    EXPECT_EQ(at(1, 2)["v"], "59:59");
    EXPECT_EQ(at(3, 2)["v"], "10:00:00");
    // No title, no artist, no album object: empty cells, and the later rows stay in place.
    EXPECT_EQ(at(3, 0)["kind"], "empty");
    EXPECT_EQ(at(2, 1)["kind"], "empty");
    EXPECT_EQ(at(2, 3)["kind"], "empty");
    EXPECT_EQ(at(3, 1)["v"], "Zed, \"the\" Band");

    // Numbers: format 1, left and right borders; 0 means "not set" except for the play count.
    EXPECT_EQ(at(1, 4)["v"], 1999.0);
    EXPECT_EQ(at(1, 4)["kind"], "number");
    EXPECT_EQ(at(1, 4)["numFmt"], 1);
    EXPECT_EQ(at(1, 4)["borders"], "LR");
    EXPECT_EQ(at(2, 4)["kind"], "empty");  // year 0
    EXPECT_EQ(at(2, 6)["kind"], "empty");  // no album, so no disc
    EXPECT_EQ(at(1, 6)["v"], 2.0);
    EXPECT_EQ(at(1, 7)["v"], 0.0);  // play count 0 is written
    EXPECT_EQ(at(2, 7)["v"], 5.0);
    EXPECT_EQ(at(1, 8)["kind"], "empty");  // rating 0
    EXPECT_EQ(at(2, 8)["v"], 80.0);

    // Dates: format 14, the moment as a Tokyo clock shows it, time of day included.
    EXPECT_EQ(at(1, 9)["kind"], "date");
    EXPECT_EQ(at(1, 9)["numFmt"], 14);
    EXPECT_EQ(at(1, 9)["borders"], "LR");
    EXPECT_EQ(at(1, 9)["v"], "2001-02-04T05:15:30");
    EXPECT_EQ(at(3, 10)["v"], "1999-12-31T09:00:00");
    EXPECT_EQ(at(2, 9)["kind"], "empty");
}

TEST_P(ExcelListing, AlbumArtistFollowsTheListingsMode) {
    json book = write({"albumArtist"}, true);
    EXPECT_EQ(book["rows"][0][0]["v"], "Album Artist");
    EXPECT_EQ(book["rows"][1][0]["v"], "Various Folk");
    EXPECT_NEAR(book["widths"]["0"].get<double>(), 20, 0.75);
    book = write({"albumArtist"}, false);
    EXPECT_EQ(book["rows"][0][0]["v"], "Artist");
    EXPECT_EQ(book["rows"][1][0]["v"], "Zed, \"the\" Band");
    EXPECT_NEAR(book["widths"]["0"].get<double>(), 25, 0.75);
}

TEST_P(ExcelListing, AnEmptySongListGivesOnlyTheHeaderRow) {
    lib.songs.clear();
    const json book = write({"title", "year"});
    ASSERT_EQ(book["rows"].size(), 1u);
    EXPECT_EQ(headers(book), (std::vector<std::string>{"Title", "Year"}));
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename(), file.filename()) << "a temporary file was left";
}

TEST_P(ExcelListing, LongAndManyTextsSurviveInFull) {
    // Enough distinct texts to need several CONTINUE records in XLS, wide and narrow ones, and
    // single texts longer than a record, split inside their characters.
    std::deque<std::string> titles;
    const std::string longWide = [] {
        std::string s;
        for (int i = 0; i < 9000; ++i) s += (i % 2 ? "語" : "x");
        return s;
    }();
    const std::string longNarrow(20000, 'n');
    MediaLibrary library;
    std::vector<const MediaItem*> songs;
    for (int i = 0; i < 3000; ++i) {
        MediaItem& item = library.addMediaItem();
        item.setTitle(i == 5   ? longWide
                      : i == 6 ? longNarrow
                               : "Song " + std::to_string(i) + (i % 3 ? "" : " ü"));
        item.setComments(i % 2 ? "odd 😀" : "even");
        songs.push_back(&item);
    }
    lib.songs = songs;
    const json book = write({"title", "comments"});
    ASSERT_EQ(book["rows"].size(), 3001u);
    EXPECT_EQ(book["rows"][1][0]["v"], "Song 0 ü");
    EXPECT_EQ(book["rows"][6][0]["v"], longWide);
    EXPECT_EQ(book["rows"][7][0]["v"], longNarrow);
    EXPECT_EQ(book["rows"][2999][0]["v"], "Song 2998");
    EXPECT_EQ(book["rows"][2999][1]["v"], "even");
    EXPECT_EQ(book["rows"][3000][1]["v"], "odd 😀");
}

TEST_P(ExcelListing, TextsAreCutExactlyAtTheCellLimitAndNeverInsideACharacter) {
    // A cell holds at most 32767 UTF-16 units.
    const std::vector<std::string> titles = {std::string(32767, 'a'), std::string(32768, 'b'),
                                             std::string(32766, 'c') + "\U0001F600",
                                             std::string(32766, 'd') + "e"};
    MediaLibrary library;
    std::vector<const MediaItem*> songs;
    for (const std::string& title : titles) {
        MediaItem& item = library.addMediaItem();
        item.setTitle(title);
        songs.push_back(&item);
    }
    lib.songs = songs;
    const json book = write({"title"});
    ASSERT_EQ(book["rows"].size(), titles.size() + 1);
    EXPECT_EQ(book["rows"][1][0]["v"], titles[0]);
    EXPECT_EQ(book["rows"][2][0]["v"], std::string(32767, 'b'));
    EXPECT_EQ(book["rows"][3][0]["v"], std::string(32766, 'c'));
    EXPECT_EQ(book["rows"][4][0]["v"], titles[3]);
}

INSTANTIATE_TEST_SUITE_P(Formats, ExcelListing, testing::Values("xlsx", "xls"));

TEST(ExcelDates, PackIntoSerialNumbersWithThe1900LeapDay) {
    EXPECT_EQ(RBExcel::datePack(1900, 1, 1, 0, 0, 0), 1.0);
    EXPECT_EQ(RBExcel::datePack(1900, 2, 28, 0, 0, 0), 59.0);
    EXPECT_EQ(RBExcel::datePack(1900, 3, 1, 0, 0, 0), 61.0);
    EXPECT_EQ(RBExcel::datePack(2001, 2, 3, 12, 0, 0), 36925.5);
}

TEST(XlsListing, SongsBeyondASheetGoOnInTheNextSheetWithTheSameHeader) {
    MediaLibrary library;
    std::vector<const MediaItem*> songs;
    for (int i = 0; i < 70000; ++i) {
        MediaItem& item = library.addMediaItem();
        // Long, distinct texts make the file big enough to need extra FAT index sectors.
        item.setTitle("A title long enough to fill the shared strings quickly, number " +
                      std::to_string(i));
        item.setYear(1900 + static_cast<unsigned>(i % 100));
        songs.push_back(&item);
    }
    test::TempDir dir;
    RBExcel excel;
    excel.setArrayController(songs);
    const Status written = excel.createExcelIsXMl(false, {"title", "year"}, true, dir / "big.xls");
    ASSERT_TRUE(written.ok()) << written.message();
    EXPECT_GT(std::filesystem::file_size(dir / "big.xls"), 109u * 128 * 512)
        << "extra FAT index not exercised";
    const auto result = test::runPython(R"PY(
import sys, json, xlrd, olefile
bk = xlrd.open_workbook(sys.argv[1], formatting_info=True)
def describe(sh):
    def cell(r, c):
        xf = bk.xf_list[sh.cell_xf_index(r, c)]
        return [sh.cell_value(r, c), bool(bk.font_list[xf.font_index].bold), xf.format_key,
                xf.background.pattern_colour_index]
    n = sh.nrows - 1
    return {"rows": sh.nrows, "cols": sh.ncols, "header": [cell(0, 0), cell(0, 1)],
            "widths": [sh.colinfo_map[c].width for c in sorted(sh.colinfo_map)],
            "first": [cell(1, 0), cell(1, 1)], "last": [cell(n, 0), cell(n, 1)],
            "windowSelected": sh.sheet_selected}
ole = olefile.OleFileIO(sys.argv[1])
print(json.dumps({"names": bk.sheet_names(), "sheets": [describe(s) for s in bk.sheets()],
                  "streams": ole.listdir()}))
)PY",
                                        {(dir / "big.xls").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const json book = json::parse(result.out);
    const auto title = [](int i) {
        return "A title long enough to fill the shared strings quickly, number " +
               std::to_string(i);
    };
    // Value, bold, number format, fill colour.
    const json header =
        json::array({json::array({"Title", true, 0, 42}), json::array({"Year", true, 0, 42})});
    const auto song = [&](int i) {
        return json::array(
            {json::array({title(i), false, 0, 64}), json::array({1900 + i % 100, false, 1, 64})});
    };
    EXPECT_EQ(book["names"], json::array({"Songs", "Songs 2"}));
    EXPECT_EQ(book["streams"], json::array({json::array({"Workbook"})}));
    ASSERT_EQ(book["sheets"].size(), 2u);
    const json& first = book["sheets"][0];
    const json& second = book["sheets"][1];
    EXPECT_EQ(first["rows"], 1 + 65535);
    EXPECT_EQ(second["rows"], 1 + 4465);
    for (const json* sheet : {&first, &second}) {
        EXPECT_EQ((*sheet)["cols"], 2);
        EXPECT_EQ((*sheet)["header"], header);
        EXPECT_EQ((*sheet)["widths"], json::array({35 * 256, 8 * 256}));
    }
    EXPECT_EQ(first["first"], song(0));
    EXPECT_EQ(first["last"], song(65534));
    EXPECT_EQ(second["first"], song(65535));
    EXPECT_EQ(second["last"], song(69999));
    // The workbook opens on the first sheet only.
    EXPECT_EQ(first["windowSelected"], 1);
    EXPECT_EQ(second["windowSelected"], 0);
}

TEST_P(ExcelListing, OddTextsKeepTheFileReadableAndReadBackAsWritten) {
    const std::vector<std::string> titles = {
        "tab\there\vvertical\x01one",
        "cr\rlf\ncrlf\r\n",
        // Spreadsheet applications read these as character codes unless they are escaped.
        "literal _x0041_ and _x005F_x0042_ and _X0043_ _x12_",
        " padded ",
        // Not UTF-8, as a file name can be: each stray byte becomes U+FFFD.
        "bad\xFF\xC3 bytes \xE2\x82 end\xED\xA0\x80",
        "nonchar \uFFFF end",
    };
    MediaLibrary library;
    std::vector<const MediaItem*> songs;
    for (const std::string& title : titles) {
        MediaItem& item = library.addMediaItem();
        item.setTitle(title);
        songs.push_back(&item);
    }
    lib.songs = songs;
    const json book = write({"title"});
    ASSERT_EQ(book["rows"].size(), titles.size() + 1);
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(book["rows"][i + 1][0]["v"], titles[i]) << i;
    EXPECT_EQ(book["rows"][5][0]["v"], "bad\uFFFD\uFFFD bytes \uFFFD\uFFFD end\uFFFD\uFFFD\uFFFD");
    // XML cannot hold U+FFFF; the binary format can.
    EXPECT_EQ(book["rows"][6][0]["v"], GetParam() == "xlsx" ? "nonchar \uFFFD end" : titles[5]);
}
}  // namespace
}  // namespace kelvara
