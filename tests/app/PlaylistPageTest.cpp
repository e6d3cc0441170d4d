#include <QAction>
#include <QLineEdit>
#include <QPushButton>

#include "app/AlbumPage.h"
#include "app/KvrTableView.h"
#include "app/MainWindowFixture.h"
#include "app/PlaylistPage.h"
#include "app/PlaylistTableModel.h"
#include "app/SongListView.h"
#include "app/StatusDisplay.h"

namespace {

class PlaylistPageTest : public MainWindowFixture {
  protected:
    void openFiveLists() {
        const std::vector<Song> songs = {{"One"}, {"Two"}, {"Three"}};
        ASSERT_TRUE(open(writeLibrary(songs, {{"Alpha", {0}},
                                              {"Béta", {0, 1}},
                                              {"Gamma", {2}},
                                              {"Music", {0, 1, 2}},
                                              {"Delta", {1}},
                                              {"Epsilon", {}}})));
    }
    PlaylistPage* page() { return window->playlistPage(); }
    PlaylistTableModel* model() { return page()->listModel(); }
    void click(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        KvrTableView* table = page()->table();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers,
                          table->visualRect(model()->index(row, 1)).center());
    }
    void tick(int row) {
        model()->setData(model()->index(row, 0), Qt::Checked, Qt::CheckStateRole);
    }
    std::vector<std::string> storedTicks() {
        return settings().stringArrayForKey("SelectedPlaylists");
    }
    std::vector<std::string> shownNames() {
        std::vector<std::string> names;
        for (int row = 0; row < model()->rowCount(); ++row)
            names.push_back(model()->playlist(row)->name());
        return names;
    }
};

TEST_F(PlaylistPageTest, TicksArePersistedByNameAndComeBackAfterAReload) {
    openFiveLists();
    EXPECT_EQ(shownNames(),
              (std::vector<std::string>{"Alpha", "Béta", "Gamma", "Delta", "Epsilon"}));
    tick(1);
    tick(3);
    EXPECT_EQ(storedTicks(), (std::vector<std::string>{"Béta", "Delta"}));

    window->action("reload")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isLoading(); }, 5000));
    QTest::qWait(20);
    EXPECT_FALSE(model()->isChecked(0));
    EXPECT_TRUE(model()->isChecked(1));
    EXPECT_TRUE(model()->isChecked(3));

    QTest::mouseClick(page()->unselectAllButton(), Qt::LeftButton);
    EXPECT_TRUE(storedTicks().empty());
    QTest::mouseClick(page()->selectAllButton(), Qt::LeftButton);
    EXPECT_EQ(storedTicks().size(), 5u);
}

TEST_F(PlaylistPageTest, ShiftClickTicksFromTheSelectedRowToTheClickedOneAndNeverUnticks) {
    openFiveLists();
    click(1);
    click(3, Qt::ShiftModifier);
    EXPECT_EQ(storedTicks(), (std::vector<std::string>{"Béta", "Gamma", "Delta"}));
    // Now row 3 is selected; a Shift-click above it ticks upwards and leaves the others ticked.
    click(0, Qt::ShiftModifier);
    EXPECT_EQ(storedTicks(), (std::vector<std::string>{"Alpha", "Béta", "Gamma", "Delta"}));
    click(4);
    EXPECT_FALSE(model()->isChecked(4)) << "a plain click selects without ticking";
}

TEST_F(PlaylistPageTest, TheRememberedSelectionComesBackAndAMissingOneFallsBackToTheFirstRow) {
    openFiveLists();
    click(2);
    EXPECT_EQ(settings().integerForKey("SelectedPlaylistID"), std::int64_t(persistentNumber(102)));
    EXPECT_EQ(window->statusDisplay()->titleLine(), "Gamma");

    ASSERT_TRUE(reload());
    EXPECT_EQ(page()->selectedRow(), 2);
    EXPECT_EQ(window->statusDisplay()->titleLine(), "Gamma");
    // The load's own selection is not mistaken for the user's: the last row is never stored.
    EXPECT_EQ(settings().integerForKey("SelectedPlaylistID"), std::int64_t(persistentNumber(102)));
    EXPECT_FALSE(page()->isFirstTime());

    settings().setInteger("SelectedPlaylistID", 12345);
    ASSERT_TRUE(reload());
    EXPECT_EQ(page()->selectedRow(), 0);
    EXPECT_EQ(window->statusDisplay()->titleLine(), "Alpha");
}

TEST_F(PlaylistPageTest, SearchNarrowsIgnoringCaseAndAccentsAndAnEmptiedFieldPersists) {
    openFiveLists();
    tick(0);
    QTest::keyClicks(page()->searchField(), "BET");
    EXPECT_EQ(shownNames(), (std::vector<std::string>{"Béta"}));
    tick(0);
    // Only what is shown is stored while the search is on ...
    EXPECT_EQ(storedTicks(), (std::vector<std::string>{"Béta"}));
    // ... and the hidden tick comes back when the field is emptied.
    page()->searchField()->clear();
    EXPECT_EQ(storedTicks(), (std::vector<std::string>{"Alpha", "Béta"}));
    EXPECT_EQ(shownNames().size(), 5u);
}

TEST_F(PlaylistPageTest, FolderChildrenAreIndentedUnderTheirFolder) {
    const std::vector<Song> songs = {{"One"}, {"Two"}};
    ASSERT_TRUE(open(writeLibrary(
        songs, {{"Moods", {0, 1}, "<key>Folder</key><true/>"},
                {"Calm",
                 {0},
                 "<key>Parent Persistent ID</key><string>" + persistentID(100) + "</string>"}})));
    EXPECT_EQ(model()->data(model()->index(0, 0), Qt::DisplayRole).toString(), "Moods");
    EXPECT_EQ(model()->data(model()->index(1, 0), Qt::DisplayRole).toString(), "    Calm");
    EXPECT_EQ(model()->data(model()->index(0, 1), Qt::DisplayRole).toInt(), 2)
        << "a folder keeps its items";
}

TEST_F(PlaylistPageTest, PageButtonsAreExclusiveAndSwitchThePage) {
    openFiveLists();
    window->action("albums")->trigger();
    EXPECT_EQ(window->currentPage(), static_cast<QWidget*>(window->albumPage()));
    EXPECT_FALSE(window->action("playlists")->isChecked());
    window->action("playlists")->trigger();
    EXPECT_EQ(window->currentPage(), static_cast<QWidget*>(page()));
    EXPECT_FALSE(window->action("albums")->isChecked());
    for (QWidget* widget :
         {static_cast<QWidget*>(page()->searchField()), static_cast<QWidget*>(page()->table()),
          static_cast<QWidget*>(page()->selectAllButton())})
        EXPECT_FALSE(widget->accessibleName().isEmpty());
}

}  // namespace
