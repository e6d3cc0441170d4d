#include <sys/stat.h>

#include <map>
#include <set>

#include "ExportFixture.h"
#include "engine/ExportManifest.h"

namespace kelvara::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// Converts by writing the kind and rate, and treats an existing destination as the real converter
// does: skipped or replaced by job.skipIfExists.
class StampingConverter : public SongConverter {
  public:
    bool convertsSongsAtOnce() const override { return true; }
    Status beginRun(const std::function<void(const std::string&)>&,
                    const std::atomic<bool>*) override {
        ++begun;
        return okStatus();
    }
    void endRun() override {}
    ConversionOutcome convertItemAtUrl(const ConversionJob& job) override {
        return convert("mp3", job);
    }
    ConversionOutcome convertToAACItemAtUrl(const ConversionJob& job) override {
        return convert("aac", job);
    }
    std::optional<std::string> probeKind(const fs::path&) override { return std::nullopt; }
    bool writeAlbumArtwork(const MediaItem&, const fs::path&) override { return false; }

    std::atomic<int> begun{0};

  private:
    ConversionOutcome convert(const std::string& kind, const ConversionJob& job) {
        std::error_code ec;
        if (fs::exists(fs::symlink_status(job.destination, ec))) {
            if (job.skipIfExists) {
                job.logMessage("File exists at:" + job.destination.string());
                return ConversionOutcome::Skipped;
            }
            job.logMessage("File exists. Will delete file at:" + job.destination.string());
        }
        // Through a new file, as the real converter's rename: a rewrite shows as a new inode.
        const fs::path temporary = job.destination.string() + ".part";
        writeFile(temporary, kind + " " + std::to_string(job.bitRate));
        fs::rename(temporary, job.destination);
        return ConversionOutcome::Written;
    }
};

struct Stamp {
    ino_t inode;
    std::int64_t mtime;
    std::string content;
    bool operator==(const Stamp&) const = default;
};

// Every file under the root with its inode, time and bytes, and every folder.
std::map<std::string, Stamp> walk(const fs::path& root) {
    std::map<std::string, Stamp> seen;
    std::error_code ec;
    if (!fs::exists(root, ec)) return seen;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        struct stat info {};
        lstat(entry.path().c_str(), &info);
        const std::string name = entry.path().lexically_relative(root).generic_string();
        seen[name] = {info.st_ino, info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec,
                      entry.is_regular_file() ? readFile(entry.path()) : std::string("<dir>")};
    }
    return seen;
}

// The files written since `before`: new, or replaced by a new file. The record itself is left
// out.
std::set<std::string> writtenSince(const std::map<std::string, Stamp>& before,
                                   const fs::path& root) {
    std::set<std::string> written;
    for (const auto& [name, stamp] : walk(root)) {
        if (stamp.content == "<dir>" || name == ExportManifest::fileName) continue;
        const auto earlier = before.find(name);
        if (earlier == before.end() || earlier->second.inode != stamp.inode ||
            earlier->second.mtime != stamp.mtime)
            written.insert(name);
    }
    return written;
}

class KeepInStep : public ExportFixture {
  protected:
    void SetUp() override {
        ExportFixture::SetUp();
        options.setExistingFiles(KvrUserOptions::ExistingFiles::UpdateWhenChanged);
        options.setDeleteHiddenFiles(false);
    }
    MediaItem& make(const std::string& title, const std::string& content,
                    const Album* on = nullptr) {
        MediaItem& item = song(title, &lowtide, on ? on : &blue, title + ".mp3", content);
        item.setBitrate(128);
        return item;
    }
    Playlist& list(const std::string& name, std::vector<const MediaItem*> items) {
        return const_cast<Playlist&>(*playlist(name, std::move(items)));
    }
    RunEnding run(const Playlist& p, SongConverter* converter = nullptr, bool dryRun = false) {
        ui.lines.clear();
        ui.issues.clear();
        auto m = manager(converter);
        m->setDryRun(dryRun);
        const RunEnding ending = runPlaylists(*m, {&p});
        lastPlan = m->plan();
        return ending;
    }
    bool loggedStartingWith(const std::string& start) const {
        for (const std::string& line : ui.lines)
            if (line.rfind(start, 0) == 0) return true;
        return false;
    }

    Artist& lowtide = artist("Lowtide");
    Album& blue = album("Blue Hours");
    ExportPlan lastPlan;
};

TEST_F(KeepInStep, UpdateWritesAgainExactlyTheSongsWhoseSourceOptionsOrFileChanged) {
    MediaItem& a = make("A", "aaaa");
    MediaItem& b = make("B", "bbbb");
    MediaItem& c = make("C", "cccc");
    MediaItem& d = make("D", "dddd");
    MediaItem& e = make("E", "eeee");
    Playlist& p = list("P", {&a, &b, &c, &d, &e});
    ASSERT_EQ(run(p), RunEnding::Finished);
    ASSERT_TRUE(fs::exists(out / ExportManifest::fileName));

    auto before = walk(out);
    ASSERT_EQ(run(p), RunEnding::Finished);
    EXPECT_EQ(walk(out), before) << "nothing changed: no song, playlist file or record rewritten";
    EXPECT_TRUE(ui.logged("File exists at:" + (out / "P/E.mp3").string()));

    // Touched, re-tagged, deleted, edited; E stays as it was.
    fs::last_write_time(*a.location(),
                        fs::last_write_time(*a.location()) + std::chrono::seconds(5));
    writeFile(*b.location(), "bbbb with a new tag");
    fs::remove(out / "P/C.mp3");
    writeFile(out / "P/D.mp3", "mine");
    before = walk(out);
    ASSERT_EQ(run(p), RunEnding::Finished);
    EXPECT_EQ(writtenSince(before, out),
              (std::set<std::string>{"P/A.mp3", "P/B.mp3", "P/C.mp3", "P/D.mp3"}));
    EXPECT_EQ(readFile(out / "P/B.mp3"), "bbbb with a new tag");
    EXPECT_EQ(readFile(out / "P/D.mp3"), "dddd");
    EXPECT_TRUE(ui.logged("File exists at:" + (out / "P/E.mp3").string()));
    EXPECT_TRUE(ui.issues.empty());
}

TEST_F(KeepInStep, UpdateOfConvertedSongsFollowsTheBitRateAlikeOneOrThreeAtOnce) {
    std::vector<const MediaItem*> songs;
    for (const char* title : {"A", "B", "C", "D"}) songs.push_back(&make(title, title));
    options.setDontConvertSameType(false);
    Playlist& p = list("P", songs);
    std::vector<Lines> logs;
    for (int jobs : {1, 3}) {
        SCOPED_TRACE(jobs);
        fs::remove_all(out);
        options.setParallelSongs(jobs);
        StampingConverter converter;
        auto m = [&](std::int64_t rate) {
            ui.lines.clear();
            auto made = manager(&converter);
            made->setConverToMp3(true);
            made->setBitRate(rate);
            EXPECT_EQ(runPlaylists(*made, {&p}), RunEnding::Finished);
        };
        m(128);
        auto before = walk(out);
        m(128);
        EXPECT_EQ(walk(out), before);
        logs.push_back(ui.lines);
        before = walk(out);
        const int begun = converter.begun;
        auto dry = manager(&converter);
        dry->setConverToMp3(true);
        dry->setBitRate(192);
        dry->setDryRun(true);
        ASSERT_EQ(runPlaylists(*dry, {&p}), RunEnding::Finished);
        EXPECT_EQ(walk(out), before);
        EXPECT_EQ(converter.begun, begun) << "no working files, no lock";
        EXPECT_EQ(dry->plan().lines()[2], "replace, convert to MP3: P/C.mp3");
        EXPECT_EQ(dry->plan().songs[2].bytes, 192LL * 125 * 239999 / 1000);
        m(192);
        EXPECT_EQ(writtenSince(before, out).size(), 4u);
        EXPECT_EQ(readFile(out / "P/C.mp3"), "mp3 192");
        logs.push_back(ui.lines);
    }
    EXPECT_EQ(logs[0], logs[2]);
    EXPECT_EQ(logs[1], logs[3]);
}

TEST_F(KeepInStep, MirrorRemovesWhatLeftTheSelectionWithItsEmptyFoldersAndNothingElse) {
    options.setFilesSaveToFolder(FolderLayout::MusicArtistAlbum);
    options.setMirrorDestination(true);
    Album& red = album("Red");
    Artist& other = artist("Other");
    MediaItem& a = make("A", "aaaa");
    MediaItem& b = make("B", "bbbb");
    MediaItem& c = song("C", &other, &red, "C.mp3", "cccc");
    Playlist& p = list("P", {&a, &b, &c});
    ASSERT_EQ(run(p), RunEnding::Finished);
    writeFile(out / "Music/Lowtide/Blue Hours/mine.txt", "the user's");
    ASSERT_EQ(filesUnder(out).size(), 6u);

    p.setItems({&a});
    ASSERT_EQ(run(p), RunEnding::Finished);
    EXPECT_EQ(filesUnder(out), (Lines{".kelvara-export.json", "Music/Lowtide/Blue Hours/A.mp3",
                                      "Music/Lowtide/Blue Hours/mine.txt", "P.m3u"}));
    EXPECT_FALSE(fs::exists(out / "Music/Other"));
    EXPECT_TRUE(ui.logged("Removing file no longer exported: Music/Other/Red/C.mp3"));
    EXPECT_TRUE(ui.logged("Removing file no longer exported: Music/Lowtide/Blue Hours/B.mp3"));
    EXPECT_TRUE(ui.logged("Removed 2 files no longer exported, and 2 folders left empty"));
    // Gone from the record too: a file of that name the user puts there later is theirs.
    EXPECT_FALSE(ExportManifest::load(out)->contains("Music/Other/Red/C.mp3"));
}

TEST_F(KeepInStep, MirrorRemovesNothingAfterAStopAFailureOrWithoutATrustworthyRecord) {
    options.setMirrorDestination(true);
    MediaItem& a = make("A", "aaaa");
    MediaItem& b = make("B", "bbbb");
    MediaItem& gone = song("Gone", &lowtide, &blue, "Gone.mp3", "");
    Playlist& p = list("P", {&a, &b});
    const Playlist& shrunk = list("P", {&a});
    ASSERT_EQ(run(p), RunEnding::Finished);
    const Lines full = filesUnder(out);
    const std::string refusal = "Not removing files no longer exported: ";

    ui.onLine = [&](const std::string& line) {
        if (line.rfind("Exporting song:", 0) == 0) ui.cancel = true;
    };
    p.setItems({&a, &a});
    ASSERT_EQ(run(p), RunEnding::StoppedByUser);
    ui.onLine = nullptr;
    ui.cancel = false;
    EXPECT_TRUE(ui.logged(refusal + "the export was stopped."));

    p.setItems({&a, &gone});
    ASSERT_EQ(run(p), RunEnding::Finished);
    EXPECT_TRUE(ui.logged(refusal + "1 song could not be exported.")) << ui.lines.back();

    const std::string record = readFile(out / ExportManifest::fileName);
    writeFile(out / ExportManifest::fileName, record.substr(0, record.size() / 2));
    ASSERT_EQ(run(shrunk), RunEnding::Finished);
    ASSERT_FALSE(ui.issues.empty());
    EXPECT_EQ(ui.issues[0].rfind(refusal, 0), 0u) << "a truncated record is an issue";

    std::string newer = record;
    newer.replace(newer.find("\"version\": 1"), 12, "\"version\": 99");
    writeFile(out / ExportManifest::fileName, newer);
    ASSERT_EQ(run(shrunk), RunEnding::Finished);
    EXPECT_TRUE(loggedStartingWith(refusal)) << "newer";
    EXPECT_EQ(readFile(out / ExportManifest::fileName), newer) << "a newer record stays as it is";

    fs::remove(out / ExportManifest::fileName);
    ASSERT_EQ(run(shrunk), RunEnding::Finished);
    EXPECT_TRUE(ui.logged(refusal + "no record of an earlier export in " + out.string() + "."));
    EXPECT_EQ(filesUnder(out), full) << "every file of the first run is still there";
}

TEST_F(KeepInStep, DryRunWritesNothingAndPlansWhatTheRunThenDoesSongForSong) {
    options.setMirrorDestination(true);
    MediaItem& a = make("A", "aaaa");
    MediaItem& b = make("B", "bbbb");
    MediaItem& c = make("C", "cccc");
    MediaItem& gone = song("Gone", &lowtide, &blue, "Gone.mp3", "");
    Playlist& p = list("P", {&a, &b, &c});
    StampingConverter converter;

    ASSERT_EQ(run(p, &converter, true), RunEnding::Finished);
    EXPECT_FALSE(fs::exists(out)) << "not even the destination folder";
    ASSERT_EQ(lastPlan.songs.size(), 3u);
    EXPECT_EQ(lastPlan.songs[0].action, "new");
    EXPECT_EQ(lastPlan.songs[0].destination, "P/A.mp3");
    EXPECT_EQ(lastPlan.songs[0].bytes, 4);
    EXPECT_EQ(lastPlan.removalNote,
              "Not removing files no longer exported: no record of an earlier export in " +
                  out.string() + ".");
    EXPECT_EQ(lastPlan.playlists, Lines{"P/P.m3u"});
    ASSERT_EQ(run(p), RunEnding::Finished);

    writeFile(*b.location(), "bbbb, longer now");
    fs::remove(out / "P/A.mp3");
    p.setItems({&a, &b, &gone});
    const auto before = walk(out);
    ASSERT_EQ(run(p, &converter, true), RunEnding::Finished);
    EXPECT_EQ(walk(out), before);
    EXPECT_EQ(converter.begun, 0) << "no working files, no lock";
    Lines planned;
    for (const auto& s : lastPlan.songs) planned.push_back(s.action + " " + s.destination);
    EXPECT_EQ(planned, (Lines{"new P/A.mp3", "replace P/B.mp3", "cannot export "}));
    EXPECT_TRUE(lastPlan.removals.empty()) << "a song failed: nothing would be removed";
    EXPECT_EQ(lastPlan.removalNote,
              "Not removing files no longer exported: 1 song could not be exported.");

    // The run does what the plan said, file for file.
    const ExportPlan plan = lastPlan;
    ASSERT_EQ(run(p), RunEnding::Finished);
    std::set<std::string> plannedWrites{"P/P.m3u"};
    for (const auto& s : plan.songs)
        if (s.writes()) plannedWrites.insert(s.destination);
    EXPECT_EQ(writtenSince(before, out), plannedWrites);

    p.setItems({&b});
    const auto kept = walk(out);
    ASSERT_EQ(run(p, nullptr, true), RunEnding::Finished);
    EXPECT_EQ(walk(out), kept);
    EXPECT_EQ(lastPlan.removals, (Lines{"P/A.mp3", "P/C.mp3"}));
    EXPECT_EQ(lastPlan.summary(),
              "Plan: 0 new, 0 replace, 1 skip, 0 convert, 0 cannot export, 1 playlist files, 2 "
              "to remove; 0 bytes to write");
    ASSERT_EQ(run(p), RunEnding::Finished);
    EXPECT_EQ(filesUnder(out), (Lines{".kelvara-export.json", "P/B.mp3", "P/P.m3u"}));
}

}  // namespace
}  // namespace kelvara::test
