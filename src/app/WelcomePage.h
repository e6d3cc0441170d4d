#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// Shown instead of the pages when there is no library to read: what Kelvara needs, how to get it
// from Music or iTunes, a button to choose the file, and why the last file could not be read.
class WelcomePage : public QWidget {
    Q_OBJECT

  public:
    explicit WelcomePage(QWidget* parent = nullptr);

    // The reader's own message; empty hides the line.
    void setFailure(const QString& reason);
    QString failure() const;

    QPushButton* openButton() const { return open_; }

  Q_SIGNALS:
    void openLibraryFile();

  private:
    QLabel* failure_;
    QPushButton* open_;
};
