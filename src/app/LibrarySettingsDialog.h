#pragma once

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;

// File > Library Settings…: the local copy of the library's music folder and further path
// prefixes to replace, kept as "MusicFolder" and "PathMap".
class LibrarySettingsDialog : public QDialog {
    Q_OBJECT

  public:
    explicit LibrarySettingsDialog(QWidget* parent = nullptr);

    QLineEdit* musicFolderField() const { return folder_; }
    QPlainTextEdit* pathMapField() const { return map_; }

    // Stores the fields; false (and a message in the dialog) when a line is not FROM=TO.
    bool store();

  private:
    void acceptIfValid();

    QLineEdit* folder_;
    QPlainTextEdit* map_;
};
