#include "app/ProgressSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "app/BusySpinner.h"

namespace {

// QProgressBar counts in int; a run's counts come as long.
int clampToInt(long value) {
    if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (value < 0) return 0;
    return static_cast<int>(value);
}

}  // namespace

ProgressSheet::ProgressSheet(QWidget* window) : QDialog(window) {
    setObjectName("progressSheet");
    setWindowTitle(tr("Exporting"));
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(460);

    message_ = new QLabel(this);
    message_->setObjectName("progressMessage");
    message_->setAccessibleName(tr("Current item"));
    message_->setTextFormat(Qt::PlainText);
    QFont bold = message_->font();
    bold.setBold(true);
    message_->setFont(bold);
    message_->setMinimumHeight(message_->fontMetrics().height());

    bar_ = new QProgressBar(this);
    bar_->setObjectName("progressBar");
    bar_->setAccessibleName(tr("Export progress"));
    bar_->setTextVisible(false);
    bar_->setRange(0, 0);

    smallInfo_ = new QLabel(this);
    smallInfo_->setObjectName("progressSmallInfo");
    smallInfo_->setAccessibleName(tr("Current song"));
    smallInfo_->setTextFormat(Qt::PlainText);
    smallInfo_->setMinimumHeight(smallInfo_->fontMetrics().height());
    // Long titles are cut with an ellipsis by the label's width rather than widening the sheet.
    smallInfo_->setMinimumWidth(1);
    smallInfo_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    message_->setMinimumWidth(1);
    message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    spinner_ = new BusySpinner(this);
    spinner_->setObjectName("progressSpinner");
    spinner_->setAccessibleName(tr("Working"));

    cancelButton_ = new QPushButton(tr("Cancel"), this);
    cancelButton_->setObjectName("progressCancelButton");
    cancelButton_->setAccessibleName(tr("Cancel export"));
    cancelButton_->setAutoDefault(false);
    showLogButton_ = new QPushButton(tr("Show Log"), this);
    showLogButton_->setObjectName("progressShowLogButton");
    showLogButton_->setAccessibleName(tr("Show log"));
    showLogButton_->setAutoDefault(false);
    connect(cancelButton_, &QPushButton::clicked, this, &ProgressSheet::requestCancel);
    connect(showLogButton_, &QPushButton::clicked, this, &ProgressSheet::showLogClicked);

    auto* songRow = new QHBoxLayout;
    songRow->addWidget(spinner_);
    songRow->addWidget(smallInfo_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(showLogButton_);
    buttons->addStretch();
    buttons->addWidget(cancelButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(message_);
    layout->addWidget(bar_);
    layout->addLayout(songRow);
    layout->addSpacing(6);
    layout->addLayout(buttons);
}

void ProgressSheet::setMessage(const QString& message) {
    messageText_ = message;
    message_->setToolTip(message);
    elideLabels();
}

void ProgressSheet::setSmallInfo(const QString& info) {
    smallInfoText_ = info;
    smallInfo_->setToolTip(info);
    elideLabels();
}

// A range of (0, 0) is Qt's busy bar; an item without songs shows an empty bar instead.
void ProgressSheet::setMaximum(long maximum) {
    bar_->setRange(0, std::max(1, clampToInt(maximum)));
}

void ProgressSheet::setValue(long value) { bar_->setValue(clampToInt(value)); }

QString ProgressSheet::message() const { return messageText_; }
QString ProgressSheet::smallInfo() const { return smallInfoText_; }
int ProgressSheet::maximum() const { return bar_->maximum(); }
int ProgressSheet::value() const { return bar_->value(); }
bool ProgressSheet::isSpinning() const { return spinner_->isSpinning(); }

// Titles can be longer than any sheet; they end in an ellipsis instead of being cut.
void ProgressSheet::elideLabels() {
    message_->setText(
        message_->fontMetrics().elidedText(messageText_, Qt::ElideMiddle, message_->width()));
    smallInfo_->setText(
        smallInfo_->fontMetrics().elidedText(smallInfoText_, Qt::ElideMiddle, smallInfo_->width()));
}

void ProgressSheet::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    elideLabels();
}

void ProgressSheet::setSpinning(bool spinning) { spinner_->setSpinning(spinning); }

void ProgressSheet::openSheet() {
    bar_->setRange(0, 0);
    cancelButton_->setEnabled(true);
    setWindowModality(Qt::WindowModal);
    open();
}

void ProgressSheet::requestCancel() {
    cancel_.store(true);
    cancelButton_->setEnabled(false);
    Q_EMIT cancelClicked();
}

void ProgressSheet::reject() { requestCancel(); }
