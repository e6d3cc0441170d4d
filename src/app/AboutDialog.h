#pragma once

#include <QDialog>
#include <QUrl>

// About Kelvara and the way to send feedback: the version, and a button that opens the project's
// page in the browser. Made anew each time it is opened.
class AboutDialog : public QDialog {
    Q_OBJECT

  public:
    explicit AboutDialog(QWidget* window = nullptr);

    // Where feedback goes.
    static QUrl projectPage();
    static QString versionText();

  Q_SIGNALS:
    // The feedback button was pressed and the page asked for.
    void projectPageOpened(const QUrl& page);
};
