#pragma once

#include <QDialog>

#include "library/PlaylistBrowser.h"

class QGroupBox;
class QPushButton;
class QRadioButton;

// The sheet shown before a song listing: which playlists (or albums) it covers and the file type.
// It restores both choices from the preferences when it is made and stores them when it closes,
// by OK and by Cancel alike; the opener then reads the buttons and writes the listing. It writes
// nothing itself.
class ListingDialog : public QDialog {
    Q_OBJECT

  public:
    explicit ListingDialog(QWidget* window = nullptr);

    // Names albums instead of playlists in the content choices.
    void setIsAlbum(bool isAlbum);
    bool isAlbum() const { return isAlbum_; }

    // True after Cancel (or Escape, or closing the sheet), false after OK.
    bool cancel() const { return cancel_; }

    QRadioButton* checkedOnly() const { return checkedOnly_; }
    QRadioButton* currentOnly() const { return currentOnly_; }
    QRadioButton* all() const { return all_; }
    QRadioButton* xlsType() const { return xlsType_; }
    QRadioButton* xlsxType() const { return xlsxType_; }
    QRadioButton* csvType() const { return csvType_; }
    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

    // The content radios as the pages choose by them: ticked unless current or all is on.
    kelvara::ItemChoice contentChoice() const;

    // OK: stores the choices and ends the sheet.
    void doneAction();
    // Cancel: stores the choices as well and ends the sheet with cancel() true.
    void cancelAction();
    // Stores "ExcelContent" and "fileType", flushing after each.
    void saveOptions() const;

    void reject() override;

  private:
    void restoreOptions();

    QGroupBox* contentBox_;
    QRadioButton* checkedOnly_;
    QRadioButton* currentOnly_;
    QRadioButton* all_;
    QRadioButton* xlsType_;
    QRadioButton* xlsxType_;
    QRadioButton* csvType_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    bool isAlbum_ = false;
    bool cancel_ = true;
};
