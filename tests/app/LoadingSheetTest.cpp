#include <gtest/gtest.h>

#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <future>

#include "app/LoadingSheet.h"

namespace {

// The work behind the sheet runs on a worker and polls the flag there.
bool cancelSeenByAWorker(const LoadingSheet& sheet) {
    return std::async(std::launch::async, [&sheet] { return sheet.cancel(); }).get();
}

TEST(LoadingSheet, CancelRaisesTheFlagTheWorkPollsAndLeavesClosingToTheWork) {
    QMainWindow window;
    window.show();
    LoadingSheet sheet;
    sheet.setMessageToString("Loading Playlists...");
    sheet.openOn(&window);
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(sheet.parentWidget(), &window);
    EXPECT_EQ(sheet.windowModality(), Qt::WindowModal);
    auto* bar = sheet.findChild<QProgressBar*>("loadingBar");
    EXPECT_EQ(bar->maximum(), 0);  // moving, not measuring
    EXPECT_FALSE(cancelSeenByAWorker(sheet));

    QTest::mouseClick(sheet.findChild<QPushButton*>("loadingCancelButton"), Qt::LeftButton);
    EXPECT_TRUE(cancelSeenByAWorker(sheet));
    EXPECT_TRUE(sheet.isVisible());
    sheet.finish();
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_TRUE(sheet.cancel());
}

TEST(LoadingSheet, EscapeIsCancelAndAFreshSheetIsNotCancelled) {
    QMainWindow window;
    window.show();
    LoadingSheet sheet;
    sheet.openOn(&window);
    QTest::keyClick(&sheet, Qt::Key_Escape);
    EXPECT_TRUE(sheet.cancel());
    EXPECT_TRUE(sheet.isVisible());

    LoadingSheet next;
    next.setMessageToString("Loading Albums...");
    next.setMaximum(10);
    next.setValue(4);
    next.openOn(&window);
    EXPECT_FALSE(next.cancel());
    EXPECT_EQ(next.findChild<QProgressBar*>("loadingBar")->value(), 4);
    next.finish();
}

}  // namespace
