#pragma once

// The running GNOME Shell as the GNOME tests see it: org.gnome.Shell.Eval
// (opened by the probe extension gnome.sh installs) for where its actors and
// windows are, a pointer of its own for clicks under Wayland, and the
// extensions it runs.

#include "desktoprig.h"

#include <QDBusReply>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace gnome {

using namespace Qt::StringLiterals;

inline const QString ourUuid = u"quillmere-menubar@velmorcraft.com"_s;
inline const QString appIndicatorUuid = u"ubuntu-appindicators@ubuntu.com"_s;
inline const QString probeUuid = u"quillmere-test-probe@velmorcraft.com"_s;

// The value of a JavaScript expression in the shell, as JSON.
inline QJsonValue eval(const QString &expression)
{
    QDBusMessage call
        = QDBusMessage::createMethodCall(u"org.gnome.Shell"_s, u"/org/gnome/Shell"_s, u"org.gnome.Shell"_s, u"Eval"_s);
    call << u"JSON.stringify((() => { %1 })())"_s.arg(expression);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    if (reply.type() != QDBusMessage::ReplyMessage || !reply.arguments().value(0).toBool()) {
        qWarning("Eval failed: %s", qPrintable(reply.arguments().value(1).toString() + reply.errorMessage()));
        return QJsonValue::Undefined;
    }
    // The shell stringifies the (string) result once more.
    const QString json = QJsonDocument::fromJson(u"[%1]"_s.arg(reply.arguments().value(1).toString()).toUtf8())
                             .array()
                             .at(0)
                             .toString();
    return QJsonDocument::fromJson(u"[%1]"_s.arg(json).toUtf8()).array().at(0);
}

inline QRect rectFrom(const QJsonValue &value)
{
    const QJsonArray a = value.toArray();
    return a.size() == 4 ? QRect(a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt()) : QRect();
}

// Our button in the top bar, if it is there and shown.
inline const QString buttonExpression
    = u"const b = Main.panel.statusArea['com.velmorcraft.quillmere.menubar.Panel.Gnome'];"_s;
inline QRect buttonRect()
{
    return rectFrom(eval(buttonExpression
        + u"if (!b || !b.visible) return null; const [x, y] = b.get_transformed_position();"
          "const [w, h] = b.get_transformed_size(); return [x, y, w, h].map(Math.round);"_s));
}
inline QString buttonAccessibleName()
{
    return eval(buttonExpression + u"return b ? b.accessible_name : null;"_s).toString();
}

// Our popover among the shell's windows: its frame and whether it has the
// focus. Only a window with our app id and title counts.
struct Window {
    QRect frame;
    bool focused = false;
};
inline std::optional<Window> popover()
{
    const QJsonObject o = eval(u"const w = global.display.list_all_windows().filter(w => "
                               "w.get_wm_class() === 'quillmere-menubar' && w.get_title() === 'Quillmere' && "
                               "w.showing_on_its_workspace()); if (w.length !== 1) return null;"
                               "const r = w[0].get_frame_rect(); return {frame: [r.x, r.y, r.width, r.height],"
                               "focused: global.display.focus_window === w[0]};"_s)
                              .toObject();
    if (o.isEmpty())
        return std::nullopt;
    return Window {rectFrom(o.value("frame"_L1)), o.value("focused"_L1).toBool()};
}

// A click through a virtual pointer of the shell's own seat: what a mouse
// does, under X11 and Wayland alike.
inline bool click(const QPoint &at, int button = 1)
{
    return eval(u"const {Clutter, GLib} = imports.gi; const seat = Clutter.get_default_backend().get_default_seat();"
                "const d = seat.create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);"
                "const t = GLib.get_monotonic_time();"
                "d.notify_absolute_motion(t, %1, %2);"
                "d.notify_button(t + 1000, %3, Clutter.ButtonState.PRESSED);"
                "d.notify_button(t + 2000, %3, Clutter.ButtonState.RELEASED); return true;"_s.arg(at.x())
                    .arg(at.y())
                    .arg(button))
        .toBool();
}

// The extensions enabled, as gsettings stores them; the shell follows.
inline bool setEnabledExtensions(const QStringList &uuids)
{
    QStringList quoted;
    for (const QString &uuid : uuids)
        quoted << u"'%1'"_s.arg(uuid);
    return QProcess::execute(u"gsettings"_s,
               {u"set"_s, u"org.gnome.shell"_s, u"enabled-extensions"_s, u"[%1]"_s.arg(quoted.join(u", "_s))})
        == 0;
}
inline bool extensionEnabled(const QString &uuid)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        u"org.gnome.Shell"_s, u"/org/gnome/Shell"_s, u"org.gnome.Shell.Extensions"_s, u"GetExtensionInfo"_s);
    call << uuid;
    const QDBusReply<QVariantMap> reply = QDBusConnection::sessionBus().call(call);
    return reply.isValid() && qRound(reply.value().value(u"state"_s).toDouble()) == 1;
}

// Where the popover belongs for a button: right below it (six pixels
// apart), centred on it, inside the screen's work area.
inline QPoint expectedPopoverAt(const QRect &button, const QSize &size, const QRect &workArea)
{
    const int x = button.x() + (button.width() - size.width()) / 2;
    return {std::clamp(x, workArea.left(), workArea.right() + 1 - size.width()), button.bottom() + 1 + 6};
}
inline QRect workArea()
{
    return rectFrom(eval(u"const a = Main.layoutManager.getWorkAreaForMonitor(Main.layoutManager.primaryIndex);"
                         "return [a.x, a.y, a.width, a.height];"_s));
}

} // namespace gnome
