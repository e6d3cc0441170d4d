#include <gtest/gtest.h>

#include <thread>

#include "engine/KvrUserOptions.h"
#include "support/TestSupport.h"

using namespace kelvara;
using kelvara::test::TempDir;

namespace {

KvrUserOptions load(const std::string& json) {
    TempDir dir;
    kelvara::test::writeFile(dir / "preferences.json", json);
    PreferencesStore store(dir / "preferences.json");
    return KvrUserOptions::loadFrom(store);
}

}  // namespace

TEST(KvrUserOptions, EmptyStoreGivesTheDefaults) {
    const KvrUserOptions o = load("{}");
    EXPECT_EQ(o.filesSaveToFolder(), FolderLayout::PlaylistFolder);
    EXPECT_TRUE(o.saveM3uWithFiles());
    EXPECT_FALSE(o.windowsPaths());
    EXPECT_TRUE(o.dontConvertSameType());
    EXPECT_TRUE(o.skipIfExists());
    EXPECT_EQ(o.lineEnding(), LineEnding::Lf);
    EXPECT_EQ(o.algorithm(), Mp3Algorithm::Standard);
    EXPECT_EQ(o.lameQuality(), 5);
    EXPECT_EQ(o.tracksOrder(), TrackOrder::PlaylistOrder);
    EXPECT_TRUE(o.orderAscending());
    EXPECT_EQ(o.playlistEncoding(), PlaylistEncoding::Utf8);
    EXPECT_TRUE(o.deleteHiddenFiles());
    EXPECT_FALSE(o.dontConvertLossyFormats());
}

TEST(KvrUserOptions, OutOfRangeValuesFallBackAsTheLoaderDefines) {
    EXPECT_EQ(load(R"({"OrginizeFilesOption": 7})").filesSaveToFolder(),
              FolderLayout::PlaylistFolder);
    EXPECT_EQ(load(R"({"OrginizeFilesOption": 4})").filesSaveToFolder(),
              FolderLayout::RootArtistAlbum);
    EXPECT_EQ(load(R"({"OrginizeFilesOption": -1})").filesSaveToFolder(),
              FolderLayout::PlaylistFolder);
    EXPECT_EQ(load(R"({"PlaylistEncoding": 3})").playlistEncoding(), PlaylistEncoding::Utf8);
    EXPECT_EQ(load(R"({"PlaylistEncoding": "2"})").playlistEncoding(), PlaylistEncoding::Ascii);
    EXPECT_EQ(load(R"({"Algorithm": 0})").lameQuality(), 2);
    EXPECT_EQ(load(R"({"Algorithm": 2})").lameQuality(), 7);
    EXPECT_EQ(load(R"({"Algorithm": 9})").lameQuality(), 7);
    // Cut to 32 bits: 2^32 + 3 reads as 3.
    EXPECT_EQ(load(R"({"TracksOrder": 4294967299})").tracksOrder(), TrackOrder::Album);
    // Values without a meaning of their own: the playlist's order, LF.
    EXPECT_EQ(load(R"({"TracksOrder": 9})").tracksOrder(), TrackOrder::PlaylistOrder);
    EXPECT_EQ(load(R"({"LineEnding": 2})").lineEnding(), LineEnding::Lf);
}

TEST(KvrUserOptions, NumbersNoIntegerCanHoldTakeTheDefault) {
    EXPECT_EQ(load(R"({"Algorithm": 1e300})").algorithm(), Mp3Algorithm::Standard);
    EXPECT_EQ(load(R"({"Algorithm": "nan"})").algorithm(), Mp3Algorithm::Standard);
    EXPECT_EQ(load(R"({"LineEnding": -1e300})").lineEnding(), LineEnding::Lf);
    EXPECT_EQ(load(R"({"TracksOrder": "1e19"})").tracksOrder(), TrackOrder::PlaylistOrder);
    EXPECT_EQ(load(R"({"OrginizeFilesOption": 18446744073709551617e0})").filesSaveToFolder(),
              FolderLayout::PlaylistFolder);
    EXPECT_TRUE(load(R"({"SkipIfExists": "nan"})").skipIfExists());
    EXPECT_FALSE(load(R"({"WindowsPaths": "nan"})").windowsPaths());
}

TEST(KvrUserOptions, BooleansReadFromNumbersAndNumericText) {
    EXPECT_FALSE(load(R"({"SkipIfExists": 0})").skipIfExists());
    EXPECT_FALSE(load(R"({"SkipIfExists": "0"})").skipIfExists());
    EXPECT_TRUE(load(R"({"WindowsPaths": "1"})").windowsPaths());
    EXPECT_TRUE(load(R"({"WindowsPaths": 1})").windowsPaths());
    EXPECT_TRUE(load(R"({"DontConvertLossyFormats": true})").dontConvertLossyFormats());
}

TEST(KvrUserOptions, SavedOptionsLoadBackUnchanged) {
    TempDir dir;
    PreferencesStore store(dir / "preferences.json");
    KvrUserOptions o;
    o.setFilesSaveToFolder(FolderLayout::MusicFolder);
    o.setSaveM3uWithFiles(false);
    o.setWindowsPaths(true);
    o.setSkipIfExists(false);
    o.setLineEnding(LineEnding::CrLf);
    o.setAlgorithm(Mp3Algorithm::BestQuality);
    o.setTracksOrder(TrackOrder::Shuffle);
    o.setOrderAscending(false);
    o.setPlaylistEncoding(PlaylistEncoding::Ascii);
    o.setDeleteHiddenFiles(false);
    o.setDontConvertLossyFormats(true);
    o.saveTo(store);
    EXPECT_EQ(store.objectForKey("SkipIfExists"), nlohmann::json(0));
    const KvrUserOptions back = KvrUserOptions::loadFrom(store);
    EXPECT_EQ(back.filesSaveToFolder(), FolderLayout::MusicFolder);
    EXPECT_FALSE(back.saveM3uWithFiles());
    EXPECT_TRUE(back.windowsPaths());
    EXPECT_FALSE(back.skipIfExists());
    EXPECT_EQ(back.lineEnding(), LineEnding::CrLf);
    EXPECT_EQ(back.algorithm(), Mp3Algorithm::BestQuality);
    EXPECT_EQ(back.tracksOrder(), TrackOrder::Shuffle);
    EXPECT_FALSE(back.orderAscending());
    EXPECT_EQ(back.playlistEncoding(), PlaylistEncoding::Ascii);
    EXPECT_FALSE(back.deleteHiddenFiles());
    EXPECT_TRUE(back.dontConvertLossyFormats());
}

TEST(KvrUserOptions, SharedOptionsAreMadeOnceUnderConcurrentFirstCalls) {
    TempDir dir;
    PreferencesStore::useDirectory(dir.path());
    KvrUserOptions::resetSharedOptions();
    std::vector<const KvrUserOptions*> seen(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = &KvrUserOptions::shareOptions(); });
    for (auto& thread : threads) thread.join();
    for (const auto* options : seen) EXPECT_EQ(options, seen.front());
}
