#include "app/ToolbarIcons.h"

#include <QApplication>
#include <QPainter>

namespace ToolbarIcons {

QImage scaledProportionally(const QImage& image, QSize target) {
    if (image.isNull() || target.isEmpty()) return {};
    const float tw = float(target.width());
    const float th = float(target.height());
    const float w = float(image.width());
    const float h = float(image.height());
    QRectF box(0, 0, tw, th);
    if (w * h != tw * th) {
        const float wf = tw / w;
        const float hf = th / h;
        const float scale = wf < hf ? wf : hf;
        box.setSize(QSizeF(w * scale, h * scale));
        if (wf < hf)
            box.moveTop((th - h * scale) * 0.5f);
        else if (wf > hf)
            box.moveLeft((tw - w * scale) * 0.5f);
    }
    QImage result(target, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(box, image);
    return result;
}

QIcon standardIcon(QStyle::StandardPixmap which) {
    const QIcon icon = QApplication::style()->standardIcon(which);
    QSize largest(kSide, kSide);
    for (const QSize& size : icon.availableSizes())
        if (size.width() * size.height() > largest.width() * largest.height()) largest = size;
    const QImage image = icon.pixmap(largest).toImage();
    QIcon result;
    result.addPixmap(QPixmap::fromImage(scaledProportionally(image, QSize(kSide, kSide))));
    // A sharper copy for screens that draw at twice the size.
    QImage doubled = scaledProportionally(image, QSize(2 * kSide, 2 * kSide));
    doubled.setDevicePixelRatio(2);
    result.addPixmap(QPixmap::fromImage(doubled));
    return result;
}

}  // namespace ToolbarIcons
