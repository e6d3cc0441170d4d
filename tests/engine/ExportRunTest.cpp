#include <sys/stat.h>
#include <unistd.h>

#include "ExportFixture.h"
#include "platform/AtomicFile.h"

namespace kelvara::test {
namespace {

using Lines = std::vector<std::string>;
const std::string kStars(65, '*'), kHyphens(77, '-'), kEquals(56, '=');

class ExportRun : public ExportFixture {};

TEST_F(ExportRun, PlaylistRunWritesTreePlaylistFileAndTheLogInOrder) {
    const Artist& lowtide = artist("Lowtide");
    const Album& hours = album("Blue Hours", std::string("Lowtide"));
    const MediaItem& a = song("Intro", &lowtide, &hours, "01 Intro.mp3", "AAAA", 1);
    const MediaItem& b = song("Dusk", nullptr, &hours, "02 Dusk.mp3", "BBBB", 2);
    options.setSaveM3uWithFiles(false);
    auto m = manager();
    m->setFileNameFormatType(NamePattern::NumberTitle);
    ASSERT_EQ(runPlaylists(*m, {playlist("Road Trip", {&b, &a})}), RunEnding::Finished);

    EXPECT_EQ(tree(),
              (Lines{"Road Trip.m3u", "Road Trip/001 Dusk.mp3", "Road Trip/002 Intro.mp3"}));
    EXPECT_EQ(readFile(out / "Road Trip/002 Intro.mp3"), "AAAA");
    EXPECT_EQ(readFile(out / "Road Trip.m3u"),
              "#EXTINF:239,Dusk\nRoad Trip/001 Dusk.mp3\n#EXTINF:239,Intro - Lowtide\nRoad "
              "Trip/002 Intro.mp3\n");
    EXPECT_EQ(ui.lines,
              (Lines{"Starting export:", kStars, "Export options:", "No conversion",
                     "Export location: " + out.string(), "Music files structure: Playlist folder",
                     "Encoding: UTF8", "Export music files and playlist file (m3u)", kStars,
                     "Exporting playlist: Road Trip", kHyphens, "Exporting song: 02 Dusk.mp3",
                     "Exporting song: 01 Intro.mp3",
                     "Saving playlist file to " + (out / "Road Trip.m3u").string() + ":", kHyphens,
                     "Removing hidden files...", kEquals, "Export Finished", kEquals}));
    EXPECT_EQ(ui.notifications, (Lines{"Kelvara: Export completed successfully!"}));
    EXPECT_EQ(ui.opened, (std::vector<std::filesystem::path>{out}));
    EXPECT_EQ(ui.inhibitBegun, 1);
    EXPECT_EQ(ui.inhibitEnded, 1);
    EXPECT_EQ(ui.progressClosed, 1);
    EXPECT_EQ(m->handOnCount(), 2);
}

TEST_F(ExportRun, EverySongPathHandsOnExactlyOnceAndIssuesAreCounted) {
    const Artist& x = artist("X");
    const Album& al = album("Al");
    MediaItem& video = song("Clip", &x, &al, "clip.m4v");
    video.setIsVideo(true);
    MediaItem& unticked = song("Unticked", &x, &al, "u.mp3");
    unticked.setIsDRMProtected(true);  // unticked wins over DRM
    MediaItem& drm = song("Locked", &x, &al, "d.m4p");
    drm.setIsDRMProtected(true);
    MediaItem& cloud = song("Far", &x, &al, "");
    cloud.setIsCloud(true);
    const MediaItem& missing = song("Gone", &x, &al, "gone.mp3", "");
    const MediaItem& kept = song("Kept", &x, &al, "kept.mp3");
    const MediaItem& blocked = song("Blocked", &x, &al, "blocked.mp3");
    MediaItem& unreadable = song("Folder", &x, &al, "folder.mp3", "");
    std::filesystem::create_directories(
        dir / "music/folder.mp3");  // exists, but cannot be read as a file
    const MediaItem& fine = song("Fine", &x, &al, "fine.mp3", "FINE");
    const Playlist* list = playlist(
        "Mixed", {&video, &unticked, &drm, &cloud, &missing, &kept, &blocked, &unreadable, &fine});
    preferences.setObject(std::to_string(list->persistentID()),
                          nlohmann::json::array({unticked.persistentID()}));

    writeFile(out / "Mixed/kept.mp3", "OLD");
    std::filesystem::create_directories(out / "Mixed/blocked.mp3/inside");  // cannot be replaced
    options.setSkipIfExists(false);
    auto m = manager();
    ASSERT_EQ(runPlaylists(*m, {list}), RunEnding::Finished);

    EXPECT_EQ(m->handOnCount(), 9);
    EXPECT_EQ(m->handOnViolations(), 0);
    EXPECT_EQ(readFile(out / "Mixed/kept.mp3"), "audio");
    EXPECT_EQ(readFile(out / "Mixed/fine.mp3"), "FINE");
    ASSERT_EQ(ui.issues.size(), 6u);
    EXPECT_EQ(ui.issues[0], "Cannot export song \"Locked\": File is DRM protected.");
    EXPECT_EQ(ui.issues[1], "Cannot export song \"Far\": File is in iCloud.");
    EXPECT_EQ(ui.issues[2], "Cannot export song \"Gone\": File does not exist");
    EXPECT_EQ(ui.issues[3].rfind(
                  "Delete error: Cannot remove " + (out / "Mixed/blocked.mp3").string() + ": ", 0),
              0u);
    EXPECT_EQ(ui.issues[4].rfind("Cannot read " + (dir / "music/folder.mp3").string() + ": ", 0),
              0u);
    EXPECT_EQ(ui.issues[5], "Export Finished with 5 issues");
    EXPECT_EQ(m->errorCount(), 6);
    EXPECT_TRUE(ui.logged("Will not export song \"Unticked\": Unchecked by the user."));
    EXPECT_EQ(ui.notifications, (Lines{"Kelvara: Export completed with 5 issues"}));
    // Songs passed over by their status are not listed; failed ones are.
    EXPECT_EQ(readFile(out / "Mixed/Mixed.m3u"),
              "#EXTINF:239,Kept - X\nkept.mp3\n#EXTINF:239,Blocked - X\nblocked.mp3\n"
              "#EXTINF:239,Folder - X\nfolder.mp3\n#EXTINF:239,Fine - X\nfine.mp3\n");
}

TEST_F(ExportRun, AnItemChangeShowsAlbumsOnTheSheetBeforeTheLogAndPlaylistsAfterIt) {
    const Artist& x = artist("X");
    const Album& first = album("First", std::string("X"));
    const Album& second = album("Second", std::string("X"));
    const MediaItem& a = song("A", &x, &first, "a.mp3");
    const MediaItem& b = song("B", &x, &second, "b.mp3");
    auto itemChange = [&](const std::string& heading) {
        // The events from the last song's line up to the next song's line.
        const auto from =
            std::find(ui.events.begin(), ui.events.end(), "log Exporting song: a.mp3");
        const auto to = std::find(ui.events.begin(), ui.events.end(), "log Exporting song: b.mp3");
        EXPECT_NE(std::find(from, to, "log " + heading), to);
        std::vector<std::string> between;
        for (auto it = from + 1; it != to; ++it)
            if (!it->starts_with("log Saving playlist file")) between.push_back(*it);
        return between;
    };

    ASSERT_EQ(runPlaylists(*manager(), {playlist("One", {&a}), playlist("Two", {&b})}),
              RunEnding::Finished);
    EXPECT_EQ(itemChange("Exporting playlist: Two"),
              (Lines{"log " + kHyphens, "log Exporting playlist: Two", "log " + kHyphens,
                     "maximum 1", "message Exporting playlist: Two"}));

    ui.events.clear();
    ASSERT_EQ(runAlbums(*manager(), {albumRecord("First", std::string("X"), &first, {&a}),
                                     albumRecord("Second", std::string("X"), &second, {&b})}),
              RunEnding::Finished);
    // The step then shows the album again with each of its songs.
    EXPECT_EQ(itemChange("Exporting album: Second"),
              (Lines{"maximum 1", "message Exporting album: Second", "log " + kHyphens,
                     "log Exporting album: Second", "log " + kHyphens, "maximum 1",
                     "message Exporting album: Second"}));
}

}  // namespace
}  // namespace kelvara::test
