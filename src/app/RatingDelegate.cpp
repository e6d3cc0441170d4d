#include "app/RatingDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

QPainterPath starPath(const QRectF& box) {
    QPainterPath path;
    const QPointF centre = box.center();
    const qreal outer = box.height() / 2;
    const qreal inner = outer * 0.45;
    for (int i = 0; i < 10; ++i) {
        const qreal radius = i % 2 ? inner : outer;
        const qreal angle = -M_PI / 2 + i * M_PI / 5;
        const QPointF point(centre.x() + radius * qCos(angle), centre.y() + radius * qSin(angle));
        i ? path.lineTo(point) : path.moveTo(point);
    }
    path.closeSubpath();
    return path;
}

}  // namespace

RatingDelegate::RatingDelegate(int role, QObject* parent)
    : QStyledItemDelegate(parent), role_(role) {}

void RatingDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    const int stars = qBound(0, index.data(role_).toInt(), 5);
    const qreal size = qMin<qreal>(option.rect.height() - 6, 12);
    const bool selected = option.state & QStyle::State_Selected;
    const QColor filled =
        selected ? option.palette.highlightedText().color() : option.palette.text().color();
    QColor empty = filled;
    empty.setAlphaF(0.25);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        const QRectF box(option.rect.left() + 4 + i * (size + 2),
                         option.rect.center().y() - size / 2 + 0.5, size, size);
        painter->setBrush(i < stars ? filled : empty);
        painter->drawPath(starPath(box));
    }
    painter->restore();
}

QSize RatingDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setWidth(qMax(size.width(), 5 * 14 + 8));
    return size;
}
