#include <gtest/gtest.h>

#include <map>

#include "support/TestSupport.h"

namespace kelvara::test {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, std::string>;  // relative path -> bytes

struct Song {
    std::string title, kind, file;
    std::string make;  // ffmpeg output options after the lavfi input; empty: write `content`
    std::string content;
    std::string extra;  // more track keys
};

// A library whose one playlist holds every kind of song a run meets, in a private HOME, exported
// by kelvara-cli one song at a time and several at once.
class ParallelExport : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir / "music");
        fs::create_directories(home / "Documents");
        const std::vector<Song> songs = {
            {"Wave", "WAV audio file", "wave.wav", "-c:a pcm_s16le", "", ""},
            {"Copied", "MPEG audio file", "copied.mp3", "-c:a libmp3lame -b:a 128k", "", ""},
            {"Lossless", "Apple Lossless audio file", "lossless.m4a", "-c:a alac", "", ""},
            {"Aac", "AAC audio file", "aac.m4a", "-c:a aac -b:a 128k", "", ""},
            {"Locked", "Protected AAC audio file", "locked.m4p", "", "x",
             "<key>Protected</key><true/>"},
            {"Cloud", "AAC audio file", "cloud.m4a", "", "x",
             "<key>Track Type</key><string>Remote</string>"},
            {"Missing", "WAV audio file", "missing.wav", "", "", ""},
            {"Broken", "WAV audio file", "broken.wav", "", std::string(40000, 'z'), ""},
            {"Same", "WAV audio file", "same-one.wav", "-c:a pcm_s16le", "", ""},
            {"Same", "AIFF audio file", "same-two.aiff", "-c:a pcm_s16be", "", ""},
            {"Before", "WAV audio file", "before.wav", "-c:a pcm_s16le", "", ""},
            {"Last", "WAV audio file", "last.wav", "-c:a pcm_s16le", "", ""},
        };
        std::string tracks;
        int seconds = 2;
        for (std::size_t i = 0; i < songs.size(); ++i) {
            const Song& s = songs[i];
            const fs::path file = dir / "music" / s.file;
            if (!s.make.empty()) {
                std::vector<std::string> argv = {
                    "ffmpeg",
                    "-v",
                    "error",
                    "-nostdin",
                    "-y",
                    "-f",
                    "lavfi",
                    "-i",
                    "sine=frequency=" + std::to_string(300 + 40 * i) +
                        ":sample_rate=44100:duration=" + std::to_string(seconds++),
                    "-ac",
                    "2"};
                for (std::size_t at = 0, next; at < s.make.size(); at = next + 1) {
                    next = s.make.find(' ', at);
                    if (next == std::string::npos) next = s.make.size();
                    argv.push_back(s.make.substr(at, next - at));
                }
                argv.push_back(file.string());
                const auto made = runCommand(argv);
                ASSERT_EQ(made.exitCode, 0) << made.err;
            } else if (!s.content.empty()) {
                writeFile(file, s.content);
            }
            tracks +=
                trackXml(static_cast<int>(i + 1),
                         "<key>Name</key><string>" + s.title +
                             "</string><key>Artist</key><string>Band</string><key>Kind"
                             "</key><string>" +
                             s.kind + "</string><key>Persistent ID</key><string>00000000000000" +
                             (i < 9 ? "0" : "") + std::to_string(i + 1) +
                             "</string><key>Location</key><string>file:///Users/demo/Music/" +
                             s.file + "</string>" + s.extra);
        }
        // "Wave" twice: the second finds the first's file; the two "Same" songs share a name.
        const std::vector<int> order = {1, 2, 3, 4, 5, 6, 7, 8, 1, 9, 10, 11, 12};
        writeFile(dir / "Library.xml",
                  libraryXml(tracks,
                             playlistXml("<key>Name</key><string>Mix</string><key>Playlist "
                                         "Persistent ID</key><string>0000000000000911</string>",
                                         order),
                             "<key>Music Folder</key><string>file:///Users/demo/Music/</string>"));
    }

    std::vector<std::string> exportArgs(const std::string& jobs,
                                        const std::vector<std::string>& more) {
        // Through env: a second HOME in the environment would not replace the first.
        std::vector<std::string> args = {"env",
                                         "HOME=" + home.string(),
                                         KELVARA_CLI,
                                         "--library",
                                         (dir / "Library.xml").string(),
                                         "--music-folder",
                                         (dir / "music").string(),
                                         "--config-dir",
                                         (dir / "config").string(),
                                         "export",
                                         "--playlist",
                                         "Mix",
                                         "--to",
                                         out.string(),
                                         "--jobs",
                                         jobs,
                                         "--pattern",
                                         "4",
                                         "--m3u"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    CommandResult run(const std::string& jobs, const std::vector<std::string>& more) {
        return runCommand(exportArgs(jobs, more));
    }

    static Tree tree(const fs::path& root) {
        Tree files;
        for (const std::string& name : filesUnder(root)) files[name] = readFile(root / name);
        return files;
    }

    // What a run of `jobs` songs at once leaves and says, over a destination that already holds
    // the file of the song "Before": a first run that skips existing files, then one that
    // replaces them.
    struct Outcome {
        std::vector<CommandResult> runs;
        Tree files;
    };
    Outcome exportTwice(const std::string& jobs, const std::vector<std::string>& conversion) {
        fs::remove_all(out);
        fs::create_directories(out / "Mix");
        const std::string ext = conversion.front() == "--aac" ? ".m4a" : ".mp3";
        writeFile(out / "Mix" / ("Before" + ext), "an earlier export");
        Outcome outcome;
        auto skip = conversion;
        skip.push_back("--skip-existing");
        outcome.runs.push_back(run(jobs, skip));
        auto replace = conversion;
        replace.push_back("--overwrite");
        outcome.runs.push_back(run(jobs, replace));
        outcome.files = tree(out);
        return outcome;
    }

    void expectSameAsOneAtATime(const std::vector<std::string>& conversion) {
        const Outcome serial = exportTwice("1", conversion);
        const Outcome parallel = exportTwice("3", conversion);
        ASSERT_EQ(serial.runs.size(), parallel.runs.size());
        for (std::size_t i = 0; i < serial.runs.size(); ++i) {
            EXPECT_EQ(serial.runs[i].exitCode, 1) << serial.runs[i].out << serial.runs[i].err;
            EXPECT_EQ(parallel.runs[i].exitCode, serial.runs[i].exitCode);
            EXPECT_EQ(parallel.runs[i].out, serial.runs[i].out);
        }
        std::vector<std::string> serialNames, parallelNames;
        for (const auto& [name, bytes] : serial.files) serialNames.push_back(name);
        for (const auto& [name, bytes] : parallel.files) parallelNames.push_back(name);
        EXPECT_EQ(parallelNames, serialNames);
        for (const auto& [name, bytes] : serial.files) {
            const auto found = parallel.files.find(name);
            if (found != parallel.files.end()) {
                EXPECT_TRUE(found->second == bytes) << name;
            }
        }
        // The run did something worth comparing: songs converted, copied, skipped and replaced.
        const std::string& log = serial.runs.back().out;
        for (const char* line :
             {"Exporting song: ", "Converting to ", "File is DRM protected.", "File is in iCloud.",
              "File does not exist", "File exists. Will delete file at:", "Saving playlist file"})
            EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
        EXPECT_NE(serial.runs.front().out.find("File exists at:"), std::string::npos);
        EXPECT_TRUE(serial.files.count("Mix/Mix.m3u"));
        EXPECT_TRUE(leftoverWorkingFiles().empty());
    }

    // Working files a run of several songs at once leaves, which should be none.
    std::vector<std::string> leftoverWorkingFiles() const {
        std::vector<std::string> left;
        for (const std::string& name : filesUnder(home / "Documents"))
            if (name != ".kelvara.lock") left.push_back(name);
        return left;
    }

    TempDir dir;
    fs::path home = dir / "home";
    fs::path out = dir / "out";
};

TEST_F(ParallelExport, MP3RunGivesTheSameFilesPlaylistAndLogAsOneSongAtATime) {
    expectSameAsOneAtATime({"--mp3", "192"});
}

TEST_F(ParallelExport, AACRunGivesTheSameFilesPlaylistAndLogAsOneSongAtATime) {
    expectSameAsOneAtATime({"--aac", "128"});
}

// Four long songs converted three at a time, stopped by the command line's interrupts.
class ParallelStop : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir / "music");
        fs::create_directories(home / "Documents");
        std::string tracks;
        std::vector<int> ids;
        for (int i = 1; i <= 4; ++i) {
            const fs::path file = dir / "music" / ("s" + std::to_string(i) + ".wav");
            const auto made =
                runCommand({"ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                            "anoisesrc=sample_rate=44100:duration=90:seed=" + std::to_string(i),
                            "-ac", "2", "-c:a", "pcm_s16le", file.string()});
            ASSERT_EQ(made.exitCode, 0) << made.err;
            tracks += trackXml(i, "<key>Name</key><string>S" + std::to_string(i) +
                                      "</string><key>Kind</key><string>WAV audio file</string>"
                                      "<key>Persistent ID</key><string>00000000000000A" +
                                      std::to_string(i) +
                                      "</string><key>Location</key><string>"
                                      "file:///Users/demo/Music/s" +
                                      std::to_string(i) + ".wav</string>");
            ids.push_back(i);
        }
        writeFile(dir / "Library.xml",
                  libraryXml(tracks,
                             playlistXml("<key>Name</key><string>P</string><key>Playlist "
                                         "Persistent ID</key><string>0000000000000911</string>",
                                         ids),
                             "<key>Music Folder</key><string>file:///Users/demo/Music/</string>"));
    }

    // Starts the export, waits until the first song is being converted and the others have
    // started beside it, sends SIGINT `interrupts` times and returns the exit status; `seconds`
    // is how long the process lived after the last signal.
    int interrupted(int interrupts, double& seconds) {
        std::vector<std::string> args = {"/usr/bin/env",
                                         "HOME=" + home.string(),
                                         KELVARA_CLI,
                                         "--library",
                                         (dir / "Library.xml").string(),
                                         "--music-folder",
                                         (dir / "music").string(),
                                         "--config-dir",
                                         (dir / "config").string(),
                                         "export",
                                         "--playlist",
                                         "P",
                                         "--to",
                                         out.string(),
                                         "--mp3",
                                         "192",
                                         "--m3u",
                                         "--jobs",
                                         "3"};
        const InterruptedRun run =
            interruptAfter(args, "Converting to MP3(192) song: s1.wav", interrupts, 60);
        seconds = run.seconds;
        output = run.out;
        return run.exitCode;
    }

    // No temporary file in the destination and no working file of any worker left behind.
    void expectNothingLeft() {
        for (const std::string& file : filesUnder(out))
            EXPECT_EQ(file.find(".kelvara-part-"), std::string::npos) << file;
        for (const std::string& file : filesUnder(home / "Documents"))
            EXPECT_EQ(file, ".kelvara.lock");
    }

    std::size_t count(const std::string& text) const {
        std::size_t n = 0;
        for (auto at = output.find(text); at != std::string::npos; at = output.find(text, at + 1))
            ++n;
        return n;
    }

    TempDir dir;
    fs::path out = dir / "out";
    fs::path home = dir / "home";
    std::string output;
};

TEST_F(ParallelStop, AStopLetsTheSongsInFlightFinishAndStartsNoOther) {
    double seconds = 0;
    EXPECT_EQ(interrupted(1, seconds), 130) << output;
    EXPECT_TRUE(output.ends_with("User stopped export\n")) << output;
    // Three songs were in flight when the stop came; each finished whole and no fourth began.
    EXPECT_EQ(count("Converting to MP3(192) song: "), 3u) << output;
    EXPECT_EQ(output.find("s4.wav"), std::string::npos) << output;
    std::vector<std::string> mp3s;
    for (const std::string& file : filesUnder(out))
        if (file.ends_with(".mp3")) mp3s.push_back(file);
    EXPECT_EQ(mp3s.size(), 3u);
    for (const std::string& file : mp3s) {
        const auto probed =
            runCommand({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of",
                        "csv=p=0", (out / file).string()});
        EXPECT_NEAR(std::stod(probed.out.empty() ? "0" : probed.out), 90.0, 0.2) << file;
    }
    // The playlist file of an unfinished playlist is never written.
    EXPECT_EQ(output.find("Saving playlist file"), std::string::npos);
    expectNothingLeft();
}

TEST_F(ParallelStop, AnAbortStopsEverySongInFlightAtOnce) {
    double seconds = 0;
    EXPECT_EQ(interrupted(2, seconds), 130) << output;
    EXPECT_LT(seconds, 1.5);
    EXPECT_TRUE(output.ends_with("User stopped export\n")) << output;
    for (const std::string& file : filesUnder(out)) EXPECT_FALSE(file.ends_with(".mp3")) << file;
    expectNothingLeft();
}

TEST(ParallelSongsCommand, OptionsShowsAndSetsTheSettingTheDesktopShares) {
    TempDir dir;
    const std::vector<std::string> base = {"--config-dir", (dir / "config").string(), "options"};
    auto shown = runCli(base);
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_NE(shown.out.find("ParallelSongs            0  "), std::string::npos) << shown.out;
    auto args = base;
    args.insert(args.end(), {"set", "ParallelSongs", "3"});
    EXPECT_EQ(runCli(args).exitCode, 0);
    EXPECT_NE(readFile(dir / "config" / "preferences.json").find("\"ParallelSongs\": 3"),
              std::string::npos);
    EXPECT_NE(runCli(base).out.find("ParallelSongs            3  "), std::string::npos);
    args.back() = "65";
    EXPECT_NE(runCli(args).exitCode, 0);
}

}  // namespace
}  // namespace kelvara::test
