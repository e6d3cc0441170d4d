#include <chrono>
#include <thread>

#include "ExportFixture.h"
#include "platform/AtomicFile.h"

namespace kelvara::test {
namespace {

using Lines = std::vector<std::string>;

class ExportEndings : public ExportFixture {
  protected:
    const Playlist* threeSongs() {
        const Artist& x = artist("X");
        const Album& al = album("Al");
        return playlist("P", {&song("One", &x, &al, "1.mp3"), &song("Two", &x, &al, "2.mp3"),
                              &song("Three", &x, &al, "3.mp3")});
    }
};

TEST_F(ExportEndings, StopRequestEndsBeforeTheNextSongWithoutPlaylistFileOrSummary) {
    const Playlist* list = threeSongs();
    ui.onLine = [&](const std::string& line) {
        if (line == "Exporting song: 1.mp3") ui.cancel = true;
    };
    auto m = manager();
    ASSERT_EQ(runPlaylists(*m, {list}), RunEnding::StoppedByUser);
    EXPECT_EQ(tree(), (Lines{"P/1.mp3"}));
    EXPECT_EQ(ui.lines.back(), "User stopped export");
    EXPECT_TRUE(ui.notifications.empty());
    EXPECT_TRUE(ui.opened.empty());
    EXPECT_EQ(ui.inhibitEnded, 1);
    EXPECT_EQ(ui.progressClosed, 1);
}

// Another run holds the conversion's lock and never lets go; the wait ends only when the engine
// says so through `cancel` (or, failing that, after five seconds, which fails the test).
class LockedOutConverter : public SongConverter {
  public:
    Status beginRun(const std::function<void(const std::string&)>& log,
                    const std::atomic<bool>* cancel) override {
        log("Another Kelvara export is converting songs; waiting for it to finish.");
        const auto start = std::chrono::steady_clock::now();
        while (!(cancel && *cancel)) {
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(5))
                return errorStatus("the wait never ended");
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return errorStatus("Stopped while waiting for another export");
    }
    void endRun() override {}
    ConversionOutcome convertItemAtUrl(const ConversionJob&) override {
        return ConversionOutcome::Failed;
    }
    ConversionOutcome convertToAACItemAtUrl(const ConversionJob&) override {
        return ConversionOutcome::Failed;
    }
    std::optional<std::string> probeKind(const std::filesystem::path&) override {
        return std::nullopt;
    }
    bool writeAlbumArtwork(const MediaItem&, const std::filesystem::path&) override {
        return false;
    }
};

TEST_F(ExportEndings, StopRequestEndsTheWaitForAnotherRunsLock) {
    const Playlist* list = threeSongs();
    LockedOutConverter converter;
    auto m = manager(&converter);
    m->setConverToMp3(true);
    std::jthread user;  // presses Stop a moment after the wait began
    ui.onLine = [&](const std::string& line) {
        if (line.rfind("Another Kelvara export", 0) != 0) return;
        user = std::jthread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            ui.cancel = true;
        });
    };
    ASSERT_EQ(runPlaylists(*m, {list}), RunEnding::StoppedByUser);
    EXPECT_EQ(ui.lines.back(), "User stopped export");
    EXPECT_TRUE(tree().empty());
    EXPECT_TRUE(ui.issues.empty());
}

TEST_F(ExportEndings, AFolderThatCannotBeMadeStopsTheRunWithLineAndAlert) {
    const Playlist* list = threeSongs();
    writeFile(dir / "file", "x");
    out = dir / "file" / "export";
    auto m = manager();
    ASSERT_EQ(runPlaylists(*m, {list}), RunEnding::StoppedByFailure);
    expectStoppedWithError("Cannot create folder " + (out / "P").string() + ": Not a directory");
}

TEST_F(ExportEndings, ConversionWithoutAConverterRefusesToStart) {
    const Playlist* list = threeSongs();
    auto m = manager();
    m->setConverToMp3(true);
    m->exportPlaylists({list}, out);
    EXPECT_EQ(m->waitUntilFinished(), RunEnding::CouldNotStart);
    EXPECT_EQ(ui.alerts,
              (Lines{"Cannot start export: converting to MP3 is not available in this version."}));
    EXPECT_TRUE(ui.lines.empty());
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(ExportEndings, AnEmptyListStartsNothing) {
    auto m = manager();
    m->exportPlaylists({}, out);
    EXPECT_EQ(m->waitUntilFinished(), RunEnding::NotStarted);
    EXPECT_TRUE(ui.lines.empty());
    EXPECT_EQ(ui.inhibitBegun, 0);
    EXPECT_EQ(ui.progressShown, 0);
}

TEST_F(ExportEndings, LeftoversOfAKilledRunAreRemovedAndNoTemporaryFileStays) {
    const Playlist* list = threeSongs();
    writeFile(out / "P" / ".kelvara-part-AbC123", "half a song");
    writeFile(out / ".kelvara-part-XyZ789", "half a playlist");
    auto m = manager();
    ASSERT_EQ(runPlaylists(*m, {list}), RunEnding::Finished);
    EXPECT_EQ(tree(), (Lines{"P/1.mp3", "P/2.mp3", "P/3.mp3", "P/P.m3u"}));
}

TEST_F(ExportEndings, DestroyingTheEngineMidRunEndsItAtOnceLeavingOnlyWholeFiles) {
    const Artist& x = artist("X");
    const Album& al = album("Al");
    std::vector<const MediaItem*> songs;
    const std::string big(4 << 20, 'z');
    for (int i = 0; i < 40; ++i)
        songs.push_back(&song("S" + std::to_string(i), &x, &al, std::to_string(i) + ".mp3", big));
    const Playlist* list = playlist("Big", songs);
    {
        auto m = manager();
        m->exportPlaylists({list}, out);
    }  // the destructor aborts and joins
    EXPECT_EQ(ui.lines.back(), "User stopped export");
    EXPECT_EQ(ui.inhibitEnded, 1);
    for (const std::string& file : tree()) {
        EXPECT_FALSE(
            AtomicFile::isTemporaryFileName(std::filesystem::path(file).filename().string()))
            << file;
        EXPECT_EQ(std::filesystem::file_size(out / file), big.size()) << file;
    }
}

TEST_F(ExportEndings, HiddenFileCleanUpStaysInTheTreeAndFollowsNoLink) {
    const Playlist* list = threeSongs();
    writeFile(out / "P/._1.mp3", "resource fork");
    writeFile(out / "P/.DS_Store", "x");
    writeFile(out / ".Trashes/deep/file", "x");
    writeFile(dir / "outside/.DS_Store", "keep");
    writeFile(dir / "outside/._keep", "keep");
    writeFile(dir / "outside/keep", "keep");
    std::filesystem::create_directories(out);
    std::filesystem::create_directory_symlink(dir / "outside", out / "link");
    std::filesystem::create_directory_symlink(dir / "outside", out / ".Spotlight-V100");
    auto m = manager();
    ASSERT_EQ(runPlaylists(*m, {list}), RunEnding::Finished);
    EXPECT_EQ(tree(), (Lines{"P/1.mp3", "P/2.mp3", "P/3.mp3", "P/P.m3u", "link"}));
    EXPECT_TRUE(std::filesystem::exists(dir / "outside/.DS_Store"));
    EXPECT_TRUE(std::filesystem::exists(dir / "outside/._keep"));
}

TEST_F(ExportEndings, WithCleanUpOffNothingIsRemovedOrLogged) {
    const Playlist* list = threeSongs();
    writeFile(out / "P/._1.mp3", "resource fork");
    options.setDeleteHiddenFiles(false);
    auto m = manager();
    ASSERT_EQ(runPlaylists(*m, {list}), RunEnding::Finished);
    EXPECT_TRUE(std::filesystem::exists(out / "P/._1.mp3"));
    EXPECT_EQ(std::count(ui.lines.begin(), ui.lines.end(), "Removing hidden files..."), 0);
}

}  // namespace
}  // namespace kelvara::test
