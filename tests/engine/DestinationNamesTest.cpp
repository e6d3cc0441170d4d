#include <gtest/gtest.h>

#include "engine/DestinationNames.h"
#include "engine/FileNameRules.h"
#include "library/MediaLibrary.h"

namespace kelvara::test {
namespace {

using Names = std::vector<std::string>;

DestinationNames::Options albumRun(bool artistFolder) {
    DestinationNames::Options options;
    options.albumRun = true;
    options.artistFolder = artistFolder;
    return options;
}

// Items of one run never share a folder or a playlist file: names compare ignoring case, the
// playlist file name counts as well as the folder, and the number goes on the last level.
TEST(DestinationNames, ClaimNumbersItemsThatWouldShareAFolderOrPlaylistFile) {
    DestinationNames playlists({});
    const auto claim = [&](const std::string& name) {
        return playlists.claim(playlists.playlistItem(name)).path();
    };
    EXPECT_EQ(claim("Mix"), "Mix");
    EXPECT_EQ(claim("MIX"), "MIX (2)");
    EXPECT_EQ(claim("mix"), "mix (3)");
    EXPECT_EQ(claim("A/B"), "AB");
    EXPECT_EQ(claim("AB"), "AB (2)");
    EXPECT_EQ(claim(".."), "unknown");
    EXPECT_EQ(claim(""), "unknown (2)");

    DestinationNames albums(albumRun(true));
    const auto record = [&](OptionalText artist, const std::string& title) {
        return albums.claim(albums.albumItem(std::move(artist), title));
    };
    const DestinationNames::Item first = record(std::string("Low/tide"), "Blue: Hours");
    EXPECT_EQ(first.folderParent, std::optional<std::string>("Lowtide"));
    EXPECT_EQ(first.name, "Blue Hours");
    EXPECT_EQ(record(std::string("Lowtide"), "Blue Hours").path(), "Lowtide/Blue Hours (2)");
    // Its own folder is free, but "LowtideBlue Hours.m3u" and " (2).m3u" are taken above.
    EXPECT_EQ(record(std::string("LowtideBlue"), " Hours").path(), "LowtideBlue/ Hours (3)");
    EXPECT_EQ(albums.playlistFileName(record(std::nullopt, "Solo")), "Solo.m3u");
    EXPECT_EQ(record(std::nullopt, "").path(), "/unknown");

    DestinationNames flat(albumRun(false));
    EXPECT_EQ(flat.claim(flat.albumItem(std::string("Low/tide"), "Blue. Hours")).path(),
              "Lowtide - Blue Hours");
}

// A name so long that the number would not fit is shortened so that its playlist file still does.
TEST(DestinationNames, ClaimShortensOverlongNamesToMakeRoomForTheNumber) {
    DestinationNames names({});
    const std::string longName(300, 'x');
    EXPECT_EQ(names.claim(names.playlistItem(longName)).name, longName);
    const std::string second = names.claim(names.playlistItem(longName)).name;
    EXPECT_EQ(second, std::string(FileNameRules::kMaxNameBytes - 8, 'x') + " (2)");
    EXPECT_EQ(names.playlistFileName({std::nullopt, second}).size(), FileNameRules::kMaxNameBytes);
}

// The song folder of every layout; layout 0 is the item's own folder, two levels for an album
// named with the artist-folder option, and an empty level is left out.
TEST(DestinationNames, SongFoldersFollowTheLayout) {
    MediaLibrary library;
    Artist& artist = library.addArtist();
    artist.setName(std::string("Song Artist"));
    Album& album = library.addAlbum();
    album.setTitle(std::string(" ..Blue Hours "));
    album.setAlbumArtist(std::string("Low/tide"));
    album.setIsCompilation(true);
    MediaItem& song = library.addMediaItem();
    song.setArtist(&artist);
    song.setAlbum(&album);
    MediaItem& bare = library.addMediaItem();

    const auto folder = [&](DestinationNames::Options options, int layout, const MediaItem& item,
                            const DestinationNames::Item& name) {
        options.layout = storedOption<FolderLayout>(layout);
        return DestinationNames(options).songFolder(item, name);
    };
    const DestinationNames::Item mix{std::nullopt, "Mix"};
    EXPECT_EQ(folder({}, 0, song, mix), (Names{"Mix"}));
    EXPECT_EQ(folder({}, 1, song, mix), (Names{"Music", "Lowtide", "Blue Hours"}));
    EXPECT_EQ(folder({}, 2, song, mix), (Names{"Music"}));
    EXPECT_EQ(folder({}, 3, song, mix), (Names{}));
    EXPECT_EQ(folder({}, 4, song, mix), (Names{"Lowtide", "Blue Hours"}));
    EXPECT_EQ(folder({}, 4, bare, mix), (Names{"unknown", "unknown"}));
    EXPECT_EQ(folder(albumRun(false), 4, song, mix), (Names{"Various Artists", "Blue Hours"}));
    EXPECT_EQ(folder(albumRun(true), 0, song, {std::string("Lowtide"), "Blue Hours"}),
              (Names{"Lowtide", "Blue Hours"}));
    EXPECT_EQ(folder(albumRun(true), 0, song, {std::string(""), "Blue Hours"}),
              (Names{"Blue Hours"}));
}

}  // namespace
}  // namespace kelvara::test
