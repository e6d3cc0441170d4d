#include "app/LogWindow.h"

#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTextCursor>
#include <QVBoxLayout>

#include "platform/AtomicFile.h"

LogWindow::LogWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(tr("Log"));
    setObjectName("logWindow");
    resize(720, 480);

    view_ = new QPlainTextEdit(this);
    view_->setObjectName("logView");
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view_->setAccessibleName(tr("Export log"));

    saveButton_ = new QPushButton(tr("Save…"), this);
    saveButton_->setObjectName("saveLogButton");
    saveButton_->setAccessibleName(tr("Save log"));
    clearButton_ = new QPushButton(tr("Clear"), this);
    clearButton_->setObjectName("clearLogButton");
    clearButton_->setAccessibleName(tr("Clear log"));
    auto* closeButton = new QPushButton(tr("Close"), this);
    closeButton->setAccessibleName(tr("Close log window"));
    connect(saveButton_, &QPushButton::clicked, this, &LogWindow::save);
    connect(clearButton_, &QPushButton::clicked, this, &LogWindow::clear);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(clearButton_);
    buttons->addStretch();
    buttons->addWidget(saveButton_);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    layout->addLayout(buttons);

    new QShortcut(QKeySequence::Save, this, this, &LogWindow::save);
    new QShortcut(QKeySequence::Close, this, this, &QWidget::close);
}

void LogWindow::appendLine(const QString& line) {
    QScrollBar* bar = view_->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    const int kept = bar->value();
    text_ += line;
    text_ += QLatin1Char('\n');
    // Inserted through a cursor of its own, so neither the user's selection nor the view moves.
    QTextCursor end(view_->document());
    end.movePosition(QTextCursor::End);
    if (!view_->document()->isEmpty()) end.insertBlock();
    end.insertText(line);
    bar->setValue(atEnd ? bar->maximum() : kept);
}

void LogWindow::appendIssue(const QString& line) {
    appendLine(line);
    showWindow();
}

void LogWindow::showWindow() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

void LogWindow::clear() {
    text_.clear();
    view_->clear();
}

bool LogWindow::saveTo(const QString& file, QString* error) const {
    const QByteArray utf8 = text_.toUtf8();
    const kelvara::Status written = kelvara::writeFileAtomically(
        std::filesystem::path(QFile::encodeName(file).toStdString()),
        std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
    if (!written.ok() && error) *error = QString::fromStdString(written.message());
    return written.ok();
}

void LogWindow::save() {
    auto* dialog = new QFileDialog(this, tr("Save Log"), QString(), tr("Text files (*.txt)"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix("txt");
    dialog->selectFile(tr("Kelvara Log.txt"));
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QFileDialog::fileSelected, this, [this](QString file) {
        if (!file.endsWith(".txt", Qt::CaseInsensitive)) file += ".txt";
        // A failed save leaves the old file as it was; there is nothing more to tell the user.
        saveTo(file);
    });
    dialog->open();
}
