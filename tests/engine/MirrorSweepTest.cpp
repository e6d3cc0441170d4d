#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "engine/MirrorSweep.h"
#include "engine/UpdateDecision.h"
#include "support/TestSupport.h"

namespace kelvara::test {
namespace {

namespace fs = std::filesystem;

// Every path under a folder with its content (a link's target), to compare before and after.
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> tree;
    for (const auto& name : filesUnder(root)) {
        const fs::path path = root / name;
        tree[name] =
            fs::is_symlink(path) ? "-> " + fs::read_symlink(path).string() : readFile(path);
    }
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it)
        if (it->is_directory() && !it->is_symlink())
            tree[fs::relative(it->path(), root).string() + "/"] = "";
    return tree;
}

class MirrorSweepTest : public ::testing::Test {
  protected:
    // Writes a file into the destination and records it in the earlier run's record.
    void exported(const std::string& path, const std::string& content = "song") {
        writeFile(root_ / path, content);
        ManifestEntry entry;
        entry.path = path;
        entry.output = UpdateDecision::lstatDestination(root_ / path).stamp;
        ASSERT_TRUE(recorded_.add(entry).ok());
    }

    // Saves the earlier record and loads it back as a run finds it.
    MirrorSweep::Outcome sweep(MirrorSweep::Request request = {},
                               const MirrorSweep::Confirm& confirm = {}) {
        EXPECT_TRUE(recorded_.save(root_).ok());
        earlier_ = ExportManifest::load(root_);
        request.root = root_;
        request.earlier = earlier_.get();
        request.current = &current_;
        return MirrorSweep::run(
            request, [this](const std::string& line, bool) { lines_.push_back(line); }, confirm);
    }

    TempDir dir_;
    fs::path root_ = dir_ / "stick";
    ExportManifest recorded_;
    ExportManifest current_;
    std::unique_ptr<ExportManifest> earlier_;
    std::vector<std::string> lines_;
};

// A song that left the selection goes with the folders it leaves empty; what the run still
// produces, the user's own files, a file the user changed and folders that still hold something
// stay, and so does the root.
TEST_F(MirrorSweepTest, RemovesWhatLeftTheSelectionAndNothingElse) {
    exported("Gone Artist/Gone Album/01 Gone.mp3");
    exported("Gone Artist/Gone Album/Folder.jpg");
    exported("Kept Artist/Album/01 Kept.mp3");
    exported("Kept Artist/Album/02 Left.mp3");
    exported("Edited/01 Edited.mp3");
    exported("Old.m3u");
    exported("Mine/02 Also left.mp3");
    writeFile(root_ / "Mine/notes.txt", "the user's");
    writeFile(root_ / "Edited/01 Edited.mp3", "the user's new tags");
    fs::create_directories(root_ / "Empty before");
    ManifestEntry kept;
    kept.path = "Kept Artist/Album/01 Kept.mp3";
    ASSERT_TRUE(current_.add(kept).ok());

    const auto outcome = sweep();

    EXPECT_FALSE(outcome.refused);
    EXPECT_EQ(snapshot(root_),
              (std::map<std::string, std::string>{
                  {".kelvara-export.json", readFile(root_ / ".kelvara-export.json")},
                  {"Edited/", ""},
                  {"Edited/01 Edited.mp3", "the user's new tags"},
                  {"Empty before/", ""},
                  {"Kept Artist/", ""},
                  {"Kept Artist/Album/", ""},
                  {"Kept Artist/Album/01 Kept.mp3", "song"},
                  {"Mine/", ""},
                  {"Mine/notes.txt", "the user's"},
              }));
    EXPECT_TRUE(fs::is_directory(root_));
    EXPECT_EQ(outcome.removedFiles, 5);
    EXPECT_EQ(outcome.removedFolders, 2);
    EXPECT_EQ(outcome.keptChanged, 1);
    EXPECT_EQ(outcome.failed, 0);
    EXPECT_EQ(
        outcome.forgotten,
        (std::set<std::string>{"Edited/01 Edited.mp3", "Gone Artist/Gone Album/01 Gone.mp3",
                               "Gone Artist/Gone Album/Folder.jpg", "Kept Artist/Album/02 Left.mp3",
                               "Mine/02 Also left.mp3", "Old.m3u"}));
    EXPECT_EQ(lines_, (std::vector<std::string>{
                          "Keeping Edited/01 Edited.mp3: changed since it was exported",
                          "Removing file no longer exported: Gone Artist/Gone Album/01 Gone.mp3",
                          "Removing file no longer exported: Gone Artist/Gone Album/Folder.jpg",
                          "Removing file no longer exported: Kept Artist/Album/02 Left.mp3",
                          "Removing file no longer exported: Mine/02 Also left.mp3",
                          "Removing file no longer exported: Old.m3u",
                          "Removing folder left empty: Gone Artist/Gone Album",
                          "Removing folder left empty: Gone Artist",
                      }));
}

// A stopped or failed run, or an earlier record that is missing or cannot be trusted, removes
// nothing and says why in one line.
TEST_F(MirrorSweepTest, RefusesAndRemovesNothing) {
    exported("Gone/01 Gone.mp3");
    const struct {
        const char* what;
        MirrorSweep::Request request;
        std::string record;  // replaces the saved record when not empty; "-" removes it
        std::string says;
    } kCases[] = {
        {"stopped", {{}, nullptr, nullptr, true, 0, false}, "", "the export was stopped"},
        {"failed", {{}, nullptr, nullptr, false, 2, false}, "", "2 songs could not be exported"},
        {"missing", {}, "-", "no record of an earlier export"},
        {"truncated", {}, R"({"format": "kelvara-export", "version": 1, "files": [)", "truncated"},
        {"newer",
         {},
         R"({"format": "kelvara-export", "version": 9, "files": []})",
         "newer version"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        lines_.clear();
        ASSERT_TRUE(recorded_.save(root_).ok());
        auto request = c.request;
        request.root = root_;
        if (c.record == "-")
            fs::remove(root_ / ".kelvara-export.json");
        else if (!c.record.empty())
            writeFile(root_ / ".kelvara-export.json", c.record);
        earlier_ = ExportManifest::load(root_);
        request.earlier = earlier_.get();
        request.current = &current_;
        const auto before = snapshot(root_);
        const auto outcome = MirrorSweep::run(
            request, [this](const std::string& line, bool) { lines_.push_back(line); });
        EXPECT_TRUE(outcome.refused);
        EXPECT_EQ(outcome.removedFiles, 0);
        EXPECT_EQ(snapshot(root_), before);
        ASSERT_EQ(lines_.size(), 1u);
        EXPECT_EQ(lines_[0].rfind("Not removing files no longer exported: ", 0), 0u) << lines_[0];
        EXPECT_NE(lines_[0].find(c.says), std::string::npos) << lines_[0];
    }
}

// A folder of the destination replaced by a link is never entered: what it points at stays,
// even when it matches the record exactly.
TEST_F(MirrorSweepTest, NeverFollowsALinkedFolder) {
    exported("Artist/Album/song.mp3");
    exported("Other/song.mp3");
    fs::rename(root_ / "Artist", dir_ / "outside");
    fs::create_directory_symlink(dir_ / "outside", root_ / "Artist");
    fs::rename(root_ / "Other/song.mp3", dir_ / "other.mp3");
    fs::create_symlink(dir_ / "other.mp3", root_ / "Other/song.mp3");

    const auto outcome = sweep();

    EXPECT_EQ(outcome.removedFiles, 0);
    EXPECT_EQ(filesUnder(dir_ / "outside"), (std::vector<std::string>{"Album/song.mp3"}));
    EXPECT_TRUE(fs::is_symlink(root_ / "Artist"));
    EXPECT_TRUE(fs::is_symlink(root_ / "Other/song.mp3"));
    EXPECT_EQ(readFile(dir_ / "other.mp3"), "song");
}

// A dry run lists what would go and changes nothing.
TEST_F(MirrorSweepTest, PlanModeTouchesNothing) {
    exported("Gone/01 Gone.mp3");
    exported("Gone/02 Gone.mp3");
    exported("Edited.mp3");
    writeFile(root_ / "Edited.mp3", "edited by the user");
    ASSERT_TRUE(recorded_.save(root_).ok());
    const auto before = snapshot(root_);
    MirrorSweep::Request request;
    request.plan = true;
    const auto outcome = sweep(request, [](std::size_t, const std::vector<std::string>&) {
        ADD_FAILURE() << "a dry run asks nothing";
        return true;
    });
    EXPECT_EQ(snapshot(root_), before);
    EXPECT_EQ(outcome.removed, (std::vector<std::string>{"Gone/01 Gone.mp3", "Gone/02 Gone.mp3"}));
    EXPECT_EQ(lines_,
              (std::vector<std::string>{"Keeping Edited.mp3: changed since it was exported",
                                        "Would remove file no longer exported: Gone/01 Gone.mp3",
                                        "Would remove file no longer exported: Gone/02 Gone.mp3"}));
}

// More than 20 files to remove are confirmed first, given the count and the first names; a no
// removes nothing.
TEST_F(MirrorSweepTest, ManyRemovalsAreConfirmedFirst) {
    for (int i = 10; i < 31; ++i) exported("Gone/" + std::to_string(i) + ".mp3");
    std::size_t asked = 0;
    std::vector<std::string> shown;
    const auto answer = [&](bool yes) {
        return [&, yes](std::size_t count, const std::vector<std::string>& first) {
            asked = count;
            shown = first;
            return yes;
        };
    };
    ASSERT_TRUE(recorded_.save(root_).ok());
    const auto before = snapshot(root_);
    const auto declined = sweep({}, answer(false));
    EXPECT_TRUE(declined.refused);
    EXPECT_EQ(asked, 21u);
    ASSERT_EQ(shown.size(), 10u);
    EXPECT_EQ(shown.front(), "Gone/10.mp3");
    EXPECT_EQ(shown.back(), "Gone/19.mp3");
    EXPECT_EQ(snapshot(root_), before);
    EXPECT_EQ(lines_.back(), "Not removing 21 files no longer exported: not confirmed.");

    const auto accepted = sweep({}, answer(true));
    EXPECT_EQ(accepted.removedFiles, 21);
    EXPECT_EQ(filesUnder(root_), (std::vector<std::string>{".kelvara-export.json"}));
}

}  // namespace
}  // namespace kelvara::test
