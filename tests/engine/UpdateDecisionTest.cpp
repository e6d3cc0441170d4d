#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/UpdateDecision.h"
#include "support/TestSupport.h"

namespace kelvara::test {
namespace {

namespace fs = std::filesystem;
using Policy = UpdateDecision::Policy;
using Reason = UpdateDecision::Reason;

void setMtime(const fs::path& file, std::int64_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

// A source and its export recorded as a run would record them, from real stat calls.
class UpdateDecisionTest : public ::testing::Test {
  public:
    void SetUp() override {
        writeFile(source_, "the song's bytes");
        setMtime(source_, 1600000000, 111);
        writeFile(output_, "the exported bytes");
        setMtime(output_, 1700000000, 222);
        entry_.path = "song.mp3";
        entry_.source = source_.string();
        entry_.sourceStamp = *UpdateDecision::statSource(source_);
        entry_.shape = shape_;
        entry_.output = UpdateDecision::lstatDestination(output_).stamp;
    }

    UpdateDecision::Verdict decide(Policy policy = Policy::Update, bool recorded = true) const {
        const auto sourceNow = UpdateDecision::statSource(source_);
        EXPECT_TRUE(sourceNow);
        return UpdateDecision::decide(policy, recorded ? &entry_ : nullptr, source_.string(),
                                      sourceNow.value_or(FileStamp{}), shape_,
                                      UpdateDecision::lstatDestination(output_));
    }

    TempDir dir_;
    fs::path source_ = dir_ / "music/song.m4a";
    fs::path output_ = dir_ / "out/song.mp3";
    OutputShape shape_{"mp3", 192, 2, true};
    ManifestEntry entry_;
};

TEST_F(UpdateDecisionTest, NothingChangedIsSkipped) {
    const auto verdict = decide();
    EXPECT_FALSE(verdict.write);
    EXPECT_EQ(verdict.reason, Reason::Unchanged);
    EXPECT_STREQ(verdict.planWord(), "unchanged (skip)");
}

// Each change that makes the recorded file stale, alone, writes it again.
TEST_F(UpdateDecisionTest, EachChangeWritesTheFileAgain) {
    const struct {
        const char* what;
        std::function<void(UpdateDecisionTest&)> change;
        Reason reason;
        const char* word;
    } kCases[] = {
        {"source touched", [](auto& t) { setMtime(t.source_, 1600000000, 112); },
         Reason::SourceChanged, "replace"},
        {"source re-tagged, same time",
         [](auto& t) {
             writeFile(t.source_, "the song's bytes, re-tagged");
             setMtime(t.source_, 1600000000, 111);
         },
         Reason::SourceChanged, "replace"},
        {"song moved", [](auto& t) { t.entry_.source = "/elsewhere/song.m4a"; },
         Reason::SourceChanged, "replace"},
        {"bit rate", [](auto& t) { t.shape_.bitRate = 256; }, Reason::ShapeChanged, "replace"},
        {"quality", [](auto& t) { t.shape_.quality = 5; }, Reason::ShapeChanged, "replace"},
        {"artwork", [](auto& t) { t.shape_.artwork = false; }, Reason::ShapeChanged, "replace"},
        {"conversion", [](auto& t) { t.shape_ = OutputShape{}; }, Reason::ShapeChanged, "replace"},
        {"output edited, same size", [](auto& t) { writeFile(t.output_, "THE EXPORTED BYTES"); },
         Reason::OutputChanged, "replace"},
        {"output edited, time kept",
         [](auto& t) {
             writeFile(t.output_, "shorter");
             setMtime(t.output_, 1700000000, 222);
         },
         Reason::OutputChanged, "replace"},
        {"output replaced by a link",
         [](auto& t) {
             fs::remove(t.output_);
             fs::create_symlink(t.source_, t.output_);
         },
         Reason::OutputChanged, "replace"},
        {"output deleted", [](auto& t) { fs::remove(t.output_); }, Reason::OutputMissing, "new"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        fs::remove(output_);  // not through the link of an earlier case
        SetUp();
        shape_ = OutputShape{"mp3", 192, 2, true};
        c.change(*this);
        const auto verdict = decide();
        EXPECT_TRUE(verdict.write);
        EXPECT_EQ(verdict.reason, c.reason);
        EXPECT_STREQ(verdict.planWord(), c.word);
    }
}

// Skip and overwrite keep their meaning whatever the record says; under update, a file the
// record does not vouch for is written again.
TEST_F(UpdateDecisionTest, PoliciesAndFilesWithoutARecord) {
    EXPECT_EQ(decide(Policy::Skip).reason, Reason::Exists);
    EXPECT_FALSE(decide(Policy::Skip).write);
    writeFile(source_, "changed");
    EXPECT_FALSE(decide(Policy::Skip).write);
    EXPECT_TRUE(decide(Policy::Overwrite).write);
    EXPECT_STREQ(decide(Policy::Overwrite).planWord(), "replace");
    SetUp();
    EXPECT_TRUE(decide(Policy::Overwrite, false).write);
    EXPECT_EQ(decide(Policy::Update, false).reason, Reason::NotRecorded);
    EXPECT_TRUE(decide(Policy::Update, false).write);
    entry_.kind = ManifestEntry::Kind::Playlist;
    EXPECT_TRUE(decide(Policy::Update).write);

    fs::remove(output_);
    for (const Policy policy : {Policy::Skip, Policy::Overwrite, Policy::Update}) {
        EXPECT_TRUE(decide(policy, false).write);
        EXPECT_STREQ(decide(policy, false).planWord(), "new");
    }
}

}  // namespace
}  // namespace kelvara::test
