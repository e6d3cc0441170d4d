#pragma once

#include <QIcon>
#include <QImage>
#include <QSize>
#include <QStyle>

// The toolbar's item images: each scaled proportionally into a 29 x 29 square, letter-boxed and
// centred along the axis with spare room, enlarged as well as reduced.
namespace ToolbarIcons {

constexpr int kSide = 29;

// Null for a null image.
QImage scaledProportionally(const QImage& image, QSize target);

// The style's standard icon at its largest size, scaled into the square.
QIcon standardIcon(QStyle::StandardPixmap which);

}  // namespace ToolbarIcons
