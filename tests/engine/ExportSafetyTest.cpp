#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "ExportFixture.h"
#include "platform/FileCopy.h"

namespace kelvara::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

ino_t inodeOf(const fs::path& file) {
    struct stat info {};
    return stat(file.c_str(), &info) == 0 ? info.st_ino : 0;
}

// A writer that opens and closes `fifo` ends the open of any reader blocked on it.
void releaseReaders(const fs::path& fifo) {
    const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) close(fd);
}

class ExportSafety : public ExportFixture {
  protected:
    // Runs one playlist; a run still going after 10 seconds is a failure, and its reader on `fifo`
    // is released so that the test ends.
    RunEnding runWithin(KvExportManager& m, const Playlist* list, const fs::path& fifo) {
        m.exportPlaylists({list}, out);
        auto ending = std::async(std::launch::async, [&] { return m.waitUntilFinished(); });
        while (ending.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
            ADD_FAILURE() << "the export blocks on " << fifo;
            releaseReaders(fifo);
        }
        return ending.get();
    }
};

TEST_F(ExportSafety, TheSourceFileIsNeverReplacedEvenThroughALink) {
    const Artist& x = artist("X");
    const Album& al = album("Al");
    const MediaItem& a = song("A", &x, &al, "a.mp3", "AAAA");
    const fs::path source = dir / "music/a.mp3";
    const ino_t inode = inodeOf(source);
    options.setSkipIfExists(false);
    options.setFilesSaveToFolder(FolderLayout::Root);
    const auto exportInto = [&](const fs::path& folder) {
        ui.issues.clear();
        out = folder;
        auto m = manager();
        m->setExportPlaylistFile(false);
        EXPECT_EQ(runPlaylists(*m, {playlist("P", {&a})}), RunEnding::Finished);
        EXPECT_EQ(
            ui.issues,
            (Lines{"Error: Cannot export song \"A\": the destination is the source file itself: " +
                       (folder / "a.mp3").string(),
                   "Export Finished with 1 issue"}));
        EXPECT_EQ(inodeOf(source), inode);
        EXPECT_EQ(readFile(source), "AAAA");
    };
    exportInto(dir / "music");  // the folder the song lives in

    fs::create_directories(dir / "hard");
    fs::create_hard_link(source, dir / "hard/a.mp3");
    exportInto(dir / "hard");
    fs::create_directories(dir / "soft");
    fs::create_symlink(source, dir / "soft/a.mp3");
    exportInto(dir / "soft");
    EXPECT_TRUE(fs::is_symlink(dir / "soft/a.mp3"));
}

TEST_F(ExportSafety, ASourceThatIsNotARegularFileIsAnIssueAndNeverBlocks) {
    const Artist& x = artist("X");
    const Album& al = album("Al");
    MediaItem& piped = song("Piped", &x, &al, "pipe.mp3", "");
    const fs::path fifo = dir / "music/pipe.mp3";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    MediaItem& device = song("Device", &x, &al, "zero.mp3", "");
    device.setMappedPath(fs::path("/dev/zero"));
    const MediaItem& fine = song("Fine", &x, &al, "fine.mp3", "FINE");
    auto m = manager();
    m->setExportPlaylistFile(false);
    ASSERT_EQ(runWithin(*m, playlist("P", {&piped, &device, &fine}), fifo), RunEnding::Finished);
    EXPECT_EQ(ui.issues, (Lines{"Cannot read " + fifo.string() + ": it is not a regular file",
                                "Cannot read /dev/zero: it is not a regular file",
                                "Export Finished with 2 issues"}));
    EXPECT_EQ(tree(), (Lines{"P/fine.mp3"}));
    EXPECT_EQ(m->handOnViolations(), 0);

    // The copy itself refuses such a file at once too.
    auto copied =
        std::async(std::launch::async, [&] { return copyFileAtomically(fifo, dir / "copy.mp3"); });
    while (copied.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        ADD_FAILURE() << "the copy blocks on " << fifo;
        releaseReaders(fifo);
    }
    const Status copy = copied.get();
    EXPECT_FALSE(copy.ok());
    EXPECT_EQ(copy.message(), "Cannot read " + fifo.string() + ": it is not a regular file");
    EXPECT_FALSE(fs::exists(dir / "copy.mp3"));
}

TEST_F(ExportSafety, LinkedFoldersInsideTheDestinationAreNeverWrittenThrough) {
    const Artist& x = artist("X");
    const Album& al = album("Al", std::string("X"));
    const MediaItem& a = song("A", &x, &al, "a.mp3");
    const MediaItem& b = song("B", &x, &al, "b.mp3");
    const fs::path elsewhere = dir / "elsewhere";
    writeFile(elsewhere / ".kelvara-part-Abc123", "someone else's");
    struct Case {
        int layout;
        const char* link;
    };
    for (const Case& c : {Case{0, "Mix"}, Case{1, "Music"}, Case{4, "X/Al"}}) {
        SCOPED_TRACE(c.link);
        fs::remove_all(out);
        ui.issues.clear();
        fs::create_directories((out / c.link).parent_path());
        fs::create_directory_symlink(elsewhere, out / c.link);
        options.setFilesSaveToFolder(storedOption<FolderLayout>(c.layout));
        auto m = manager();
        ASSERT_EQ(runPlaylists(*m, {playlist("Mix", {&a, &b})}), RunEnding::Finished);
        const std::string linked =
            "Error: Cannot export song \"%\": " + (out / c.link).string() + " is a symbolic link";
        auto issue = [&](const char* title) {
            std::string line = linked;
            return line.replace(line.find('%'), 1, title);
        };
        Lines expected{issue("A"), issue("B"), "Export Finished with 2 issues"};
        if (c.layout == 0)  // the playlist file would go into the linked folder too
            expected = {issue("A"), issue("B"),
                        "Error: Cannot save playlist file to " +
                            (out / c.link / "Mix.m3u").string() + ": " + (out / c.link).string() +
                            " is a symbolic link",
                        "Export Finished with 3 issues"};
        EXPECT_EQ(ui.issues, expected);
        EXPECT_EQ(filesUnder(elsewhere), (Lines{".kelvara-part-Abc123"}));
        EXPECT_EQ(m->handOnViolations(), 0);
    }

    // The destination itself may be a link; a link in place of a song or playlist file is
    // replaced, never written through.
    fs::remove_all(out);
    fs::create_directories(dir / "real");
    fs::create_directory_symlink(dir / "real", out);
    writeFile(dir / "keep.txt", "KEEP");
    fs::create_symlink(dir / "keep.txt", dir / "real/a.mp3");
    fs::create_symlink(dir / "keep.txt", dir / "real/Mix.m3u");
    options.setFilesSaveToFolder(FolderLayout::Root);
    options.setSkipIfExists(false);
    ui.issues.clear();
    ASSERT_EQ(runPlaylists(*manager(), {playlist("Mix", {&a})}), RunEnding::Finished);
    EXPECT_TRUE(ui.issues.empty());
    EXPECT_EQ(readFile(dir / "keep.txt"), "KEEP");
    EXPECT_EQ(fs::symlink_status(dir / "real/a.mp3").type(), fs::file_type::regular);
    EXPECT_EQ(fs::symlink_status(dir / "real/Mix.m3u").type(), fs::file_type::regular);
    EXPECT_EQ(readFile(dir / "real/a.mp3"), "audio");
}

}  // namespace
}  // namespace kelvara::test
