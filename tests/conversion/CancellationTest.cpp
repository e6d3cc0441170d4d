#include <chrono>
#include <thread>

#include "conversion/ConversionFixture.h"
#include "conversion/IntermediateFiles.h"
#include "conversion/RunLock.h"

namespace kelvara::test {
namespace {

using Clock = std::chrono::steady_clock;

// A song long enough that converting it takes seconds, made once.
const std::filesystem::path& longSong() {
    static TempDir dir;
    static const std::filesystem::path file = [] {
        const auto path = dir / "long.wav";
        const auto made = runCommand({"ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi",
                                      "-i", "anoisesrc=sample_rate=44100:duration=300", "-ac", "2",
                                      "-c:a", "pcm_s16le", path.string()});
        if (made.exitCode != 0) throw std::runtime_error("ffmpeg failed: " + made.err);
        return path;
    }();
    return file;
}

// Sets `flag` after `delay`, and records when.
class LateStop {
  public:
    LateStop(std::atomic<bool>& flag, std::chrono::milliseconds delay)
        : thread_([&flag, delay, this] {
              std::this_thread::sleep_for(delay);
              at_ = Clock::now();
              flag = true;
          }) {}
    // How long after the stop request `end` came.
    double secondsAfterStop(Clock::time_point end) {
        thread_.join();
        return std::chrono::duration<double>(end - at_).count();
    }

  private:
    Clock::time_point at_;
    std::thread thread_;
};

class CancellationTest : public ConversionTest {};

// The stop request ends a conversion between chunks, whichever stage it is in, and nothing of
// the song stays at the destination; a stop is not an issue.
TEST_F(CancellationTest, AStopRequestEndsTheSongWithinHalfASecond) {
    const auto& item = song(longSong());
    for (const bool mp3 : {true, false}) {
        for (const int delay : {100, 1200}) {
            SCOPED_TRACE(std::string(mp3 ? "mp3 " : "aac ") + std::to_string(delay));
            log_ = Recorder{};
            std::atomic<bool> stop{false};
            auto j = job(item, "long" + std::to_string(delay) + (mp3 ? ".mp3" : ".m4a"));
            j.cancel = &stop;
            LateStop late(stop, std::chrono::milliseconds(delay));
            const auto outcome =
                mp3 ? converter_.convertItemAtUrl(j) : converter_.convertToAACItemAtUrl(j);
            EXPECT_LT(late.secondsAfterStop(Clock::now()), 0.5);
            EXPECT_EQ(outcome, ConversionOutcome::Failed);
            EXPECT_TRUE(log_.issues.empty()) << log_.issues[0];
            EXPECT_EQ(filesUnder(out_.path()), std::vector<std::string>{});
        }
    }
}

// Waiting for another run's working files ends with the stop request, for a run and for a song
// converted outside a run.
TEST_F(CancellationTest, WaitingForAnotherRunEndsWithTheStopRequest) {
    ASSERT_TRUE(IntermediateFiles::ensureDocumentsFolder().ok());
    auto other = std::make_unique<RunLock>();
    const Result<bool> held = other->acquire(IntermediateFiles::lockFile(), {});
    ASSERT_TRUE(held.ok() && *held) << held.message();
    // Whatever happens, the other run ends after a few seconds so that the test does too.
    std::jthread otherEnds([&] {
        std::this_thread::sleep_for(std::chrono::seconds(4));
        other.reset();
    });

    std::atomic<bool> stop{false};
    std::vector<std::string> lines;
    {
        LateStop late(stop, std::chrono::milliseconds(300));
        MediaConverter waiting;
        // The run is told it could not start; it sees its stop request and ends as stopped.
        const Status begun =
            waiting.beginRun([&](const std::string& line) { lines.push_back(line); }, &stop);
        EXPECT_FALSE(begun.ok());
        EXPECT_EQ(begun.message(), "Stopped while waiting for another export");
        EXPECT_LT(late.secondsAfterStop(Clock::now()), 0.5);
        waiting.endRun();
    }
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_NE(lines.at(0).find("waiting"), std::string::npos);

    stop = false;
    {
        LateStop late(stop, std::chrono::milliseconds(300));
        auto j = job(song(Sources::get()["stereo.wav"]), "waited.m4a");
        j.cancel = &stop;
        EXPECT_EQ(converter_.convertToAACItemAtUrl(j), ConversionOutcome::Failed);
        EXPECT_LT(late.secondsAfterStop(Clock::now()), 0.5);
        EXPECT_TRUE(log_.issues.empty());
        EXPECT_FALSE(std::filesystem::exists(out_ / "waited.m4a"));
    }
}

}  // namespace
}  // namespace kelvara::test
