#include "app/LoadingSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/BusySpinner.h"

LoadingSheet::LoadingSheet(QWidget* parent) : QDialog(parent) {
    setObjectName("loadingSheet");
    setWindowTitle(tr("Loading"));
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(400);

    message_ = new QLabel(this);
    message_->setObjectName("loadingMessage");
    message_->setAccessibleName(tr("Loading message"));
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);

    bar_ = new QProgressBar(this);
    bar_->setObjectName("loadingBar");
    bar_->setAccessibleName(tr("Loading progress"));
    bar_->setTextVisible(false);
    bar_->setRange(0, 0);

    smallInfo_ = new QLabel(this);
    smallInfo_->setObjectName("loadingSmallInfo");
    smallInfo_->setAccessibleName(tr("Loading details"));
    smallInfo_->setTextFormat(Qt::PlainText);
    smallInfo_->setWordWrap(true);

    spinner_ = new BusySpinner(this);
    spinner_->setAccessibleName(tr("Working"));

    cancelButton_ = new QPushButton(tr("Cancel"), this);
    cancelButton_->setObjectName("loadingCancelButton");
    cancelButton_->setAccessibleName(tr("Cancel loading"));
    cancelButton_->setAutoDefault(false);
    connect(cancelButton_, &QPushButton::clicked, this, &LoadingSheet::reject);

    auto* infoRow = new QHBoxLayout;
    infoRow->addWidget(spinner_, 0, Qt::AlignTop);
    infoRow->addWidget(smallInfo_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancelButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(message_);
    layout->addWidget(bar_);
    layout->addLayout(infoRow);
    layout->addLayout(buttons);
}

void LoadingSheet::setMessageToString(const QString& message) { message_->setText(message); }

QString LoadingSheet::message() const { return message_->text(); }

void LoadingSheet::setSmallInfo(const QString& info) { smallInfo_->setText(info); }

void LoadingSheet::setMaximum(int maximum) { bar_->setRange(0, std::max(0, maximum)); }

void LoadingSheet::setValue(int value) { bar_->setValue(value); }

void LoadingSheet::openOn(QWidget* window) {
    if (window && parentWidget() != window) setParent(window, windowFlags());
    setWindowModality(Qt::WindowModal);
    spinner_->setSpinning(true);
    open();
}

void LoadingSheet::finish() {
    spinner_->setSpinning(false);
    done(QDialog::Accepted);
}

// Cancel and Escape only raise the flag: the work notices it, stops, and closes the sheet.
void LoadingSheet::reject() {
    if (cancel_.exchange(true)) return;
    cancelButton_->setEnabled(false);
    smallInfo_->setText(tr("Cancelling…"));
    Q_EMIT cancelClicked();
}
