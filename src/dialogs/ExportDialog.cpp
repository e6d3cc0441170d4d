#include "dialogs/ExportDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "dialogs/AdvancedExportDialog.h"
#include "dialogs/Described.h"
#include "dialogs/FormatEditor.h"
#include "engine/KvExportManager.h"
#include "engine/KvrUserOptions.h"

using namespace kelvara;

namespace {

// Titles of the file-name list, by NamePattern, each with an example of the name it gives.
const char* const kFileNameTitles[ExportChoices::fileNameCount] = {
    QT_TRANSLATE_NOOP("ExportDialog", "Source file name"),
    QT_TRANSLATE_NOOP("ExportDialog", "001 Title"),
    QT_TRANSLATE_NOOP("ExportDialog", "Artist - Album - Title"),
    QT_TRANSLATE_NOOP("ExportDialog", "001 Artist - Album - Title"),
    QT_TRANSLATE_NOOP("ExportDialog", "Title"),
    QT_TRANSLATE_NOOP("ExportDialog", "Custom…"),
};

void fillBitRates(QComboBox* list, std::span<const std::int64_t> rates) {
    for (std::int64_t rate : rates)
        list->addItem(rate == 0 ? ExportDialog::tr("Keep source bit rate")
                                : ExportDialog::tr("%1 kbit/s").arg(rate));
}

}  // namespace

ExportDialog::ExportDialog(QWidget* window) : QDialog(window) {
    setWindowTitle(tr("Export"));
    setWindowModality(Qt::WindowModal);
    buildControls();
    setIsAlbum(false);

    // What the dialog shows before it has ever been closed.
    showChoices(ExportChoices{});
    fileNameSelection_->setCurrentIndex(
        ExportChoices::storedFileNameIndex(PreferencesStore::standardUserDefaults()));
    restore();
    fileFormatButtonDidPress();
    updateInfoNumbers();
}

void ExportDialog::buildControls() {
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    auto* contentBox = new QGroupBox(tr("Export"), this);
    auto* contentLayout = new QVBoxLayout(contentBox);
    checkedOnly_ = new QRadioButton(contentBox);
    currentOnly_ = new QRadioButton(contentBox);
    all_ = new QRadioButton(contentBox);
    previewNumbersLabel_ = described(new QLabel(contentBox), tr("Items and songs to export"),
                                     tr("How many items and songs the chosen content holds"));
    for (QWidget* w : {static_cast<QWidget*>(checkedOnly_), static_cast<QWidget*>(currentOnly_),
                       static_cast<QWidget*>(all_), static_cast<QWidget*>(previewNumbersLabel_)})
        contentLayout->addWidget(w);
    contentLayout->addStretch();
    top->addWidget(contentBox, 1);

    auto* filesBox = new QGroupBox(tr("Files"), this);
    auto* filesLayout = new QVBoxLayout(filesBox);
    m3uAndFiles_ = described(new QRadioButton(tr("Music files and &m3u playlists"), filesBox),
                             tr("Music files and m3u playlists"),
                             tr("Copy the songs and write an m3u playlist file for each one"));
    onlyFiles_ = described(new QRadioButton(tr("Music files &only (no m3u)"), filesBox),
                           tr("Music files only"), tr("Copy the songs and write no m3u files"));
    drmExclude_ = described(
        new QCheckBox(tr("Skip &protected (DRM) songs"), filesBox), tr("Skip protected songs"),
        tr("Protected songs cannot be copied: they are always left out and named in the "
           "log"));
    filesLayout->addWidget(m3uAndFiles_);
    filesLayout->addWidget(onlyFiles_);
    filesLayout->addWidget(drmExclude_);
    filesLayout->addStretch();
    top->addWidget(filesBox, 1);
    layout->addLayout(top);

    auto* namesBox = new QGroupBox(tr("File names"), this);
    auto* namesLayout = new QGridLayout(namesBox);
    fileNameSelection_ = described(new QComboBox(namesBox), tr("File name pattern"),
                                   tr("How each exported song file is named"));
    for (const char* title : kFileNameTitles) fileNameSelection_->addItem(tr(title));
    formatEditButton_ = described(new QPushButton(tr("&Edit Format…"), namesBox),
                                  tr("Edit the custom file name format"),
                                  tr("Compose your own file names out of song values and text"));
    customFormatLabel_ = described(new QLabel(namesBox), tr("Custom file name format"),
                                   tr("The custom file name format"));
    customFormatLabel_->setTextFormat(Qt::PlainText);
    auto* namesCaption = new QLabel(tr("&Name files:"), namesBox);
    namesCaption->setBuddy(fileNameSelection_);
    namesLayout->addWidget(namesCaption, 0, 0);
    namesLayout->addWidget(fileNameSelection_, 0, 1);
    namesLayout->addWidget(formatEditButton_, 0, 2);
    namesLayout->addWidget(customFormatLabel_, 1, 1, 1, 2);
    namesLayout->setColumnStretch(1, 1);
    layout->addWidget(namesBox);

    auto* conversionBox = new QGroupBox(tr("Conversion"), this);
    auto* conversionLayout = new QGridLayout(conversionBox);
    convertToMp3_ =
        described(new QCheckBox(tr("Convert to MP&3"), conversionBox), tr("Convert to MP3"),
                  tr("Convert the songs to MP3 files at the chosen bit rate"));
    convertToAac_ =
        described(new QCheckBox(tr("Convert to &AAC (M4A)"), conversionBox), tr("Convert to AAC"),
                  tr("Convert the songs to AAC in M4A files at the chosen bit rate"));
    mp3BitRateSelection_ = described(new QComboBox(conversionBox), tr("MP3 bit rate"),
                                     tr("Bit rate of the MP3 files; \"Keep source bit rate\" "
                                        "takes the song's own"));
    aacBitRateSelection_ = described(new QComboBox(conversionBox), tr("AAC bit rate"),
                                     tr("Bit rate of the AAC files; \"Keep source bit rate\" "
                                        "takes the song's own"));
    fillBitRates(mp3BitRateSelection_, mp3BitRates());
    fillBitRates(aacBitRateSelection_, aacBitRates());
    conversionLayout->addWidget(convertToMp3_, 0, 0);
    conversionLayout->addWidget(mp3BitRateSelection_, 0, 1);
    conversionLayout->addWidget(convertToAac_, 1, 0);
    conversionLayout->addWidget(aacBitRateSelection_, 1, 1);
    conversionLayout->setColumnStretch(1, 1);
    layout->addWidget(conversionBox);

    albumOptionsBox_ = new QGroupBox(tr("Albums"), this);
    auto* albumLayout = new QHBoxLayout(albumOptionsBox_);
    artworkExport_ =
        described(new QCheckBox(tr("Save album a&rtwork"), albumOptionsBox_),
                  tr("Save album artwork"), tr("Save each album's artwork once as a PNG file"));
    createArtistFolder_ =
        described(new QCheckBox(tr("Album &folders in an artist folder"), albumOptionsBox_),
                  tr("Album folders in an artist folder"),
                  tr("With the album folder layout, put each album's folder inside a folder "
                     "named after its artist"));
    albumLayout->addWidget(artworkExport_);
    albumLayout->addWidget(createArtistFolder_);
    albumLayout->addStretch();
    layout->addWidget(albumOptionsBox_);
    layout->addStretch();

    auto* buttons = new QHBoxLayout;
    advancedButton_ = described(new QPushButton(tr("Ad&vanced…"), this), tr("Advanced options"),
                                tr("Folder layout, m3u files, existing files, track order and "
                                   "more"));
    cancelBtn_ = described(new QPushButton(tr("Cancel"), this), tr("Cancel"),
                           tr("Close without exporting (your choices are remembered)"));
    nextBtn_ = described(new QPushButton(tr("Next"), this), tr("Next"),
                         tr("Choose the destination folder and export"));
    nextBtn_->setDefault(true);
    buttons->addWidget(advancedButton_);
    buttons->addStretch();
    buttons->addWidget(cancelBtn_);
    buttons->addWidget(nextBtn_);
    layout->addLayout(buttons);

    for (QRadioButton* radio : {checkedOnly_, currentOnly_, all_})
        connect(radio, &QRadioButton::toggled, this, [this](bool on) {
            if (on) updateInfoNumbers();
        });
    connect(convertToMp3_, &QCheckBox::toggled, this, [this] { conversionChanged(true); });
    connect(convertToAac_, &QCheckBox::toggled, this, [this] { conversionChanged(false); });
    connect(fileNameSelection_, &QComboBox::currentIndexChanged, this,
            &ExportDialog::fileFormatButtonDidPress);
    connect(formatEditButton_, &QPushButton::clicked, this, &ExportDialog::openFormatEditor);
    connect(advancedButton_, &QPushButton::clicked, this, &ExportDialog::openAdvanced);
    connect(nextBtn_, &QPushButton::clicked, this, [this] { finish(false); });
    connect(cancelBtn_, &QPushButton::clicked, this, [this] { finish(true); });
}

void ExportDialog::setIsAlbum(bool isAlbum) {
    isAlbum_ = isAlbum;
    const QString items = isAlbum ? tr("albums") : tr("playlists");
    checkedOnly_->setText(isAlbum ? tr("&Ticked albums") : tr("&Ticked playlists"));
    currentOnly_->setText(isAlbum ? tr("&Selected album only") : tr("&Selected playlist only"));
    all_->setText(isAlbum ? tr("A&ll albums") : tr("A&ll playlists"));
    described(checkedOnly_, checkedOnly_->text().remove(QLatin1Char('&')),
              tr("Export the %1 you ticked in the list").arg(items));
    described(
        currentOnly_, currentOnly_->text().remove(QLatin1Char('&')),
        tr("Export only the %1 selected in the list").arg(isAlbum ? tr("album") : tr("playlist")));
    described(all_, all_->text().remove(QLatin1Char('&')),
              tr("Export all %1 in the list").arg(items));
    albumOptionsBox_->setVisible(isAlbum);
    updateInfoNumbers();
}

void ExportDialog::showChoices(const ExportChoices& choices) {
    checkedOnly_->setChecked(choices.content == ItemChoice::Ticked);
    currentOnly_->setChecked(choices.content == ItemChoice::Current);
    all_->setChecked(choices.content == ItemChoice::All);
    (choices.playlistFiles ? m3uAndFiles_ : onlyFiles_)->setChecked(true);
    artworkExport_->setChecked(choices.artwork);
    drmExclude_->setChecked(choices.excludeDrm);
    fileNameSelection_->setCurrentIndex(choices.fileNameIndex);
    mp3BitRateSelection_->setCurrentIndex(choices.mp3Index);
    aacBitRateSelection_->setCurrentIndex(choices.aacIndex);
    convertToMp3_->setChecked(choices.convertToMp3);
    convertToAac_->setChecked(choices.convertToAac);
    mp3BitRateSelection_->setEnabled(choices.convertToMp3);
    aacBitRateSelection_->setEnabled(choices.convertToAac);
}

ExportChoices ExportDialog::choicesFromControls() const {
    ExportChoices choices;
    choices.content = contentChoice();
    choices.playlistFiles = m3uAndFiles_->isChecked();
    choices.artwork = artworkExport_->isChecked();
    choices.excludeDrm = drmExclude_->isChecked();
    choices.fileNameIndex = fileNameSelection_->currentIndex();
    choices.mp3Index = mp3BitRateSelection_->currentIndex();
    choices.aacIndex = aacBitRateSelection_->currentIndex();
    choices.convertToMp3 = convertToMp3_->isChecked();
    choices.convertToAac = convertToAac_->isChecked();
    return choices;
}

void ExportDialog::restore() {
    PreferencesStore& store = PreferencesStore::standardUserDefaults();
    ExportChoices choices = choicesFromControls();
    // Never closed before: the controls keep their first look, and the pattern stays unset.
    if (!choices.restoreFrom(store)) return;
    showChoices(choices);
    applyOlderLayoutSetting(store, KvrUserOptions::shareOptions());
    customFormatArray_ = storedCustomFormat(store);
    setCustomFormatLabelText();
    trackNumberFormat_ = storedTrackNumberFormat(store);
    formatKnown_ = true;
}

void ExportDialog::saveOptions() {
    const ExportChoices choices = choicesFromControls();
    choices.storeTo(PreferencesStore::standardUserDefaults());
    aacBitRate_ = choices.aacBitRate();
    bitRate_ = choices.mp3BitRate();
}

ItemChoice ExportDialog::contentChoice() const {
    if (checkedOnly_->isChecked()) return ItemChoice::Ticked;
    if (currentOnly_->isChecked()) return ItemChoice::Current;
    return ItemChoice::All;
}

void ExportDialog::applyTo(KvExportManager& manager) const {
    manager.setExportPlaylistFile(m3uAndFiles_->isChecked());
    manager.setFileNameFormatType(storedOption<NamePattern>(fileNameSelection_->currentIndex()));
    if (isAlbum_) manager.setExportAlbumImage(artworkExport_->isChecked());
    manager.setBitRate(bitRate_);
    manager.setAacBitRate(aacBitRate_);
    manager.setConverToMp3(convertToMp3_->isChecked());
    manager.setConverToAAC(convertToAac_->isChecked());
    if (isAlbum_) manager.setCreateArtistFolder(createArtistFolder_->isChecked());
    if (formatKnown_) {
        manager.setTrackNumberFormat(trackNumberFormat_);
        manager.setCustomFormatArray(customFormatArray_);
    } else {
        // The very first export, with no pattern chosen yet: the one the command line would take,
        // rather than an empty pattern that names every song after its source file.
        PreferencesStore& store = PreferencesStore::standardUserDefaults();
        manager.setTrackNumberFormat(storedTrackNumberFormat(store));
        manager.setCustomFormatArray(storedCustomFormat(store));
    }
}

void ExportDialog::updateInfoNumbers() {
    // Deferred, so the counts the opener sets after making the dialog are the ones shown.
    QTimer::singleShot(200, this, [this] {
        qint64 items = numberOfAllPlaylist_;
        qint64 songs = numberOfAllSongs_;
        if (currentOnly_->isChecked()) {
            items = numberOfAllPlaylist_ > 0 ? 1 : 0;
            songs = numberOfCurrentPlaylistSongs_;
        } else if (checkedOnly_->isChecked()) {
            items = numberOfPlaylistForExport_;
            songs = numberOfSongsForExport_;
        }
        previewNumbersLabel_->setText(
            QStringLiteral("(%1: %2, Songs: %3)")
                .arg(isAlbum_ ? QStringLiteral("Albums") : QStringLiteral("Playlists"))
                .arg(items)
                .arg(songs));
    });
}

void ExportDialog::conversionChanged(bool mp3) {
    QCheckBox* box = mp3 ? convertToMp3_ : convertToAac_;
    QCheckBox* other = mp3 ? convertToAac_ : convertToMp3_;
    (mp3 ? mp3BitRateSelection_ : aacBitRateSelection_)->setEnabled(box->isChecked());
    if (!box->isChecked()) return;
    // One conversion at a time.
    (mp3 ? aacBitRateSelection_ : mp3BitRateSelection_)->setEnabled(false);
    other->setChecked(false);
}

void ExportDialog::fileFormatButtonDidPress() {
    const bool custom = fileNameSelection_->currentIndex() == static_cast<int>(NamePattern::Custom);
    formatEditButton_->setVisible(custom);
    customFormatLabel_->setVisible(custom);
    if (!custom) setCustomFormatLabelText();
}

void ExportDialog::setCustomFormatLabelText() {
    customFormatLabel_->setText(QString::fromStdString(customFormatLabelText(customFormatArray_)));
}

void ExportDialog::openFormatEditor() {
    auto* editor = new FormatEditor(this);
    connect(editor, &QDialog::finished, this, [this, editor] {
        formatWindowDidReturn(*editor);
        editor->deleteLater();
    });
    editor->open();
}

void ExportDialog::formatWindowDidReturn(const FormatEditor& editor) {
    if (!editor.cancel()) {
        if (editor.formatArray()) customFormatArray_ = *editor.formatArray();
        if (editor.trackNumberFormat()) trackNumberFormat_ = *editor.trackNumberFormat();
        formatKnown_ = formatKnown_ || editor.formatArray().has_value();
    }
    setCustomFormatLabelText();
}

void ExportDialog::openAdvanced() {
    auto* advanced = new AdvancedExportDialog(isAlbum_, this);
    connect(advanced, &QDialog::finished, this, [this, advanced] {
        setCustomFormatLabelText();
        advanced->deleteLater();
    });
    advanced->open();
}

void ExportDialog::reject() { finish(true); }

void ExportDialog::finish(bool cancelled) {
    saveOptions();
    cancel_ = cancelled;
    done(cancelled ? QDialog::Rejected : QDialog::Accepted);
}
