#include <gtest/gtest.h>

#include "engine/M3uPlaylist.h"
#include "library/MediaLibrary.h"

namespace kelvara::test {
namespace {

// Where an item's playlist file lies and how its path line names the song, for every folder
// layout, run type, "SaveM3uWithFiles" and path style. The location is the playlist file's folder
// relative to the destination ("" is the destination itself).
TEST(M3uPlaylist, PlacesTheFileAndWritesPathLinesAlikeInEveryLayout) {
    struct Case {
        bool album;
        int layout;
        bool withFiles;
        const char *location, *slashLine, *backslashLine;
    };
    const Case cases[] = {
        {false, 0, true, "Mix", "f.mp3", "f.mp3"},
        {false, 0, false, "", "Mix/f.mp3", "Mix\\f.mp3"},
        {false, 1, true, "", "Music/Lowtide/Blue Hours/f.mp3", "Music\\Lowtide\\Blue Hours\\f.mp3"},
        {false, 1, false, "", "Music/Lowtide/Blue Hours/f.mp3",
         "Music\\Lowtide\\Blue Hours\\f.mp3"},
        {false, 2, true, "Music", "f.mp3", "f.mp3"},
        {false, 2, false, "", "Music/f.mp3", "Music\\f.mp3"},
        {false, 3, true, "", "f.mp3", "f.mp3"},
        {false, 3, false, "", "f.mp3", "f.mp3"},
        {false, 4, true, "", "Lowtide/Blue Hours/f.mp3", "Lowtide\\Blue Hours\\f.mp3"},
        {false, 4, false, "", "Lowtide/Blue Hours/f.mp3", "Lowtide\\Blue Hours\\f.mp3"},
        {true, 0, true, "Mix", "f.mp3", "f.mp3"},
        {true, 0, false, "", "Mix/f.mp3", "Mix\\f.mp3"},
        {true, 1, true, "Music/Lowtide/Blue Hours", "f.mp3", "f.mp3"},
        {true, 1, false, "", "Music/Lowtide/Blue Hours/f.mp3", "Music\\Lowtide\\Blue Hours\\f.mp3"},
        {true, 2, true, "Music", "f.mp3", "f.mp3"},
        {true, 2, false, "", "Music/f.mp3", "Music\\f.mp3"},
        {true, 3, true, "", "f.mp3", "f.mp3"},
        {true, 3, false, "", "f.mp3", "f.mp3"},
        {true, 4, true, "Lowtide/Blue Hours", "f.mp3", "f.mp3"},
        {true, 4, false, "", "Lowtide/Blue Hours/f.mp3", "Lowtide\\Blue Hours\\f.mp3"},
    };
    // The song's folder each layout gives (layout 0: the item's own folder).
    const char* songFolders[] = {"Mix", "Music/Lowtide/Blue Hours", "Music", "",
                                 "Lowtide/Blue Hours"};
    MediaItem song;
    song.setTitle(std::string("Intro"));
    for (const Case& c : cases) {
        for (const bool windows : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "album " << c.album << " layout " << c.layout << " with files "
                         << c.withFiles << " windows " << windows);
            M3uPlaylist::Options options;
            options.layout = storedOption<FolderLayout>(c.layout);
            options.albumRun = c.album;
            options.saveWithFiles = c.withFiles;
            options.windowsPaths = windows;
            const std::string songFolder = songFolders[c.layout];
            const M3uPlaylist::Placement placement = M3uPlaylist::place(options, songFolder);
            EXPECT_EQ(placement.inSongFolder ? songFolder : "", c.location);
            M3uPlaylist playlist(options);
            playlist.addSong(song, songFolder, "f.mp3");
            EXPECT_EQ(playlist.contents(), std::string("#EXTINF:0,Intro\n") +
                                               (windows ? c.backslashLine : c.slashLine) + "\n");
        }
    }
}

// Every line ends alike, the last included; the text is reduced to the chosen character set.
TEST(M3uPlaylist, WritesLineEndingsAndCharacterSetAsChosen) {
    MediaLibrary library;
    Artist& artist = library.addArtist();
    artist.setName(std::string("Zoë\nKeys"));
    MediaItem& song = library.addMediaItem();
    song.setTitle(std::string("Café"));
    song.setArtist(&artist);
    song.setTotalTime(239999);
    M3uPlaylist::Options options;
    options.layout = FolderLayout::Root;
    options.lineEnding = LineEnding::CrLf;
    options.encoding = PlaylistEncoding::Ascii;
    M3uPlaylist playlist(options);
    playlist.addSong(song, "", "Cafe.mp3");
    playlist.addSong(song, "", "Cafe.mp3");
    const std::string entry = "#EXTINF:239,Cafe - Zoe Keys\r\nCafe.mp3\r\n";
    EXPECT_EQ(playlist.contents(), entry + entry);
    playlist.clear();
    EXPECT_EQ(playlist.contents(), "");
}

}  // namespace
}  // namespace kelvara::test
