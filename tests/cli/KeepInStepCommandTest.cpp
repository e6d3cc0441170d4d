#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/TestSupport.h"

namespace kelvara::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// A library of songs in music/ with one playlist "P" holding the songs named.
class KeepInStepCommand : public ::testing::Test {
  protected:
    void writeLibrary(const Lines& inPlaylist) {
        std::string tracks;
        std::vector<int> ids;
        for (std::size_t i = 0; i < titles.size(); ++i) {
            const std::string file = titles[i] + ".mp3";
            if (!fs::exists(dir / "music" / file)) writeFile(dir / "music" / file, titles[i]);
            tracks +=
                trackXml(static_cast<int>(i + 1),
                         "<key>Name</key><string>" + titles[i] +
                             "</string><key>Artist</key><string>Lowtide</string><key>Kind"
                             "</key><string>MPEG audio file</string><key>Total Time</key>"
                             "<integer>61000</integer><key>Persistent ID</key><string>00000000"
                             "0000000" +
                             std::to_string(i + 1) +
                             "</string><key>Location</key><string>file:///Users/demo/Music/" +
                             file + "</string>");
            if (std::find(inPlaylist.begin(), inPlaylist.end(), titles[i]) != inPlaylist.end())
                ids.push_back(static_cast<int>(i + 1));
        }
        writeFile(dir / "Library.xml",
                  libraryXml(tracks,
                             playlistXml("<key>Name</key><string>P</string><key>Playlist "
                                         "Persistent ID</key><string>0000000000000910</string>",
                                         ids),
                             "<key>Music Folder</key><string>file:///Users/demo/Music/</string>"));
    }
    CommandResult cli(Lines args) const {
        Lines argv = {KELVARA_CLI,
                      "--library",
                      (dir / "Library.xml").string(),
                      "--music-folder",
                      (dir / "music").string(),
                      "--config-dir",
                      (dir / "config").string()};
        argv.insert(argv.end(), args.begin(), args.end());
        return runCommand(argv);
    }
    CommandResult exportP(Lines flags) const {
        Lines args = {"export", "--playlist", "P", "--to", out.string(), "--no-m3u"};
        args.insert(args.end(), flags.begin(), flags.end());
        return cli(args);
    }

    TempDir dir;
    fs::path out = dir / "out";
    Lines titles = {"Dusk", "Intro", "Rain"};
};

TEST_F(KeepInStepCommand, DryRunPrintsThePlanAsTextOrJsonAndTheMirrorRemovesWhatLeft) {
    writeLibrary({"Dusk", "Intro", "Rain"});
    auto result = exportP({"--update", "--dry-run", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(fs::exists(out));
    const auto plan = nlohmann::json::parse(result.out);
    ASSERT_EQ(plan["songs"].size(), 3u);
    EXPECT_EQ(plan["songs"][1]["action"], "new");
    EXPECT_EQ(plan["songs"][1]["destination"], "P/002 Intro.mp3");
    EXPECT_EQ(plan["summary"]["bytes"], 4 + 5 + 4);

    ASSERT_EQ(exportP({"--update", "--mirror"}).exitCode, 0);
    writeLibrary({"Dusk", "Intro"});
    writeFile(dir / "music/Dusk.mp3", "Dusk, re-tagged");
    writeFile(out / "P/notes.txt", "mine");
    result = exportP({"--update", "--mirror", "--dry-run"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out,
              "replace: P/001 Dusk.mp3\n"
              "unchanged (skip): P/002 Intro.mp3\n"
              "remove: P/003 Rain.mp3\n"
              "Plan: 0 new, 1 replace, 1 skip, 0 convert, 0 cannot export, 0 playlist files, 1 "
              "to remove; 15 bytes to write\n");
    EXPECT_EQ(filesUnder(out), (Lines{".kelvara-export.json", "P/001 Dusk.mp3", "P/002 Intro.mp3",
                                      "P/003 Rain.mp3", "P/notes.txt"}));

    // The advanced options stored once work for every run after.
    ASSERT_EQ(cli({"options", "set", "SkipIfExists", "update"}).exitCode, 0);
    ASSERT_EQ(cli({"options", "set", "MirrorDestination", "1"}).exitCode, 0);
    EXPECT_NE(cli({"options"}).out.find("\nSkipIfExists             2  "), std::string::npos);
    result = exportP({});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("\nFile exists at:" + (out / "P/002 Intro.mp3").string() + "\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("\nRemoving file no longer exported: P/003 Rain.mp3\n"),
              std::string::npos);
    EXPECT_EQ(readFile(out / "P/001 Dusk.mp3"), "Dusk, re-tagged");
    EXPECT_EQ(filesUnder(out),
              (Lines{".kelvara-export.json", "P/001 Dusk.mp3", "P/002 Intro.mp3", "P/notes.txt"}));

    EXPECT_NE(exportP({"--update", "--overwrite"}).exitCode, 0);
    EXPECT_NE(exportP({"--json"}).exitCode, 0) << "--json belongs to --dry-run";
}

}  // namespace
}  // namespace kelvara::test
