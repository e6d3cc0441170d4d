#include <QPushButton>

#include "app/KvrTableView.h"
#include "app/MainWindowFixture.h"
#include "app/PlaylistPage.h"
#include "app/StatusDisplay.h"
#include "app/WelcomePage.h"

namespace {

using StatusDisplayTest = MainWindowFixture;
using WelcomePageTest = MainWindowFixture;

TEST_F(StatusDisplayTest, BeforeAnyListTheTypeIsEmptyAndTheTimeIsZero) {
    StatusDisplay display;
    EXPECT_EQ(display.titleLine(), "");
    EXPECT_EQ(display.songsLine(), " Songs: 0");
    EXPECT_EQ(display.timeLine(), "Total Time: 00:00");
    EXPECT_EQ(display.width(), 350);
}

TEST_F(StatusDisplayTest, AnHourSwitchesToTheThreePartForm) {
    ASSERT_TRUE(open(writeLibrary({{"Long", "A", "X", 3600000}, {"Short", "A", "X", 125000}},
                                  {{"Hour", {0}}, {"Minutes", {1}}, {"Both", {0, 1}}})));
    StatusDisplay* display = window->statusDisplay();
    EXPECT_EQ(display->titleLine(), "Hour");
    EXPECT_EQ(display->songsLine(), "Playlist Songs: 1");
    EXPECT_EQ(display->timeLine(), "Total Time: 1:00:00");
    window->playlistPage()->table()->selectRow(1);
    EXPECT_EQ(display->timeLine(), "Total Time: 02:05");
    window->playlistPage()->table()->selectRow(2);
    EXPECT_EQ(display->timeLine(), "Total Time: 1:02:05");
}

TEST_F(WelcomePageTest, AMissingLibraryShowsTheWelcomePageWithItsButton) {
    EXPECT_FALSE(open(library.path() / "nowhere" / "Library.xml"));
    EXPECT_EQ(window->currentPage(), static_cast<QWidget*>(window->welcomePage()));
    EXPECT_TRUE(window->welcomePage()->failure().contains("nowhere"))
        << window->welcomePage()->failure().toStdString();
    EXPECT_EQ(window->welcomePage()->openButton()->text(), "Open Library File…");
    EXPECT_EQ(window->statusDisplay()->songsLine(), " Songs: 0");

    // Choosing a good file leaves the welcome page and is remembered for both front ends.
    const auto good = writeLibrary({{"One"}}, {{"Mix", {0}}});
    bool loaded = false;
    QObject::connect(window.get(), &MainWindow::libraryLoaded, [&](bool ok) { loaded = ok; });
    window->openLibraryFile(QString::fromStdString(good.string()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded; }, 5000));
    EXPECT_EQ(window->currentPage(), static_cast<QWidget*>(window->playlistPage()));
    EXPECT_EQ(settings().stringForKey("LibraryPath"), good.string());
}

TEST_F(WelcomePageTest, AnUnreadableLibraryShowsTheReadersOwnMessage) {
    const std::string whole =
        kelvara::test::libraryXml(kelvara::test::trackXml(1, "<key>Name</key><string>x</string>"));
    const auto truncated = library.path() / "Truncated.xml";
    kelvara::test::writeFile(truncated, whole.substr(0, whole.size() / 2));
    EXPECT_FALSE(open(truncated));
    EXPECT_EQ(window->currentPage(), static_cast<QWidget*>(window->welcomePage()));
    EXPECT_TRUE(window->welcomePage()->failure().contains("is truncated: it ends at"))
        << window->welcomePage()->failure().toStdString();

    const auto binary = library.path() / "Binary.xml";
    kelvara::test::writeFile(binary, std::string("bplist00\xd1\x01\x02\x00\xff\xfe", 14));
    window.reset();
    EXPECT_FALSE(open(binary));
    EXPECT_EQ(window->currentPage(), static_cast<QWidget*>(window->welcomePage()));
    EXPECT_TRUE(window->welcomePage()->failure().contains("Binary.xml"))
        << window->welcomePage()->failure().toStdString();
}

}  // namespace
