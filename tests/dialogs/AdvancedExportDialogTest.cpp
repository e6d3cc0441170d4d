#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "dialogs/AdvancedExportDialog.h"
#include "engine/KvrUserOptions.h"
#include "platform/PreferencesStore.h"
#include "support/TestSupport.h"

using kelvara::FolderLayout;
using kelvara::KvrUserOptions;
using kelvara::PreferencesStore;
using nlohmann::json;

namespace {

class AdvancedExportDialogTest : public testing::Test {
  protected:
    void SetUp() override {
        PreferencesStore::useDirectory(config.path());
        KvrUserOptions::resetSharedOptions();
        window.show();
    }
    void TearDown() override { KvrUserOptions::resetSharedOptions(); }

    void store(const json& values) {
        PreferencesStore& store = PreferencesStore::standardUserDefaults();
        for (const auto& [key, value] : values.items()) store.setObject(key, value);
        ASSERT_TRUE(store.save().ok());
        KvrUserOptions::resetSharedOptions();
    }

    AdvancedExportDialog* openDialog(bool album) {
        auto* dialog = new AdvancedExportDialog(album, &window);
        dialog->open();
        return dialog;
    }

    std::string fileText() const {
        std::ifstream in(config.path() / PreferencesStore::fileName);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    json written() const {
        const std::string text = fileText();
        return text.empty() ? json::object() : json::parse(text, nullptr, false);
    }

    static void choose(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        Q_EMIT list->activated(index);
    }

    // Runs the command line on this test's preferences; its standard output.
    QString cli(const QStringList& arguments) const {
        QProcess process;
        process.start(KELVARA_CLI,
                      QStringList{"--config-dir", QString::fromStdString(config.path().string())} +
                          arguments);
        EXPECT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    kelvara::test::TempDir config;
    QWidget window;
};

TEST_F(AdvancedExportDialogTest, ThirdLayoutItemIsTheRootArtistLayout) {
    AdvancedExportDialog* dialog = openDialog(false);
    choose(dialog->orginizeFilesOptionButton(), 2);
    dialog->okButton()->click();
    EXPECT_EQ(written()["OrginizeFilesOption"], 4);
    EXPECT_EQ(KvrUserOptions::shareOptions().filesSaveToFolder(), FolderLayout::RootArtistAlbum);

    dialog = openDialog(false);
    EXPECT_EQ(dialog->orginizeFilesOptionButton()->currentIndex(), 2);
    choose(dialog->orginizeFilesOptionButton(), 3);
    dialog->okButton()->click();
    EXPECT_EQ(written()["OrginizeFilesOption"], 2);
    EXPECT_EQ(openDialog(false)->orginizeFilesOptionButton()->currentIndex(), 3);
}

TEST_F(AdvancedExportDialogTest, LineEndingBoxesExcludeEachOtherButMayBothBeOff) {
    AdvancedExportDialog* dialog = openDialog(false);
    EXPECT_TRUE(dialog->lineEndingLF()->isChecked());
    dialog->lineEndingCRLF()->click();
    EXPECT_FALSE(dialog->lineEndingLF()->isChecked());
    dialog->lineEndingLF()->click();
    EXPECT_FALSE(dialog->lineEndingCRLF()->isChecked());
    dialog->lineEndingLF()->click();  // off, and CR LF stays off
    EXPECT_FALSE(dialog->lineEndingCRLF()->isChecked());
    dialog->okButton()->click();
    EXPECT_EQ(written()["LineEnding"], 1);
    EXPECT_EQ(KvrUserOptions::shareOptions().lineEnding(), kelvara::LineEnding::CrLf);
    dialog = openDialog(false);
    EXPECT_TRUE(dialog->lineEndingCRLF()->isChecked());
    EXPECT_FALSE(dialog->lineEndingLF()->isChecked());
}

TEST_F(AdvancedExportDialogTest, CancelWritesNothing) {
    store({{"Algorithm", 0}});
    const std::string before = fileText();
    AdvancedExportDialog* dialog = openDialog(true);
    QSignalSpy finished(dialog, &QDialog::finished);
    choose(dialog->orginizeFilesOptionButton(), 4);
    dialog->saveM3uWithFiles()->click();
    dialog->ifFileExistsOverwriteButton()->click();
    dialog->windowsPathCheckBox()->click();
    choose(dialog->algorithmSelectionButton(), 2);
    choose(dialog->orderSelectionButton(), 7);
    dialog->deleteHiddenFilesCheckBox()->click();
    dialog->cancelButton()->click();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(fileText(), before);
    const KvrUserOptions& options = KvrUserOptions::shareOptions();
    EXPECT_EQ(options.filesSaveToFolder(), FolderLayout::PlaylistFolder);
    EXPECT_TRUE(options.saveM3uWithFiles());
    EXPECT_TRUE(options.skipIfExists());
    EXPECT_FALSE(options.windowsPaths());
    EXPECT_EQ(options.algorithm(), kelvara::Mp3Algorithm::BestQuality);
    EXPECT_EQ(options.tracksOrder(), kelvara::TrackOrder::PlaylistOrder);
    EXPECT_TRUE(options.deleteHiddenFiles());
}

TEST_F(AdvancedExportDialogTest, NegativeAlgorithmShowsStandardAndOkStoresIt) {
    store({{"Algorithm", -3}});
    AdvancedExportDialog* dialog = openDialog(false);
    EXPECT_EQ(dialog->algorithmSelectionButton()->currentIndex(), 1);
    dialog->okButton()->click();
    EXPECT_EQ(written()["Algorithm"], 1);
}

TEST_F(AdvancedExportDialogTest, ArtistLayoutsDisableTheM3uBoxForPlaylistsOnly) {
    AdvancedExportDialog* playlists = openDialog(false);
    EXPECT_EQ(playlists->saveM3uWithFiles()->text(),
              "Save m3u file in the same folder with tracks ");
    EXPECT_EQ(playlists->orginizeFilesOptionButton()->itemText(0), "Playlist folder");
    for (int index : {1, 2, 3, 4, 0}) {
        choose(playlists->orginizeFilesOptionButton(), index);
        EXPECT_EQ(playlists->saveM3uWithFiles()->isEnabled(), index != 1 && index != 2) << index;
    }
    AdvancedExportDialog* albums = openDialog(true);
    EXPECT_EQ(albums->orginizeFilesOptionButton()->itemText(0), "Album folder");
    for (int index : {1, 2}) {
        choose(albums->orginizeFilesOptionButton(), index);
        EXPECT_TRUE(albums->saveM3uWithFiles()->isEnabled()) << index;
    }
    // A stored artist layout opens with the box already disabled.
    store({{"OrginizeFilesOption", 1}});
    EXPECT_FALSE(openDialog(false)->saveM3uWithFiles()->isEnabled());
}

TEST_F(AdvancedExportDialogTest, SharesEveryOptionWithTheCommandLine) {
    for (const char* setting :
         {"OrginizeFilesOption 4", "SaveM3uWithFiles 0", "SkipIfExists 0", "WindowsPaths 1",
          "DontConvertSameType 0", "DontConvertLossyFormats 1", "LineEnding 1", "Algorithm 2",
          "TracksOrder 5", "OrderAscending 0", "PlaylistEncoding latin1", "DeleteHiddenFiles 0",
          "ParallelSongs 3"})
        cli(QStringList{"options", "set"} + QString(setting).split(' '));
    PreferencesStore::useDirectory(config.path());
    KvrUserOptions::resetSharedOptions();

    AdvancedExportDialog* dialog = openDialog(true);
    EXPECT_EQ(dialog->orginizeFilesOptionButton()->currentIndex(), 2);
    EXPECT_FALSE(dialog->saveM3uWithFiles()->isChecked());
    EXPECT_TRUE(dialog->ifFileExistsOverwriteButton()->isChecked());
    EXPECT_FALSE(dialog->ifFileExistsSkipButton()->isChecked());
    EXPECT_TRUE(dialog->windowsPathCheckBox()->isChecked());
    EXPECT_FALSE(dialog->dontConverIfSameTypeButton()->isChecked());
    EXPECT_TRUE(dialog->dontConvertLossyFormatsButton()->isChecked());
    EXPECT_TRUE(dialog->lineEndingCRLF()->isChecked());
    EXPECT_EQ(dialog->algorithmSelectionButton()->currentIndex(), 2);
    EXPECT_EQ(dialog->orderSelectionButton()->currentIndex(), 5);
    EXPECT_FALSE(dialog->orderAscendingButton()->isChecked());
    EXPECT_EQ(dialog->playlistEncodingButton()->currentIndex(), 1);
    EXPECT_FALSE(dialog->deleteHiddenFilesCheckBox()->isChecked());
    EXPECT_EQ(dialog->parallelSongsBox()->value(), 3);

    // Every control changed back; the command line then lists what the dialog stored.
    choose(dialog->orginizeFilesOptionButton(), 4);
    dialog->saveM3uWithFiles()->click();
    dialog->ifFileExistsSkipButton()->click();
    dialog->windowsPathCheckBox()->click();
    dialog->dontConverIfSameTypeButton()->click();
    dialog->dontConvertLossyFormatsButton()->click();
    dialog->lineEndingLF()->click();
    choose(dialog->algorithmSelectionButton(), 0);
    choose(dialog->orderSelectionButton(), 7);
    dialog->orderAscendingButton()->click();
    choose(dialog->playlistEncodingButton(), 2);
    dialog->deleteHiddenFilesCheckBox()->click();
    dialog->parallelSongsBox()->setFocus();
    QTest::keyClick(dialog->parallelSongsBox(), Qt::Key_Down);
    dialog->okButton()->click();

    QStringList shown;
    for (const QString& line : cli({"options"}).split('\n', Qt::SkipEmptyParts))
        shown << line.section(' ', 0, 0) + "=" + line.simplified().section(' ', 1, 1);
    for (const QString& expected :
         (QStringList{"OrginizeFilesOption=3", "SaveM3uWithFiles=1", "SkipIfExists=1",
                      "WindowsPaths=0", "DontConvertSameType=1", "DontConvertLossyFormats=0",
                      "LineEnding=0", "Algorithm=0", "TracksOrder=7", "OrderAscending=1",
                      "PlaylistEncoding=2", "DeleteHiddenFiles=1", "ParallelSongs=2"}))
        EXPECT_TRUE(shown.contains(expected)) << expected.toStdString();
}

TEST_F(AdvancedExportDialogTest, UpdateWhenChangedAndMirrorAreStoredAndSharedWithTheCommandLine) {
    cli({"options", "set", "SkipIfExists", "2"});
    PreferencesStore::useDirectory(config.path());
    KvrUserOptions::resetSharedOptions();
    AdvancedExportDialog* dialog = openDialog(false);
    EXPECT_TRUE(dialog->ifFileExistsUpdateButton()->isChecked());
    EXPECT_FALSE(dialog->ifFileExistsSkipButton()->isChecked());
    EXPECT_FALSE(dialog->ifFileExistsOverwriteButton()->isChecked());
    EXPECT_FALSE(dialog->mirrorDestinationCheckBox()->isChecked());
    EXPECT_EQ(dialog->mirrorDestinationCheckBox()->text().remove('&'),
              "Remove songs that are no longer in the selection");
    EXPECT_EQ(dialog->ifFileExistsUpdateButton()->text().remove('&'), "Update when changed");

    // Skip, then back to update, and the mirror on.
    dialog->ifFileExistsSkipButton()->click();
    EXPECT_FALSE(dialog->ifFileExistsUpdateButton()->isChecked());
    dialog->ifFileExistsUpdateButton()->click();
    dialog->mirrorDestinationCheckBox()->click();
    dialog->okButton()->click();
    EXPECT_EQ(written()["SkipIfExists"], 2);
    EXPECT_EQ(written()["MirrorDestination"], 1);
    EXPECT_EQ(KvrUserOptions::shareOptions().existingFiles(),
              KvrUserOptions::ExistingFiles::UpdateWhenChanged);
    const QString shown = cli({"options"});
    EXPECT_TRUE(shown.contains(QRegularExpression("\\nSkipIfExists +2 "))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QRegularExpression("\\nMirrorDestination +1 ")));

    // Replace and no mirror store the values the older versions know.
    dialog = openDialog(false);
    dialog->ifFileExistsOverwriteButton()->click();
    dialog->mirrorDestinationCheckBox()->click();
    dialog->okButton()->click();
    EXPECT_EQ(written()["SkipIfExists"], 0);
    EXPECT_EQ(written()["MirrorDestination"], 0);
}

}  // namespace
