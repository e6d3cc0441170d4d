#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

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
        const kelvara::Status saved = store.save();
        ASSERT_TRUE(saved.ok()) << saved.message();
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
        if (entry.path().filename().string().starts_with("preferences.json.broken-"))
            aside = entry.path();
    ASSERT_FALSE(aside.empty());
    EXPECT_EQ(kelvara::test::readFile(aside), "{\"SkipIfExists\": 0,");
    EXPECT_NE(warning.find(file.string()), std::string::npos);
    EXPECT_NE(warning.find(aside.string()), std::string::npos);
}

TEST(PreferencesStore, UnwritableFolderIsReportedAndValuesStayInMemory) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    TempDir dir;
    std::filesystem::create_directories(dir / "locked");
    std::filesystem::permissions(
        dir / "locked", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    PreferencesStore store(dir / "locked" / "preferences.json");
    store.setInteger("LineEnding", 1);
    const kelvara::Status saved = store.save();
    EXPECT_FALSE(saved.ok());
    const std::string& error = saved.message();
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
    {
        auto file = AtomicFile::create(target);
        ASSERT_TRUE(file.ok()) << file.message();
        ASSERT_TRUE((*file)->write("partial").ok());
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    auto file = AtomicFile::create(target);
    ASSERT_TRUE((*file)->write("complete").ok());
    ASSERT_TRUE((*file)->commit().ok());
    EXPECT_EQ(kelvara::test::readFile(target), "complete");

    kelvara::test::writeFile(dir / ".kelvara-part-abc123", "left by a killed run");
    kelvara::test::writeFile(dir / ".kelvara-part-keep-me-longer", "not ours");
    // Another run writing into the same folder at the same time keeps its file.
    auto live = AtomicFile::create(dir / "other.mp3");
    ASSERT_TRUE(live.ok()) << live.message();
    EXPECT_EQ(AtomicFile::removeLeftovers(dir.path()), 1);
    EXPECT_TRUE(std::filesystem::exists(dir / ".kelvara-part-keep-me-longer"));
    EXPECT_TRUE(std::filesystem::exists(target));
    EXPECT_FALSE(std::filesystem::exists(dir / ".kelvara-part-abc123"));
    ASSERT_TRUE((*live)->write("complete").ok());
    const kelvara::Status committed = (*live)->commit();
    EXPECT_TRUE(committed.ok()) << committed.message();
    EXPECT_EQ(kelvara::test::readFile(dir / "other.mp3"), "complete");
}

TEST(PreferencesStore, NumbersBeyondAnIntegerAreMalformedNotCast) {
    TempDir dir;
    kelvara::test::writeFile(dir / "preferences.json", R"({
        "huge": 1e300, "tiny": -1e300, "nanText": "nan", "infText": "inf", "bigText": "9.3e18",
        "edge": 9223372036854775807, "lowEdge": -9223372036854775808, "floatEdge": -9.2e18,
        "hugeInteger": 18446744073709551615
    })");
    PreferencesStore store(dir / "preferences.json");
    EXPECT_EQ(store.integerForKey("huge"), std::nullopt);
    EXPECT_EQ(store.integerForKey("tiny"), std::nullopt);
    EXPECT_EQ(store.integerForKey("nanText"), std::nullopt);
    EXPECT_EQ(store.integerForKey("infText"), std::nullopt);
    EXPECT_EQ(store.integerForKey("bigText"), std::nullopt);
    EXPECT_EQ(store.integerForKey("hugeInteger"), std::nullopt);
    EXPECT_EQ(store.boolForKey("nanText"), std::nullopt);
    EXPECT_EQ(store.integerForKey("edge"), INT64_MAX);
    EXPECT_EQ(store.integerForKey("lowEdge"), INT64_MIN);
    EXPECT_EQ(store.integerForKey("floatEdge"), -9200000000000000000LL);
}

TEST(PreferencesStore, DeeplyNestedFileIsMovedAsideAsMalformed) {
    TempDir dir;
    const auto file = dir / "preferences.json";
    const std::string deep = "{\"SkipIfExists\": 0, \"TracksOrder\": " + std::string(100000, '[') +
                             std::string(100000, ']') + "}";
    kelvara::test::writeFile(file, deep);
    testing::internal::CaptureStderr();
    PreferencesStore store(file);
    const std::string warning = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(store.contains("SkipIfExists"));
    EXPECT_FALSE(store.objectForKey("TracksOrder"));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_NE(warning.find(file.string()), std::string::npos);
    // Brackets inside texts are only text; ordinary nesting is kept.
    kelvara::test::writeFile(file, R"({"a": "[[[[{{{{", "b": {"c": [[1, 2], {"d": [3]}]}})");
    PreferencesStore fine(file);
    EXPECT_EQ(fine.stringForKey("a"), "[[[[{{{{");
    EXPECT_EQ(fine.objectForKey("b")->at("c")[1]["d"][0], 3);
}

TEST(PreferencesStore, FifoIsNamedLeftInPlaceAndNeverReplaced) {
    TempDir dir;
    const auto file = dir / "preferences.json";
    ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
    testing::internal::CaptureStderr();
    PreferencesStore store(file);  // must not block waiting for a writer
    const std::string warning = testing::internal::GetCapturedStderr();
    EXPECT_NE(warning.find(file.string()), std::string::npos) << warning;
    EXPECT_NE(warning.find("FIFO"), std::string::npos) << warning;
    EXPECT_EQ(warning.find("not valid JSON"), std::string::npos) << warning;
    EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1) << warning;
    EXPECT_EQ(std::filesystem::status(file).type(), std::filesystem::file_type::fifo);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);

    store.setInteger("LineEnding", 1);
    EXPECT_EQ(store.integerForKey("LineEnding"), 1);
    const kelvara::Status saved = store.save();
    EXPECT_FALSE(saved.ok());
    const std::string& error = saved.message();
    EXPECT_NE(error.find(file.string()), std::string::npos) << error;
    EXPECT_EQ(std::filesystem::status(file).type(), std::filesystem::file_type::fifo);
}

TEST(PreferencesStore, UnreadableFileIsNamedKeptAndNotOverwritten) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads anything";
    TempDir dir;
    const auto file = dir / "preferences.json";
    kelvara::test::writeFile(file, R"({"SkipIfExists": 0})");
    std::filesystem::permissions(file, std::filesystem::perms::none);
    testing::internal::CaptureStderr();
    PreferencesStore store(file);
    const std::string warning = testing::internal::GetCapturedStderr();
    std::filesystem::permissions(
        file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_NE(warning.find(file.string()), std::string::npos) << warning;
    EXPECT_EQ(warning.find("not valid JSON"), std::string::npos) << warning;
    const kelvara::Status saved = store.save();
    EXPECT_FALSE(saved.ok());
    EXPECT_EQ(kelvara::test::readFile(file), R"({"SkipIfExists": 0})");
}

TEST(PreferencesStore, SavingBelowAPlainFileFailsEvenForRoot) {
    TempDir dir;
    kelvara::test::writeFile(dir / "plain", "not a folder");
    PreferencesStore store(dir / "plain" / "preferences.json");
    store.setInteger("LineEnding", 1);
    const kelvara::Status saved = store.save();
    EXPECT_FALSE(saved.ok());
    const std::string& error = saved.message();
    EXPECT_NE(error.find((dir / "plain").string()), std::string::npos) << error;
    EXPECT_EQ(store.integerForKey("LineEnding"), 1);
    EXPECT_EQ(kelvara::test::readFile(dir / "plain"), "not a folder");
}
