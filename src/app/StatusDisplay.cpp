#include "app/StatusDisplay.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

QFont panelFont(int pointSize) {
    QFont font(QStringLiteral("Helvetica"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(pointSize);
    return font;
}

}  // namespace

StatusDisplay::StatusDisplay(QWidget* parent) : QWidget(parent) {
    setFixedWidth(kWidth);
    setMinimumHeight(44);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    setAccessibleName(tr("Status"));
    announce();
}

QSize StatusDisplay::sizeHint() const { return {kWidth, 48}; }

void StatusDisplay::setPlaylistTitle(const QString& title) {
    playlistTitle_ = title;
    announce();
}

void StatusDisplay::setTypeString(const QString& type) {
    typeString_ = type;
    announce();
}

void StatusDisplay::setSongsNum(qint64 songs) {
    songs_ = songs;
    announce();
}

void StatusDisplay::setTotalTime(qint64 seconds) {
    totalTime_ = seconds;
    announce();
}

QString StatusDisplay::songsLine() const {
    return QStringLiteral("%1 Songs: %2").arg(typeString_).arg(songs_);
}

QString StatusDisplay::timeLine() const { return totalTimeText(totalTime_); }

QString StatusDisplay::totalTimeText(qint64 t) {
    const qint64 h = t / 3600;
    const qint64 m = (t - 3600 * h) / 60;
    const qint64 s = t - 3600 * h - 60 * m;
    if (h < 1)
        return QStringLiteral("Total Time: %1:%2")
            .arg(m, 2, 10, QLatin1Char('0'))
            .arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("Total Time: %1:%2:%3")
        .arg(h)
        .arg(m, 2, 10, QLatin1Char('0'))
        .arg(s, 2, 10, QLatin1Char('0'));
}

// A screen reader reads the panel as one description; it changes with every line.
void StatusDisplay::announce() {
    setAccessibleDescription(playlistTitle_ + QLatin1Char('\n') + songsLine() + QLatin1Char('\n') +
                             timeLine());
    update();
}

void StatusDisplay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF panel = QRectF(rect()).adjusted(1.5, 3.5, -1.5, -3.5);
    QLinearGradient shade(panel.topLeft(), panel.bottomLeft());
    shade.setColorAt(0.0, QColor(0xf4, 0xf6, 0xee));
    shade.setColorAt(1.0, QColor(0xd8, 0xdd, 0xcc));
    QPainterPath path;
    path.addRoundedRect(panel, 7, 7);
    painter.fillPath(path, shade);
    painter.setPen(QPen(QColor(0x8a, 0x8f, 0x80), 1));
    painter.drawPath(path);

    painter.setPen(QColor(0x22, 0x24, 0x20));
    const qreal half = panel.height() / 2;
    const QRectF top(panel.left(), panel.top() + 2, panel.width(), half - 1);
    painter.setFont(panelFont(13));
    painter.drawText(
        top, Qt::AlignCenter,
        painter.fontMetrics().elidedText(playlistTitle_, Qt::ElideRight, int(top.width()) - 12));
    painter.setFont(panelFont(12));
    const qreal bottom = panel.top() + half;
    painter.drawText(QRectF(panel.left(), bottom, 170, half - 2), Qt::AlignCenter, songsLine());
    painter.drawText(QRectF(panel.left() + 150, bottom, 230, half - 2), Qt::AlignCenter,
                     timeLine());
}
