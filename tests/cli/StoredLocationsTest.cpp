#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/TestSupport.h"

namespace kelvara {
namespace {

const std::filesystem::path kDemo = std::filesystem::path(KELVARA_SOURCE_DIR) / "examples" / "demo";
// The demo library's own "Music Folder": a Mac path that does not exist here.
const std::string kDemoPrefix = "file:///Users/demo/Music/iTunes/iTunes%20Media/";

// The command line finds the library's files where the desktop application was told they are,
// unless it is told otherwise itself.
struct StoredLocations : testing::Test {
    test::TempDir dir;
    std::filesystem::path config = dir / "config";
    std::filesystem::path empty = dir / "empty";

    void SetUp() override { std::filesystem::create_directories(empty); }

    void store(const nlohmann::json& values) {
        test::writeFile(config / "preferences.json", values.dump());
    }
    // $KELVARA_CONFIG_DIR names a folder whose settings would fail the run, so a result shows the
    // settings were read from --config-dir.
    test::CommandResult songs(std::vector<std::string> extra = {}) {
        test::writeFile(dir / "decoy" / "preferences.json",
                        R"({"MusicFolder": "/no/such/folder", "PathMap": ["=x"]})");
        std::vector<std::string> args{"songs",          "--playlist",
                                      "Trouble Makers", "--json",
                                      "--library",      (kDemo / "Library.xml").string(),
                                      "--config-dir",   config.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return test::runCli(args, {"HOME=" + dir.path().string(), "KELVARA_LIBRARY=",
                                   "KELVARA_CONFIG_DIR=" + (dir / "decoy").string()});
    }
    // The status of the one song of the playlist that is a plain local file.
    std::string morningLight(std::vector<std::string> extra = {}) {
        const auto result = songs(std::move(extra));
        EXPECT_EQ(result.exitCode, 0) << result.err;
        if (result.exitCode != 0) return "exit " + std::to_string(result.exitCode);
        for (const auto& song : nlohmann::json::parse(result.out))
            if (song["title"] == "Morning Light") return song["status"];
        return "absent";
    }
};

TEST_F(StoredLocations, StoredMusicFolderIsUsedUnlessTheFlagIsGiven) {
    EXPECT_EQ(morningLight(), "missing");  // nothing stored: the Mac path

    store({{"MusicFolder", (kDemo / "Music").string()}});
    EXPECT_EQ(morningLight(), "ok");
    EXPECT_EQ(morningLight({"--music-folder", empty.string()}), "missing");
    // The stored folder still applies when only --map is given.
    EXPECT_EQ(morningLight({"--map", "file:///elsewhere/=" + empty.string()}), "ok");

    store({{"MusicFolder", ""}});
    EXPECT_EQ(morningLight(), "missing");
}

TEST_F(StoredLocations, StoredFolderThatIsNoFolderFailsLikeTheFlag) {
    store({{"MusicFolder", (dir / "gone").string()}});
    const auto stored = songs();
    EXPECT_EQ(stored.exitCode, 2);
    EXPECT_NE(stored.err.find("is not a folder"), std::string::npos) << stored.err;
    const auto flag = songs({"--music-folder", (dir / "gone").string()});
    EXPECT_EQ(flag.exitCode, 2);
    EXPECT_EQ(flag.err, stored.err);

    // A flag that names a real folder is not failed by a stale stored one.
    EXPECT_EQ(morningLight({"--music-folder", (kDemo / "Music").string()}), "ok");
}

// A name too long for the system is an error from stat(), not "no such file": it must still be
// reported, not end the program.
TEST_F(StoredLocations, OverlongFolderNameIsReportedNotACrash) {
    const std::string overlong = "/" + std::string(300, 'a') + "/music";
    store({{"MusicFolder", overlong}});
    for (const auto& result : {songs(), songs({"--music-folder", overlong})}) {
        EXPECT_EQ(result.exitCode, 2) << result.err;
        EXPECT_NE(result.err.find("is not a folder"), std::string::npos) << result.err;
    }
}

TEST_F(StoredLocations, StoredPathMapIsUsedUnlessTheFlagIsGiven) {
    store({{"PathMap",
            {"no equals", "=/nothing/before", "file:///elsewhere/=" + empty.string(),
             kDemoPrefix + "=" + (kDemo / "Music").string() + "/"}}});
    EXPECT_EQ(morningLight(), "ok");
    EXPECT_EQ(morningLight({"--map", "file:///elsewhere/=" + empty.string()}), "missing");
}

}  // namespace
}  // namespace kelvara
