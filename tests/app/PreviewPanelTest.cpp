#include <gtest/gtest.h>

#include <QImage>
#include <QMainWindow>
#include <QTest>

#include "app/PreviewPanel.h"
#include "library/MediaItem.h"
#include "support/TestSupport.h"

namespace kelvara::test {
namespace {

class PreviewPanelTest : public ::testing::Test {
  protected:
    MediaItem& song(const std::string& file) {
        item.setTitle(std::string("Morning Light"));
        artist.setName(std::string("Aurora Fields"));
        album.setTitle(std::string("First Light"));
        item.setArtist(&artist);
        item.setAlbum(&album);
        item.setTotalTime(3'725'000);
        item.setMappedPath(dir / file);
        return item;
    }

    TempDir dir;
    Artist artist;
    Album album;
    MediaItem item;
    QMainWindow window;
};

TEST_F(PreviewPanelTest, ShowsTheSongWithTheCoverBesideItsFile) {
    writeFile(dir / "song.mp3", "not really audio");
    QImage cover(40, 20, QImage::Format_RGB32);
    cover.fill(Qt::red);
    ASSERT_TRUE(cover.save(QString::fromStdString((dir / "Cover.PNG").string())));

    PreviewPanel panel(&window);
    panel.showSong(&song("song.mp3"));
    EXPECT_EQ(panel.titleText(), "Morning Light");
    EXPECT_EQ(panel.detailsText(), "Aurora Fields\nFirst Light\n1:02:05");
    EXPECT_TRUE(panel.hasArtwork());
}

TEST_F(PreviewPanelTest, ASongWithoutFileOrArtworkStillShowsItsTexts) {
    PreviewPanel panel(&window);
    panel.showSong(&song("gone.mp3"));
    EXPECT_EQ(panel.titleText(), "Morning Light");
    EXPECT_FALSE(panel.hasArtwork());
}

TEST_F(PreviewPanelTest, OpensBesideTheWindowAndClosesWithSpaceOrEscape) {
    window.setGeometry(100, 100, 400, 300);
    window.show();
    PreviewPanel panel(&window);
    panel.showSong(&song("gone.mp3"));
    panel.togglePanelFor(&window);
    ASSERT_TRUE(panel.isVisible());
    EXPECT_FALSE(panel.geometry().intersects(window.frameGeometry()));
    QTest::keyClick(&panel, Qt::Key_Space);
    EXPECT_FALSE(panel.isVisible());

    panel.togglePanelFor(&window);
    ASSERT_TRUE(panel.isVisible());
    QTest::keyClick(&panel, Qt::Key_Escape);
    EXPECT_FALSE(panel.isVisible());

    // Toggling closes an open panel; no song hides and clears it.
    panel.togglePanelFor(&window);
    panel.togglePanelFor(&window);
    EXPECT_FALSE(panel.isVisible());
    panel.togglePanelFor(&window);
    panel.showSong(nullptr);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_TRUE(panel.titleText().isEmpty());
}

}  // namespace
}  // namespace kelvara::test
