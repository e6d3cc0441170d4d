#pragma once

#include <QDialog>
#include <atomic>

class BusySpinner;
class QLabel;
class QProgressBar;
class QPushButton;

// The sheet of one export run: the current playlist or album, a bar over its songs, the current
// song with a spinner while it is worked on, Cancel and Show Log. Cancel only raises the stop
// request; the run reads it before its next song and closes the sheet itself.
class ProgressSheet : public QDialog {
    Q_OBJECT

  public:
    explicit ProgressSheet(QWidget* window = nullptr);

    void setMessage(const QString& message);
    void setSmallInfo(const QString& info);
    void setMaximum(long maximum);
    void setValue(long value);
    void setSpinning(bool spinning);

    // What the sheet shows, in full (the labels may show it shortened).
    QString message() const;
    QString smallInfo() const;
    int maximum() const;
    int value() const;
    bool isSpinning() const;

    // The stop request; safe to read from the run's worker.
    bool cancel() const { return cancel_.load(); }
    void resetCancel() { cancel_.store(false); }

    // Shows the sheet window-modal on its window, the bar moving until the run makes it
    // determinate.
    void openSheet();

  Q_SIGNALS:
    void cancelClicked();
    void showLogClicked();

  public:
    // Escape asks to stop, as Cancel does; only the run closes the sheet.
    void reject() override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void requestCancel();
    void elideLabels();

    QLabel* message_;
    QProgressBar* bar_;
    QLabel* smallInfo_;
    BusySpinner* spinner_;
    QPushButton* cancelButton_;
    QPushButton* showLogButton_;
    QString messageText_, smallInfoText_;
    std::atomic<bool> cancel_{false};
};
