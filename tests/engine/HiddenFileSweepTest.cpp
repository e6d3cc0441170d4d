#include <gtest/gtest.h>

#include "engine/HiddenFileSweep.h"
#include "support/TestSupport.h"

namespace kelvara::test {
namespace {

namespace fs = std::filesystem;

// Clutter goes at every depth, a "._" companion only beside the entry it belongs to, and a link
// is removed as a link: nothing it points at is entered or touched.
TEST(HiddenFileSweep, RemovesClutterAndCompanionsAndFollowsNoLink) {
    TempDir dir;
    const fs::path root = dir / "root";
    writeFile(root / ".DS_Store", "x");
    writeFile(root / "a/b/.DS_Store", "x");
    writeFile(root / "a/.Trashes/501/file", "x");
    writeFile(root / "a/song.mp3", "audio");
    writeFile(root / "a/._song.mp3", "fork");
    writeFile(root / "a/._orphan", "no song beside it");
    writeFile(root / "a/.hidden", "not clutter");
    writeFile(root / "a/._.hidden", "fork");
    fs::create_directories(root / "Album/.fseventsd");
    writeFile(root / "Album/._Album", "not beside its folder");
    writeFile(dir / "outside/.DS_Store", "keep");
    writeFile(dir / "outside/x", "keep");
    writeFile(dir / "outside/._x", "keep");
    fs::create_directory_symlink(dir / "outside", root / "link");
    writeFile(root / "._link", "fork of the link");
    fs::create_directory_symlink(dir / "outside", root / ".Spotlight-V100");
    fs::create_symlink(dir / "outside/x", root / ".TemporaryItems");

    HiddenFileSweep::run(root);

    EXPECT_EQ(filesUnder(root), (std::vector<std::string>{"Album/._Album", "a/._orphan",
                                                          "a/.hidden", "a/song.mp3", "link"}));
    EXPECT_EQ(filesUnder(dir / "outside"), (std::vector<std::string>{".DS_Store", "._x", "x"}));
    EXPECT_EQ(readFile(dir / "outside/x"), "keep");
}

// A missing or unreadable root is passed over.
TEST(HiddenFileSweep, AMissingRootIsNoError) {
    TempDir dir;
    EXPECT_NO_THROW(HiddenFileSweep::run(dir / "none"));
}

}  // namespace
}  // namespace kelvara::test
