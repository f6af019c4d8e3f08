#pragma once

#include <QString>

// Where the running instance can be found on the session bus.
namespace dbusnames {

inline const QString service = QStringLiteral("com.velmorcraft.quillmere.menubar");
inline const QString path = QStringLiteral("/com/velmorcraft/quillmere/menubar");
inline const QString applicationInterface = QStringLiteral("org.freedesktop.Application");
inline const QString menuBarInterface = QStringLiteral("com.velmorcraft.quillmere.MenuBar");
inline const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// Actions of org.freedesktop.Application.ActivateAction.
namespace actions {
inline const QString signIn = QStringLiteral("sign-in");
inline const QString connect = QStringLiteral("connect"); // parameter: [link] or [[link, password]]
inline const QString disconnect = QStringLiteral("disconnect");
inline const QString refresh = QStringLiteral("refresh");
inline const QString quit = QStringLiteral("quit");
inline const QString open = QStringLiteral("open"); // the popover
inline const QString settings = QStringLiteral("settings"); // the settings window
} // namespace actions

} // namespace dbusnames
