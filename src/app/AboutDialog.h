#pragma once

#include <QDialog>
#include <QUrl>

// About Kelvara and the way to send feedback: the version, the licences of Kelvara and of the
// libraries it links, and a button that opens the project's page in the browser. Made anew each
// time it is opened.
class AboutDialog : public QDialog {
    Q_OBJECT

  public:
    explicit AboutDialog(QWidget* window = nullptr);

    // Where feedback goes.
    static QUrl projectPage();
    static QString versionText();

    struct Licence {
        QString component;
        QString licence;
    };
    // Kelvara first, then every library the two programs link, as built on this system.
    static QList<Licence> licences();

  Q_SIGNALS:
    // The feedback button was pressed and the page asked for.
    void projectPageOpened(const QUrl& page);
};
