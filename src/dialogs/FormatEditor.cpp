#include "dialogs/FormatEditor.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "dialogs/TokenField.h"
#include "engine/FileNameRules.h"
#include "platform/PreferencesStore.h"

using kelvara::FormatList;
using kelvara::MetadataToken;
using kelvara::PreferencesStore;

namespace {

// The editor starts with three digits when nothing is stored; the export dialog on its own
// assumes four. Both follow the stored value once the editor has stored one.
constexpr int kDefaultNumberFormat = 2;

}  // namespace

FormatEditor::FormatEditor(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("File Name Format"));
    setWindowModality(Qt::WindowModal);

    auto* intro = new QLabel(
        tr("Type text, or add song values with the Add button. Typing the start of a value's "
           "name (\"ti\" for Title) turns it into that value."),
        this);
    intro->setWordWrap(true);

    tokensField_ = new TokenField(this);
    // Wide enough for the default pattern: the wrapping labels would let the sheet shrink.
    tokensField_->setMinimumWidth(tokensField_->sizeHint().width());

    namesPopup_ = new QComboBox(this);
    for (const char* name : {MetadataToken::kTitle, MetadataToken::kArtist, MetadataToken::kAlbum,
                             MetadataToken::kTrackNo, MetadataToken::kDiskNo})
        namesPopup_->addItem(QString::fromUtf8(name));
    namesPopup_->setAccessibleName(tr("Song value to add"));
    namesPopup_->setToolTip(tr("The song value the Add button puts at the end of the file name"));

    addButton_ = new QPushButton(tr("&Add"), this);
    addButton_->setAutoDefault(false);
    addButton_->setAccessibleName(tr("Add song value"));
    addButton_->setToolTip(tr("Adds the chosen song value at the end of the file name"));

    leadingZeroesPopup_ = new QComboBox(this);
    leadingZeroesPopup_->addItems(
        {QStringLiteral("1"), QStringLiteral("01"), QStringLiteral("001"), QStringLiteral("0001")});
    leadingZeroesPopup_->setAccessibleName(tr("Track number digits"));
    leadingZeroesPopup_->setToolTip(
        tr("How many digits track numbers get, filled with leading zeros (track 1 as shown)"));

    demoLabel_ = new QLabel(this);
    demoLabel_->setTextFormat(Qt::PlainText);
    demoLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long name wraps (the sheet grows) rather than running past the sheet's edge.
    demoLabel_->setWordWrap(true);
    // It takes the whole column, the width the sheet's height is worked out for.
    QSizePolicy demoPolicy = demoLabel_->sizePolicy();
    demoPolicy.setHorizontalPolicy(QSizePolicy::Expanding);
    demoLabel_->setSizePolicy(demoPolicy);
    demoLabel_->setAccessibleName(tr("Preview"));
    demoLabel_->setToolTip(tr("A file name built with this format from a sample song"));
    demoLabel_->setMinimumWidth(fontMetrics().averageCharWidth() * 40);

    okButton_ = new QPushButton(tr("OK"), this);
    okButton_->setDefault(true);
    okButton_->setAccessibleName(tr("OK"));
    okButton_->setToolTip(tr("Keeps this format for the export (Return)"));
    cancelButton_ = new QPushButton(tr("Cancel"), this);
    cancelButton_->setAutoDefault(false);
    cancelButton_->setAccessibleName(tr("Cancel"));
    cancelButton_->setToolTip(tr("Closes without changing the format (Escape)"));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(okButton_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancelButton_, QDialogButtonBox::RejectRole);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(namesPopup_);
    nameRow->addWidget(addButton_);
    nameRow->addStretch();
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->addRow(tr("&Format:"), tokensField_);
    // Rows holding a layout get no buddy of their own: the mnemonic goes to the list.
    auto* nameLabel = new QLabel(tr("&Song value:"), this);
    nameLabel->setBuddy(namesPopup_);
    form->addRow(nameLabel, nameRow);
    auto* digitsRow = new QHBoxLayout;
    digitsRow->addWidget(leadingZeroesPopup_);
    digitsRow->addStretch();
    auto* digitsLabel = new QLabel(tr("Track &number:"), this);
    digitsLabel->setBuddy(leadingZeroesPopup_);
    form->addRow(digitsLabel, digitsRow);
    form->addRow(tr("Preview:"), demoLabel_);
    // The field is taller than a line edit; its label sits on the field's middle, not its top.
    if (auto* label = qobject_cast<QLabel*>(form->labelForField(tokensField_))) {
        label->setMinimumHeight(tokensField_->sizeHint().height());
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addSpacing(6);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    connect(addButton_, &QPushButton::clicked, this, &FormatEditor::addToken);
    connect(leadingZeroesPopup_, &QComboBox::currentIndexChanged, this, &FormatEditor::showDemo);
    connect(tokensField_, &TokenField::elementsChanged, this, &FormatEditor::showDemo);
    connect(okButton_, &QPushButton::clicked, this, &FormatEditor::okPressed);
    connect(cancelButton_, &QPushButton::clicked, this, &FormatEditor::reject);

    // Restore: the stored pattern, else the default one (the export dialog stores that, not us).
    PreferencesStore& store = PreferencesStore::standardUserDefaults();
    std::optional<FormatList> stored;
    if (const auto json = store.objectForKey("CustomFormat")) stored = FormatList::fromJson(*json);
    tokensField_->setElements(stored.value_or(FormatList::defaultFormat()));
    // A stored width outside the table writes plain numbers, which the first item shows.
    const auto numberFormat = store.integerForKey("NumberFormat").value_or(kDefaultNumberFormat);
    leadingZeroesPopup_->setCurrentIndex(
        numberFormat >= 0 && numberFormat <= 3 ? static_cast<int>(numberFormat) : 0);
    showDemo();
    tokensField_->setFocus();
    QTimer::singleShot(100, tokensField_, &TokenField::moveCursorToEnd);
    cancel_ = false;
}

void FormatEditor::addToken() {
    tokensField_->appendToken(namesPopup_->currentText());
    tokensField_->setFocus();
}

void FormatEditor::showDemo() {
    std::string demo;
    const int digits = leadingZeroesPopup_->currentIndex();
    const FormatList list = tokensField_->elements();
    for (const auto& element : list.elements()) {
        if (const auto* text = std::get_if<std::string>(&element)) {
            demo += *text;
            continue;
        }
        const std::string& name = std::get<MetadataToken>(element).name;
        if (name == MetadataToken::kTitle)
            demo += sampleTitle;
        else if (name == MetadataToken::kArtist)
            demo += sampleArtist;
        else if (name == MetadataToken::kAlbum)
            demo += sampleAlbum;
        else if (name == MetadataToken::kTrackNo)
            demo += kelvara::FileNameRules::formatTrackNumber(1, digits);
        else if (name == MetadataToken::kDiskNo)
            demo += "1";
    }
    demoLabel_->setText(QString::fromStdString(demo));
    fitHeight();
}

void FormatEditor::fitHeight() {
    // A window does not follow the height its wrapped label needs for the width it has.
    if (!layout() || !layout()->hasHeightForWidth()) return;
    layout()->activate();
    const int needed = layout()->totalHeightForWidth(width());
    if (needed > height()) resize(width(), needed);
}

void FormatEditor::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    fitHeight();
}

void FormatEditor::okPressed() {
    // What was just typed counts, as if the user had paused.
    tokensField_->commitTyping();
    const FormatList list = tokensField_->elements();
    if (!list.hasTitle()) {
        auto* alert = new QMessageBox(
            QMessageBox::Warning, windowTitle(),
            tr("Format must contains \"Title\" field. Please select the Title field and press "
               "the Add button."),
            QMessageBox::Ok, this);
        alert->setWindowModality(Qt::WindowModal);
        alert->setAttribute(Qt::WA_DeleteOnClose);
        alert->open();
        return;
    }
    PreferencesStore& store = PreferencesStore::standardUserDefaults();
    store.setObject("CustomFormat", list.toJson());
    store.flush();
    store.setInteger("NumberFormat", leadingZeroesPopup_->currentIndex());
    store.flush();
    formatArray_ = list;
    trackNumberFormat_ = leadingZeroesPopup_->currentIndex();
    accept();
}

void FormatEditor::reject() {
    cancel_ = true;
    QDialog::reject();
}
