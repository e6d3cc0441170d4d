#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "support/TestSupport.h"

namespace kelvara::test {
namespace {

namespace fs = std::filesystem;

// A library of one long WAV song in playlist "P", and a private HOME for the working files.
class StopCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir / "music");
        const auto made = runCommand({"ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi",
                                      "-i", "anoisesrc=sample_rate=44100:duration=180", "-ac", "2",
                                      "-c:a", "pcm_s16le", (dir / "music/long.wav").string()},
                                     {});
        ASSERT_EQ(made.exitCode, 0) << made.err;
        writeFile(dir / "Library.xml",
                  libraryXml(trackXml(1,
                                      "<key>Name</key><string>Long</string><key>Kind</key>"
                                      "<string>WAV audio file</string><key>Persistent ID</key>"
                                      "<string>00000000000000A1</string><key>Location</key>"
                                      "<string>file:///Users/demo/Music/long.wav</string>"),
                             playlistXml("<key>Name</key><string>P</string><key>Playlist "
                                         "Persistent ID</key><string>0000000000000911</string>",
                                         {1}),
                             "<key>Music Folder</key><string>file:///Users/demo/Music/</string>"));
        fs::create_directories(home / "Documents");
    }

    // Starts an MP3 export, waits for `cue` in its output, sends SIGINT `interrupts` times (1 or
    // 2) and returns the exit status; `seconds` is how long the process lived after the last.
    int interrupted(const std::string& cue, double& seconds, int interrupts = 2) {
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
                                         "--no-m3u"};
        const InterruptedRun run = interruptAfter(args, cue, interrupts, 20);
        seconds = run.seconds;
        output = run.out;
        return run.exitCode;
    }

    // What the stopped run left in the destination: no MP3 and no temporary file.
    void expectNothingPartial() {
        for (const std::string& file : filesUnder(out)) {
            EXPECT_EQ(file.find(".kelvara-part-"), std::string::npos) << file;
            EXPECT_FALSE(file.ends_with(".mp3")) << file;
        }
        for (const std::string& file : filesUnder(home / "Documents"))
            EXPECT_EQ(file.find(".kelvara-part-"), std::string::npos) << file;
    }

    void releaseLock() {
        if (lockFd >= 0) ::close(lockFd);
        lockFd = -1;
    }
    void TearDown() override { releaseLock(); }

    TempDir dir;
    fs::path out = dir / "out";
    fs::path home = dir / "home";
    std::string output;
    int lockFd = -1;
};

TEST_F(StopCommand, SecondInterruptStopsAConversionAtOnce) {
    double seconds = 0;
    EXPECT_EQ(interrupted("Converting to MP3(192) song: long.wav", seconds), 130) << output;
    EXPECT_LT(seconds, 1.5);
    EXPECT_NE(output.find("User stopped export"), std::string::npos) << output;
    expectNothingPartial();
}

TEST_F(StopCommand, FirstInterruptStopsARunWaitingForAnotherOne) {
    lockFd = ::open((home / "Documents/.kelvara.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lockFd, 0);
    ASSERT_EQ(::flock(lockFd, LOCK_EX), 0);
    double seconds = 0;
    EXPECT_EQ(interrupted("waiting for it to finish", seconds, 1), 130) << output;
    EXPECT_LT(seconds, 1.5);
    EXPECT_NE(output.find("User stopped export"), std::string::npos) << output;
    EXPECT_EQ(output.find("Converting to MP3"), std::string::npos) << output;
    expectNothingPartial();
}

}  // namespace
}  // namespace kelvara::test
