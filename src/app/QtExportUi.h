#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <mutex>
#include <vector>

#include "app/LogWindow.h"
#include "app/ProgressSheet.h"
#include "engine/ExportUi.h"
#include "platform/PowerInhibitor.h"

class QWidget;

// The desktop front end of an export run. The engine calls it from its worker; every call that
// touches a window is posted to the GUI thread and returns at once, so the worker never waits for
// the windows. Log lines are gathered and handed to the log window in batches, in order.
//
// Lives on the GUI thread. The KvExportManager using it must be destroyed (its worker joined)
// before this object is.
class QtExportUi : public QObject, public kelvara::ExportUi {
    Q_OBJECT

  public:
    QtExportUi(QWidget* window, LogWindow* log, QObject* parent = nullptr);
    ~QtExportUi() override;

    void logLine(const std::string& line) override;
    void issueLine(const std::string& line) override;
    void consoleLine(const std::string& line) override;
    void showProgress() override;
    void closeProgress() override;
    void setProgressMaximum(long maximum) override;
    void setProgressValue(long value) override;
    void setProgressMessage(const std::string& message) override;
    void setSmallInfo(const std::string& info) override;
    void setSpinner(bool spinning) override;
    bool cancelRequested() const override;
    void alert(const std::string& message) override;
    void notify(const std::string& title, const std::string& text) override;
    void openDestination(const std::filesystem::path& folder) override;
    void beginPowerInhibit(const std::string& why) override;
    void endPowerInhibit() override;

    // The run's sheet (GUI thread only).
    ProgressSheet* progressSheet() const { return sheet_.data(); }
    // True from showProgress until the run's closeProgress has reached the GUI thread.
    bool running() const { return running_.load(); }
    // The stop request without the Cancel button, for quitting during a run.
    void requestStop() { stop_.store(true); }

    // Whether the end of a run opens the destination folder in the file manager (on by default).
    void setOpensDestination(bool opens) { opensDestination_ = opens; }
    // Whether the end of a run posts a desktop notification (on by default).
    void setNotifies(bool notifies) { notifies_.store(notifies); }

  Q_SIGNALS:
    // On the GUI thread, once the run's sheet has closed.
    void runEnded();

  private:
    struct PendingLine {
        QString text;
        bool issue;
    };
    void queueLine(const std::string& line, bool issue);
    void flushLines();
    template <typename F>
    void post(F&& work);

    QPointer<QWidget> window_;
    QPointer<LogWindow> log_;
    // Owned here; parented to the window so that it shows as the window's sheet, and therefore
    // watched, since the window may go first.
    QPointer<ProgressSheet> sheet_;
    std::mutex linesMutex_;
    std::vector<PendingLine> pendingLines_;
    std::atomic<bool> stop_{false};  // Cancel, or requestStop()
    std::atomic<bool> running_{false};
    std::atomic<bool> notifies_{true};
    bool opensDestination_ = true;
    std::mutex inhibitMutex_;
    kelvara::PowerInhibitor inhibitor_;
};
