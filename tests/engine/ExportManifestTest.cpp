#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "engine/ExportManifest.h"
#include "platform/AtomicFile.h"
#include "support/TestSupport.h"

namespace kelvara::test {
namespace {

namespace fs = std::filesystem;

ManifestEntry song(const std::string& path, const std::string& source = "/music/a.m4a") {
    ManifestEntry entry;
    entry.path = path;
    entry.source = source;
    entry.sourceStamp = {1234, 1700000000123456789};
    entry.shape = {"mp3", 192, 2, true};
    entry.output = {5678, 1700000001987654321};
    return entry;
}

std::string manifestText(const std::string& files, int version = 1) {
    return "{\"format\": \"kelvara-export\", \"version\": " + std::to_string(version) +
           ", \"files\": [" + files + "]}";
}

bool hasTemporaryFile(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder))
        if (AtomicFile::isTemporaryFileName(entry.path().filename().string())) return true;
    return false;
}

// What is saved comes back whole, is valid JSON to another reader, and a source path that is not
// UTF-8 is recorded as valid UTF-8.
TEST(ExportManifest, SavesAndLoadsEveryKindOfEntry) {
    TempDir dir;
    ExportManifest record;
    ASSERT_TRUE(record.add(song("Björk/Début/01 Human Behaviour.mp3", "/music/bad\xff.m4a")).ok());
    ManifestEntry playlist;
    playlist.kind = ManifestEntry::Kind::Playlist;
    playlist.path = "夜に駆ける.m3u";
    playlist.output = {10, 20};
    ASSERT_TRUE(record.add(playlist).ok());
    ManifestEntry artwork = playlist;
    artwork.kind = ManifestEntry::Kind::Artwork;
    artwork.path = "Björk/Début/Folder.jpg";
    ASSERT_TRUE(record.add(artwork).ok());
    const Status saved = record.save(dir.path());
    ASSERT_TRUE(saved.ok()) << saved.message();

    const auto loaded = ExportManifest::load(dir.path());
    ASSERT_EQ(loaded->origin(), ExportManifest::Origin::Loaded) << loaded->loadStatus().message();
    EXPECT_TRUE(loaded->permitsRemoval());
    ASSERT_EQ(loaded->size(), 3u);
    const auto back = loaded->find("Björk/Début/01 Human Behaviour.mp3");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->source, "/music/bad\xEF\xBF\xBD.m4a");
    EXPECT_EQ(back->sourceStamp, (FileStamp{1234, 1700000000123456789}));
    EXPECT_EQ(back->shape, (OutputShape{"mp3", 192, 2, true}));
    EXPECT_EQ(back->output, (FileStamp{5678, 1700000001987654321}));
    EXPECT_EQ(loaded->find("夜に駆ける.m3u")->kind, ManifestEntry::Kind::Playlist);
    EXPECT_EQ(loaded->find("Björk/Début/Folder.jpg")->kind, ManifestEntry::Kind::Artwork);
    EXPECT_FALSE(loaded->find("Björk/Début"));

    const auto python = runPython(
        "import json, sys\n"
        "r = json.load(open(sys.argv[1], encoding='utf-8'))\n"
        "print(r['format'], r['version'], len(r['files']))\n"
        "for f in r['files']: print(f['kind'], f['path'], f['size'], f.get('sourceMtime'))\n",
        {(dir / ".kelvara-export.json").string()});
    EXPECT_EQ(python.out,
              "kelvara-export 1 3\n"
              "song Björk/Début/01 Human Behaviour.mp3 5678 1700000000123456789\n"
              "artwork Björk/Début/Folder.jpg 10 None\n"
              "playlist 夜に駆ける.m3u 10 None\n")
        << python.err;
}

// A destination without a record is no error; one that cannot be trusted, whatever the reason,
// is refused with a message naming it, and then allows no removal.
TEST(ExportManifest, ARecordThatCannotBeTrustedPermitsNoRemoval) {
    TempDir dir;
    const auto absent = ExportManifest::load(dir.path());
    EXPECT_EQ(absent->origin(), ExportManifest::Origin::Absent);
    EXPECT_TRUE(absent->loadStatus().ok());
    EXPECT_FALSE(absent->permitsRemoval());

    ExportManifest good;
    ASSERT_TRUE(good.add(song("a/b.mp3")).ok());
    const std::string whole = good.toJson();
    const std::string entry = R"({"kind": "playlist", "size": 1, "mtime": 2, "path": )";
    const struct {
        std::string text;
        ExportManifest::Origin origin;
        std::string says;
    } kCases[] = {
        {whole.substr(0, whole.size() / 2), ExportManifest::Origin::Invalid, "truncated"},
        {"", ExportManifest::Origin::Invalid, "truncated"},
        {"\x89PNG\r\n\x1a\n garbage", ExportManifest::Origin::Invalid, "not valid JSON"},
        {"[]", ExportManifest::Origin::Invalid, "not one Kelvara wrote"},
        {R"({"format": "other", "version": 1, "files": []})", ExportManifest::Origin::Invalid,
         "not one Kelvara wrote"},
        {manifestText("", 2), ExportManifest::Origin::Newer, "newer version"},
        {manifestText("", 0), ExportManifest::Origin::Invalid, "version"},
        {std::string(100000, '[') + std::string(100000, ']'), ExportManifest::Origin::Invalid,
         "not one Kelvara wrote"},
        {manifestText(entry + R"("../outside.mp3"})"), ExportManifest::Origin::Invalid,
         "../outside.mp3"},
        {manifestText(entry + R"("/etc/passwd"})"), ExportManifest::Origin::Invalid, "/etc/passwd"},
        {manifestText(entry + R"("a/../../b"})"), ExportManifest::Origin::Invalid, "a/../../b"},
        {manifestText(entry + R"("a//b"})"), ExportManifest::Origin::Invalid, "a//b"},
        {manifestText(entry + R"("a/./b"})"), ExportManifest::Origin::Invalid, "a/./b"},
        {manifestText(entry + R"("a/"})"), ExportManifest::Origin::Invalid, "a/"},
        {manifestText(entry + R"("a\u0001b"})"), ExportManifest::Origin::Invalid, "safe"},
        {manifestText(entry + R"(".kelvara-export.json"})"), ExportManifest::Origin::Invalid,
         "safe"},
        {manifestText(entry + R"("x"}, )" + entry + R"("x"})"), ExportManifest::Origin::Invalid,
         "twice"},
        {manifestText(R"({"kind": "song", "path": "x", "size": 1, "mtime": 2})"),
         ExportManifest::Origin::Invalid, "source"},
        {manifestText(R"({"kind": "video", "path": "x", "size": 1, "mtime": 2})"),
         ExportManifest::Origin::Invalid, "kind"},
        {manifestText(R"({"kind": "playlist", "path": "x", "size": "1", "mtime": 2})"),
         ExportManifest::Origin::Invalid, "size"},
    };
    const fs::path file = dir / ".kelvara-export.json";
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.text.substr(0, 120));
        writeFile(file, c.text);
        const auto loaded = ExportManifest::load(dir.path());
        EXPECT_EQ(loaded->origin(), c.origin);
        EXPECT_FALSE(loaded->permitsRemoval());
        EXPECT_EQ(loaded->size(), 0u);
        EXPECT_NE(loaded->loadStatus().message().find(file.string()), std::string::npos)
            << loaded->loadStatus().message();
        EXPECT_NE(loaded->loadStatus().message().find(c.says), std::string::npos)
            << loaded->loadStatus().message();
    }

    // Not a file: a FIFO must not block the load, a folder or a link is not ours.
    fs::remove(file);
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    EXPECT_EQ(ExportManifest::load(dir.path())->origin(), ExportManifest::Origin::Invalid);
    fs::remove(file);
    writeFile(dir / "elsewhere.json", whole);
    fs::create_symlink(dir / "elsewhere.json", file);
    EXPECT_EQ(ExportManifest::load(dir.path())->origin(), ExportManifest::Origin::Invalid);
    fs::remove(file);
    fs::create_directory(file);
    EXPECT_EQ(ExportManifest::load(dir.path())->origin(), ExportManifest::Origin::Invalid);
}

// A path the record could not safely hand to a removal is refused when added, and entries added
// from many threads at once are all kept.
TEST(ExportManifest, AddRefusesUnsafePathsAndIsSafeFromManyThreads) {
    ExportManifest record;
    for (const std::string bad : {"", "/abs.mp3", "../up.mp3", "a/../b", "a//b", "a/.", "tab\there",
                                  "bad\xC3(utf8", ".kelvara-export.json"})
        EXPECT_FALSE(record.add(song(bad)).ok()) << bad;
    EXPECT_EQ(record.size(), 0u);
    EXPECT_TRUE(record.add(song(".hidden/..dots.../file")).ok());

    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&record, t] {
            for (int i = 0; i < 500; ++i)
                EXPECT_TRUE(
                    record.add(song("t" + std::to_string(t) + "/" + std::to_string(i) + ".mp3"))
                        .ok());
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(record.size(), 4001u);
    EXPECT_TRUE(record.contains("t7/499.mp3"));
}

// The next record keeps what this run left alone, not what it dropped or replaced.
TEST(ExportManifest, CarryOverKeepsEarlierEntriesThisRunDidNotReplaceOrForget) {
    ExportManifest earlier;
    ASSERT_TRUE(earlier.add(song("kept.mp3")).ok());
    ASSERT_TRUE(earlier.add(song("gone.mp3")).ok());
    ASSERT_TRUE(earlier.add(song("again.mp3", "/old")).ok());
    ExportManifest now;
    ASSERT_TRUE(now.add(song("again.mp3", "/new")).ok());
    now.carryOver(earlier, {"gone.mp3"});
    EXPECT_EQ(now.size(), 2u);
    EXPECT_TRUE(now.contains("kept.mp3"));
    EXPECT_EQ(now.find("again.mp3")->source, "/new");
}

// A save that cannot complete (the disk is full) fails, and leaves the earlier record byte for
// byte and no temporary file.
TEST(ExportManifest, AFailedSaveLeavesTheEarlierRecordAsItWas) {
    TempDir dir;
    const fs::path mountPoint = dir / "small";
    fs::create_directories(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    struct Unmount {
        fs::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{mountPoint};

    ExportManifest small;
    ASSERT_TRUE(small.add(song("one.mp3")).ok());
    ASSERT_TRUE(small.save(mountPoint).ok());
    const std::string before = readFile(mountPoint / ".kelvara-export.json");

    ExportManifest large;
    for (int i = 0; i < 2000; ++i) ASSERT_TRUE(large.add(song(std::to_string(i) + ".mp3")).ok());
    ASSERT_GT(large.toJson().size(), 64u * 1024);
    const Status saved = large.save(mountPoint);
    EXPECT_FALSE(saved.ok());
    EXPECT_NE(saved.message().find(".kelvara-export.json"), std::string::npos) << saved.message();
    EXPECT_EQ(readFile(mountPoint / ".kelvara-export.json"), before);
    EXPECT_FALSE(hasTemporaryFile(mountPoint));
}

// A process killed at any moment of a save leaves a record that loads whole: the old or the new.
TEST(ExportManifest, KillingASaveLeavesTheOldOrTheNewRecord) {
    TempDir dir;
    ExportManifest older;
    ExportManifest newer;
    for (int i = 0; i < 3000; ++i) {
        ASSERT_TRUE(older.add(song("old/" + std::to_string(i) + ".mp3")).ok());
        ASSERT_TRUE(newer.add(song("new/" + std::to_string(i) + ".mp3")).ok());
    }
    ASSERT_TRUE(older.save(dir.path()).ok());
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) (i % 2 ? older : newer).save(dir.path()).ignore();
        }
        usleep(static_cast<useconds_t>(1000 + round * 397 % 20000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const auto loaded = ExportManifest::load(dir.path());
        ASSERT_EQ(loaded->origin(), ExportManifest::Origin::Loaded)
            << loaded->loadStatus().message();
        EXPECT_EQ(loaded->size(), 3000u);
        EXPECT_TRUE(loaded->contains("old/0.mp3") || loaded->contains("new/0.mp3"));
    }
}

}  // namespace
}  // namespace kelvara::test
