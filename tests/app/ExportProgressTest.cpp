#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <future>

#include "app/LogWindow.h"
#include "app/ProgressSheet.h"
#include "app/QtExportUi.h"
#include "app/WaitFor.h"
#include "engine/KvExportManager.h"
#include "library/MediaLibrary.h"
#include "platform/PreferencesStore.h"
#include "support/TestSupport.h"

namespace kelvara::test {
namespace {

// A copy run of a small library made in a temporary folder, through the desktop front end: the
// main window, its log window and the run's progress sheet.
class ExportProgress : public ::testing::Test {
  protected:
    void SetUp() override {
        PreferencesStore::useDirectory(dir / "config");
        KvrUserOptions::resetSharedOptions();
        window.resize(800, 600);
        window.show();
    }

    const MediaItem& song(const std::string& title, const std::string& file, bool present = true) {
        MediaItem& item = library.addMediaItem();
        item.setPersistentID(++nextID);
        item.setTitle(title);
        item.setTotalTime(180000);
        item.setCanonicalKind(std::string("MPEG audio file"));
        if (present) writeFile(dir / "music" / file, "audio of " + title);
        item.setMappedPath(dir / "music" / file);
        return item;
    }
    const Playlist* playlist(const std::string& name, std::vector<const MediaItem*> items) {
        Playlist& list = library.addPlaylist();
        list.setPersistentID(++nextID);
        list.setName(name);
        list.setItems(std::move(items));
        return &list;
    }
    void configure(QtExportUi& ui, KvExportManager& manager) {
        ui.setOpensDestination(false);
        ui.setNotifies(false);
        manager.setPreferences(preferences);
        manager.setExportPlaylistFile(true);
    }
    ProgressSheet* sheet(QtExportUi& ui) { return ui.progressSheet(); }

    TempDir dir;
    MediaLibrary library;
    PreferencesStore preferences{dir / "prefs.json"};
    QMainWindow window;
    LogWindow log;
    PersistentID nextID = 0x500;
};

// Holds the worker inside the song numbered `holdAt` (from 1) until the test lets it go, so that
// the test sees the sheet while that song is worked on.
class HeldExportUi : public QtExportUi {
  public:
    using QtExportUi::QtExportUi;
    void setSmallInfo(const std::string& info) override {
        QtExportUi::setSmallInfo(info);
        if (!info.empty() && ++songs == holdAt) release.get_future().wait();
    }
    int holdAt = 1;
    int songs = 0;  // worker only
    std::promise<void> release;
};

TEST_F(ExportProgress, ARunShowsItsSongsOnTheSheetAndItsLinesInTheLog) {
    const Playlist* trip = playlist(
        "Road Trip",
        {&song("Intro", "intro.mp3"), &song("Gone", "gone.mp3", false), &song("Dusk", "dusk.mp3")});
    HeldExportUi ui(&window, &log);
    ui.holdAt = 2;  // the missing song in between is not worked on
    KvExportManager manager(ui);
    configure(ui, manager);
    QSignalSpy ended(&ui, &QtExportUi::runEnded);
    std::vector<int> values;
    auto* bar = sheet(ui)->findChild<QProgressBar*>("progressBar");
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) { values.push_back(v); });

    manager.exportPlaylists({trip}, dir / "out");
    // The last song is being worked on.
    ASSERT_TRUE(waitFor([&] { return sheet(ui)->smallInfo() == "Exporting song: Dusk"; }));
    EXPECT_TRUE(sheet(ui)->isVisible());
    EXPECT_EQ(sheet(ui)->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet(ui)->parentWidget(), &window);
    EXPECT_EQ(sheet(ui)->message(), "Exporting playlist: Road Trip");
    EXPECT_EQ(sheet(ui)->maximum(), 3);
    EXPECT_EQ(sheet(ui)->value(), 2);
    EXPECT_TRUE(sheet(ui)->isSpinning());
    EXPECT_TRUE(ui.running());
    EXPECT_EQ(ended.count(), 0);
    ui.release.set_value();

    ASSERT_TRUE(waitFor([&] { return ended.count() > 0; }));
    EXPECT_EQ(manager.waitUntilFinished(), RunEnding::Finished);
    EXPECT_EQ(values, (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(sheet(ui)->isVisible());
    EXPECT_FALSE(sheet(ui)->isSpinning());
    EXPECT_FALSE(ui.running());
    EXPECT_EQ(ended.count(), 1);

    EXPECT_EQ(readFile(dir / "out/Road Trip/dusk.mp3"), "audio of Dusk");
    EXPECT_TRUE(log.text().startsWith("Starting export:\n"));
    EXPECT_TRUE(log.text().contains("Exporting song: intro.mp3\n"));
    EXPECT_TRUE(log.text().endsWith("Export Finished with 1 issue\n" + QString(56, '=') + "\n"));
    // The missing song was an issue: the log came forward.
    EXPECT_TRUE(log.isVisible());
}

TEST_F(ExportProgress, CancelStopsTheRunBeforeTheNextSong) {
    const Playlist* trip = playlist("Road Trip", {&song("One", "one.mp3"), &song("Two", "two.mp3"),
                                                  &song("Three", "three.mp3")});
    HeldExportUi ui(&window, &log);
    KvExportManager manager(ui);
    configure(ui, manager);
    QSignalSpy ended(&ui, &QtExportUi::runEnded);
    QSignalSpy cancelled(sheet(ui), &ProgressSheet::cancelClicked);

    manager.exportPlaylists({trip}, dir / "out");
    ASSERT_TRUE(waitFor(
        [&] { return sheet(ui)->isVisible() && sheet(ui)->smallInfo() == "Exporting song: One"; }));
    EXPECT_TRUE(sheet(ui)->isSpinning());
    EXPECT_FALSE(ui.cancelRequested());
    auto* cancel = sheet(ui)->findChild<QPushButton*>("progressCancelButton");
    QTest::mouseClick(cancel, Qt::LeftButton);
    EXPECT_EQ(cancelled.count(), 1);
    EXPECT_TRUE(ui.cancelRequested());
    EXPECT_TRUE(sheet(ui)->isVisible());  // the run closes it, not the button
    ui.release.set_value();

    ASSERT_TRUE(waitFor([&] { return ended.count() > 0; }));
    EXPECT_EQ(manager.waitUntilFinished(), RunEnding::StoppedByUser);
    EXPECT_FALSE(sheet(ui)->isVisible());
    EXPECT_EQ(filesUnder(dir / "out"), (std::vector<std::string>{"Road Trip/one.mp3"}));
    EXPECT_TRUE(log.text().endsWith("Exporting song: one.mp3\nUser stopped export\n"));

    // The next run on the same front end starts without the old stop request.
    ui.holdAt = 0;
    KvExportManager again(ui);
    configure(ui, again);
    ended.clear();
    again.exportPlaylists({trip}, dir / "again");
    ASSERT_TRUE(waitFor([&] { return ended.count() > 0; }));
    EXPECT_EQ(again.waitUntilFinished(), RunEnding::Finished);
    EXPECT_EQ(filesUnder(dir / "again").size(), 4u);
}

TEST_F(ExportProgress, ShowLogOnTheSheetBringsTheLogWindow) {
    QtExportUi ui(&window, &log);
    ui.setOpensDestination(false);
    ui.showProgress();
    ASSERT_TRUE(waitFor([&] { return sheet(ui)->isVisible(); }));
    EXPECT_FALSE(log.isVisible());
    QTest::mouseClick(sheet(ui)->findChild<QPushButton*>("progressShowLogButton"), Qt::LeftButton);
    EXPECT_TRUE(log.isVisible());
    // Escape on the sheet is the stop request too, and leaves the sheet to the run.
    QTest::keyClick(sheet(ui), Qt::Key_Escape);
    EXPECT_TRUE(ui.cancelRequested());
    EXPECT_TRUE(sheet(ui)->isVisible());
    ui.closeProgress();
    ASSERT_TRUE(waitFor([&] { return !sheet(ui)->isVisible(); }));
}

}  // namespace
}  // namespace kelvara::test
