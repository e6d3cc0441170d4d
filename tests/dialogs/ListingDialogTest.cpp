#include <gtest/gtest.h>

#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <nlohmann/json.hpp>

#include "dialogs/ListingDialog.h"
#include "engine/KvrUserOptions.h"
#include "platform/PreferencesStore.h"
#include "support/TestSupport.h"

using kelvara::ItemChoice;
using kelvara::PreferencesStore;

namespace {

class ListingDialogTest : public testing::Test {
  protected:
    void SetUp() override {
        PreferencesStore::useDirectory(config.path());
        kelvara::KvrUserOptions::resetSharedOptions();
        window.show();
    }

    // A new dialog on the window, as the pages open it.
    ListingDialog* openDialog() {
        auto* dialog = new ListingDialog(&window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
        return dialog;
    }

    // On the indicator: a radio takes clicks on its indicator and text only, not on the empty
    // rest of its row.
    static void clickRadio(QRadioButton* radio) {
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(8, radio->height() / 2));
    }

    // What the dialog left in the preferences file, read back from disk.
    nlohmann::json storedFile() const {
        return nlohmann::json::parse(
            kelvara::test::readFile(config.path() / PreferencesStore::fileName));
    }

    void store(const std::string& key, nlohmann::json value) {
        PreferencesStore::standardUserDefaults().setObject(key, std::move(value));
        PreferencesStore::standardUserDefaults().flush();
    }

    // The checked radio of each group, by accessible name, for readable failures.
    static std::string content(const ListingDialog& dialog) {
        if (dialog.checkedOnly()->isChecked()) return "ticked";
        if (dialog.currentOnly()->isChecked()) return "current";
        if (dialog.all()->isChecked()) return "all";
        return "none";
    }
    static std::string type(const ListingDialog& dialog) {
        if (dialog.xlsType()->isChecked()) return "xls";
        if (dialog.xlsxType()->isChecked()) return "xlsx";
        if (dialog.csvType()->isChecked()) return "csv";
        return "none";
    }

    kelvara::test::TempDir config;
    QWidget window;
};

TEST_F(ListingDialogTest, OkStoresBothChoicesAndTheNextDialogOpensWithThem) {
    ListingDialog* dialog = openDialog();
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(content(*dialog), "ticked") << "first listing";
    EXPECT_EQ(type(*dialog), "xlsx") << "first listing";

    QSignalSpy finished(dialog, &QDialog::finished);
    clickRadio(dialog->currentOnly());
    clickRadio(dialog->csvType());
    EXPECT_EQ(dialog->contentChoice(), ItemChoice::Current);
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_FALSE(dialog->cancel());
    EXPECT_EQ(storedFile()["ExcelContent"], 1);
    EXPECT_EQ(storedFile()["fileType"], 2);

    ListingDialog* again = openDialog();
    EXPECT_EQ(content(*again), "current");
    EXPECT_EQ(type(*again), "csv");
    // Return is the default button: OK.
    clickRadio(again->all());
    clickRadio(again->xlsType());
    QSignalSpy ended(again, &QDialog::finished);
    QTest::keyClick(again, Qt::Key_Return);
    ASSERT_EQ(ended.count(), 1);
    EXPECT_FALSE(again->cancel());
    EXPECT_EQ(again->contentChoice(), ItemChoice::All);
    EXPECT_EQ(storedFile()["ExcelContent"], 2);
    EXPECT_EQ(storedFile()["fileType"], 0);
}

TEST_F(ListingDialogTest, CancelAndEscapeStoreTheChoicesJustAsOkDoes) {
    ListingDialog* dialog = openDialog();
    clickRadio(dialog->all());
    clickRadio(dialog->xlsType());
    QSignalSpy finished(dialog, &QDialog::finished);
    QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_TRUE(dialog->cancel());
    EXPECT_EQ(storedFile()["ExcelContent"], 2);
    EXPECT_EQ(storedFile()["fileType"], 0);

    ListingDialog* again = openDialog();
    clickRadio(again->checkedOnly());
    clickRadio(again->xlsxType());
    QSignalSpy ended(again, &QDialog::finished);
    QTest::keyClick(again, Qt::Key_Escape);
    ASSERT_EQ(ended.count(), 1);
    EXPECT_TRUE(again->cancel());
    EXPECT_EQ(storedFile()["ExcelContent"], 0);
    EXPECT_EQ(storedFile()["fileType"], 1);
}

TEST_F(ListingDialogTest, NoTypeButtonOnIsStoredAsXlsx) {
    ListingDialog* dialog = openDialog();
    clickRadio(dialog->xlsType());
    // Exclusive radios never all turn off by clicking; only the code can leave none on.
    for (QRadioButton* radio : {dialog->xlsType(), dialog->xlsxType(), dialog->csvType()}) {
        radio->setAutoExclusive(false);
        radio->setChecked(false);
    }
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    EXPECT_EQ(storedFile()["fileType"], 1);
}

TEST_F(ListingDialogTest, StoredValuesAreReadByTheTablesRules) {
    struct Case {
        nlohmann::json content;  // null: not stored
        nlohmann::json type;     // null: not stored
        std::string shownContent, shownType;
    };
    const std::vector<Case> cases = {
        {0, nullptr, "ticked", "xls"},  // a missing type is XLS once a content is stored
        {1, 0, "current", "xls"},
        {2, 1, "all", "xlsx"},
        {7, 2, "all", "csv"},    // any other content is all
        {-1, 3, "all", "xlsx"},  // a type outside 0 to 2 is XLSX
        {0, -5, "ticked", "xlsx"},
        {"1", "2", "current", "csv"},    // numeric texts, as older settings hold them
        {0, "junk", "ticked", "xlsx"},   // stored, but no number
        {nullptr, 2, "ticked", "xlsx"},  // no content stored: the type is not consulted
        {nullptr, 0, "ticked", "xlsx"},
    };
    for (const Case& c : cases) {
        PreferencesStore& settings = PreferencesStore::standardUserDefaults();
        settings.removeObjectForKey("ExcelContent");
        settings.removeObjectForKey("fileType");
        if (!c.content.is_null()) store("ExcelContent", c.content);
        if (!c.type.is_null()) store("fileType", c.type);
        ListingDialog dialog(&window);
        EXPECT_EQ(content(dialog), c.shownContent) << c.content << " / " << c.type;
        EXPECT_EQ(type(dialog), c.shownType) << c.content << " / " << c.type;
    }
}

}  // namespace
