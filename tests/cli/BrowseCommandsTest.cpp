#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/TestSupport.h"

namespace kelvara {
namespace {

const std::filesystem::path kDemo = std::filesystem::path(KELVARA_SOURCE_DIR) / "examples" / "demo";

struct BrowseCommands : testing::Test {
    test::TempDir dir;

    test::CommandResult run(std::vector<std::string> args) {
        return test::runCli(args, {"HOME=" + dir.path().string(), "KELVARA_LIBRARY="});
    }
    // The demo library with its music folder mapped, global options after the command's name.
    test::CommandResult demo(std::vector<std::string> args) {
        args.insert(args.end(), {"--library", (kDemo / "Library.xml").string(), "--music-folder",
                                 (kDemo / "Music").string(), "--config-dir", (dir / "config").string()});
        return run(args);
    }
};

TEST_F(BrowseCommands, PlaylistsShowWhatThePlaylistPageShowsWithStoredTicks) {
    test::writeFile(dir / "config" / "preferences.json", R"({"SelectedPlaylists": ["Calm", "Gone"]})");
    const auto result = demo({"playlists", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto list = nlohmann::json::parse(result.out);
    std::vector<std::string> names;
    for (const auto& playlist : list) names.push_back(playlist["name"]);
    // The master list, "Music" and the movies list are never offered; folders are.
    EXPECT_EQ(names, (std::vector<std::string>{"Road Trip", "Moods", "Calm", "Upbeat", "Trouble Makers"}));
    for (const auto& playlist : list) {
        EXPECT_EQ(playlist["checked"], playlist["name"] == "Calm");
        EXPECT_EQ(playlist["persistentID"].get<std::string>().size(), 16u);
    }
    EXPECT_EQ(list[0]["items"], 5);  // a song listed twice counts twice

    const auto text = demo({"playlists"});
    EXPECT_NE(text.out.find("[x]      3  Calm"), std::string::npos) << text.out;
}

TEST_F(BrowseCommands, SongsCarryTheirStatusAndAlbumsTheirSongs) {
    auto result = demo({"songs", "--playlist", "Trouble Makers", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::map<std::string, std::string> status;
    for (const auto& song : nlohmann::json::parse(result.out)) status[song["title"]] = song["status"];
    EXPECT_EQ(status["Protected Dream"], "drm");
    EXPECT_EQ(status["Cloud Nine"], "cloud");
    EXPECT_EQ(status["Evening Glow"], "missing");
    EXPECT_EQ(status["Morning Light"], "ok");

    result = demo({"albums", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto albums = nlohmann::json::parse(result.out);
    ASSERT_FALSE(albums.empty());
    for (std::size_t i = 1; i < albums.size(); ++i)
        EXPECT_LE(albums[i - 1]["title"].get<std::string>(), albums[i]["title"].get<std::string>());
    const auto& first = albums[0];
    result = demo({"songs", "--album",
                   first["artist"].get<std::string>() + " - " + first["title"].get<std::string>(), "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(nlohmann::json::parse(result.out).size(), first["songs"].get<std::size_t>());
}

TEST_F(BrowseCommands, MistakesGiveOneClearLineAndAFailingStatus) {
    auto result = demo({"songs", "--playlist", "No Such List"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kelvara-cli: no playlist named \"No Such List\"\n");

    result = run({"playlists", "--config-dir", (dir / "config").string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Music/iTunes/iTunes Music Library.xml"), std::string::npos) << result.err;

    test::writeFile(dir / "broken.xml", "<?xml version=\"1.0\"?><plist><dict><key>Tracks</key>");
    result = run({"albums", "--library", (dir / "broken.xml").string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("broken.xml"), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);

    result = run({"playlists", "--bogus"});
    EXPECT_EQ(result.exitCode, 2);
}

}  // namespace
}  // namespace kelvara
