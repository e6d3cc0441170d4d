#include <gtest/gtest.h>
#include <sys/stat.h>

#include "listing/FXCsvExporter.h"
#include "listing/ListingFixtures.h"
#include "listing/RBExcel.h"
#include "platform/AtomicFile.h"

namespace kelvara {
namespace {

namespace fs = std::filesystem;

// How every listing type treats the file it replaces and the folder it writes into.
struct ListingFile : testing::TestWithParam<std::string> {
    test::ListingLibrary lib;
    test::TempDir dir;
    fs::path file = dir / ("Songs." + GetParam());

    bool write(std::string& error) {
        if (GetParam() == "csv") {
            FXCsvExporter exporter;
            exporter.setArrayController(lib.songs);
            return exporter.createCSVWithVisibleColumns({"title"}, file, true, error);
        }
        RBExcel excel;
        excel.setArrayController(lib.songs);
        return excel.createExcelIsXMl(GetParam() == "xlsx", {"title"}, true, file, error);
    }
};

TEST_P(ListingFile, LeftoversOfKilledListingsGoButALiveWriterKeepsItsFile) {
    test::writeFile(dir / ".kelvara-part-abc123", std::string(100000, 'x'));
    std::string error;
    auto live = AtomicFile::create(dir / "Other.csv", error);
    ASSERT_TRUE(live) << error;
    ASSERT_TRUE(write(error)) << error;
    EXPECT_FALSE(fs::exists(dir / ".kelvara-part-abc123"));
    EXPECT_TRUE(fs::exists(live->temporaryPath()));
    EXPECT_TRUE(fs::exists(file));
}

TEST_P(ListingFile, AReadOnlyFileIsRefusedAsCpWouldAlsoForRoot) {
    test::writeFile(file, "keep me");
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    std::string error;
    EXPECT_FALSE(write(error));
    EXPECT_NE(error.find("cannot open " + file.string() + " for writing: Permission denied"),
              std::string::npos)
        << error;
    EXPECT_EQ(test::readFile(file), "keep me");
    EXPECT_EQ(test::filesUnder(dir.path()), std::vector<std::string>{file.filename().string()});

    fs::remove(file);
    ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
    EXPECT_FALSE(write(error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_EQ(fs::status(file).type(), fs::file_type::fifo);
}

INSTANTIATE_TEST_SUITE_P(Types, ListingFile, testing::Values("csv", "xls", "xlsx"));

}  // namespace
}  // namespace kelvara
