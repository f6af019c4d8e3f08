#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

// Where the popover goes on a desktop that lets a window place itself (X11).
namespace placement {

// Gap between the click point and the popover, and from the screen's corner
// when there is no point.
constexpr int gap = 6;

struct Screen {
    QRect geometry; // logical pixels
    QRect available; // without panels
    qreal devicePixelRatio = 1;
};

// The top-left corner for a popover of size next to a click at point (both
// logical): centred horizontally on the point, below it when the point lies
// in the upper half of its screen and above it otherwise, then moved inside
// the screen's available area. Without a point: near the top-right corner of
// the available area.
QPoint popoverPosition(std::optional<QPoint> point, QSize size, const Screen &screen);

// A point a panel reported in device pixels, in logical pixels: each screen
// keeps its origin and scales its extent by its ratio. The index of the
// screen it lies on goes to screenIndex (the first screen when none holds it).
QPoint toLogical(QPoint device, const QList<Screen> &screens, int *screenIndex = nullptr);

} // namespace placement
