#include "dialogs/AdvancedExportDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <thread>

#include "dialogs/Described.h"
#include "engine/ExportChoices.h"
#include "engine/KvrUserOptions.h"

using namespace kelvara;

AdvancedExportDialog::AdvancedExportDialog(bool isAlbum, QWidget* parent)
    : QDialog(parent), isAlbum_(isAlbum) {
    setWindowTitle(tr("Advanced Export Options"));
    setWindowModality(Qt::WindowModal);
    buildControls();
    showOptions();
}

void AdvancedExportDialog::buildControls() {
    auto* layout = new QVBoxLayout(this);

    auto* foldersBox = new QGroupBox(tr("Folders"), this);
    auto* foldersLayout = new QFormLayout(foldersBox);
    orginizeFilesOptionButton_ =
        described(new QComboBox(foldersBox), tr("Folder layout"),
                  tr("Which folders the songs go into below the destination folder"));
    // In list order; the folder-layout table says which layout each position stores.
    orginizeFilesOptionButton_->addItems({tr("Album folder"), tr("Music/Artist/Album folder"),
                                          tr("Root/Artist/Album folder"), tr("Music files folder"),
                                          tr("Root folder")});
    const QString layoutTips[] = {
        tr("A folder for each playlist (or album) in the destination"),
        tr("A folder \"Music\", in it a folder per album artist, in that a folder per album"),
        tr("A folder per album artist in the destination, in it a folder per album"),
        tr("All songs in one folder \"Music\" in the destination"),
        tr("All songs directly in the destination folder")};
    for (int i = 0; i < orginizeFilesOptionButton_->count(); ++i)
        orginizeFilesOptionButton_->setItemData(i, layoutTips[i], Qt::ToolTipRole);
    auto* layoutCaption = new QLabel(tr("&Layout:"), foldersBox);
    layoutCaption->setBuddy(orginizeFilesOptionButton_);
    foldersLayout->addRow(layoutCaption, orginizeFilesOptionButton_);
    saveM3uWithFiles_ = described(
        new QCheckBox(foldersBox), tr("Save m3u file in the same folder with tracks"),
        tr("Put each m3u file in the folder of its songs instead of the destination folder"));
    foldersLayout->addRow(saveM3uWithFiles_);
    layout->addWidget(foldersBox);

    auto* existingBox = new QGroupBox(tr("When a file already exists"), this);
    auto* existingLayout = new QHBoxLayout(existingBox);
    ifFileExistsSkipButton_ =
        described(new QRadioButton(tr("&Skip it"), existingBox), tr("Skip existing files"),
                  tr("Leave a song already in the destination alone and go on"));
    ifFileExistsOverwriteButton_ =
        described(new QRadioButton(tr("&Replace it"), existingBox), tr("Replace existing files"),
                  tr("Delete a song already in the destination and export it again"));
    ifFileExistsUpdateButton_ = described(
        new QRadioButton(tr("&Update when changed"), existingBox), tr("Update when changed"),
        tr("Export a song again only when its source, the export options or the exported file "
           "changed since the last export"));
    existingLayout->addWidget(ifFileExistsSkipButton_);
    existingLayout->addWidget(ifFileExistsOverwriteButton_);
    existingLayout->addWidget(ifFileExistsUpdateButton_);
    existingLayout->addStretch();
    layout->addWidget(existingBox);

    auto* conversionBox = new QGroupBox(tr("Conversion"), this);
    auto* conversionLayout = new QFormLayout(conversionBox);
    dontConverIfSameTypeButton_ =
        described(new QCheckBox(tr("Copy songs already in the target &format"), conversionBox),
                  tr("Copy songs already in the target format"),
                  tr("An MP3 song exported as MP3 (or AAC as AAC) is copied, not encoded again"));
    dontConvertLossyFormatsButton_ =
        described(new QCheckBox(tr("Never convert MP3 and AAC so&ngs"), conversionBox),
                  tr("Never convert MP3 and AAC songs"),
                  tr("Songs that are already MP3 or AAC are always copied as they are"));
    algorithmSelectionButton_ =
        described(new QComboBox(conversionBox), tr("MP3 encoder quality"),
                  tr("The MP3 encoder's trade-off between sound quality and speed"));
    algorithmSelectionButton_->addItems(
        {tr("Best quality (slowest)"), tr("Standard"), tr("Fastest")});
    auto* algorithmCaption = new QLabel(tr("MP3 &encoder:"), conversionBox);
    algorithmCaption->setBuddy(algorithmSelectionButton_);
    conversionLayout->addRow(dontConverIfSameTypeButton_);
    conversionLayout->addRow(dontConvertLossyFormatsButton_);
    conversionLayout->addRow(algorithmCaption, algorithmSelectionButton_);
    parallelSongsBox_ = described(
        new QSpinBox(conversionBox), tr("Songs converted at once"),
        tr("How many songs are converted at the same time; each takes one processor core"));
    parallelSongsBox_->setRange(0, KvrUserOptions::kMaxParallelSongs);
    parallelSongsBox_->setSpecialValueText(
        tr("One per core (%1)").arg(std::max(1u, std::thread::hardware_concurrency())));
    auto* parallelCaption = new QLabel(tr("Songs converted at &once:"), conversionBox);
    parallelCaption->setBuddy(parallelSongsBox_);
    conversionLayout->addRow(parallelCaption, parallelSongsBox_);
    layout->addWidget(conversionBox);

    auto* m3uBox = new QGroupBox(tr("m3u files"), this);
    auto* m3uLayout = new QFormLayout(m3uBox);
    playlistEncodingButton_ =
        described(new QComboBox(m3uBox), tr("Character set"),
                  tr("Character set of the m3u files and of the characters allowed in file names"));
    playlistEncodingButton_->addItems({tr("UTF-8"), tr("Latin-1 (Windows 1252)"), tr("ASCII")});
    auto* encodingCaption = new QLabel(tr("&Character set:"), m3uBox);
    encodingCaption->setBuddy(playlistEncodingButton_);
    m3uLayout->addRow(encodingCaption, playlistEncodingButton_);
    auto* endings = new QHBoxLayout;
    lineEndingLF_ = described(new QCheckBox(tr("LF (Linux, &Mac)"), m3uBox), tr("LF line endings"),
                              tr("End the lines of m3u files with LF"));
    lineEndingCRLF_ =
        described(new QCheckBox(tr("CR LF (&Windows)"), m3uBox), tr("CR LF line endings"),
                  tr("End the lines of m3u files with CR LF, as Windows does"));
    endings->addWidget(lineEndingLF_);
    endings->addWidget(lineEndingCRLF_);
    endings->addStretch();
    m3uLayout->addRow(tr("Line endings:"), endings);
    windowsPathCheckBox_ =
        described(new QCheckBox(tr("Write paths with &backslashes"), m3uBox),
                  tr("Write paths with backslashes"),
                  tr("Write the song paths in m3u files Windows style, with backslashes"));
    m3uLayout->addRow(windowsPathCheckBox_);
    layout->addWidget(m3uBox);

    auto* orderBox = new QGroupBox(tr("Song order in playlists"), this);
    auto* orderLayout = new QHBoxLayout(orderBox);
    orderSelectionButton_ = described(new QComboBox(orderBox), tr("Song order"),
                                      tr("The order of each playlist's songs in its m3u file "
                                         "and its numbers"));
    orderSelectionButton_->addItems({tr("Playlist order"), tr("Artist"), tr("Title"), tr("Album"),
                                     tr("Year"), tr("Date added"), tr("Play count"),
                                     tr("Shuffle")});
    orderAscendingButton_ = described(new QCheckBox(tr("&Ascending"), orderBox), tr("Ascending"),
                                      tr("Sort from lowest to highest; off sorts the other way"));
    orderLayout->addWidget(orderSelectionButton_, 1);
    orderLayout->addWidget(orderAscendingButton_);
    layout->addWidget(orderBox);

    deleteHiddenFilesCheckBox_ =
        described(new QCheckBox(tr("Remove &hidden system files from the destination"), this),
                  tr("Remove hidden system files"),
                  tr("At the end of the export, delete files like .DS_Store and ._ files in the "
                     "destination"));
    layout->addWidget(deleteHiddenFilesCheckBox_);
    mirrorDestinationCheckBox_ = described(
        new QCheckBox(tr("Remove songs that are no longer in the selec&tion"), this),
        tr("Remove songs that are no longer in the selection"),
        tr("After the export, delete the files an earlier export wrote that this one no longer "
           "produces; files you put there yourself are never touched"));
    layout->addWidget(mirrorDestinationCheckBox_);
    layout->addStretch();

    auto* buttons = new QHBoxLayout;
    cancelButton_ = described(new QPushButton(tr("Cancel"), this), tr("Cancel"),
                              tr("Close and keep the options as they were"));
    okButton_ = described(new QPushButton(tr("OK"), this), tr("OK"),
                          tr("Keep these options for the next exports"));
    okButton_->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(cancelButton_);
    buttons->addWidget(okButton_);
    layout->addLayout(buttons);

    connect(orginizeFilesOptionButton_, &QComboBox::currentIndexChanged, this,
            &AdvancedExportDialog::orginizeMusicOptionDidChange);
    // The two boxes exclude each other, but both may be off.
    connect(lineEndingLF_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) lineEndingCRLF_->setChecked(false);
    });
    connect(lineEndingCRLF_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) lineEndingLF_->setChecked(false);
    });
    connect(okButton_, &QPushButton::clicked, this, [this] {
        saveOptions();
        accept();
    });
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void AdvancedExportDialog::showOptions() {
    const KvrUserOptions& options = KvrUserOptions::shareOptions();
    saveM3uWithFiles_->setChecked(options.saveM3uWithFiles());
    if (const auto index = folderLayoutIndex(toStored(options.filesSaveToFolder())))
        orginizeFilesOptionButton_->setCurrentIndex(*index);
    orginizeMusicOptionDidChange();
    saveM3uWithFiles_->setText(QStringLiteral("Save m3u file in the same folder with tracks "));
    if (!isAlbum_) orginizeFilesOptionButton_->setItemText(0, tr("Playlist folder"));
    switch (options.existingFiles()) {
        case KvrUserOptions::ExistingFiles::Skip:
            ifFileExistsSkipButton_->setChecked(true);
            break;
        case KvrUserOptions::ExistingFiles::Replace:
            ifFileExistsOverwriteButton_->setChecked(true);
            break;
        case KvrUserOptions::ExistingFiles::UpdateWhenChanged:
            ifFileExistsUpdateButton_->setChecked(true);
            break;
    }
    mirrorDestinationCheckBox_->setChecked(options.mirrorDestination());
    dontConvertLossyFormatsButton_->setChecked(options.dontConvertLossyFormats());
    windowsPathCheckBox_->setChecked(options.windowsPaths());
    dontConverIfSameTypeButton_->setChecked(options.dontConvertSameType());
    (options.lineEnding() == LineEnding::Lf ? lineEndingLF_ : lineEndingCRLF_)->setChecked(true);
    algorithmSelectionButton_->setCurrentIndex(
        algorithmIndex(options, PreferencesStore::standardUserDefaults()));
    orderSelectionButton_->setCurrentIndex(static_cast<int>(toStored(options.tracksOrder())));
    orderAscendingButton_->setChecked(options.orderAscending());
    playlistEncodingButton_->setCurrentIndex(
        static_cast<int>(toStored(options.playlistEncoding())));
    deleteHiddenFilesCheckBox_->setChecked(options.deleteHiddenFiles());
    parallelSongsBox_->setValue(options.parallelSongs());
}

void AdvancedExportDialog::orginizeMusicOptionDidChange() {
    // The artist layouts put songs in many folders: an m3u file beside them cannot reach them all
    // from a playlist, while an album's songs share one folder.
    const int index = orginizeFilesOptionButton_->currentIndex();
    saveM3uWithFiles_->setEnabled(!(index == 1 || index == 2) || isAlbum_);
}

void AdvancedExportDialog::saveOptions() {
    KvrUserOptions& options = KvrUserOptions::shareOptions();
    options.setFilesSaveToFolder(folderLayoutAt(orginizeFilesOptionButton_->currentIndex()));
    options.setSaveM3uWithFiles(saveM3uWithFiles_->isChecked());
    options.setDontConvertLossyFormats(dontConvertLossyFormatsButton_->isChecked());
    options.setExistingFiles(
        ifFileExistsUpdateButton_->isChecked() ? KvrUserOptions::ExistingFiles::UpdateWhenChanged
        : ifFileExistsSkipButton_->isChecked() ? KvrUserOptions::ExistingFiles::Skip
                                               : KvrUserOptions::ExistingFiles::Replace);
    options.setMirrorDestination(mirrorDestinationCheckBox_->isChecked());
    options.setWindowsPaths(windowsPathCheckBox_->isChecked());
    options.setDontConvertSameType(dontConverIfSameTypeButton_->isChecked());
    // Both boxes off means CR LF.
    options.setLineEnding(lineEndingLF_->isChecked() ? LineEnding::Lf : LineEnding::CrLf);
    options.setAlgorithm(storedOption<Mp3Algorithm>(algorithmSelectionButton_->currentIndex()));
    options.setOrderAscending(orderAscendingButton_->isChecked());
    options.setTracksOrder(storedOption<TrackOrder>(orderSelectionButton_->currentIndex()));
    options.setPlaylistEncoding(
        storedOption<PlaylistEncoding>(playlistEncodingButton_->currentIndex()));
    options.setDeleteHiddenFiles(deleteHiddenFilesCheckBox_->isChecked());
    options.setParallelSongs(parallelSongsBox_->value());
    PreferencesStore& store = PreferencesStore::standardUserDefaults();
    options.saveTo(store);
    store.flush();
}
