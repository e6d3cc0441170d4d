#include <gtest/gtest.h>

#include "library/LocationMapper.h"
#include "library/MediaLibraryReader.h"
#include "platform/UnicodeText.h"
#include "support/TestSupport.h"

namespace kelvara {
namespace {

std::optional<std::string> decode(std::string_view url) {
    return LocationMapper::pathFromFileURL(url);
}

TEST(LocationMapper, DecodesFileUrlsOnce) {
    EXPECT_EQ(decode("file://localhost/Users/a/Music/01%20Song.mp3"), "/Users/a/Music/01 Song.mp3");
    EXPECT_EQ(decode("file:///Users/a/Music/01%20Song.mp3"), "/Users/a/Music/01 Song.mp3");
    EXPECT_EQ(decode("FILE://LOCALHOST/x"), "/x");
    // UTF-8 escapes, either case of hex digits.
    EXPECT_EQ(decode("file:///M%C3%BAsica/%ce%a3%CE%B5/%E6%97%A5.mp3"), "/Música/Σε/日.mp3");
    // Exactly once: an escaped percent stays a percent; plus is a plus, not a space.
    EXPECT_EQ(decode("file:///100%2520off/a+b.mp3"), "/100%20off/a+b.mp3");
    EXPECT_EQ(decode("file:///Rock%20%26%20Roll/%23%3F.mp3"), "/Rock & Roll/#?.mp3");
    // Broken escapes are kept as written.
    EXPECT_EQ(decode("file:///50%/a%zzb%4"), "/50%/a%zzb%4");
}

TEST(LocationMapper, WindowsAndNetworkLocations) {
    EXPECT_EQ(decode("file://localhost/C:/Users/Emile/Music/a%20b.mp3"),
              "C:/Users/Emile/Music/a b.mp3");
    EXPECT_EQ(decode("file:///D:/Music/x.mp3"), "D:/Music/x.mp3");
    EXPECT_EQ(decode("file://nas/share/Music/x%20y.mp3"), "//nas/share/Music/x y.mp3");
}

TEST(LocationMapper, OnlyFileUrlsGiveAPath) {
    EXPECT_FALSE(decode("http://radio.example/stream.mp3"));
    EXPECT_FALSE(decode("https://x/y.m4a"));
    EXPECT_FALSE(decode("/Users/a/x.mp3"));
    EXPECT_FALSE(decode(""));
    LocationMapper mapper(std::nullopt, {});
    EXPECT_TRUE(mapper.map("http://radio.example/stream.mp3").empty());
}

TEST(LocationMapper, MusicFolderThenMappingsInOrderOnWholeComponents) {
    LibraryOpenOptions options;
    options.musicFolder = "/home/me/Music/";
    options.mappings = {{"file:///Users/demo/Other%20Disk/", "/media/other"},
                        {"/Users/demo", "/home/me/demo"},
                        {"/Users/demo/Music/iTunes", "/never"}};
    LocationMapper mapper(std::string("file:///Users/demo/Music/iTunes/iTunes%20Media/"), options);
    EXPECT_EQ(mapper.map("file:///Users/demo/Music/iTunes/iTunes%20Media/Music/a.mp3"),
              "/home/me/Music/Music/a.mp3");
    EXPECT_EQ(mapper.map("file:///Users/demo/Other%20Disk/b.mp3"), "/media/other/b.mp3");
    EXPECT_EQ(mapper.map("file:///Users/demo/Music/iTunes/c.mp3"),
              "/home/me/demo/Music/iTunes/c.mp3");
    // "/Users/demo" is no prefix of "/Users/demo2".
    EXPECT_EQ(mapper.map("file:///Users/demo2/d.mp3"), "/Users/demo2/d.mp3");
    EXPECT_EQ(mapper.map("file:///elsewhere/e.mp3"), "/elsewhere/e.mp3");
}

TEST(LocationMapper, WindowsPrefixesIgnoreCase) {
    LibraryOpenOptions options;
    options.musicFolder = "/mnt/win";
    LocationMapper mapper(
        std::string("file://localhost/C:/Users/Emile/Music/iTunes/iTunes%20Media/"), options);
    EXPECT_EQ(mapper.map("file://localhost/c:/users/emile/Music/iTunes/iTunes%20Media/Music/x.mp3"),
              "/mnt/win/Music/x.mp3");
}

TEST(LocationMapper, PrefixesMatchInEitherUnicodeForm) {
    const std::string composed = "/Users/Zoë/Música";
    LibraryOpenOptions options;
    options.mappings = {{composed, "/srv/m"}};
    LocationMapper mapper(std::nullopt, options);
    EXPECT_EQ(mapper.mapPath(toNFD(composed) + "/a.mp3"), "/srv/m/a.mp3");
    EXPECT_EQ(mapper.mapPath(composed + "/a.mp3"), "/srv/m/a.mp3");
}

TEST(LocationMapper, LocationFindsDecomposedMacNamesOnDisk) {
    // The Mac wrote "Beyoncé" decomposed; the copy on this disk has it composed.
    test::TempDir dir;
    const std::string composedName = "Beyonc\xC3\xA9.mp3";
    test::writeFile(dir / composedName, "x");
    const std::string xml = test::libraryXml(
        test::trackXml(
            1, "<key>Location</key><string>file:///Users/demo/Music/Beyonce\xCC\x81.mp3</string>") +
            test::trackXml(2,
                           "<key>Location</key><string>file:///Users/demo/Music/gone.mp3</string>"),
        "", "<key>Music Folder</key><string>file:///Users/demo/Music/</string>");
    LibraryOpenOptions options;
    options.musicFolder = dir.path();
    auto read = MediaLibraryReader(options).readText(xml, "t.xml");
    ASSERT_TRUE(read.ok()) << read.message();
    const auto& library = *read;
    const MediaItem& found = *library->allMediaItems()[0];
    EXPECT_EQ(found.mappedPath(), dir.path() / "Beyonce\xCC\x81.mp3");
    ASSERT_TRUE(found.location());
    EXPECT_EQ(*found.location(), dir.path() / composedName);
    const MediaItem& missing = *library->allMediaItems()[1];
    EXPECT_EQ(missing.mappedPath(), dir.path() / "gone.mp3");
    EXPECT_FALSE(missing.location());
}

}  // namespace
}  // namespace kelvara
