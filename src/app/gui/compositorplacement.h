#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>

class QWindow;

// On Wayland a client cannot place its own window, but some compositors take
// the request over a channel of their own: sway (and other compositors that
// speak i3's IPC) on the socket in SWAYSOCK, KWin through its scripting
// interface on the session bus. This asks the compositor to move one window
// of this process, found by its process id and its title, and never
// addresses any other window. The compositor keeps the window inside the
// usable area of the output it lies on (without its bars and panels).
class CompositorPlacement : public QObject {
    Q_OBJECT
public:
    enum class Kind { Sway, KWin };

    // The channel of the compositor this session runs under, or null where
    // there is none (the compositor then places the window itself).
    static std::unique_ptr<CompositorPlacement> forSession(QObject *parent = nullptr);

    virtual Kind kind() const = 0;
    // Moves window (shown, or being shown right now) so that its top-left
    // corner lies at topLeft (global logical pixels), inside the usable area
    // of its output.
    virtual void place(QWindow *window, QPoint topLeft) = 0;

Q_SIGNALS:
    // The compositor moved the window there (after its own clamping), or
    // could not.
    void placed(QRect geometry);
    void failed(const QString &reason);

protected:
    using QObject::QObject;
};

// Keeps a rectangle of size inside area, the top-left corner winning when it
// does not fit: what both channels ask of their compositor.
QPoint clampedInto(QPoint topLeft, QSize size, QRect area);
