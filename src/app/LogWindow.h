#pragma once

#include <QString>
#include <QWidget>

class QPlainTextEdit;
class QPushButton;

// The shared log of every export run: a plain text window created hidden at launch and kept for
// the life of the application, so the lines of several runs accumulate until the user clears
// them. Every member must be called on the GUI thread (QtExportUi posts the run's lines here).
class LogWindow : public QWidget {
    Q_OBJECT

  public:
    explicit LogWindow(QWidget* parent = nullptr);

    // Appends one line. The view follows the end only when it was showing the end already, so a
    // user reading earlier lines is not pulled away.
    void appendLine(const QString& line);
    // Appends one line and brings the window to the front: something went wrong.
    void appendIssue(const QString& line);
    void showWindow();

    // The whole log, each line ended by "\n".
    const QString& text() const { return text_; }

    // Writes the log to `file` as UTF-8 through a temporary file; false with the reason.
    bool saveTo(const QString& file, QString* error = nullptr) const;

  public Q_SLOTS:
    // Asks for a ".txt" file and saves the log there.
    void save();
    void clear();

  private:
    QPlainTextEdit* view_;
    QPushButton* saveButton_;
    QPushButton* clearButton_;
    QString text_;
};
