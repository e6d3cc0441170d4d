#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/AtomicFile.h"
#include "platform/PreferencesStore.h"
#include "support/TestSupport.h"

using namespace kelvara;
using kelvara::test::TempDir;

TEST(PreferencesStore, ReadsValuesLooselyAsTheSettingsWereAlwaysRead) {
    TempDir dir;
    kelvara::test::writeFile(dir / "preferences.json", R"({
        "boolTrue": true, "numberOne": 1, "textOne": "1", "textZero": "0", "numberZero": 0,
        "textYes": "YES", "float": 2.7, "textSeven": " 7 ", "notNumber": "abc",
        "names": ["a", 3, "b"], "ids": [18446744073709551615, "12", 5],
        "map": {"1": true, "2": 0, "3": "x"}
    })");
    PreferencesStore store(dir / "preferences.json");
    EXPECT_EQ(store.boolForKey("boolTrue"), true);
    EXPECT_EQ(store.boolForKey("numberOne"), true);
    EXPECT_EQ(store.boolForKey("textOne"), true);
    EXPECT_EQ(store.boolForKey("textZero"), false);
    EXPECT_EQ(store.boolForKey("numberZero"), false);
    EXPECT_EQ(store.boolForKey("textYes"), true);
    EXPECT_EQ(store.boolForKey("missing"), std::nullopt);
    EXPECT_EQ(store.integerForKey("float"), 2);
    EXPECT_EQ(store.integerForKey("textSeven"), 7);
    EXPECT_EQ(store.integerForKey("boolTrue"), 1);
    EXPECT_EQ(store.integerForKey("notNumber"), std::nullopt);
    EXPECT_EQ(store.stringArrayForKey("names"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(store.numberArrayForKey("ids"),
              (std::vector<std::uint64_t>{18446744073709551615ULL, 12, 5}));
    EXPECT_EQ(store.boolMapForKey("map"), (std::map<std::string, bool>{{"1", true}, {"2", false}}));
    EXPECT_TRUE(store.stringArrayForKey("boolTrue").empty());
}

TEST(PreferencesStore, FlushReplacesTheFileWholeAndKeepsEveryValue) {
    TempDir dir;
    const auto file = dir / "sub" / "preferences.json";
    {
        PreferencesStore store(file);
        store.setBool("SkipIfExists", false);
        store.setInteger("OrginizeFilesOption", 4);
        store.setObject("SelectedPlaylists", {"Rock", "Ελληνικά", "日本語"});
        std::string error;
        ASSERT_TRUE(store.flush(error)) << error;
    }
    PreferencesStore reread(file);
    EXPECT_EQ(reread.boolForKey("SkipIfExists"), false);
    EXPECT_EQ(reread.integerForKey("OrginizeFilesOption"), 4);
    EXPECT_EQ(reread.stringArrayForKey("SelectedPlaylists"),
              (std::vector<std::string>{"Rock", "Ελληνικά", "日本語"}));
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path()))
        EXPECT_FALSE(AtomicFile::isTemporaryFileName(entry.path().filename().string()))
            << "temporary file left behind: " << entry.path();
}

TEST(PreferencesStore, BrokenFileIsMovedAsideNotLost) {
    TempDir dir;
    const auto file = dir / "preferences.json";
    kelvara::test::writeFile(file, "{\"SkipIfExists\": 0,");
    testing::internal::CaptureStderr();
    PreferencesStore store(file);
    const std::string warning = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(store.contains("SkipIfExists"));
    EXPECT_FALSE(std::filesystem::exists(file));
    std::filesystem::path aside;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().filename().string().starts_with("preferences.json.broken-")) aside = entry.path();
    ASSERT_FALSE(aside.empty());
    EXPECT_EQ(kelvara::test::readFile(aside), "{\"SkipIfExists\": 0,");
    EXPECT_NE(warning.find(file.string()), std::string::npos);
    EXPECT_NE(warning.find(aside.string()), std::string::npos);
}

TEST(PreferencesStore, UnwritableFolderIsReportedAndValuesStayInMemory) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    TempDir dir;
    std::filesystem::create_directories(dir / "locked");
    std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    PreferencesStore store(dir / "locked" / "preferences.json");
    store.setInteger("LineEnding", 1);
    std::string error;
    EXPECT_FALSE(store.flush(error));
    EXPECT_NE(error.find("locked"), std::string::npos);
    EXPECT_EQ(store.integerForKey("LineEnding"), 1);
}

TEST(PreferencesStore, ConfigFolderFollowsTheEnvironment) {
    setenv("KELVARA_CONFIG_DIR", "/tmp/kelvara-a", 1);
    EXPECT_EQ(PreferencesStore::defaultDirectory(), "/tmp/kelvara-a");
    unsetenv("KELVARA_CONFIG_DIR");
    setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(PreferencesStore::defaultDirectory(), "/tmp/xdg/kelvara");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/tmp/home", 1);
    EXPECT_EQ(PreferencesStore::defaultDirectory(), "/tmp/home/.config/kelvara");
}

TEST(AtomicFile, UncommittedFileLeavesNothingAndLeftoversAreRemoved) {
    TempDir dir;
    const auto target = dir / "song.mp3";
    std::string error;
    {
        auto file = AtomicFile::create(target, error);
        ASSERT_TRUE(file) << error;
        ASSERT_TRUE(file->write("partial", error));
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    auto file = AtomicFile::create(target, error);
    ASSERT_TRUE(file->write("complete", error));
    ASSERT_TRUE(file->commit(error));
    EXPECT_EQ(kelvara::test::readFile(target), "complete");

    kelvara::test::writeFile(dir / ".kelvara-part-abc123", "left by a killed run");
    kelvara::test::writeFile(dir / ".kelvara-part-keep-me-longer", "not ours");
    // Another run writing into the same folder at the same time keeps its file.
    auto live = AtomicFile::create(dir / "other.mp3", error);
    ASSERT_TRUE(live) << error;
    EXPECT_EQ(AtomicFile::removeLeftovers(dir.path()), 1);
    EXPECT_TRUE(std::filesystem::exists(dir / ".kelvara-part-keep-me-longer"));
    EXPECT_TRUE(std::filesystem::exists(target));
    EXPECT_FALSE(std::filesystem::exists(dir / ".kelvara-part-abc123"));
    ASSERT_TRUE(live->write("complete", error));
    EXPECT_TRUE(live->commit(error)) << error;
    EXPECT_EQ(kelvara::test::readFile(dir / "other.mp3"), "complete");
}
