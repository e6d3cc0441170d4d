#pragma once

#include <QDialog>

#include "engine/ExportChoices.h"
#include "engine/MetadataToken.h"
#include "library/PlaylistBrowser.h"

class FormatEditor;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace kelvara {
class KvExportManager;
}

// The sheet shown before an export: what to export, m3u files, file names, conversion and, for
// albums, artwork and artist folders. It restores its controls from the preferences when it is
// made and stores them when it closes, by Next or by Cancel; the opener then reads the choices
// (applyTo, contentChoice) and starts the run. It starts nothing itself.
class ExportDialog : public QDialog {
    Q_OBJECT

  public:
    explicit ExportDialog(QWidget* window = nullptr);

    // Shows the album-only controls and names albums instead of playlists.
    void setIsAlbum(bool isAlbum);
    bool isAlbum() const { return isAlbum_; }

    // The counts the label shows for each content choice; set by the opener.
    void setNumberOfPlaylistForExport(qint64 n) { numberOfPlaylistForExport_ = n; }
    void setNumberOfAllPlaylist(qint64 n) { numberOfAllPlaylist_ = n; }
    void setNumberOfAllSongs(qint64 n) { numberOfAllSongs_ = n; }
    void setNumberOfSongsForExport(qint64 n) { numberOfSongsForExport_ = n; }
    void setNumberOfCurrentPlaylistSongs(qint64 n) { numberOfCurrentPlaylistSongs_ = n; }

    // True after Cancel, false after Next.
    bool cancel() const { return cancel_; }

    QRadioButton* checkedOnly() const { return checkedOnly_; }
    QRadioButton* currentOnly() const { return currentOnly_; }
    QRadioButton* all() const { return all_; }
    QRadioButton* m3uAndFiles() const { return m3uAndFiles_; }
    QRadioButton* onlyFiles() const { return onlyFiles_; }
    QCheckBox* artworkExport() const { return artworkExport_; }
    QCheckBox* drmExclude() const { return drmExclude_; }
    QCheckBox* createArtistFolder() const { return createArtistFolder_; }
    QCheckBox* convertToMp3() const { return convertToMp3_; }
    QCheckBox* convertToAac() const { return convertToAac_; }
    QComboBox* fileNameSelection() const { return fileNameSelection_; }
    QComboBox* mp3BitRateSelection() const { return mp3BitRateSelection_; }
    QComboBox* aacBitRateSelection() const { return aacBitRateSelection_; }
    QPushButton* formatEditButton() const { return formatEditButton_; }
    QPushButton* advancedButton() const { return advancedButton_; }
    QPushButton* nextBtn() const { return nextBtn_; }
    QPushButton* cancelBtn() const { return cancelBtn_; }
    QLabel* customFormatLabel() const { return customFormatLabel_; }
    QLabel* previewNumbersLabel() const { return previewNumbersLabel_; }
    QGroupBox* albumOptionsBox() const { return albumOptionsBox_; }

    // As chosen when the dialog closed (0 before).
    qint64 bitRate() const { return bitRate_; }
    qint64 aacBitRate() const { return aacBitRate_; }
    // The custom pattern and its track-number width: stored ones, or the format editor's.
    qint64 trackNumberFormat() const { return trackNumberFormat_; }
    const kelvara::FormatList& customFormatArray() const { return customFormatArray_; }

    // Sets on the engine what the dialog hands over; artwork and artist folders for albums only.
    void applyTo(kelvara::KvExportManager& manager) const;
    kelvara::ItemChoice contentChoice() const;

    // Escape and closing the window count as Cancel: the controls are stored all the same.
    void reject() override;

  private:
    void buildControls();
    void showChoices(const kelvara::ExportChoices& choices);
    kelvara::ExportChoices choicesFromControls() const;
    void restore();
    void saveOptions();
    void updateInfoNumbers();
    void conversionChanged(bool mp3);
    void fileFormatButtonDidPress();
    void setCustomFormatLabelText();
    void openFormatEditor();
    void openAdvanced();
    void formatWindowDidReturn(const FormatEditor& editor);
    void finish(bool cancelled);

    bool isAlbum_ = false;
    bool cancel_ = false;
    qint64 numberOfPlaylistForExport_ = 0;
    qint64 numberOfSongsForExport_ = 0;
    qint64 numberOfAllPlaylist_ = 0;
    qint64 numberOfAllSongs_ = 0;
    qint64 numberOfCurrentPlaylistSongs_ = 0;
    qint64 bitRate_ = 0;
    qint64 aacBitRate_ = 0;
    qint64 trackNumberFormat_ = 0;
    kelvara::FormatList customFormatArray_;
    // False until the pattern was restored or came from the editor.
    bool formatKnown_ = false;

    QRadioButton* checkedOnly_;
    QRadioButton* currentOnly_;
    QRadioButton* all_;
    QRadioButton* m3uAndFiles_;
    QRadioButton* onlyFiles_;
    QCheckBox* artworkExport_;
    QCheckBox* drmExclude_;
    QCheckBox* createArtistFolder_;
    QCheckBox* convertToMp3_;
    QCheckBox* convertToAac_;
    QComboBox* fileNameSelection_;
    QComboBox* mp3BitRateSelection_;
    QComboBox* aacBitRateSelection_;
    QPushButton* formatEditButton_;
    QPushButton* advancedButton_;
    QPushButton* nextBtn_;
    QPushButton* cancelBtn_;
    QLabel* customFormatLabel_;
    QLabel* previewNumbersLabel_;
    QGroupBox* albumOptionsBox_;
};
