#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;
class QSpinBox;

// The export dialog's advanced options: folder layout, m3u placement and text, existing files,
// conversion exceptions, track order, hidden files, removing what left the selection. Shows the
// shared options when it is made; OK writes them into the options and the preferences store, Cancel
// writes nothing.
class AdvancedExportDialog : public QDialog {
    Q_OBJECT

  public:
    // `isAlbum`: opened from the album page, where the artist layouts keep the m3u box usable.
    AdvancedExportDialog(bool isAlbum, QWidget* parent = nullptr);

    bool isAlbum() const { return isAlbum_; }

    QComboBox* orginizeFilesOptionButton() const { return orginizeFilesOptionButton_; }
    QCheckBox* saveM3uWithFiles() const { return saveM3uWithFiles_; }
    QCheckBox* dontConvertLossyFormatsButton() const { return dontConvertLossyFormatsButton_; }
    QRadioButton* ifFileExistsSkipButton() const { return ifFileExistsSkipButton_; }
    QRadioButton* ifFileExistsOverwriteButton() const { return ifFileExistsOverwriteButton_; }
    QRadioButton* ifFileExistsUpdateButton() const { return ifFileExistsUpdateButton_; }
    QCheckBox* mirrorDestinationCheckBox() const { return mirrorDestinationCheckBox_; }
    QCheckBox* windowsPathCheckBox() const { return windowsPathCheckBox_; }
    QCheckBox* dontConverIfSameTypeButton() const { return dontConverIfSameTypeButton_; }
    QCheckBox* lineEndingLF() const { return lineEndingLF_; }
    QCheckBox* lineEndingCRLF() const { return lineEndingCRLF_; }
    QComboBox* algorithmSelectionButton() const { return algorithmSelectionButton_; }
    QSpinBox* parallelSongsBox() const { return parallelSongsBox_; }
    QComboBox* orderSelectionButton() const { return orderSelectionButton_; }
    QCheckBox* orderAscendingButton() const { return orderAscendingButton_; }
    QComboBox* playlistEncodingButton() const { return playlistEncodingButton_; }
    QCheckBox* deleteHiddenFilesCheckBox() const { return deleteHiddenFilesCheckBox_; }
    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

  private:
    void buildControls();
    void showOptions();
    void orginizeMusicOptionDidChange();
    void saveOptions();

    bool isAlbum_;
    QComboBox* orginizeFilesOptionButton_;
    QCheckBox* saveM3uWithFiles_;
    QCheckBox* dontConvertLossyFormatsButton_;
    QRadioButton* ifFileExistsSkipButton_;
    QRadioButton* ifFileExistsOverwriteButton_;
    QRadioButton* ifFileExistsUpdateButton_;
    QCheckBox* mirrorDestinationCheckBox_;
    QCheckBox* windowsPathCheckBox_;
    QCheckBox* dontConverIfSameTypeButton_;
    QCheckBox* lineEndingLF_;
    QCheckBox* lineEndingCRLF_;
    QComboBox* algorithmSelectionButton_;
    QSpinBox* parallelSongsBox_;
    QComboBox* orderSelectionButton_;
    QCheckBox* orderAscendingButton_;
    QComboBox* playlistEncodingButton_;
    QCheckBox* deleteHiddenFilesCheckBox_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
};
