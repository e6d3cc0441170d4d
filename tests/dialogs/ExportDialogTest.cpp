#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <fstream>
#include <nlohmann/json.hpp>

#include "app/WaitFor.h"
#include "dialogs/AdvancedExportDialog.h"
#include "dialogs/ExportDialog.h"
#include "dialogs/FormatEditor.h"
#include "engine/KvExportManager.h"
#include "engine/KvrUserOptions.h"
#include "engine/RecordingExportUi.h"
#include "library/MediaLibrary.h"
#include "platform/PreferencesStore.h"
#include "support/TestSupport.h"

using kelvara::FormatList;
using kelvara::ItemChoice;
using kelvara::KvrUserOptions;
using kelvara::MetadataToken;
using kelvara::PreferencesStore;
using nlohmann::json;

namespace {

// A window with a temporary preferences folder; each test makes the dialog as the pages do.
class ExportDialogTest : public testing::Test {
  protected:
    void SetUp() override {
        PreferencesStore::useDirectory(config.path());
        KvrUserOptions::resetSharedOptions();
        window.resize(700, 600);
        window.show();
    }
    void TearDown() override { KvrUserOptions::resetSharedOptions(); }

    // Stores `values` the way an earlier run left them, before the dialog is made.
    void store(const json& values) {
        PreferencesStore& store = PreferencesStore::standardUserDefaults();
        for (const auto& [key, value] : values.items()) store.setObject(key, value);
        ASSERT_TRUE(store.save().ok());
    }

    ExportDialog* openDialog(bool album = false) {
        auto* dialog = new ExportDialog(&window);
        dialog->setIsAlbum(album);
        dialog->setNumberOfPlaylistForExport(2);
        dialog->setNumberOfSongsForExport(30);
        dialog->setNumberOfAllPlaylist(5);
        dialog->setNumberOfAllSongs(90);
        dialog->setNumberOfCurrentPlaylistSongs(12);
        dialog->resize(dialog->width(), 490);
        dialog->open();
        return dialog;
    }

    // What the dialog wrote, read back from the file.
    json written() const {
        std::ifstream in(config.path() / PreferencesStore::fileName);
        return in ? json::parse(in, nullptr, false) : json::object();
    }

    static void choose(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        Q_EMIT list->activated(index);
    }

    static bool labelShows(QLabel* label, const QString& text) {
        return kelvara::test::waitFor([&] { return label->text() == text; }, 2000);
    }

    kelvara::test::TempDir config;
    QWidget window;
};

TEST_F(ExportDialogTest, FirstOpeningShowsPatternOneAndTheCountsButStoresNothing) {
    ExportDialog* dialog = openDialog();
    EXPECT_EQ(dialog->fileNameSelection()->currentIndex(), 1);
    EXPECT_TRUE(dialog->checkedOnly()->isChecked());
    EXPECT_TRUE(dialog->m3uAndFiles()->isChecked());
    EXPECT_FALSE(dialog->mp3BitRateSelection()->isEnabled());
    EXPECT_FALSE(dialog->aacBitRateSelection()->isEnabled());
    EXPECT_FALSE(dialog->albumOptionsBox()->isVisibleTo(dialog));
    // The counts are set after the dialog is made; the deferred refresh still shows them.
    EXPECT_TRUE(labelShows(dialog->previewNumbersLabel(), "(Playlists: 2, Songs: 30)"))
        << dialog->previewNumbersLabel()->text().toStdString();
    // Never closed: the pattern stays unset and is not written.
    EXPECT_TRUE(dialog->customFormatArray().empty());
    EXPECT_EQ(dialog->trackNumberFormat(), 0);
    EXPECT_FALSE(written().contains("CustomFormat"));
    // A stored file-name index counts even before the dialog was ever closed.
    dialog->deleteLater();
    store({{"fileNameSelectionIndex", 4}});
    EXPECT_EQ(openDialog()->fileNameSelection()->currentIndex(), 4);
}

TEST_F(ExportDialogTest, FirstExportWithTheCustomPatternNamesAsTheCommandLineWould) {
    ExportDialog* dialog = openDialog();
    choose(dialog->fileNameSelection(), 5);
    dialog->nextBtn()->click();
    kelvara::test::RecordingExportUi ui;
    kelvara::KvExportManager manager(ui);
    dialog->applyTo(manager);
    EXPECT_EQ(manager.customFormatArray(), FormatList::defaultFormat());
    EXPECT_EQ(manager.trackNumberFormat(), 3);
    delete dialog;
}

TEST_F(ExportDialogTest, CancelStoresTheControlsExactlyAsNextDoes) {
    auto runAndClose = [&](bool next) {
        PreferencesStore::useDirectory(config.path());
        ExportDialog* dialog = openDialog(true);
        QSignalSpy finished(dialog, &QDialog::finished);
        dialog->all()->click();
        dialog->onlyFiles()->click();
        dialog->artworkExport()->click();
        dialog->drmExclude()->click();
        choose(dialog->fileNameSelection(), 3);
        dialog->convertToAac()->click();
        choose(dialog->aacBitRateSelection(), 5);
        choose(dialog->mp3BitRateSelection(), 2);  // disabled, but stored all the same
        (next ? dialog->nextBtn() : dialog->cancelBtn())->click();
        EXPECT_EQ(finished.count(), 1);
        EXPECT_EQ(dialog->cancel(), !next);
        EXPECT_EQ(dialog->aacBitRate(), 320);
        EXPECT_EQ(dialog->bitRate(), 160);
        delete dialog;
        json result = written();
        std::filesystem::remove(config.path() / PreferencesStore::fileName);
        return result;
    };
    const json byNext = runAndClose(true);
    const json byCancel = runAndClose(false);
    EXPECT_EQ(byNext, byCancel);
    EXPECT_EQ(byNext, (json{{"ExportContent", 2},
                            {"whatToExport", 1},
                            {"exportArtWork", true},
                            {"donotExportDRMFiles", true},
                            {"fileNameSelectionIndex", 3},
                            {"AacBitRate", 320},
                            {"MpeBitRate", 160},
                            {"ConvertToMp3", false},
                            {"ConvertToAac", true}}));
}

TEST_F(ExportDialogTest, EscapeIsCancelAndStoresToo) {
    ExportDialog* dialog = openDialog();
    dialog->currentOnly()->click();
    QTest::keyClick(dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog->cancel());
    EXPECT_EQ(written().value("ExportContent", -1), 1);
}

TEST_F(ExportDialogTest, ReopensWithWhatWasStored) {
    store({{"ExportContent", 1},
           {"whatToExport", 1},
           {"exportArtWork", "1"},
           {"donotExportDRMFiles", 1},
           {"fileNameSelectionIndex", 4},
           {"MpeBitRate", 224},
           {"AacBitRate", 288},
           {"ConvertToAac", true}});
    ExportDialog* dialog = openDialog(true);
    EXPECT_TRUE(dialog->currentOnly()->isChecked());
    EXPECT_TRUE(dialog->onlyFiles()->isChecked());
    EXPECT_TRUE(dialog->artworkExport()->isChecked());
    EXPECT_TRUE(dialog->drmExclude()->isChecked());
    EXPECT_EQ(dialog->fileNameSelection()->currentIndex(), 4);
    // Rates the lists do not offer fall back to keeping the source's.
    EXPECT_EQ(dialog->mp3BitRateSelection()->currentIndex(), 0);
    EXPECT_EQ(dialog->aacBitRateSelection()->currentIndex(), 0);
    EXPECT_TRUE(dialog->convertToAac()->isChecked());
    EXPECT_TRUE(dialog->aacBitRateSelection()->isEnabled());
    EXPECT_FALSE(dialog->convertToMp3()->isChecked());
    EXPECT_FALSE(dialog->mp3BitRateSelection()->isEnabled());
    EXPECT_TRUE(dialog->albumOptionsBox()->isVisibleTo(dialog));
    EXPECT_TRUE(labelShows(dialog->previewNumbersLabel(), "(Albums: 1, Songs: 12)"));
    dialog->nextBtn()->click();
    EXPECT_EQ(written()["MpeBitRate"], 0);
    EXPECT_EQ(written()["AacBitRate"], 0);

    // Every offered rate comes back; any other content value means all.
    store({{"ExportContent", 7}, {"MpeBitRate", 256}, {"AacBitRate", 320}});
    dialog = openDialog();
    EXPECT_TRUE(dialog->all()->isChecked());
    EXPECT_EQ(dialog->mp3BitRateSelection()->currentIndex(), 4);
    EXPECT_EQ(dialog->aacBitRateSelection()->currentIndex(), 5);
    delete dialog;
    store({{"MpeBitRate", 320}});
    EXPECT_EQ(openDialog()->mp3BitRateSelection()->currentIndex(), 0);
}

TEST_F(ExportDialogTest, OneConversionAtATime) {
    ExportDialog* dialog = openDialog();
    dialog->convertToMp3()->click();
    EXPECT_TRUE(dialog->mp3BitRateSelection()->isEnabled());
    EXPECT_FALSE(dialog->aacBitRateSelection()->isEnabled());
    dialog->convertToAac()->click();
    EXPECT_FALSE(dialog->convertToMp3()->isChecked());
    EXPECT_FALSE(dialog->mp3BitRateSelection()->isEnabled());
    EXPECT_TRUE(dialog->aacBitRateSelection()->isEnabled());
    dialog->convertToAac()->click();
    EXPECT_FALSE(dialog->aacBitRateSelection()->isEnabled());
    EXPECT_FALSE(dialog->convertToMp3()->isChecked());

    // Both stored on (by hand): MP3 wins, as on the command line.
    delete dialog;
    store({{"ExportContent", 0}, {"ConvertToMp3", 1}, {"ConvertToAac", 1}});
    dialog = openDialog();
    EXPECT_TRUE(dialog->convertToMp3()->isChecked());
    EXPECT_FALSE(dialog->convertToAac()->isChecked());
}

TEST_F(ExportDialogTest, CustomPatternLabelAndEditButtonOnlyForTheCustomPattern) {
    store({{"ExportContent", 0}});
    ExportDialog* dialog = openDialog();
    EXPECT_FALSE(dialog->formatEditButton()->isVisibleTo(dialog));
    EXPECT_FALSE(dialog->customFormatLabel()->isVisibleTo(dialog));
    // The default pattern is written once, when none is stored; the width defaults to 4 digits.
    EXPECT_EQ(written()["CustomFormat"], FormatList::defaultFormat().toJson());
    EXPECT_EQ(dialog->customFormatArray(), FormatList::defaultFormat());
    EXPECT_EQ(dialog->trackNumberFormat(), 3);

    choose(dialog->fileNameSelection(), 5);
    EXPECT_TRUE(dialog->formatEditButton()->isVisibleTo(dialog));
    EXPECT_TRUE(dialog->customFormatLabel()->isVisibleTo(dialog));
    EXPECT_EQ(dialog->customFormatLabel()->text(), "<Track No>. <Artist> - <Album> - <Title>");
    choose(dialog->fileNameSelection(), 2);
    EXPECT_FALSE(dialog->formatEditButton()->isVisibleTo(dialog));
    delete dialog;

    // A stored pattern is shown as it is, and the stored width is taken.
    const FormatList own({MetadataToken{"Disk NO"}, std::string("-"), MetadataToken{"Track NO"},
                          std::string(" "), MetadataToken{"Title"}});
    store({{"CustomFormat", own.toJson()}, {"NumberFormat", 1}, {"fileNameSelectionIndex", 5}});
    dialog = openDialog();
    EXPECT_TRUE(dialog->formatEditButton()->isVisibleTo(dialog));
    EXPECT_EQ(dialog->customFormatLabel()->text(), "<Disk NO>-<Track No> <Title>");
    EXPECT_EQ(dialog->trackNumberFormat(), 1);
}

TEST_F(ExportDialogTest, CountLabelFollowsTheContentChoiceAfterAFifthOfASecond) {
    ExportDialog* dialog = openDialog();
    ASSERT_TRUE(labelShows(dialog->previewNumbersLabel(), "(Playlists: 2, Songs: 30)"));
    dialog->all()->click();
    EXPECT_EQ(dialog->previewNumbersLabel()->text(), "(Playlists: 2, Songs: 30)");
    EXPECT_TRUE(labelShows(dialog->previewNumbersLabel(), "(Playlists: 5, Songs: 90)"));
    dialog->currentOnly()->click();
    EXPECT_TRUE(labelShows(dialog->previewNumbersLabel(), "(Playlists: 1, Songs: 12)"));
    // No playlists at all: the current one is none.
    dialog->setNumberOfAllPlaylist(0);
    dialog->setNumberOfCurrentPlaylistSongs(0);
    dialog->all()->click();
    dialog->currentOnly()->click();
    EXPECT_TRUE(labelShows(dialog->previewNumbersLabel(), "(Playlists: 0, Songs: 0)"));
}

TEST_F(ExportDialogTest, OlderArtistFolderSettingMeansTheArtistLayout) {
    store({{"ExportContent", 0}, {"CreateArtistFolder", true}});
    delete openDialog();
    EXPECT_EQ(KvrUserOptions::shareOptions().filesSaveToFolder(),
              kelvara::FolderLayout::MusicArtistAlbum);

    // A stored layout, even the first one, wins over the older setting.
    KvrUserOptions::resetSharedOptions();
    store({{"OrginizeFilesOption", 0}});
    delete openDialog();
    EXPECT_EQ(KvrUserOptions::shareOptions().filesSaveToFolder(),
              kelvara::FolderLayout::PlaylistFolder);
}

TEST_F(ExportDialogTest, HandsItsChoicesToTheEngine) {
    store({{"ExportContent", 0},
           {"exportArtWork", true},
           {"fileNameSelectionIndex", 5},
           {"NumberFormat", 2}});
    ExportDialog* album = openDialog(true);
    album->createArtistFolder()->click();
    album->convertToMp3()->click();
    choose(album->mp3BitRateSelection(), 3);
    album->currentOnly()->click();
    album->nextBtn()->click();
    EXPECT_EQ(album->contentChoice(), ItemChoice::Current);
    kelvara::test::RecordingExportUi ui;
    kelvara::KvExportManager manager(ui);
    album->applyTo(manager);
    EXPECT_TRUE(manager.exportPlaylistFile());
    EXPECT_EQ(manager.fileNameFormatType(), kelvara::NamePattern::Custom);
    EXPECT_TRUE(manager.exportAlbumImage());
    EXPECT_TRUE(manager.createArtistFolder());
    EXPECT_TRUE(manager.converToMp3());
    EXPECT_FALSE(manager.converToAAC());
    EXPECT_EQ(manager.bitRate(), 192);
    EXPECT_EQ(manager.aacBitRate(), 0);
    EXPECT_EQ(manager.trackNumberFormat(), 2);
    EXPECT_EQ(manager.customFormatArray(), FormatList::defaultFormat());

    // From the playlist page artwork and artist folders are never handed on.
    ExportDialog* playlists = openDialog(false);
    playlists->createArtistFolder()->setChecked(true);
    playlists->onlyFiles()->click();
    playlists->all()->click();
    playlists->nextBtn()->click();
    EXPECT_EQ(playlists->contentChoice(), ItemChoice::All);
    kelvara::KvExportManager fresh(ui);
    playlists->applyTo(fresh);
    EXPECT_FALSE(fresh.exportPlaylistFile());
    EXPECT_FALSE(fresh.exportAlbumImage());
    EXPECT_FALSE(fresh.createArtistFolder());
}

TEST_F(ExportDialogTest, FormatEditorResultIsTakenOnlyWhenNotCancelled) {
    store({{"ExportContent", 0}, {"fileNameSelectionIndex", 5}});
    ExportDialog* dialog = openDialog();
    dialog->formatEditButton()->click();
    QPointer<FormatEditor> editor = dialog->findChild<FormatEditor*>();
    ASSERT_TRUE(editor);
    EXPECT_TRUE(editor->isVisible());
    editor->cancelButton()->click();
    EXPECT_FALSE(editor && editor->isVisible());
    EXPECT_EQ(dialog->customFormatArray(), FormatList::defaultFormat());
    EXPECT_EQ(dialog->trackNumberFormat(), 3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(editor) << "each use makes a new editor";

    // OK with the editor's own choice of width.
    dialog->formatEditButton()->click();
    editor = dialog->findChild<FormatEditor*>();
    ASSERT_TRUE(editor);
    choose(editor->leadingZeroesPopup(), 0);
    editor->okButton()->click();
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(dialog->trackNumberFormat(), 0);
    EXPECT_EQ(dialog->customFormatArray(), FormatList::defaultFormat());
    EXPECT_EQ(dialog->customFormatLabel()->text(), "<Track No>. <Artist> - <Album> - <Title>");
}

TEST_F(ExportDialogTest, AdvancedButtonOpensTheAdvancedOptionsOnTheDialog) {
    ExportDialog* dialog = openDialog(true);
    dialog->advancedButton()->click();
    QPointer<AdvancedExportDialog> advanced = dialog->findChild<AdvancedExportDialog*>();
    ASSERT_TRUE(advanced);
    EXPECT_TRUE(advanced->isAlbum());
    EXPECT_TRUE(advanced->isVisible());
    advanced->okButton()->click();
    EXPECT_FALSE(advanced->isVisible());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(written().contains("OrginizeFilesOption"));
}

TEST_F(ExportDialogTest, CommandLineExportsWhatTheDialogStored) {
    using namespace kelvara::test;
    TempDir music, library, byDialog, byCli;
    std::string tracks;
    const char* titles[] = {"Intro", "Second Song"};
    for (int i = 0; i < 2; ++i) {
        const auto file = music.path() / (std::to_string(i) + ".mp3");
        writeFile(file, "not really audio");
        tracks += trackXml(i + 1, std::string("<key>Name</key><string>") + titles[i] +
                                      "</string><key>Artist</key><string>Lowtide</string>"
                                      "<key>Album</key><string>Blue Hours</string>"
                                      "<key>Track Number</key><integer>" +
                                      std::to_string(i + 7) +
                                      "</integer><key>Location</key><string>file://" +
                                      file.string() + "</string>");
    }
    const auto libraryFile = library.path() / "Library.xml";
    writeFile(libraryFile, libraryXml(tracks, playlistXml("<key>Name</key><string>Mix</string>"
                                                          "<key>Playlist Persistent ID</key>"
                                                          "<string>00000000000000A1</string>",
                                                          {1, 2})));

    // Closed once before, so the custom pattern is stored; this time the custom names (numbered
    // by playlist position in the playlist folder layout).
    store({{"ExportContent", 0}});
    ExportDialog* dialog = openDialog();
    choose(dialog->fileNameSelection(), 5);
    dialog->m3uAndFiles()->click();
    dialog->nextBtn()->click();

    auto opened = kelvara::MediaLibrary::initWithContentsOfFile(libraryFile, {});
    ASSERT_TRUE(opened.ok());
    std::shared_ptr<const kelvara::MediaLibrary> songs = std::move(*opened);
    RecordingExportUi ui;
    kelvara::KvExportManager manager(ui);
    manager.setLibrary(songs);
    dialog->applyTo(manager);
    manager.exportPlaylists(songs->allPlaylists(), byDialog.path());
    manager.waitUntilFinished();

    const CommandResult cli =
        runCli({"--config-dir", config.path().string(), "--library", libraryFile.string(), "export",
                "--playlist", "Mix", "--to", byCli.path().string()});
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    const std::vector<std::string> files = filesUnder(byDialog.path());
    EXPECT_EQ(files, filesUnder(byCli.path()));
    EXPECT_NE(std::find(files.begin(), files.end(), "Mix/0001. Lowtide - Blue Hours - Intro.mp3"),
              files.end())
        << testing::PrintToString(files);
    for (const std::string& file : files) {
        if (file.ends_with(".m3u")) {
            EXPECT_EQ(readFile(byDialog.path() / file), readFile(byCli.path() / file));
        }
    }
}

}  // namespace
