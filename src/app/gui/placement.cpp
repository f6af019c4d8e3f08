#include "placement.h"

#include <algorithm>
#include <cmath>

namespace placement {

namespace {

// Inside the available area; a popover taller or wider than it keeps its
// top-left corner on screen.
QPoint clamped(QPoint origin, QSize size, const QRect &area)
{
    origin.setX(std::max(area.left(), std::min(origin.x(), area.right() + 1 - size.width())));
    origin.setY(std::max(area.top(), std::min(origin.y(), area.bottom() + 1 - size.height())));
    return origin;
}

QRect areaOf(const Screen &screen)
{
    return screen.available.isValid() ? screen.available : screen.geometry;
}

} // namespace

std::optional<Edge> edgeFromName(const QString &name)
{
    if (name == QLatin1String("top"))
        return Edge::Top;
    if (name == QLatin1String("bottom"))
        return Edge::Bottom;
    if (name == QLatin1String("left"))
        return Edge::Left;
    if (name == QLatin1String("right"))
        return Edge::Right;
    return std::nullopt;
}

QPoint anchoredPosition(QRect anchor, Edge edge, QSize size, const Screen &screen)
{
    const QPoint centre = anchor.center();
    QPoint origin(centre.x() - size.width() / 2, centre.y() - size.height() / 2);
    switch (edge) {
    case Edge::Top:
        origin.setY(anchor.bottom() + 1 + gap);
        break;
    case Edge::Bottom:
        origin.setY(anchor.top() - gap - size.height());
        break;
    case Edge::Left:
        origin.setX(anchor.right() + 1 + gap);
        break;
    case Edge::Right:
        origin.setX(anchor.left() - gap - size.width());
        break;
    }
    return clamped(origin, size, areaOf(screen));
}

QPoint popoverPosition(std::optional<QPoint> point, QSize size, const Screen &screen)
{
    const QRect area = areaOf(screen);
    QPoint origin;
    if (!point) {
        origin = QPoint(area.right() + 1 - gap - size.width(), area.top() + gap);
    } else {
        const bool upperHalf = point->y() < screen.geometry.top() + screen.geometry.height() / 2;
        origin.setX(point->x() - size.width() / 2);
        origin.setY(upperHalf ? point->y() + gap : point->y() - gap - size.height());
    }
    return clamped(origin, size, area);
}

QPoint toLogical(QPoint device, const QList<Screen> &screens, int *screenIndex)
{
    for (int i = 0; i < screens.size(); ++i) {
        const Screen &s = screens[i];
        const QRect native(s.geometry.topLeft(),
            QSize(int(std::lround(s.geometry.width() * s.devicePixelRatio)),
                int(std::lround(s.geometry.height() * s.devicePixelRatio))));
        if (!native.contains(device))
            continue;
        if (screenIndex)
            *screenIndex = i;
        const QPointF offset = QPointF(device - native.topLeft()) / s.devicePixelRatio;
        return native.topLeft() + offset.toPoint();
    }
    if (screenIndex)
        *screenIndex = screens.isEmpty() ? -1 : 0;
    const qreal ratio = screens.isEmpty() ? 1 : screens.first().devicePixelRatio;
    return (QPointF(device) / ratio).toPoint();
}

} // namespace placement
