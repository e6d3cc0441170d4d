#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/TestSupport.h"

extern "C" {
#include <libavutil/macros.h>
#include <libavutil/version.h>
}

extern char** environ;

namespace kelvara::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

struct Track {
    std::string title, artist, album, file;
    int number;
    std::string content = "audio";
};

std::string hex16(std::size_t value) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016zX", value);
    return hex;
}

// A library file as iTunes writes it, over files in music/, with one playlist per entry.
class ExportCommand : public ::testing::Test {
  protected:
    void writeLibrary(const std::vector<Track>& tracks,
                      const std::vector<std::pair<std::string, Lines>>& playlists) {
        std::string trackEntries, playlistEntries;
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            const Track& t = tracks[i];
            if (!t.content.empty()) writeFile(dir / "music" / t.file, t.content);
            std::string url;
            for (char c : t.file) url += c == ' ' ? std::string("%20") : std::string(1, c);
            trackEntries += trackXml(
                static_cast<int>(i + 1),
                "<key>Name</key><string>" + t.title + "</string><key>Artist</key><string>" +
                    t.artist + "</string><key>Album</key><string>" + t.album +
                    "</string><key>Kind</key><string>MPEG audio file"
                    "</string><key>Total Time</key><integer>61000</integer><key>Track "
                    "Number</key><integer>" +
                    std::to_string(t.number) + "</integer><key>Persistent ID</key><string>" +
                    hex16(i + 1) + "</string><key>Location</key><string>file:///Users/demo/Music/" +
                    url + "</string>");
        }
        std::size_t playlistID = 0x910;
        for (const auto& [name, titles] : playlists) {
            std::vector<int> ids;
            for (const std::string& title : titles)
                for (std::size_t i = 0; i < tracks.size(); ++i)
                    if (tracks[i].title == title) ids.push_back(static_cast<int>(i + 1));
            playlistEntries += playlistXml("<key>Name</key><string>" + name +
                                               "</string><key>Playlist Persistent ID"
                                               "</key><string>" +
                                               hex16(++playlistID) + "</string>",
                                           ids);
        }
        writeFile(dir / "Library.xml",
                  libraryXml(trackEntries, playlistEntries,
                             "<key>Music Folder</key><string>file:///Users/demo/Music/</string>"));
    }

    Lines base() const {
        return {KELVARA_CLI,
                "--library",
                (dir / "Library.xml").string(),
                "--music-folder",
                (dir / "music").string(),
                "--config-dir",
                (dir / "config").string()};
    }
    CommandResult cli(Lines args) const {
        Lines argv = base();
        argv.insert(argv.end(), args.begin(), args.end());
        return runCommand(argv);
    }
    Lines tree() const { return filesUnder(out); }

    TempDir dir;
    fs::path out = dir / "out";
    std::vector<Track> lowtide = {{"Intro", "Lowtide", "Blue Hours", "Low/01 Intro.mp3", 1, "AAAA"},
                                  {"Dusk", "Lowtide", "Blue Hours", "Low/02 Dusk.mp3", 2, "BBBB"}};
};

TEST_F(ExportCommand, ExportsAPlaylistPrintsTheLogAndSavesIt) {
    writeLibrary(lowtide, {{"Road Trip", {"Dusk", "Intro"}}});
    const auto result = cli({"export", "--playlist", "Road Trip", "--to", out.string(), "--log",
                             (dir / "log.txt").string(), "--pattern", "1", "--m3u"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(tree(), (Lines{"Road Trip/001 Dusk.mp3", "Road Trip/002 Intro.mp3",
                             "Road Trip/Road Trip.m3u"}));
    EXPECT_EQ(
        readFile(out / "Road Trip/Road Trip.m3u"),
        "#EXTINF:61,Dusk - Lowtide\n001 Dusk.mp3\n#EXTINF:61,Intro - Lowtide\n002 Intro.mp3\n");
    const std::string hyphens(77, '-'), equals(56, '=');
    EXPECT_NE(result.out.find("Exporting playlist: Road Trip\n" + hyphens +
                              "\nExporting song: 02 Dusk.mp3\n"
                              "Exporting song: 01 Intro.mp3\nSaving playlist file to " +
                              (out / "Road Trip/Road Trip.m3u").string() + ":\n"),
              std::string::npos)
        << result.out;
    EXPECT_TRUE(result.out.ends_with("\n" + equals + "\nExport Finished\n" + equals + "\n"))
        << result.out;
    EXPECT_EQ(readFile(dir / "log.txt"), result.out);
}

TEST_F(ExportCommand, FlagsOverrideTheStoredOptionsForOneRun) {
    lowtide.push_back({"Café 日本", "Lowtide", "Blue Hours", "Low/03 Cafe.mp3", 3});
    writeLibrary(lowtide, {{"Été", {"Café 日本", "Intro"}}});
    auto result = cli({"export", "--playlist", "Été", "--to", out.string(), "--layout", "1",
                       "--encoding", "ascii", "--crlf", "--windows-paths", "--format",
                       "<Track NO>. <Title>", "--track-digits", "1"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(tree(), (Lines{"Ete.m3u", "Music/Lowtide/Blue Hours/01. Intro.mp3",
                             "Music/Lowtide/Blue Hours/03. Cafe .mp3"}));
    EXPECT_EQ(readFile(out / "Ete.m3u"),
              "#EXTINF:61,Cafe ?? - Lowtide\r\nMusic\\Lowtide\\Blue Hours\\03. Cafe .mp3\r\n"
              "#EXTINF:61,Intro - Lowtide\r\nMusic\\Lowtide\\Blue Hours\\01. Intro.mp3\r\n");
    // Nothing was stored: the next run uses the stored (default) options again.
    fs::remove_all(out);
    result = cli({"export", "--playlist", "Été", "--to", out.string(), "--no-m3u"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(tree(), (Lines{"Été/001 Café 日本.mp3", "Été/002 Intro.mp3"}));
}

TEST_F(ExportCommand, AlbumRunsByName) {
    writeLibrary(lowtide, {});
    const auto result = cli({"export", "--album", "Lowtide - Blue Hours", "--to", out.string(),
                             "--artist-folder", "--pattern", "4"});
    ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
    EXPECT_EQ(tree(), (Lines{"Lowtide/Blue Hours/Dusk.mp3", "Lowtide/Blue Hours/Intro.mp3",
                             "Lowtide/Blue Hours/LowtideBlue Hours.m3u"}));
    EXPECT_NE(result.out.find("Exporting album: Blue Hours\n"), std::string::npos);
}

TEST_F(ExportCommand, ExitStatusTellsIssuesAndFailures) {
    lowtide.push_back({"Gone", "Lowtide", "Blue Hours", "Low/gone.mp3", 3, ""});
    writeLibrary(lowtide, {{"P", {"Intro", "Gone"}}});
    auto result = cli({"export", "--playlist", "P", "--to", out.string()});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.out.find("Cannot export song \"Gone\": File does not exist\n"),
              std::string::npos);
    EXPECT_NE(result.out.find("Export Finished with 1 issue\n"), std::string::npos);

    EXPECT_EQ(cli({"export", "--playlist", "Nope", "--to", out.string()}).exitCode, 2);
    result = cli({"export", "--playlist", "P", "--to", out.string(), "--format", "<Year> <Title>"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("unknown token <Year>"), std::string::npos);
    EXPECT_EQ(cli({"export", "--to", out.string()}).exitCode, 2);
    writeFile(dir / "blocker", "x");
    result = cli({"export", "--playlist", "P", "--to", (dir / "blocker/out").string()});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.out.find("Export stopped with error:"), std::string::npos);
}

TEST_F(ExportCommand, WithoutFfmpegConversionsFailOneByOneAndCopiesStillWork) {
    // FFmpeg is loaded when the first song needs it; a broken or missing library is such a
    // song's error, never a crash, and a run that only copies never needs it.
    const std::string libavutil = "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR);
    writeFile(dir / "broken" / libavutil, "");
    const std::string environment = "LD_LIBRARY_PATH=" + (dir / "broken").string();
    writeLibrary(lowtide, {{"P", {"Intro", "Dusk"}}});
    for (const char* conversion : {"--mp3", "--aac"}) {
        SCOPED_TRACE(conversion);
        Lines argv = base();
        argv.insert(argv.end(), {"export", "--playlist", "P", "--to", out.string(), conversion,
                                 "192", "--convert-same-type", "--no-m3u"});
        const auto result = runCommand(argv, {environment});
        EXPECT_EQ(result.exitCode, 1) << result.err;
        EXPECT_NE(result.out.find("Cannot load FFmpeg's " + libavutil), std::string::npos)
            << result.out;
        EXPECT_NE(result.out.find("Export Finished with 2 issues\n"), std::string::npos)
            << result.out;
        EXPECT_TRUE(tree().empty());
    }
    Lines argv = base();
    argv.insert(argv.end(), {"export", "--playlist", "P", "--to", out.string(), "--copy"});
    const auto copied = runCommand(argv, {environment});
    EXPECT_EQ(copied.exitCode, 0) << copied.out;
    EXPECT_EQ(tree(), (Lines{"P/001 Intro.mp3", "P/002 Dusk.mp3", "P/P.m3u"}));
}

TEST_F(ExportCommand, OptionsAreShownAndSetWithValidation) {
    const auto options = [&](Lines args) {
        args.insert(args.begin(), {"--config-dir", (dir / "config").string(), "options"});
        return runCli(args);
    };
    auto result = options({"set", "OrginizeFilesOption", "4"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    result = options({});
    EXPECT_NE(result.out.find("OrginizeFilesOption      4  Folder layout"), std::string::npos)
        << result.out;
    result = options({"set", "PlaylistEncoding", "7"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("PlaylistEncoding takes 0 to 2"), std::string::npos);
    result = options({"set", "Colour", "1"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("unknown option \"Colour\""), std::string::npos);
}

TEST_F(ExportCommand, TheDestinationIsUsedAndLoggedAsAPlainFolderPath) {
    writeLibrary(lowtide, {{"P", {"Intro"}}});
    const auto result = cli(
        {"export", "--playlist", "P", "--to", (out / "." / "").string(), "--layout", "3", "--m3u"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("\nExport location: " + out.string() + "\n"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("\nSaving playlist file to " + (out / "P.m3u").string() + ":\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(tree(), (Lines{"001 Intro.mp3", "P.m3u"}));
}

TEST_F(ExportCommand, AnEmptyDestinationIsRefused) {
    lowtide[0].content = "";  // were the run to start anyway, it would write nothing here
    writeLibrary(lowtide, {{"P", {"Intro"}}});
    const auto result = cli({"export", "--playlist", "P", "--to", "", "--layout", "3", "--no-m3u",
                             "--keep-hidden-files"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("--to names no folder"), std::string::npos) << result.err;
    EXPECT_EQ(result.out.find("Starting export:"), std::string::npos) << result.out;
}

TEST_F(ExportCommand, TitlesWithLineBreaksKeepLogAndProgressLinesWhole) {
    lowtide[0].title = "Line&#10;Break";
    writeLibrary(lowtide, {{"P", {"Line&#10;Break"}}});
    // The progress line is drawn only on a terminal: stderr on a pseudo-terminal, read back here.
    Lines argv = base();
    for (const std::string& a :
         {std::string("export"), std::string("--playlist"), std::string("P"), std::string("--to"),
          out.string(), std::string("--layout"), std::string("3")})
        argv.push_back(a);
    const auto result = runPython(
        "import os, pty, subprocess, sys\n"
        "m, s = pty.openpty()\n"
        "p = subprocess.Popen(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, "
        "stderr=s)\n"
        "os.close(s)\n"
        "err = b''\n"
        "while True:\n"
        "    try:\n"
        "        chunk = os.read(m, 65536)\n"
        "    except OSError:\n"
        "        break\n"
        "    if not chunk:\n"
        "        break\n"
        "    err += chunk\n"
        "out = p.stdout.read()\n"
        "p.wait()\n"
        "sys.stdout.buffer.write(out + b'--- terminal ---' + err)\n",
        argv);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string log = result.out.substr(0, result.out.find("--- terminal ---"));
    const std::string terminal = result.out.substr(log.size());
    EXPECT_NE(log.find("\nExporting song: 01 Intro.mp3\n"), std::string::npos) << log;
    EXPECT_NE(terminal.find("Exporting song: Line Break"), std::string::npos) << terminal;
    EXPECT_EQ(terminal.find("Line\r\nBreak"), std::string::npos) << terminal;
    EXPECT_EQ(terminal.find("Line\nBreak"), std::string::npos) << terminal;
}

// Starts an export of many large songs, interrupts it with `signals` once the first song is being
// copied, and returns the exit status.
int interruptedExport(const Lines& argv, const std::vector<int>& signals,
                      const fs::path& stdoutFile) {
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (auto& a : args) argp.push_back(a.data());
    argp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    while (readFile(stdoutFile).find("Exporting song:") == std::string::npos)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    for (int signal : signals) kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(ExportCommand, InterruptedRunsLeaveOnlyCompleteFilesAndTheNextRunFinishes) {
    std::vector<Track> tracks;
    Lines titles;
    const std::string big(8 << 20, 'x');
    for (int i = 0; i < 30; ++i) {
        tracks.push_back(
            {"Song " + std::to_string(i), "A", "B", "s" + std::to_string(i) + ".mp3", i, big});
        titles.push_back(tracks.back().title);
    }
    writeLibrary(tracks, {{"Big", titles}});
    Lines argv = base();
    for (const char* a : {"export", "--playlist", "Big", "--to"}) argv.push_back(a);
    argv.push_back(out.string());

    auto complete = [&] {
        for (const std::string& file : tree()) {
            EXPECT_EQ(file.find(".kelvara-part-"), std::string::npos) << file;
            if (file.ends_with(".mp3")) {
                EXPECT_EQ(fs::file_size(out / file), big.size()) << file;
            }
        }
    };
    // Ctrl-C twice: stops at once.
    EXPECT_EQ(interruptedExport(argv, {SIGINT, SIGINT}, dir / "stdout1"), 130);
    EXPECT_NE(readFile(dir / "stdout1").find("User stopped export"), std::string::npos);
    complete();
    EXPECT_LT(tree().size(), 30u);
    // Killed outright: a temporary file may stay behind, under its temporary name only.
    interruptedExport(argv, {SIGKILL}, dir / "stdout2");
    for (const std::string& file : tree()) {
        if (file.ends_with(".mp3")) {
            EXPECT_EQ(fs::file_size(out / file), big.size()) << file;
        }
    }
    // The next run removes the leftovers and completes the export.
    const auto result = runCommand(argv);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    complete();
    EXPECT_EQ(tree().size(), 31u);
}

}  // namespace
}  // namespace kelvara::test
