#include "app/QtExportUi.h"

#include <QFile>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QMetaObject>
#include <QWidget>

#include "app/DesktopActions.h"
#include "app/LogWindow.h"
#include "app/ProgressSheet.h"
#include "platform/DesktopNotifier.h"

// The developer's lines of a run; off unless QT_LOGGING_RULES="kelvara.export.debug=true".
Q_LOGGING_CATEGORY(exportConsole, "kelvara.export", QtInfoMsg)

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QtExportUi::QtExportUi(QWidget* window, LogWindow* log, QObject* parent)
    : QObject(parent), window_(window), log_(log), sheet_(new ProgressSheet(window)) {
    connect(sheet_, &ProgressSheet::cancelClicked, this, [this] { stop_.store(true); });
    connect(sheet_, &ProgressSheet::showLogClicked, this, [this] {
        if (log_) log_->showWindow();
    });
}

QtExportUi::~QtExportUi() { delete sheet_.data(); }

template <typename F>
void QtExportUi::post(F&& work) {
    QMetaObject::invokeMethod(this, std::forward<F>(work), Qt::QueuedConnection);
}

void QtExportUi::queueLine(const std::string& line, bool issue) {
    bool first = false;
    {
        std::lock_guard lock(linesMutex_);
        first = pendingLines_.empty();
        pendingLines_.push_back({fromUtf8(line), issue});
    }
    // One hand-over per batch: a fast copy run logs thousands of lines a second.
    if (first) post([this] { flushLines(); });
}

void QtExportUi::flushLines() {
    std::vector<PendingLine> lines;
    {
        std::lock_guard lock(linesMutex_);
        lines.swap(pendingLines_);
    }
    if (!log_) return;
    bool issue = false;
    for (const PendingLine& line : lines) {
        log_->appendLine(line.text);
        issue = issue || line.issue;
    }
    if (issue) log_->showWindow();
}

void QtExportUi::logLine(const std::string& line) { queueLine(line, false); }
void QtExportUi::issueLine(const std::string& line) { queueLine(line, true); }

void QtExportUi::consoleLine(const std::string& line) {
    qCDebug(exportConsole).noquote() << fromUtf8(line);
}

void QtExportUi::showProgress() {
    // Set here, on the worker, so that the run's first look at the stop request already sees
    // a fresh one.
    stop_.store(false);
    running_.store(true);
    post([this] {
        if (!sheet_) return;
        sheet_->resetCancel();
        sheet_->setMessage(QString());
        sheet_->setSmallInfo(QString());
        sheet_->setSpinning(false);
        sheet_->openSheet();
    });
}

void QtExportUi::closeProgress() {
    post([this] {
        if (sheet_) {
            sheet_->setSpinning(false);
            sheet_->done(QDialog::Accepted);
        }
        running_.store(false);
        Q_EMIT runEnded();
    });
}

void QtExportUi::setProgressMaximum(long maximum) {
    post([this, maximum] {
        if (sheet_) sheet_->setMaximum(maximum);
    });
}

void QtExportUi::setProgressValue(long value) {
    post([this, value] {
        if (sheet_) sheet_->setValue(value);
    });
}

void QtExportUi::setProgressMessage(const std::string& message) {
    post([this, text = fromUtf8(message)] {
        if (sheet_) sheet_->setMessage(text);
    });
}

void QtExportUi::setSmallInfo(const std::string& info) {
    post([this, text = fromUtf8(info)] {
        if (sheet_) sheet_->setSmallInfo(text);
    });
}

void QtExportUi::setSpinner(bool spinning) {
    post([this, spinning] {
        if (sheet_) sheet_->setSpinning(spinning);
    });
}

bool QtExportUi::cancelRequested() const { return stop_.load(); }

void QtExportUi::alert(const std::string& message) {
    post([this, text = fromUtf8(message)] {
        auto* box =
            new QMessageBox(QMessageBox::Warning, tr("Kelvara"), text, QMessageBox::Ok, window_);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(window_ ? Qt::WindowModal : Qt::ApplicationModal);
        box->open();
    });
}

void QtExportUi::notify(const std::string& title, const std::string& text) {
    // Called on the worker at the end of the run: the bus call (bounded by its own timeout)
    // keeps the windows free; without a notification service nothing happens.
    if (notifies_.load()) kelvara::postDesktopNotification(title, text);
}

void QtExportUi::openDestination(const std::filesystem::path& folder) {
    post([this, path = QFile::decodeName(folder.c_str())] {
        if (opensDestination_) DesktopActions::openWithDefaultApp(path);
    });
}

void QtExportUi::beginPowerInhibit(const std::string& why) {
    std::lock_guard lock(inhibitMutex_);
    inhibitor_.begin(why);
}

void QtExportUi::endPowerInhibit() {
    std::lock_guard lock(inhibitMutex_);
    inhibitor_.end();
}
