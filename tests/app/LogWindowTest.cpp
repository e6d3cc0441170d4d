#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <thread>

#include "app/LogWindow.h"
#include "app/QtExportUi.h"
#include "app/WaitFor.h"
#include "platform/AtomicFile.h"
#include "support/TestSupport.h"

namespace kelvara::test {
namespace {

QString numbered(int i) { return QString("line %1").arg(i); }

class LogWindowTest : public ::testing::Test {
  protected:
    QPlainTextEdit* view() { return log.findChild<QPlainTextEdit*>("logView"); }
    QScrollBar* bar() { return view()->verticalScrollBar(); }
    QPushButton* button(const char* name) { return log.findChild<QPushButton*>(name); }

    LogWindow log;
    TempDir dir;
};

TEST_F(LogWindowTest, LinesFromAWorkerArriveInOrderWithoutTheWorkerWaitingForTheWindow) {
    QtExportUi ui(nullptr, &log);
    constexpr int kLines = 20000;
    // The GUI thread processes no events until the worker is done: a call that waited for the
    // window would hang here.
    std::thread worker([&] {
        for (int i = 0; i < kLines; ++i) ui.logLine(numbered(i).toStdString());
        ui.issueLine("the only issue");
    });
    worker.join();
    EXPECT_TRUE(log.text().isEmpty());

    ASSERT_TRUE(waitFor([&] { return log.text().endsWith("the only issue\n"); }, 5000));
    const QStringList lines = log.text().split('\n');
    ASSERT_EQ(lines.size(), kLines + 2);
    for (int i = 0; i < kLines; ++i) ASSERT_EQ(lines[i], numbered(i));
    EXPECT_EQ(view()->document()->blockCount(), kLines + 1);
    EXPECT_EQ(view()->document()->lastBlock().text(), "the only issue");
}

TEST_F(LogWindowTest, FollowsTheEndOnlyWhileTheViewIsAtTheEnd) {
    // A run logs while the window is closed; opened, it shows the latest lines.
    log.resize(500, 300);
    for (int i = 0; i < 300; ++i) log.appendLine(numbered(i));
    log.showWindow();
    QApplication::processEvents();
    ASSERT_GT(bar()->maximum(), 0);
    EXPECT_EQ(bar()->value(), bar()->maximum());

    // The user scrolls back to read: new lines do not pull the view away.
    bar()->setValue(10);
    for (int i = 0; i < 50; ++i) log.appendLine("more");
    EXPECT_EQ(bar()->value(), 10);

    // Back at the end, the view follows again.
    bar()->setValue(bar()->maximum());
    const int before = bar()->maximum();
    log.appendLine("last");
    EXPECT_GT(bar()->maximum(), before);
    EXPECT_EQ(bar()->value(), bar()->maximum());
}

TEST_F(LogWindowTest, SaveWritesTheWholeLogAsTxtAndReplacesTheFileWhole) {
    log.appendLine("Starting export:");
    log.appendLine("Exportiere Lied: Überall — 東京");
    log.showWindow();
    writeFile(dir / "run.txt", std::string(10000, 'x'));

    // Through the Save… button and its file dialog, with the extension left out.
    QTest::mouseClick(button("saveLogButton"), Qt::LeftButton);
    QFileDialog* dialog = nullptr;
    ASSERT_TRUE(waitFor([&] { return (dialog = log.findChild<QFileDialog*>()) != nullptr; }, 5000));
    EXPECT_EQ(dialog->defaultSuffix(), "txt");
    dialog->selectFile(QString::fromStdString((dir / "run").string()));
    // The file is there already: the dialog asks before replacing it.
    bool asked = false;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            asked = true;
            box->button(QMessageBox::Yes)->click();
        }
    });
    static_cast<QDialog*>(dialog)->accept();
    EXPECT_TRUE(asked);
    EXPECT_EQ(readFile(dir / "run.txt"), "Starting export:\nExportiere Lied: Überall — 東京\n");

    // Nothing but the saved file is left in the folder.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_FALSE(AtomicFile::isTemporaryFileName(entry.path().filename().string()));

    // A folder that cannot be written keeps whatever was there and reports why.
    QString error;
    EXPECT_FALSE(log.saveTo(QString::fromStdString((dir / "missing/run.txt").string()), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(LogWindowTest, ClearEmptiesTheLogAndLaterRunsStartAfresh) {
    log.appendLine("first run");
    log.showWindow();
    QTest::mouseClick(button("clearLogButton"), Qt::LeftButton);
    EXPECT_TRUE(log.text().isEmpty());
    EXPECT_TRUE(view()->toPlainText().isEmpty());

    log.appendLine("second run");
    EXPECT_EQ(log.text(), "second run\n");
    EXPECT_EQ(view()->toPlainText(), "second run");
    ASSERT_TRUE(log.saveTo(QString::fromStdString((dir / "after.txt").string())));
    EXPECT_EQ(readFile(dir / "after.txt"), "second run\n");
}

TEST_F(LogWindowTest, EveryIssueBringsTheWindowForwardAndPlainLinesDoNot) {
    QtExportUi ui(nullptr, &log);
    ui.logLine("Exporting song: Intro");
    QApplication::processEvents();
    ASSERT_TRUE(waitFor([&] { return !log.text().isEmpty(); }, 5000));
    EXPECT_FALSE(log.isVisible());

    ui.issueLine("Cannot export song \"Gone\": File does not exist");
    ASSERT_TRUE(waitFor([&] { return log.isVisible(); }, 5000));

    // Closed by the user, it comes back with the next issue.
    log.close();
    ASSERT_FALSE(log.isVisible());
    ui.logLine("Exporting song: Outro");
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_FALSE(log.isVisible());
    log.appendIssue("Export Finished with 1 issue");
    EXPECT_TRUE(log.isVisible());
}

}  // namespace
}  // namespace kelvara::test
