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

    Status write() {
        if (GetParam() == "csv") {
            FXCsvExporter exporter;
            exporter.setArrayController(lib.songs);
            return exporter.createCSVWithVisibleColumns({"title"}, file, true);
        }
        RBExcel excel;
        excel.setArrayController(lib.songs);
        return excel.createExcelIsXMl(GetParam() == "xlsx", {"title"}, true, file);
    }
};

TEST_P(ListingFile, LeftoversOfKilledListingsGoButALiveWriterKeepsItsFile) {
    test::writeFile(dir / ".kelvara-part-abc123", std::string(100000, 'x'));
    auto live = AtomicFile::create(dir / "Other.csv");
    ASSERT_TRUE(live.ok()) << live.message();
    const Status written = write();
    ASSERT_TRUE(written.ok()) << written.message();
    EXPECT_FALSE(fs::exists(dir / ".kelvara-part-abc123"));
    EXPECT_TRUE(fs::exists((*live)->temporaryPath()));
    EXPECT_TRUE(fs::exists(file));
}

TEST_P(ListingFile, AReadOnlyFileIsRefusedAsCpWouldAlsoForRoot) {
    test::writeFile(file, "keep me");
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Status written = write();
    EXPECT_FALSE(written.ok());
    std::string error = written.message();
    EXPECT_NE(error.find("cannot open " + file.string() + " for writing: Permission denied"),
              std::string::npos)
        << error;
    EXPECT_EQ(test::readFile(file), "keep me");
    EXPECT_EQ(test::filesUnder(dir.path()), std::vector<std::string>{file.filename().string()});

    fs::remove(file);
    ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
    written = write();
    EXPECT_FALSE(written.ok());
    error = written.message();
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_EQ(fs::status(file).type(), fs::file_type::fifo);
}

INSTANTIATE_TEST_SUITE_P(Types, ListingFile, testing::Values("csv", "xls", "xlsx"));

}  // namespace
}  // namespace kelvara
