#pragma once

#include <QDialog>
#include <atomic>

class BusySpinner;
class QLabel;
class QProgressBar;
class QPushButton;

// The sheet the pages show while they read the library or gather songs on a worker: a message, a
// bar (moving until given a maximum), a small information line, a spinner and Cancel. The work
// polls cancel(); the sheet never stops anything itself.
class LoadingSheet : public QDialog {
    Q_OBJECT

  public:
    explicit LoadingSheet(QWidget* parent = nullptr);

    void setMessageToString(const QString& message);
    void setSmallInfo(const QString& info);
    // A maximum above 0 makes the bar determinate; 0 makes it move again.
    void setMaximum(int maximum);
    void setValue(int value);

    // True once Cancel (or Escape) was pressed; safe to read from a worker.
    bool cancel() const { return cancel_.load(); }

    // Shows the sheet window-modal on `window`, the bar and spinner moving.
    void openOn(QWidget* window);

    // Closes the sheet once the work has ended, finished or cancelled.
    void finish();

    QString message() const;

  Q_SIGNALS:
    void cancelClicked();

  public:
    void reject() override;

  private:
    QLabel* message_;
    QProgressBar* bar_;
    QLabel* smallInfo_;
    BusySpinner* spinner_;
    QPushButton* cancelButton_;
    std::atomic<bool> cancel_{false};
};
