#include "dialogs/ListingDialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "dialogs/Described.h"
#include "platform/PreferencesStore.h"

using namespace kelvara;

namespace {

constexpr const char* kContentKey = "ExcelContent";
constexpr const char* kTypeKey = "fileType";

PreferencesStore& settings() { return PreferencesStore::standardUserDefaults(); }

}  // namespace

ListingDialog::ListingDialog(QWidget* window) : QDialog(window) {
    setObjectName("listingDialog");
    setWindowTitle(tr("Save Listing"));
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(320);

    contentBox_ = new QGroupBox(tr("List the songs of"), this);
    contentBox_->setAccessibleName(tr("Songs to list"));
    checkedOnly_ = new QRadioButton(contentBox_);
    currentOnly_ = new QRadioButton(contentBox_);
    all_ = new QRadioButton(contentBox_);
    auto* contentLayout = new QVBoxLayout(contentBox_);
    contentLayout->addWidget(checkedOnly_);
    contentLayout->addWidget(currentOnly_);
    contentLayout->addWidget(all_);

    auto* typeBox = new QGroupBox(tr("File type"), this);
    typeBox->setAccessibleName(tr("File type"));
    xlsxType_ =
        described(new QRadioButton(tr("Excel &workbook (.xlsx)"), typeBox), tr("Excel workbook"),
                  tr("Save the listing as an Excel workbook, for Excel 2007 and later, "
                     "LibreOffice and most spreadsheets"));
    xlsType_ = described(new QRadioButton(tr("Excel &97-2004 workbook (.xls)"), typeBox),
                         tr("Excel 97-2004 workbook"),
                         tr("Save the listing in the older Excel format, for Excel 97 to 2004"));
    csvType_ = described(new QRadioButton(tr("&CSV file (.csv)"), typeBox), tr("CSV file"),
                         tr("Save the listing as comma-separated text, sorted as the song list "
                            "is sorted"));
    auto* typeLayout = new QVBoxLayout(typeBox);
    typeLayout->addWidget(xlsxType_);
    typeLayout->addWidget(xlsType_);
    typeLayout->addWidget(csvType_);

    okButton_ = new QPushButton(tr("Save…"), this);
    okButton_->setAccessibleName(tr("Save listing"));
    okButton_->setToolTip(tr("Choose where to save the listing (Return)"));
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(tr("Cancel"), this);
    cancelButton_->setAccessibleName(tr("Cancel listing"));
    cancelButton_->setToolTip(tr("Close without saving a listing (Escape)"));
    cancelButton_->setAutoDefault(false);
    connect(okButton_, &QPushButton::clicked, this, &ListingDialog::doneAction);
    connect(cancelButton_, &QPushButton::clicked, this, &ListingDialog::cancelAction);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancelButton_);
    buttons->addWidget(okButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(contentBox_);
    layout->addWidget(typeBox);
    layout->addStretch(1);
    layout->addLayout(buttons);

    // What a first listing is most likely to want; replaced by the stored choices.
    checkedOnly_->setChecked(true);
    xlsxType_->setChecked(true);
    setIsAlbum(false);
    restoreOptions();
}

void ListingDialog::setIsAlbum(bool isAlbum) {
    isAlbum_ = isAlbum;
    if (isAlbum) {
        checkedOnly_->setText(tr("&Ticked albums"));
        checkedOnly_->setAccessibleName(tr("Ticked albums"));
        checkedOnly_->setToolTip(tr("List the songs of every ticked album"));
        currentOnly_->setText(tr("&Selected album only"));
        currentOnly_->setAccessibleName(tr("Selected album only"));
        currentOnly_->setToolTip(tr("List the songs of the album selected in the list"));
        all_->setText(tr("&All albums"));
        all_->setAccessibleName(tr("All albums"));
        all_->setToolTip(tr("List the songs of every album in the list"));
    } else {
        checkedOnly_->setText(tr("&Ticked playlists"));
        checkedOnly_->setAccessibleName(tr("Ticked playlists"));
        checkedOnly_->setToolTip(tr("List the songs of every ticked playlist, one after another"));
        currentOnly_->setText(tr("&Selected playlist only"));
        currentOnly_->setAccessibleName(tr("Selected playlist only"));
        currentOnly_->setToolTip(tr("List the songs of the playlist selected in the list"));
        all_->setText(tr("&All playlists"));
        all_->setAccessibleName(tr("All playlists"));
        all_->setToolTip(tr("List the songs of every playlist in the list, one after another"));
    }
}

ItemChoice ListingDialog::contentChoice() const {
    if (currentOnly_->isChecked()) return ItemChoice::Current;
    if (all_->isChecked()) return ItemChoice::All;
    return ItemChoice::Ticked;
}

// The stored choices count only once a content choice was stored: a type stored by other means
// alone does not change what the sheet first shows.
void ListingDialog::restoreOptions() {
    PreferencesStore& store = settings();
    if (!store.contains(kContentKey)) return;
    const std::optional<std::int64_t> content = store.integerForKey(kContentKey);
    (content == 0 ? checkedOnly_ : content == 1 ? currentOnly_ : all_)->setChecked(true);
    const std::optional<std::int64_t> type =
        store.contains(kTypeKey) ? store.integerForKey(kTypeKey) : std::optional<std::int64_t>(0);
    (type == 0 ? xlsType_ : type == 2 ? csvType_ : xlsxType_)->setChecked(true);
}

void ListingDialog::saveOptions() const {
    PreferencesStore& store = settings();
    store.setInteger(kContentKey, checkedOnly_->isChecked()   ? 0
                                  : currentOnly_->isChecked() ? 1
                                                              : 2);
    store.flush();
    store.setInteger(kTypeKey, xlsType_->isChecked()    ? 0
                               : xlsxType_->isChecked() ? 1
                               : csvType_->isChecked()  ? 2
                                                        : 1);
    store.flush();
}

void ListingDialog::doneAction() {
    saveOptions();
    cancel_ = false;
    accept();
}

void ListingDialog::cancelAction() {
    saveOptions();
    cancel_ = true;
    QDialog::reject();
}

// Escape and the window's close button are Cancel.
void ListingDialog::reject() { cancelAction(); }
