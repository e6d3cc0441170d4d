#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <atomic>

#include "app/AlbumPage.h"
#include "app/AlbumTableModel.h"
#include "app/FileChoosers.h"
#include "app/KvrTableView.h"
#include "app/ListingFlow.h"
#include "app/LoadingSheet.h"
#include "app/MainWindowFixture.h"
#include "app/PlaylistPage.h"
#include "app/PlaylistTableModel.h"
#include "app/SongListView.h"
#include "dialogs/ListingDialog.h"

using kelvara::test::readCsv;
using kelvara::test::readFile;
using kelvara::test::runCli;
using kelvara::test::runPython;

namespace {

class ListingFlowTest : public MainWindowFixture {
  protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        ListingFlow::setOpensWorkbooks(false);
        FileChoosers::answerForTests([this](const QString& title) -> std::optional<QString> {
            asked.push_back(title.toStdString());
            if (answer.empty()) return std::nullopt;
            return QString::fromStdString(answer.string());
        });
    }
    void TearDown() override {
        FileChoosers::answerForTests({});
        ListingFlow::setGatherHookForTests({});
        MainWindowFixture::TearDown();
    }

    // Four songs on three albums (North by album artist Bo); "Ärger" is in two playlists.
    void openLibrary() {
        const std::vector<Song> songs = {
            {"Zebra, \"Live\"", "Bo", "North", 3725000, true,
             "<key>Genre</key><string>Jazz</string><key>Year</key><integer>1999</integer>"
             "<key>Track Number</key><integer>2</integer><key>Album "
             "Artist</key><string>Bo</string>"},
            {"Ärger", "Ann", "North", 245000, true,
             "<key>Track Number</key><integer>1</integer><key>Album "
             "Artist</key><string>Bo</string>"},
            {"Mango", "Cy", "South", 60000, true, "<key>Year</key><integer>2001</integer>"},
            {"Apple", "Di", "West", 1000},
        };
        libraryFile = writeLibrary(songs, {{"Alpha", {0, 1}}, {"Beta", {1, 2}}, {"Gamma", {3}}});
        ASSERT_TRUE(open(libraryFile));
    }

    void tick(TickTableModel* model, int row) {
        model->setData(model->index(row, 0), Qt::Checked, Qt::CheckStateRole);
    }

    void showAlbumPage() {
        window->selectAlbumsView();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return window->albumPage()->catalogue() != nullptr &&
                       window->albumPage()->listModel()->rowCount() == 3;
            },
            5000));
        QTest::qWait(20);
    }

    // The listing dialog on screen (older ones may still wait for deletion).
    ListingDialog* dialog() {
        ListingDialog* shown = nullptr;
        (void)QTest::qWaitFor(
            [&] {
                for (ListingDialog* d : window->findChildren<ListingDialog*>())
                    if (d->isVisible()) shown = d;
                return shown != nullptr;
            },
            3000);
        return shown;
    }
    // Runs the listing dialog through its buttons.
    void confirm(QRadioButton* (ListingDialog::*content)() const,
                 QRadioButton* (ListingDialog::*type)() const) {
        ListingDialog* shown = dialog();
        ASSERT_NE(shown, nullptr);
        // On the indicator: a radio takes no clicks on the empty rest of its row.
        for (QRadioButton* radio : {(shown->*content)(), (shown->*type)()})
            QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(8, radio->height() / 2));
        QTest::mouseClick(shown->okButton(), Qt::LeftButton);
    }
    QMessageBox* shownAlert() {
        for (QMessageBox* box : window->findChildren<QMessageBox*>())
            if (box->isVisible()) return box;
        return nullptr;
    }

    static std::string joined(const std::vector<std::string>& parts) {
        std::string text;
        for (const std::string& part : parts) text += (text.empty() ? "" : ",") + part;
        return text;
    }
    kelvara::test::CommandResult cliList(const std::vector<std::string>& args) {
        std::vector<std::string> argv = {"--config-dir", config.path().string(), "--library",
                                         libraryFile.string(), "list"};
        argv.insert(argv.end(), args.begin(), args.end());
        return runCli(argv);
    }
    // Every sheet of a workbook as openpyxl reads it: names, then rows of cell values.
    static std::string workbookText(const std::filesystem::path& file) {
        const auto result = runPython(
            "import sys, openpyxl\n"
            "book = openpyxl.load_workbook(sys.argv[1])\n"
            "for sheet in book.worksheets:\n"
            "    print('sheet', sheet.title)\n"
            "    for row in sheet.iter_rows(values_only=True):\n"
            "        print(repr(row))\n",
            {file.string()});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.out;
    }

    kelvara::test::TempDir out;
    std::filesystem::path libraryFile;
    std::filesystem::path answer;
    std::vector<std::string> asked;
};

TEST_F(ListingFlowTest, PlaylistCsvHasTheShownColumnsInScreenOrderSortedAsTheListAndMatchesTheCli) {
    openLibrary();
    PlaylistPage* page = window->playlistPage();
    tick(page->listModel(), 0);  // Alpha
    tick(page->listModel(), 1);  // Beta
    // A search that hides a ticked playlist: the listing clears it first, so Beta counts.
    page->searchField()->setText("Alpha");

    SongListView* songs = page->songList();
    QHeaderView* header = songs->table()->horizontalHeader();
    songs->hideAll();  // leaves the title
    for (const char* shown : {"artist", "year", "time"})
        header->setSectionHidden(songs->model()->columnOf(shown), false);
    header->moveSection(header->visualIndex(songs->model()->columnOf("year")), 0);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(songs->model()->columnOf("title"), Qt::DescendingOrder);
    ASSERT_EQ(songs->visibleColumns(),
              (std::vector<std::string>{"year", "title", "artist", "time"}));

    answer = out / "desktop.csv";
    ListingFlow::start(page, window.get());
    confirm(&ListingDialog::checkedOnly, &ListingDialog::csvType);
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(answer); }, 5000));
    EXPECT_EQ(asked, (std::vector<std::string>{"Save Listing"}));
    EXPECT_TRUE(page->searchField()->text().isEmpty());

    const auto cli = cliList({"--ticked", "--type", "csv", "--to", (out / "cli.csv").string(),
                              "--columns", "year,title,artist,time", "--sort", "-title"});
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(readFile(answer), readFile(out / "cli.csv"));
    // Read independently: a song in both playlists is listed twice, the comma and quotes survive.
    const auto rows = readCsv(answer);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Year", "Title", "Artist", "Time"}));
    EXPECT_EQ(std::count(rows.begin(), rows.end(),
                         std::vector<std::string>{"1999", "Zebra, \"Live\"", "Bo", "1:02:05"}),
              1);
    EXPECT_EQ(
        std::count_if(rows.begin(), rows.end(), [](const auto& row) { return row[1] == "Ärger"; }),
        2);
    EXPECT_EQ(shownAlert(), nullptr);
}

TEST_F(ListingFlowTest, AlbumXlsxIsGatheredUnderTheSheetAndMatchesTheCliReadByOpenpyxl) {
    openLibrary();
    showAlbumPage();
    AlbumPage* page = window->albumPage();
    AlbumTableModel* albums = page->listModel();
    tick(albums, 0);  // North (two songs)
    tick(albums, 2);  // West

    SongListView* songs = page->songList();
    QHeaderView* header = songs->table()->horizontalHeader();
    songs->hideAll();
    for (const char* shown : {"albumArtist", "track"})
        header->setSectionHidden(songs->model()->columnOf(shown), false);
    header->moveSection(header->visualIndex(songs->model()->columnOf("track")), 0);
    const std::vector<std::string> columns = songs->visibleColumns();
    ASSERT_EQ(columns, (std::vector<std::string>{"track", "albumTitle", "albumArtist"}));

    // The gathering waits at its start until the sheet has been looked at.
    std::atomic<bool> release{false};
    ListingFlow::setGatherHookForTests([&](std::size_t done) {
        if (done == 0)
            for (int i = 0; i < 500 && !release; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    answer = out / "desktop.xlsx";
    ListingFlow::start(page, window.get());
    confirm(&ListingDialog::checkedOnly, &ListingDialog::xlsxType);
    LoadingSheet* sheet = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (sheet = window->findChild<LoadingSheet*>()); }));
    EXPECT_EQ(sheet->message(), "Preparing content for Excel...");
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->findChild<QProgressBar*>("loadingBar")->maximum(), 2);
    EXPECT_TRUE(sheet->findChild<QPushButton*>("loadingCancelButton")->isVisible());
    release = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(answer); }, 5000));

    const auto cli = cliList({"--ticked", "--albums", "--type", "xlsx", "--to",
                              (out / "cli.xlsx").string(), "--columns", joined(columns)});
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    const std::string desktop = workbookText(answer);
    EXPECT_EQ(desktop, workbookText(out / "cli.xlsx"));
    // Album songs by track number; the album list's artist column is the song's artist.
    EXPECT_EQ(desktop,
              "sheet Songs\n"
              "('Track', 'Title', 'Artist')\n"
              "(1, 'Ärger', 'Ann')\n"
              "(2, 'Zebra, \"Live\"', 'Bo')\n"
              "(None, 'Apple', 'Di')\n");
}

TEST_F(ListingFlowTest, CancellingTheAlbumSheetClosesItAndWritesNothing) {
    openLibrary();
    showAlbumPage();
    AlbumPage* page = window->albumPage();
    std::atomic<bool> release{false};
    ListingFlow::setGatherHookForTests([&](std::size_t) {
        for (int i = 0; i < 500 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    answer = out / "never.xlsx";
    ListingFlow::start(page, window.get());
    confirm(&ListingDialog::all, &ListingDialog::xlsxType);
    LoadingSheet* sheet = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (sheet = window->findChild<LoadingSheet*>()); }));
    QPointer<LoadingSheet> watched(sheet);
    QTest::mouseClick(sheet->findChild<QPushButton*>("loadingCancelButton"), Qt::LeftButton);
    release = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return watched.isNull() || !watched->isVisible(); }, 5000));
    QTest::qWait(100);
    EXPECT_TRUE(asked.empty()) << "no save chooser after Cancel";
    EXPECT_TRUE(kelvara::test::filesUnder(out.path()).empty());
    EXPECT_EQ(shownAlert(), nullptr);
}

TEST_F(ListingFlowTest, NothingChosenAlertsOnTheAlbumPageAndCurrentWithoutSelectionIsSilent) {
    openLibrary();
    answer = out / "any.csv";

    // The playlist page with nothing ticked still lists: the header line alone.
    PlaylistPage* playlists = window->playlistPage();
    ListingFlow::start(playlists, window.get());
    confirm(&ListingDialog::checkedOnly, &ListingDialog::csvType);
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::filesystem::exists(answer); }, 5000));
    const std::string headerOnly = readFile(answer);
    EXPECT_EQ(std::count(headerOnly.begin(), headerOnly.end(), '\n'), 1) << headerOnly;
    EXPECT_EQ(headerOnly.rfind("Title,Artist,Time,", 0), 0u) << headerOnly;
    std::filesystem::remove(answer);
    asked.clear();

    // Current with no selected row: no chooser, no file, no message.
    playlists->table()->clearSelection();
    ListingFlow::start(playlists, window.get());
    confirm(&ListingDialog::currentOnly, &ListingDialog::csvType);
    QTest::qWait(200);
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(shownAlert(), nullptr);

    showAlbumPage();
    AlbumPage* albums = window->albumPage();
    albums->table()->clearSelection();
    ListingFlow::start(albums, window.get());
    confirm(&ListingDialog::currentOnly, &ListingDialog::xlsType);
    QTest::qWait(200);
    EXPECT_TRUE(asked.empty());
    EXPECT_EQ(shownAlert(), nullptr);

    ListingFlow::start(albums, window.get());
    confirm(&ListingDialog::checkedOnly, &ListingDialog::xlsType);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownAlert() != nullptr; }, 3000));
    EXPECT_EQ(shownAlert()->text(), "Please select at least one album.");
    EXPECT_EQ(shownAlert()->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(asked.empty());
    EXPECT_TRUE(kelvara::test::filesUnder(out.path()).empty());
}

TEST_F(ListingFlowTest, CancelInTheDialogDoesNothingAndAFailedWriteIsShown) {
    openLibrary();
    PlaylistPage* page = window->playlistPage();
    tick(page->listModel(), 2);
    answer = out / "no-such-folder" / "listing.xlsx";

    ListingFlow::start(page, window.get());
    QTest::mouseClick(dialog()->cancelButton(), Qt::LeftButton);
    QTest::qWait(100);
    EXPECT_TRUE(asked.empty());

    ListingFlow::start(page, window.get());
    confirm(&ListingDialog::all, &ListingDialog::xlsxType);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownAlert() != nullptr; }, 5000));
    EXPECT_EQ(shownAlert()->text(), "The listing could not be saved.");
    EXPECT_NE(shownAlert()->informativeText().toStdString().find("no-such-folder"),
              std::string::npos)
        << shownAlert()->informativeText().toStdString();
    EXPECT_TRUE(kelvara::test::filesUnder(out.path()).empty());
}

}  // namespace
