#include "app/BusySpinner.h"

#include <QPainter>

namespace {
constexpr int kSpokes = 12;
}

BusySpinner::BusySpinner(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
    timer_.setInterval(80);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % kSpokes;
        update();
    });
}

void BusySpinner::setSpinning(bool spinning) {
    if (spinning == timer_.isActive()) return;
    if (spinning)
        timer_.start();
    else
        timer_.stop();
    update();
}

void BusySpinner::paintEvent(QPaintEvent*) {
    if (!timer_.isActive()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    const qreal radius = std::min(width(), height()) / 2.0;
    QColor colour = palette().color(QPalette::WindowText);
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke at the current step is darkest; the ones behind it fade out.
        const int age = (step_ - i + kSpokes) % kSpokes;
        colour.setAlphaF(1.0 - age / static_cast<qreal>(kSpokes));
        painter.setPen(QPen(colour, radius / 4.0, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.85));
        painter.rotate(360.0 / kSpokes);
    }
}
