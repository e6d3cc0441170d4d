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
        args.insert(args.end(),
                    {"--library", (kDemo / "Library.xml").string(), "--music-folder",
                     (kDemo / "Music").string(), "--config-dir", (dir / "config").string()});
        return run(args);
    }
};

TEST_F(BrowseCommands, PlaylistsShowWhatThePlaylistPageShowsWithStoredTicks) {
    test::writeFile(dir / "config" / "preferences.json",
                    R"({"SelectedPlaylists": ["Calm", "Gone"]})");
    const auto result = demo({"playlists", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto list = nlohmann::json::parse(result.out);
    std::vector<std::string> names;
    for (const auto& playlist : list) names.push_back(playlist["name"]);
    // The master list, "Music" and the movies list are never offered; folders are.
    EXPECT_EQ(names,
              (std::vector<std::string>{"Road Trip", "Moods", "Calm", "Upbeat", "Trouble Makers"}));
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
    for (const auto& song : nlohmann::json::parse(result.out))
        status[song["title"]] = song["status"];
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
                   first["artist"].get<std::string>() + " - " + first["title"].get<std::string>(),
                   "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(nlohmann::json::parse(result.out).size(), first["songs"].get<std::size_t>());
}

TEST_F(BrowseCommands, AlbumSongsAreListedByDiscThenTrack) {
    const auto song = [](int id, const std::string& title, int disc, int track) {
        std::string body =
            "<key>Name</key><string>" + title +
            "</string><key>Artist</key><string>X</string>"
            "<key>Album</key><string>Two Discs</string><key>Track Number</key><integer>" +
            std::to_string(track) + "</integer>";
        if (disc) body += "<key>Disc Number</key><integer>" + std::to_string(disc) + "</integer>";
        return test::trackXml(id, body);
    };
    test::writeFile(dir / "two.xml", test::libraryXml(song(1, "1-2", 1, 2) + song(2, "2-1", 2, 1) +
                                                      song(3, "1-1", 1, 1) + song(4, "2-2", 2, 2) +
                                                      song(5, "none-3", 0, 3)));
    const auto result =
        run({"songs", "--album", "X - Two Discs", "--json", "--library", (dir / "two.xml").string(),
             "--config-dir", (dir / "config").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::string> titles;
    for (const auto& item : nlohmann::json::parse(result.out)) titles.push_back(item["title"]);
    // A song without disc number comes first, as an empty cell sorts before a number.
    EXPECT_EQ(titles, (std::vector<std::string>{"none-3", "1-1", "1-2", "2-1", "2-2"}));
}

TEST_F(BrowseCommands, NamesThatAreNotUtf8ComeOutAsValidJson) {
    // Whether Python reads the output as strict UTF-8 JSON, and the texts it finds there.
    const auto strictJson = [](const std::string& out) {
        test::TempDir tmp;
        test::writeFile(tmp / "out.json", out);
        return test::runPython(
            "import json, sys\n"
            "print(json.dumps(json.loads(open(sys.argv[1], 'rb').read().decode('utf-8'))))",
            {(tmp / "out.json").string()});
    };
    const std::string bad = "Bad\xFF\xC0\xAF";
    const std::string fixed = "Bad\uFFFD\uFFFD\uFFFD";
    // The music folder is the user's, named in bytes that are no UTF-8: paths under it are no
    // text the library could mend.
    const auto music = dir / "m\xFE";
    test::writeFile(music / "a.mp3", "audio");
    test::writeFile(
        dir / "bad.xml",
        test::libraryXml(
            test::trackXml(1, "<key>Name</key><string>" + bad +
                                  "</string>"
                                  "<key>Artist</key><string>" +
                                  bad +
                                  "</string>"
                                  "<key>Album</key><string>" +
                                  bad +
                                  "</string>"
                                  "<key>Location</key><string>file:///lib/a.mp3</string>"),
            test::playlistXml("<key>Name</key><string>" + bad + "</string>", {1}),
            "<key>Music Folder</key><string>file:///lib/</string>"));
    const std::vector<std::string> options = {"--library",      (dir / "bad.xml").string(),
                                              "--music-folder", music.string(),
                                              "--config-dir",   (dir / "config").string()};
    const auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), options.begin(), options.end());
        return args;
    };
    for (const auto& args : {with({"playlists", "--json"}), with({"albums", "--json"}),
                             with({"songs", "--playlist", fixed, "--json"}),
                             with({"songs", "--album", fixed + " - " + fixed, "--json"})}) {
        const auto result = run(args);
        ASSERT_EQ(result.exitCode, 0) << args[0] << ": " << result.err;
        const auto read = strictJson(result.out);
        ASSERT_EQ(read.exitCode, 0) << args[0] << ": " << read.err;
        const auto list = nlohmann::json::parse(read.out);
        ASSERT_EQ(list.size(), 1u) << args[0];
        EXPECT_EQ(list[0][args[0] == "playlists" ? "name" : "title"], fixed) << args[0];
        if (args[0] == "songs") {
            EXPECT_EQ(list[0]["artist"], fixed);
            EXPECT_EQ(list[0]["path"], (dir / "m\uFFFD" / "a.mp3").string());
        }
    }
}

TEST_F(BrowseCommands, MistakesGiveOneClearLineAndAFailingStatus) {
    auto result = demo({"songs", "--playlist", "No Such List"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "kelvara-cli: no playlist named \"No Such List\"\n");

    result = run({"playlists", "--config-dir", (dir / "config").string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("Music/iTunes/iTunes Music Library.xml"), std::string::npos)
        << result.err;

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
