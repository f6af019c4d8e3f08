#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

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

// The screen edge a panel sits on.
enum class Edge { Top, Bottom, Left, Right };

// "top", "bottom", "left" or "right"; nothing for anything else.
std::optional<Edge> edgeFromName(const QString &name);

// The top-left corner for a popover of size anchored to a panel button at
// anchor (logical pixels): centred on the button and just outside it, on
// the side away from the panel's edge (below a top panel, right of a left
// one), then moved inside the screen's available area.
QPoint anchoredPosition(QRect anchor, Edge edge, QSize size, const Screen &screen);

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
