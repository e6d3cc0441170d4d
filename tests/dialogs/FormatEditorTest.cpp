#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <filesystem>

#include "app/WaitFor.h"
#include "dialogs/FormatEditor.h"
#include "dialogs/TokenField.h"
#include "engine/KvrUserOptions.h"
#include "platform/PreferencesStore.h"
#include "support/TestSupport.h"

namespace {

using kelvara::FormatList;
using kelvara::PreferencesStore;
using kelvara::test::readFile;

// Lists are compared in their stored JSON form, which failures print readably and which tells
// tokens from text and one literal from two.
std::string shown(const FormatList& list) { return list.toJson().dump(); }
FormatList list(const std::string& text) { return FormatList::parse(text).value(); }
std::string pattern(const std::string& text) { return shown(list(text)); }

// Whether the preview shows all of its text, on as many lines as it takes.
bool previewFits(const QLabel* demo) {
    return kelvara::test::waitFor(
        [&] {
            const QRect needed = demo->fontMetrics().boundingRect(QRect(0, 0, demo->width(), 10000),
                                                                  Qt::TextWordWrap, demo->text());
            return needed.width() <= demo->width() && needed.height() <= demo->height();
        },
        1000);
}

// The editor as the export dialog opens it: a window-modal sheet over a window, with a fresh
// preferences folder.
class FormatEditorTest : public testing::Test {
  protected:
    void SetUp() override {
        PreferencesStore::useDirectory(config.path());
        kelvara::KvrUserOptions::resetSharedOptions();
        window.show();
    }
    FormatEditor* openEditor() {
        auto* editor = new FormatEditor(&window);
        editor->open();
        return editor;
    }
    nlohmann::json storedFile() const {
        const auto file = config / PreferencesStore::fileName;
        if (!std::filesystem::exists(file)) return nlohmann::json::object();
        return nlohmann::json::parse(readFile(file));
    }
    void select(QComboBox* box, int index) {
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }
    void addToken(FormatEditor* editor, const QString& name) {
        select(editor->namesPopup(), editor->namesPopup()->findText(name));
        QTest::mouseClick(editor->addButton(), Qt::LeftButton);
    }

    kelvara::test::TempDir config;
    QWidget window;
};

TEST_F(FormatEditorTest, PreviewShowsTheSampleSongWithTheChosenDigits) {
    std::unique_ptr<FormatEditor> editor(openEditor());
    EXPECT_EQ(editor->windowModality(), Qt::WindowModal);
    EXPECT_EQ(shown(editor->tokensField()->elements()), shown(FormatList::defaultFormat()));
    EXPECT_EQ(editor->leadingZeroesPopup()->currentIndex(), 2);  // nothing stored
    EXPECT_EQ(editor->demoLabel()->text(), "001. Nora Vale - Northern Roads - First Light");
    const QStringList numbers = {"1", "01", "001", "0001"};
    for (int index = 0; index < 4; ++index) {
        select(editor->leadingZeroesPopup(), index);
        EXPECT_EQ(editor->leadingZeroesPopup()->currentText(), numbers[index]);
        EXPECT_EQ(editor->demoLabel()->text(),
                  numbers[index] + ". Nora Vale - Northern Roads - First Light");
        EXPECT_TRUE(previewFits(editor->demoLabel())) << index;
    }
    // The disc number never gets leading zeros; the preview follows every edit.
    addToken(editor.get(), "Disk NO");
    EXPECT_EQ(shown(editor->tokensField()->elements()),
              pattern("<Track NO>. <Artist> - <Album> - <Title><Disk NO>"));
    EXPECT_EQ(editor->demoLabel()->text(), "0001. Nora Vale - Northern Roads - First Light1");
    QTest::keyClick(editor->tokensField(), Qt::Key_Backspace);
    QTest::keyClick(editor->tokensField(), Qt::Key_Backspace);
    EXPECT_EQ(editor->demoLabel()->text(), "0001. Nora Vale - Northern Roads - ");
    // A long name is shown whole, over more lines, not cut at the dialog's edge.
    for (const char* name : {"Album", "Artist", "Title", "Album", "Artist"})
        addToken(editor.get(), name);
    QTest::keyClicks(editor->tokensField(), " and some more text at the end");
    QTest::keyClick(editor->tokensField(), Qt::Key_Return);
    EXPECT_TRUE(previewFits(editor->demoLabel())) << editor->demoLabel()->text().toStdString();

    // Opening and editing stores nothing: the default is the export dialog's to store.
    EXPECT_FALSE(storedFile().contains("CustomFormat"));
}

TEST_F(FormatEditorTest, OkWithoutTitleAlertsStaysOpenAndStoresNothing) {
    std::unique_ptr<FormatEditor> editor(openEditor());
    QSignalSpy finished(editor.get(), &QDialog::finished);
    TokenField* field = editor->tokensField();
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    addToken(editor.get(), "Artist");
    QTest::keyClicks(field, " live");
    QTest::mouseClick(editor->okButton(), Qt::LeftButton);

    auto* alert = editor->findChild<QMessageBox*>();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(),
              "Format must contains \"Title\" field. Please select the Title field and press the "
              "Add button.");
    EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(finished.count(), 0);
    EXPECT_FALSE(editor->formatArray());
    EXPECT_FALSE(storedFile().contains("CustomFormat"));
    EXPECT_FALSE(storedFile().contains("NumberFormat"));
    alert->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(kelvara::test::waitFor([&] { return !editor->findChild<QMessageBox*>(); }));

    // A Title token anywhere is enough, even first.
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Home);
    QTest::keyClicks(field, "ti");
    QTest::mouseClick(editor->okButton(), Qt::LeftButton);  // what was typed counts
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), QDialog::Accepted);
    EXPECT_FALSE(editor->cancel());
    ASSERT_TRUE(editor->formatArray());
    EXPECT_EQ(shown(*editor->formatArray()), pattern("<Title><Artist> live"));
    EXPECT_EQ(editor->trackNumberFormat(), 2);
}

TEST_F(FormatEditorTest, CancelAndEscapeLeaveTheStoredPatternAsItWas) {
    PreferencesStore& store = PreferencesStore::standardUserDefaults();
    store.setObject("CustomFormat", list("<Title> (<Disk NO>)").toJson());
    store.setInteger("NumberFormat", 0);
    ASSERT_TRUE(store.save().ok());
    const std::string before = readFile(config / PreferencesStore::fileName);

    std::unique_ptr<FormatEditor> editor(openEditor());
    EXPECT_EQ(shown(editor->tokensField()->elements()), pattern("<Title> (<Disk NO>)"));
    EXPECT_EQ(editor->leadingZeroesPopup()->currentIndex(), 0);
    addToken(editor.get(), "Album");
    select(editor->leadingZeroesPopup(), 3);
    QTest::mouseClick(editor->cancelButton(), Qt::LeftButton);
    EXPECT_TRUE(editor->cancel());
    EXPECT_FALSE(editor->isVisible());
    EXPECT_FALSE(editor->formatArray());
    EXPECT_FALSE(editor->trackNumberFormat());
    EXPECT_EQ(readFile(config / PreferencesStore::fileName), before);

    std::unique_ptr<FormatEditor> second(openEditor());
    EXPECT_FALSE(second->cancel());
    QTest::keyClicks(second->tokensField(), "a");
    QTest::keyClick(second->tokensField(), Qt::Key_Escape);
    EXPECT_TRUE(second->cancel());
    EXPECT_EQ(readFile(config / PreferencesStore::fileName), before);
}

TEST_F(FormatEditorTest, ReturnInTheFieldConvertsWithoutPressingOk) {
    std::unique_ptr<FormatEditor> editor(openEditor());
    QSignalSpy finished(editor.get(), &QDialog::finished);
    ASSERT_TRUE(editor->okButton()->isDefault());
    editor->tokensField()->setFocus();
    QTest::keyClick(editor->tokensField(), Qt::Key_End);
    QTest::keyClicks(editor->tokensField(), " - ");
    QTest::keyClick(editor->tokensField(), Qt::Key_Return);
    QTest::keyClicks(editor->tokensField(), "ar");
    QTest::keyClick(editor->tokensField(), Qt::Key_Enter);
    EXPECT_EQ(shown(editor->tokensField()->elements()),
              pattern("<Track NO>. <Artist> - <Album> - <Title> - <Artist>"));
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(editor->isVisible());
}

// What OK stores is what the command line exports with: one song in playlist "P", whose track
// number there is its place in the playlist.
TEST_F(FormatEditorTest, OkStoresThePatternTheCommandLineExportsWith) {
    kelvara::test::TempDir dir;
    kelvara::test::writeFile(dir / "music/intro.mp3", "audio");
    kelvara::test::writeFile(
        dir / "Library.xml",
        kelvara::test::libraryXml(
            kelvara::test::trackXml(
                1,
                "<key>Name</key><string>Intro</string><key>Artist</key><string>Lowtide"
                "</string><key>Album</key><string>Blue Hours</string>"
                "<key>Kind</key><string>MPEG audio file</string>"
                "<key>Location</key><string>file:///Users/demo/Music/intro.mp3</string>"),
            kelvara::test::playlistXml("<key>Name</key><string>P</string>", {1}),
            "<key>Music Folder</key><string>file:///Users/demo/Music/</string>"));

    std::unique_ptr<FormatEditor> editor(openEditor());
    TokenField* field = editor->tokensField();
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, "t");
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClicks(field, " [a/b] ");
    addToken(editor.get(), "Title");
    select(editor->leadingZeroesPopup(), 1);
    EXPECT_EQ(editor->demoLabel()->text(), "01 [ab] First Light");
    QTest::mouseClick(editor->okButton(), Qt::LeftButton);
    ASSERT_FALSE(editor->isVisible());

    const nlohmann::json stored = storedFile();
    EXPECT_EQ(stored["CustomFormat"],
              nlohmann::json::parse(R"([{"token": "Track NO"}, " [ab] ", {"token": "Title"}])"));
    EXPECT_EQ(stored["NumberFormat"], 1);
    const auto result = kelvara::test::runCommand(
        {KELVARA_CLI, "--library", (dir / "Library.xml").string(), "--music-folder",
         (dir / "music").string(), "--config-dir", config.path().string(), "export", "--playlist",
         "P", "--to", (dir / "out").string(), "--pattern", "5", "--copy", "--no-m3u"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(kelvara::test::filesUnder(dir / "out"),
              std::vector<std::string>{"P/01 [ab] Intro.mp3"});

    // The next editor starts from what was stored.
    std::unique_ptr<FormatEditor> next(openEditor());
    EXPECT_EQ(shown(next->tokensField()->elements()), pattern("<Track NO> [ab] <Title>"));
    EXPECT_EQ(next->leadingZeroesPopup()->currentIndex(), 1);
}

}  // namespace
