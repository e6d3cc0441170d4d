#include <gtest/gtest.h>

#include "library/LibraryPreferences.h"
#include "platform/PreferencesStore.h"
#include "support/TestSupport.h"

namespace kelvara {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs pairsOf(const std::vector<LocationMapping>& mappings) {
    Pairs pairs;
    for (const LocationMapping& mapping : mappings)
        pairs.emplace_back(mapping.from, mapping.to.string());
    return pairs;
}

struct LibraryPreferencesTest : testing::Test {
    test::TempDir dir;
    std::filesystem::path file = dir / PreferencesStore::fileName;
};

// The preferences file is hand-editable, so what is read back must survive entries the desktop
// application would never have written.
TEST_F(LibraryPreferencesTest, ReadsFolderAndMapSkippingMalformedEntries) {
    test::writeFile(file, R"({"MusicFolder": "/mnt/music",
        "PathMap": ["file:///Users/a/Music/=/mnt/a/", "no equals sign", "=/nothing/before",
                    "C:/Music=/mnt/b=c", 7, "file://localhost/D:/=", ""]})");
    const PreferencesStore preferences(file);

    EXPECT_EQ(LibraryPreferences::musicFolder(preferences), std::filesystem::path("/mnt/music"));
    // Split at the first "=" only: the local side may itself hold one.
    const Pairs expected{{"file:///Users/a/Music/", "/mnt/a/"},
                         {"C:/Music", "/mnt/b=c"},
                         {"file://localhost/D:/", ""}};
    EXPECT_EQ(pairsOf(LibraryPreferences::pathMap(preferences)), expected);

    const LibraryOpenOptions options = LibraryPreferences::openOptions(preferences);
    EXPECT_EQ(options.musicFolder, std::filesystem::path("/mnt/music"));
    EXPECT_EQ(pairsOf(options.mappings), expected);

    EXPECT_FALSE(LibraryPreferences::parseMapping("=x"));
    EXPECT_FALSE(LibraryPreferences::parseMapping("x"));
    EXPECT_FALSE(LibraryPreferences::parseMapping(""));
}

TEST_F(LibraryPreferencesTest, EmptyOrMistypedValuesMeanNothingStored) {
    for (const char* json : {R"({})", R"({"MusicFolder": "", "PathMap": []})",
                             R"({"MusicFolder": ["/mnt/music"], "PathMap": "a=b"})"}) {
        test::writeFile(file, json);
        const PreferencesStore preferences(file);
        EXPECT_FALSE(LibraryPreferences::musicFolder(preferences)) << json;
        EXPECT_TRUE(LibraryPreferences::pathMap(preferences).empty()) << json;
        const LibraryOpenOptions options = LibraryPreferences::openOptions(preferences);
        EXPECT_FALSE(options.musicFolder) << json;
        EXPECT_TRUE(options.mappings.empty()) << json;
    }
}

// What one front end stores, the other reads back from the file.
TEST_F(LibraryPreferencesTest, StoredValuesReadBackAndEmptyOnesRemoveTheirKeys) {
    {
        PreferencesStore preferences(file);
        LibraryPreferences::store(preferences, std::filesystem::path("/mnt/music"),
                                  {{"file:///Users/a/", "/mnt/a/"}, {"C:/M", "/mnt/b"}});
    }
    {
        PreferencesStore preferences(file);
        EXPECT_EQ(LibraryPreferences::musicFolder(preferences),
                  std::filesystem::path("/mnt/music"));
        EXPECT_EQ(pairsOf(LibraryPreferences::pathMap(preferences)),
                  (Pairs{{"file:///Users/a/", "/mnt/a/"}, {"C:/M", "/mnt/b"}}));
        LibraryPreferences::store(preferences, std::filesystem::path(), {});
    }
    const PreferencesStore preferences(file);
    EXPECT_FALSE(preferences.contains("MusicFolder"));
    EXPECT_FALSE(preferences.contains("PathMap"));
}

}  // namespace
}  // namespace kelvara
