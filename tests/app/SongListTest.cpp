#include <QCheckBox>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>

#include "app/AlbumPage.h"
#include "app/KvrTableView.h"
#include "app/MainWindowFixture.h"
#include "app/PlaylistPage.h"
#include "app/PlaylistTableModel.h"
#include "app/SongListView.h"
#include "app/StatusDisplay.h"

namespace {

class SongListTest : public MainWindowFixture {
  protected:
    SongListView* songs() { return window->playlistPage()->songList(); }
    SongTableModel* model() { return songs()->model(); }
    StatusDisplay* status() { return window->statusDisplay(); }
    void tickSong(int row, bool checked) {
        model()->setData(model()->index(row, model()->columnOf("checked")),
                         checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    }
    std::vector<std::uint64_t> uncheckedList() {
        return settings().numberArrayForKey(std::to_string(persistentNumber(100)));
    }
    QAction* menuEntry(QMenu* menu, const QString& text) {
        for (QAction* action : menu->actions())
            if (action->text() == text) return action;
        return nullptr;
    }
    // The warning of the last load, once the event loop has shown it.
    QMessageBox* warning() {
        QTest::qWait(10);
        return songs()->openWarning();
    }
};

TEST_F(SongListTest, ChooseModeKeepsTheUncheckedSongsPerPlaylistAndAllSongsForgetsThem) {
    ASSERT_TRUE(open(writeLibrary(
        {{"One", "A", "X", 60000}, {"Two", "A", "X", 120000}, {"Three", "A", "X", 1000}},
        {{"Mix", {0, 1, 2}}})));
    const int check = model()->columnOf("checked");
    EXPECT_TRUE(songs()->table()->isColumnHidden(check))
        << "the all-songs mode has no check column";
    EXPECT_EQ(status()->songsLine(), "Playlist Songs: 3");

    QTest::mouseClick(songs()->chooseSongsButton(), Qt::LeftButton);
    EXPECT_FALSE(songs()->table()->isColumnHidden(check));
    EXPECT_EQ(
        settings().boolMapForKey("SongsSelectionOption")[std::to_string(persistentNumber(100))],
        true);

    tickSong(1, false);
    EXPECT_EQ(uncheckedList(), std::vector<std::uint64_t>{persistentNumber(2)});
    EXPECT_EQ(status()->songsLine(), "Playlist Songs: 2");
    EXPECT_EQ(status()->timeLine(), "Total Time: 01:01");

    // The mode and the unticked song come back with the next load.
    ASSERT_TRUE(reload());
    EXPECT_TRUE(songs()->chooseSongsButton()->isChecked());
    EXPECT_FALSE(model()->isChecked(1));
    EXPECT_TRUE(model()->isChecked(0));

    songs()->uncheckAll();
    EXPECT_EQ(uncheckedList().size(), 4u) << "an ID already listed is appended again";
    EXPECT_EQ(status()->songsLine(), "Playlist Songs: 0");
    tickSong(1, true);
    EXPECT_EQ(uncheckedList(),
              (std::vector<std::uint64_t>{persistentNumber(1), persistentNumber(3)}))
        << "ticking removes every copy";
    songs()->checkAll();
    EXPECT_FALSE(settings().contains(std::to_string(persistentNumber(100))));
    EXPECT_EQ(status()->songsLine(), "Playlist Songs: 3");

    tickSong(0, false);
    QTest::mouseClick(songs()->allSongsButton(), Qt::LeftButton);
    EXPECT_TRUE(songs()->table()->isColumnHidden(check));
    EXPECT_FALSE(settings().contains(std::to_string(persistentNumber(100))));
    EXPECT_EQ(status()->songsLine(), "Playlist Songs: 3");
    QTest::mouseClick(songs()->chooseSongsButton(), Qt::LeftButton);
    EXPECT_TRUE(model()->isChecked(0)) << "back in the choose mode every song is ticked";
}

TEST_F(SongListTest, VideosAreLeftOutAndTheRowMenuOffersTicksOnlyInTheChooseMode) {
    ASSERT_TRUE(
        open(writeLibrary({{"Song"}, {"Clip", "A", "X", 1000, true, "<key>Has Video</key><true/>"}},
                          {{"Mix", {0, 1}}})));
    EXPECT_EQ(model()->rowCount(), 1);
    QMenu* menu =
        songs()->table()->openRowMenu(songs()->table()->visualRect(model()->index(0, 1)).center());
    ASSERT_EQ(menu, songs()->rowMenu());
    EXPECT_FALSE(menuEntry(menu, "Tick All")->isVisible());
    EXPECT_TRUE(menuEntry(menu, "Show in File Manager")->isEnabled());
    menu->hide();
    QTest::mouseClick(songs()->chooseSongsButton(), Qt::LeftButton);
    menu =
        songs()->table()->openRowMenu(songs()->table()->visualRect(model()->index(0, 1)).center());
    EXPECT_TRUE(menuEntry(menu, "Tick All")->isVisible());
    menuEntry(menu, "Untick")->trigger();
    EXPECT_FALSE(model()->isChecked(0));
    menu->hide();
}

TEST_F(SongListTest, UnexportableRowsAreRedWithTheirReason) {
    ASSERT_TRUE(open(writeLibrary(
        {{"Fine", "Ann"},
         {"Gone", "Ann", "X", 1000, false},
         {"Locked", "Ann", "X", 1000, true, "<key>Protected</key><true/>"},
         {"Remote", "Ann", "X", 1000, false, "<key>Track Type</key><string>Remote</string>"}},
        {{"Mix", {0, 1, 2, 3}}})));
    if (QMessageBox* box = warning()) box->close();
    const int title = model()->columnOf("title");
    auto tip = [&](int row) {
        return model()->data(model()->index(row, title), Qt::ToolTipRole).toString();
    };
    auto red = [&](int row) {
        return model()->data(model()->index(row, title), Qt::ForegroundRole).isValid();
    };
    EXPECT_FALSE(red(0));
    EXPECT_EQ(tip(0), "Ann - Fine");
    EXPECT_TRUE(red(1));
    EXPECT_EQ(tip(1), "Music file does not exist or has been removed.");
    EXPECT_TRUE(red(2));
    EXPECT_EQ(tip(2), "Music file is DRM protected, Cannot export DRM protected files.");
    EXPECT_TRUE(red(3));
    EXPECT_EQ(tip(3), "Music file is in cloud. To export this file download it from iTunes.");

    // A song without a file cannot be revealed: the alert says so.
    songs()->table()->selectRow(1);
    songs()->revealInFinder();
    QTest::qWait(10);
    bool alerted = false;
    for (QMessageBox* box : window->findChildren<QMessageBox*>())
        if (box->isVisible() && box->text() == "Music file does not exist or has been removed.") {
            alerted = true;
            EXPECT_EQ(box->windowModality(), Qt::WindowModal);
            box->close();
        }
    EXPECT_TRUE(alerted);
}

TEST_F(SongListTest, CloudAndDrmWarningsShowOncePerLoadUntilSuppressed) {
    ASSERT_TRUE(open(writeLibrary(
        {{"Locked", "A", "X", 1000, true, "<key>Protected</key><true/>"},
         {"Remote", "A", "X", 1000, false, "<key>Track Type</key><string>Remote</string>"}},
        {{"Drm", {0, 1}}, {"Cloud", {1, 0}}})));
    QMessageBox* box = warning();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "DRM protected songs (red color)");
    EXPECT_EQ(box->checkBox()->text(), "Do not show this message again");
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    box->checkBox()->setChecked(true);
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    EXPECT_EQ(settings().boolForKey("ViewAgainDRMMessage"), false);

    window->playlistPage()->table()->selectRow(1);
    box = warning();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Cloud songs (red color)");
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    EXPECT_EQ(settings().boolForKey("ViewAgainiCloudMessage"), true);

    window->playlistPage()->table()->selectRow(0);
    EXPECT_EQ(warning(), nullptr) << "the DRM warning was suppressed";
    EXPECT_TRUE(
        model()->data(model()->index(0, model()->columnOf("title")), Qt::ForegroundRole).isValid());
}

TEST_F(SongListTest, HeaderMenuShowsAndHidesColumns) {
    ASSERT_TRUE(open(writeLibrary({{"One"}}, {{"Mix", {0}}})));
    QTest::mouseClick(songs()->chooseSongsButton(), Qt::LeftButton);
    KvrTableView* table = songs()->table();
    QMenu* menu = songs()->headerMenu();
    Q_EMIT menu->aboutToShow();
    QAction* composer = menuEntry(menu, "Composer");
    ASSERT_NE(composer, nullptr);
    EXPECT_FALSE(composer->isChecked());
    int entries = 0;
    for (QAction* action : menu->actions()) entries += action->isCheckable();
    EXPECT_EQ(entries, model()->columnCount() - 1)
        << "every column but the check column has an entry";
    composer->trigger();
    EXPECT_FALSE(table->isColumnHidden(model()->columnOf("composer")));

    menuEntry(menu, "Hide All")->trigger();
    for (int column = 0; column < model()->columnCount(); ++column) {
        const QString id = model()->columnIdentifiers()[column];
        EXPECT_EQ(table->isColumnHidden(column), id != "title" && id != "checked")
            << id.toStdString();
    }
    menuEntry(menu, "Show All")->trigger();
    for (int column = 0; column < model()->columnCount(); ++column)
        EXPECT_FALSE(table->isColumnHidden(column));
}

TEST_F(SongListTest, AlbumSongsComeInDiscThenTrackOrderAndCountEverySong) {
    auto disc = [](int d, int t) {
        return "<key>Disc Number</key><integer>" + std::to_string(d) +
               "</integer><key>Track Number</key><integer>" + std::to_string(t) + "</integer>";
    };
    ASSERT_TRUE(open(writeLibrary({{"D2T1", "A", "Two Discs", 3000000, true, disc(2, 1)},
                                   {"D1T2", "A", "Two Discs", 300000, false, disc(1, 2)},
                                   {"D1T1", "A", "Two Discs", 300000, true, disc(1, 1)}},
                                  {{"Mix", {0}}})));
    window->selectAlbumsView();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->albumPage()->catalogue() != nullptr; }, 5000));
    QTest::qWait(20);
    SongTableModel* albumSongs = window->albumPage()->songList()->model();
    ASSERT_EQ(albumSongs->rowCount(), 3);
    const int title = albumSongs->columnOf("albumTitle");
    EXPECT_EQ(albumSongs->columnOf("checked"), -1);
    std::vector<QString> order;
    for (int row = 0; row < 3; ++row)
        order.push_back(
            albumSongs->data(albumSongs->index(row, title), Qt::DisplayRole).toString());
    EXPECT_EQ(order, (std::vector<QString>{"D1T1", "D1T2", "D2T1"}));
    EXPECT_EQ(status()->songsLine(), "Album Songs: 3") << "red songs count too";
    EXPECT_EQ(status()->titleLine(), "Two Discs");
    EXPECT_EQ(status()->timeLine(), "Total Time: 1:00:00");
}

}  // namespace
