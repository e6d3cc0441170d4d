#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>
#include <map>

#include "app/AlbumPage.h"
#include "app/AlbumTableModel.h"
#include "app/ExportFlow.h"
#include "app/FileChoosers.h"
#include "app/KvrTableView.h"
#include "app/LogWindow.h"
#include "app/MainWindowFixture.h"
#include "app/PlaylistPage.h"
#include "app/PlaylistTableModel.h"
#include "app/ProgressSheet.h"
#include "app/QtExportUi.h"
#include "app/WaitFor.h"
#include "conversion/IntermediateFiles.h"
#include "conversion/RunLock.h"
#include "dialogs/ExportDialog.h"
#include "engine/KvExportManager.h"
#include "engine/MetadataToken.h"

namespace {

namespace fs = std::filesystem;
using kelvara::test::readFile;
using kelvara::test::waitFor;

// The desktop's export, from the toolbar to the files, next to `kelvara-cli export` with the same
// preferences: a library of short real WAV songs, so that the MP3 conversion is real.
class ExportFlowTest : public MainWindowFixture {
  protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        // The working files and their lock live under HOME: this test's own, shared with the
        // command line it runs, and with no other test on the machine.
        if (const char* home = std::getenv("HOME")) savedHome = home;
        setenv("HOME", homeDir.path().c_str(), 1);
        FileChoosers::answerForTests([this](const QString& title) -> std::optional<QString> {
            askedFor.push_back(title);
            if (!answer) return std::nullopt;
            return QString::fromStdString(answer->string());
        });
        ExportFlow::setUiSetupForTests([this](QtExportUi& ui) {
            ui.setOpensDestination(false);
            ui.setNotifies(false);
            runs.push_back(&ui);
            QObject::connect(&ui, &QtExportUi::runEnded, [this] { ++ended; });
        });
    }
    void TearDown() override {
        MainWindowFixture::TearDown();
        FileChoosers::answerForTests({});
        ExportFlow::setUiSetupForTests({});
        if (savedHome)
            setenv("HOME", savedHome->c_str(), 1);
        else
            unsetenv("HOME");
    }

    // Three one-second songs: two of one album, one of another; two playlists over them.
    fs::path writeWavLibrary() {
        using namespace kelvara::test;
        struct Wav {
            std::string title, artist, album;
            int number, hz;
        };
        const std::vector<Wav> songs = {{"Intro", "Lowtide", "Blue Hours", 1, 440},
                                        {"Dusk", "Lowtide", "Blue Hours", 2, 550},
                                        {"Café", "Marrow", "Salt", 1, 660}};
        std::string tracks;
        for (std::size_t i = 0; i < songs.size(); ++i) {
            const fs::path file = music.path() / (std::to_string(i + 1) + " song.wav");
            const auto made = runCommand(
                {"ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                 "sine=frequency=" + std::to_string(songs[i].hz) + ":sample_rate=44100:duration=1",
                 "-ac", "2", "-c:a", "pcm_s16le", file.string()});
            EXPECT_EQ(made.exitCode, 0) << made.err;
            tracks += trackXml(
                int(i) + 1,
                "<key>Name</key><string>" + songs[i].title + "</string><key>Artist</key><string>" +
                    songs[i].artist + "</string><key>Album</key><string>" + songs[i].album +
                    "</string><key>Kind</key><string>WAV audio file</string>"
                    "<key>Total Time</key><integer>1000</integer><key>Track Number</key><integer>" +
                    std::to_string(songs[i].number) + "</integer><key>Persistent ID</key><string>" +
                    persistentID(int(i) + 1) + "</string><key>Location</key><string>file://" +
                    file.string() + "</string>");
        }
        auto playlist = [](const std::string& name, int n, std::vector<int> ids) {
            return playlistXml("<key>Name</key><string>" + name +
                                   "</string><key>Playlist Persistent ID</key><string>" +
                                   persistentID(100 + n) + "</string>",
                               ids);
        };
        const fs::path file = library.path() / "Library.xml";
        writeFile(file,
                  libraryXml(tracks, playlist("Road Trip", 0, {2, 1}) +
                                         playlist("Evening", 1, {3}) + playlist("Unused", 2, {1})));
        return file;
    }

    // A custom pattern with a one-digit track number, stored as the format editor stores it, by
    // a dialog used before (the first one restores nothing, the pattern included).
    void storeCustomFormat() {
        settings().setInteger("ExportContent", 0);
        auto format = kelvara::FormatList::parse("<Track NO> - <Title> (<Artist>)");
        ASSERT_TRUE(format.ok());
        settings().setObject("CustomFormat", format->toJson());
        settings().setInteger("NumberFormat", 1);
        settings().flush();
    }

    ExportDialog* openExportDialog() {
        window->action("export")->trigger();
        ExportDialog* dialog = nullptr;
        waitFor(
            [&] { return (dialog = window->findChild<ExportDialog*>()) && dialog->isVisible(); },
            3000);
        return dialog;
    }
    static void choose(QComboBox* box, int index) {
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }
    // Ticked items, playlist files, MP3 at 128 kbit/s, the custom pattern; then Next.
    static void chooseMp3WithCustomNames(ExportDialog* dialog) {
        dialog->checkedOnly()->click();
        dialog->m3uAndFiles()->click();
        if (dialog->convertToAac()->isChecked()) dialog->convertToAac()->click();
        if (!dialog->convertToMp3()->isChecked()) dialog->convertToMp3()->click();
        choose(dialog->mp3BitRateSelection(), 1);
        choose(dialog->fileNameSelection(), 5);
        if (dialog->createArtistFolder()->isChecked()) dialog->createArtistFolder()->click();
        dialog->nextBtn()->click();
    }

    static QPushButton* cancelButton(QtExportUi* run) {
        return run->progressSheet()->findChild<QPushButton*>("progressCancelButton");
    }
    // The one file under `root` whose name ends so.
    static std::string fileEndingWith(const fs::path& root, const std::string& end) {
        for (const std::string& name : kelvara::test::filesUnder(root))
            if (name.ends_with(end)) return name;
        return {};
    }

    QMessageBox* alertBox() {
        QMessageBox* found = nullptr;
        waitFor([&] { return (found = window->findChild<QMessageBox*>()) && found->isVisible(); },
                2000);
        return found;
    }

    kelvara::test::CommandResult cli(std::vector<std::string> args) {
        std::vector<std::string> argv = {"export", "--library", libraryFile.string(),
                                         "--config-dir", config.path().string()};
        argv.insert(argv.end(), args.begin(), args.end());
        return kelvara::test::runCli(argv);
    }

    // Every file under `root` with its bytes.
    static std::map<std::string, std::string> contents(const fs::path& root) {
        std::map<std::string, std::string> files;
        for (const std::string& name : kelvara::test::filesUnder(root))
            files[name] = readFile(root / name);
        return files;
    }
    static std::string replaced(std::string text, const std::string& what,
                                const std::string& with) {
        for (std::size_t at = text.find(what); at != std::string::npos;
             at = text.find(what, at + with.size()))
            text.replace(at, what.size(), with);
        return text;
    }

    // The desktop's run into gui/ against the command line's into cli/: the same tree, bytes and
    // log (the destination folder aside).
    void expectSameAsCommandLine(const std::vector<std::string>& cliArgs) {
        const auto result = cli(cliArgs);
        ASSERT_EQ(result.exitCode, 0) << result.err << result.out;
        const auto desktop = contents(gui), command = contents(cliOut);
        ASSERT_FALSE(desktop.empty());
        EXPECT_EQ(desktop.size(), command.size());
        for (const auto& [name, bytes] : desktop) {
            ASSERT_TRUE(command.count(name)) << name << " only in the desktop's export";
            EXPECT_TRUE(bytes == command.at(name)) << name << " differs";
        }
        const std::string desktopLog =
            replaced(window->logWindow()->text().toStdString(), gui.string(), "DEST");
        EXPECT_EQ(desktopLog, replaced(result.out, cliOut.string(), "DEST"));
    }

    // A playlist run that cannot begin while `otherProcess` holds the working files, then an
    // album run of the selected album from the other page, which waits for it in the window.
    void startTwoRuns(kelvara::RunLock& otherProcess) {
        libraryFile = writeWavLibrary();
        storeCustomFormat();
        ASSERT_TRUE(open(libraryFile));
        ASSERT_TRUE(kelvara::IntermediateFiles::ensureDocumentsFolder().ok());
        ASSERT_TRUE(otherProcess.acquire(kelvara::IntermediateFiles::lockFile(), [] {}).ok());
        auto* model = window->playlistPage()->listModel();
        model->setData(model->index(0, 0), Qt::Checked, Qt::CheckStateRole);
        fs::create_directories(gui);
        answer = gui;
        ExportDialog* dialog = openExportDialog();
        ASSERT_TRUE(dialog);
        window->logWindow()->clear();
        chooseMp3WithCustomNames(dialog);
        ASSERT_TRUE(waitFor([&] { return window->logWindow()->text().contains("waiting"); }));
        ASSERT_TRUE(window->playlistPage()->exportFlow()->isRunning());

        window->action("albums")->trigger();
        ASSERT_TRUE(waitFor([&] { return window->albumPage()->isCurrent(); }));
        fs::create_directories(cliOut);
        answer = cliOut;
        window->albumPage()->exportFolder();
        dialog = nullptr;
        ASSERT_TRUE(waitFor([&] {
            for (auto* d : window->findChildren<ExportDialog*>())
                if (d->isVisible() && d->isAlbum()) dialog = d;
            return dialog != nullptr;
        }));
        dialog->currentOnly()->click();
        dialog->nextBtn()->click();
        ASSERT_TRUE(waitFor([&] { return runs.size() == 2; }));
        ASSERT_TRUE(waitFor([&] { return runs[1]->progressSheet()->isVisible(); }));
        EXPECT_TRUE(window->logWindow()->text().endsWith("Waiting for the export in progress…\n"));
        EXPECT_TRUE(ExportFlow::anyBusy());
    }

    bool waitForRun(int count = 1) {
        return waitFor([&] { return ended >= count; }, 120000);
    }

    kelvara::test::TempDir homeDir, outDir;
    std::optional<std::string> savedHome;
    fs::path libraryFile, gui = outDir / "gui", cliOut = outDir / "cli";
    std::optional<fs::path> answer;
    std::vector<QString> askedFor;
    std::vector<QtExportUi*> runs;
    int ended = 0;
};

TEST_F(ExportFlowTest, PlaylistExportGivesWhatTheCommandLineGives) {
    libraryFile = writeWavLibrary();
    storeCustomFormat();
    ASSERT_TRUE(open(libraryFile));
    auto* model = window->playlistPage()->listModel();
    ASSERT_EQ(model->rowCount(), 3);
    model->setData(model->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    model->setData(model->index(1, 0), Qt::Checked, Qt::CheckStateRole);
    fs::create_directories(gui);
    answer = gui;

    ExportDialog* dialog = openExportDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->height(), 490);
    EXPECT_FALSE(dialog->isAlbum());
    window->logWindow()->clear();
    chooseMp3WithCustomNames(dialog);
    ASSERT_TRUE(waitForRun()) << window->logWindow()->text().toStdString();
    EXPECT_EQ(askedFor, std::vector<QString>{FileChoosers::kDestinationTitle});
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(window->playlistPage()->exportFlow()->exportUi(), runs[0]);
    EXPECT_EQ(window->playlistPage()->exportFlow()->manager()->ending(),
              kelvara::RunEnding::Finished);
    // The custom pattern named the MP3 file, which an independent reader finds at 128 kbit/s.
    const std::string dusk = fileEndingWith(gui, " - Dusk (Lowtide).mp3");
    ASSERT_TRUE(dusk.starts_with("Road Trip/"))
        << testing::PrintToString(kelvara::test::filesUnder(gui));
    const auto probe = kelvara::test::runCommand(
        {"ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
         "stream=codec_name,bit_rate", "-of", "csv=p=0", (gui / dusk).string()});
    EXPECT_TRUE(probe.out.starts_with("mp3,128000")) << probe.out;
    expectSameAsCommandLine({"--ticked", "--to", cliOut.string()});
}

TEST_F(ExportFlowTest, AlbumExportGivesWhatTheCommandLineGives) {
    libraryFile = writeWavLibrary();
    storeCustomFormat();
    ASSERT_TRUE(open(libraryFile));
    window->action("albums")->trigger();
    AlbumPage* page = window->albumPage();
    ASSERT_TRUE(waitFor([&] { return page->isCurrent(); }));
    auto* model = page->listModel();
    ASSERT_EQ(model->rowCount(), 2);
    model->setData(model->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    model->setData(model->index(1, 0), Qt::Checked, Qt::CheckStateRole);
    fs::create_directories(gui);
    answer = gui;

    ExportDialog* dialog = openExportDialog();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isAlbum());
    EXPECT_EQ(dialog->height(), 490);
    window->logWindow()->clear();
    chooseMp3WithCustomNames(dialog);
    ASSERT_TRUE(waitForRun()) << window->logWindow()->text().toStdString();
    EXPECT_TRUE(fileEndingWith(gui, " - Intro (Lowtide).mp3").starts_with("Lowtide - Blue Hours/"))
        << testing::PrintToString(kelvara::test::filesUnder(gui));
    expectSameAsCommandLine({"--ticked", "--albums", "--to", cliOut.string()});
}

std::string countsShown(ExportDialog* dialog, QRadioButton* choice) {
    choice->click();
    QString shown;
    waitFor([&] { return !(shown = dialog->previewNumbersLabel()->text()).isEmpty(); }, 1000);
    QTest::qWait(300);  // the label follows the choice a moment later
    return dialog->previewNumbersLabel()->text().toStdString();
}

TEST_F(ExportFlowTest, TheDialogCountsWhatEachChoiceWouldExport) {
    libraryFile = writeWavLibrary();
    ASSERT_TRUE(open(libraryFile));
    auto* model = window->playlistPage()->listModel();
    model->setData(model->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    model->setData(model->index(2, 0), Qt::Checked, Qt::CheckStateRole);
    window->playlistPage()->table()->selectRow(1);
    ExportDialog* dialog = openExportDialog();
    ASSERT_TRUE(dialog);
    EXPECT_EQ(countsShown(dialog, dialog->checkedOnly()), "(Playlists: 2, Songs: 3)");
    EXPECT_EQ(countsShown(dialog, dialog->all()), "(Playlists: 3, Songs: 4)");
    EXPECT_EQ(countsShown(dialog, dialog->currentOnly()), "(Playlists: 1, Songs: 1)");
    dialog->cancelBtn()->click();
}

// The counts look up the songs of at most 30 ticked albums not known yet; the others count none.
TEST_F(ExportFlowTest, AlbumCountsLookUpAtMostThirtyAlbums) {
    std::vector<Song> songs;
    for (int i = 0; i < 32; ++i) {
        char album[16];
        std::snprintf(album, sizeof album, "Album %02d", i);
        songs.emplace_back("Song", "Artist", album);
    }
    ASSERT_TRUE(open(writeLibrary(songs, {})));
    window->action("albums")->trigger();
    AlbumPage* page = window->albumPage();
    ASSERT_TRUE(waitFor([&] { return page->isCurrent(); }));
    page->selectAllButton()->click();
    page->table()->selectRow(31);
    QTest::qWait(50);
    ExportDialog* dialog = openExportDialog();
    ASSERT_TRUE(dialog);
    // Rows 0 to 29 are looked up, row 30 is not, row 31 is known from its selection.
    EXPECT_EQ(countsShown(dialog, dialog->checkedOnly()), "(Albums: 32, Songs: 31)");
    EXPECT_EQ(countsShown(dialog, dialog->all()), "(Albums: 32, Songs: 32)");
    EXPECT_EQ(countsShown(dialog, dialog->currentOnly()), "(Albums: 1, Songs: 1)");
    dialog->cancelBtn()->click();
}

TEST_F(ExportFlowTest, NothingToExportStopsBeforeTheFolderChooser) {
    libraryFile = writeWavLibrary();
    ASSERT_TRUE(open(libraryFile));
    answer = gui;

    // Cancel: nothing follows.
    ExportDialog* dialog = openExportDialog();
    ASSERT_TRUE(dialog);
    dialog->cancelBtn()->click();
    QTest::qWait(50);
    EXPECT_TRUE(askedFor.empty());

    // Nothing ticked: the alert, word for word, and no chooser.
    dialog = openExportDialog();
    ASSERT_TRUE(dialog);
    dialog->checkedOnly()->click();
    dialog->nextBtn()->click();
    QMessageBox* box = alertBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Please select at least one playlist.");
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    box->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(askedFor.empty());

    // Current only with no selected row: nothing at all, silently.
    QTest::qWait(50);
    window->playlistPage()->table()->clearSelection();
    dialog = openExportDialog();
    ASSERT_TRUE(dialog);
    dialog->currentOnly()->click();
    dialog->nextBtn()->click();
    QTest::qWait(100);
    EXPECT_FALSE(window->findChild<QMessageBox*>());
    EXPECT_TRUE(askedFor.empty());

    // The album page says "album".
    window->action("albums")->trigger();
    ASSERT_TRUE(waitFor([&] { return window->albumPage()->isCurrent(); }));
    dialog = openExportDialog();
    ASSERT_TRUE(dialog);
    dialog->checkedOnly()->click();
    dialog->nextBtn()->click();
    box = alertBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Please select at least one album.");
    box->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(askedFor.empty());
    EXPECT_TRUE(runs.empty());
}

TEST_F(ExportFlowTest, ExportAndListingNeedALibrary) {
    MainWindow::Options options;
    options.libraryFile = library.path() / "missing.xml";
    window = std::make_unique<MainWindow>(options);
    window->show();
    window->reloadLibrary();
    EXPECT_FALSE(window->action("export")->isEnabled());
    EXPECT_FALSE(window->action("saveListing")->isEnabled());
    window->action("export")->trigger();
    QTest::qWait(50);
    EXPECT_FALSE(window->findChild<ExportDialog*>());

    window.reset();
    libraryFile = writeWavLibrary();
    ASSERT_TRUE(open(libraryFile));
    EXPECT_TRUE(window->action("export")->isEnabled());
    EXPECT_EQ(window->action("export")->shortcut(), QKeySequence("Ctrl+E"));
    EXPECT_EQ(window->action("saveListing")->shortcut(), QKeySequence("Ctrl+S"));
}

// A run that cannot begin while another process converts (the test holds the working files'
// lock), a second run from the other page that waits for it in the window, and Cancel on each
// sheet: both waits end at once.
TEST_F(ExportFlowTest, ASecondExportWaitsForTheFirstAndEitherWaitCanBeCancelled) {
    kelvara::RunLock otherProcess;
    startTwoRuns(otherProcess);
    if (HasFatalFailure()) return;
    ExportFlow* first = window->playlistPage()->exportFlow();

    // Cancel on the waiting sheet.
    QElapsedTimer clock;
    clock.start();
    cancelButton(runs[1])->click();
    ASSERT_TRUE(waitFor([&] { return !runs[1]->progressSheet()->isVisible(); }, 500));
    EXPECT_TRUE(first->isRunning());

    // Cancel on the first run's sheet reaches its wait for the other process.
    clock.restart();
    cancelButton(runs[0])->click();
    ASSERT_TRUE(waitFor([&] { return ended >= 1; }, 500));
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_EQ(first->manager()->ending(), kelvara::RunEnding::StoppedByUser);
    EXPECT_FALSE(ExportFlow::anyBusy());
    EXPECT_TRUE(kelvara::test::filesUnder(gui).empty());
    EXPECT_TRUE(kelvara::test::filesUnder(cliOut).empty());
}

TEST_F(ExportFlowTest, AWaitingExportStartsOnceTheOneBeforeHasEnded) {
    kelvara::RunLock otherProcess;
    startTwoRuns(otherProcess);
    if (HasFatalFailure()) return;
    otherProcess.release();
    ASSERT_TRUE(waitForRun(2)) << window->logWindow()->text().toStdString();
    EXPECT_EQ(window->albumPage()->exportFlow()->manager()->ending(), kelvara::RunEnding::Finished);
    EXPECT_EQ(window->playlistPage()->exportFlow()->manager()->ending(),
              kelvara::RunEnding::Finished);
    EXPECT_EQ(kelvara::test::filesUnder(gui).size(), 3u);  // Road Trip: two songs and its m3u
    EXPECT_FALSE(kelvara::test::filesUnder(cliOut).empty());
    // One run after the other in the log.
    const QString log = window->logWindow()->text();
    EXPECT_LT(log.indexOf("Export Finished"), log.lastIndexOf("Starting export:"));
}

TEST_F(ExportFlowTest, QuittingDuringARunAsksThenStopsItFirst) {
    kelvara::RunLock otherProcess;
    startTwoRuns(otherProcess);
    if (HasFatalFailure()) return;

    // Cancel in the question: the window stays, the run goes on.
    window->close();
    QMessageBox* box = alertBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "An export is running. Stop it and quit?");
    box->button(QMessageBox::Cancel)->click();
    QTest::qWait(100);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(ExportFlow::anyBusy());

    window->action("quit")->trigger();  // the menu asks as closing the window does
    box = alertBox();
    ASSERT_TRUE(box);
    QPushButton* stop = nullptr;
    for (QAbstractButton* button : box->buttons())
        if (button->text() == "Stop and Quit") stop = qobject_cast<QPushButton*>(button);
    ASSERT_TRUE(stop);
    stop->click();
    // The running one stopped, the waiting one never started; then the window closed.
    ASSERT_TRUE(waitFor([&] { return !window->isVisible(); }, 3000));
    EXPECT_FALSE(ExportFlow::anyBusy());
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(window->playlistPage()->exportFlow()->manager()->ending(),
              kelvara::RunEnding::StoppedByUser);
}

// A destination kept in step: "Preview" after the folder chooser shows the dry run's plan, and the
// mirror asks before removing more than twenty files, naming the first ones.
TEST_F(ExportFlowTest, KeepingInStepOffersAPreviewAndAsksBeforeRemovingManyFiles) {
    std::vector<Song> songs;
    std::vector<int> all;
    for (int i = 0; i < 24; ++i) {
        songs.emplace_back("Song " + std::to_string(i));
        all.push_back(i);
    }
    libraryFile = writeLibrary(songs, {List("All", all), List("One", {0})});
    settings().setInteger("SkipIfExists", 2);
    settings().setInteger("MirrorDestination", 1);
    settings().setInteger("OrginizeFilesOption", 3);
    settings().flush();
    kelvara::KvrUserOptions::resetSharedOptions();
    ASSERT_TRUE(open(libraryFile));
    fs::create_directories(gui);
    answer = gui;
    auto* model = window->playlistPage()->listModel();
    auto exportTicked = [&](int row) {
        for (int r = 0; r < model->rowCount(); ++r)
            model->setData(model->index(r, 0), r == row ? Qt::Checked : Qt::Unchecked,
                           Qt::CheckStateRole);
        ExportDialog* dialog = openExportDialog();
        ASSERT_TRUE(dialog);
        dialog->checkedOnly()->click();
        dialog->m3uAndFiles()->click();
        if (dialog->convertToMp3()->isChecked()) dialog->convertToMp3()->click();
        if (dialog->convertToAac()->isChecked()) dialog->convertToAac()->click();
        dialog->nextBtn()->click();
    };
    auto visibleDialog = [&](const char* name) {
        QDialog* found = nullptr;
        waitFor(
            [&] {
                for (QDialog* d : window->findChildren<QDialog*>(QString::fromUtf8(name)))
                    if (d->isVisible()) found = d;
                return found != nullptr;
            },
            3000);
        return found;
    };
    auto button = [](QWidget* in, const QString& name) {
        for (QPushButton* b : in->findChildren<QPushButton*>())
            if (b->accessibleName() == name || b->text() == name) return b;
        return static_cast<QPushButton*>(nullptr);
    };

    exportTicked(0);
    QDialog* ready = visibleDialog(ExportFlow::kReadySheetName);
    ASSERT_TRUE(ready);
    button(ready, "Preview")->click();
    QDialog* preview = visibleDialog(ExportFlow::kPreviewWindowName);
    ASSERT_TRUE(preview);
    auto* plan = preview->findChild<QPlainTextEdit*>();
    ASSERT_TRUE(waitFor([&] { return plan->toPlainText().contains("Plan: 24 new"); }, 10000))
        << plan->toPlainText().toStdString();
    EXPECT_FALSE(fs::exists(gui / ".kelvara-export.json")) << "the preview writes nothing";
    EXPECT_TRUE(kelvara::test::filesUnder(gui).empty());
    button(preview, "Close")->click();
    button(ready, "Export")->click();
    ASSERT_TRUE(waitForRun());
    ASSERT_EQ(kelvara::test::filesUnder(gui).size(), 26u);  // the songs, All.m3u, the record

    // Only "One" now: 23 songs and All.m3u are no longer exported.
    for (const char* choice : {"Keep Files", "Remove Files"}) {
        SCOPED_TRACE(choice);
        window->logWindow()->clear();
        exportTicked(1);
        ready = visibleDialog(ExportFlow::kReadySheetName);
        ASSERT_TRUE(ready);
        QTest::keyClick(ready, Qt::Key_Return);  // Export is the default button
        QMessageBox* question = alertBox();
        ASSERT_TRUE(question);
        EXPECT_TRUE(question->text().contains("remove 24 files")) << question->text().toStdString();
        EXPECT_EQ(question->text().count(".mp3"), 10) << "the first ten names";
        button(question, choice)->click();
        if (std::string(choice) == "Remove Files") continue;
        ASSERT_TRUE(waitForRun(2));
        EXPECT_TRUE(window->logWindow()->text().contains(
            "Not removing 24 files no longer exported: not confirmed."));
        EXPECT_EQ(kelvara::test::filesUnder(gui).size(), 27u) << "One.m3u came, nothing went";
    }
    ASSERT_TRUE(waitForRun(3));
    const QString log = window->logWindow()->text();
    EXPECT_TRUE(log.contains("Removed 24 files no longer exported")) << log.toStdString();
    EXPECT_EQ(kelvara::test::filesUnder(gui).size(), 3u);  // one song, One.m3u, the record
}

}  // namespace
