// The entry point of the window module: the program calls it, instead of
// running windowless, when it is to become the running instance.

#include "commandline.h"
#include "guimodule.h"
#include "remote.h"
#include "serve.h"
#include "state/store.h"
#include "statusline.h"
#include "windowside.h"

#include "platform/xdgbrowser.h"

#include <QApplication>
#include <QDesktopServices>
#include <QQuickWindow>
#include <QSGRendererInterface>

#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

namespace {

// Whether an X11 system tray (the XEmbed kind) runs on the display Qt would
// use: the owner of the _NET_SYSTEM_TRAY_Sn selection.
bool xembedTrayPresent()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return false;
    if (platform.isEmpty() && qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return false;
    if (!qEnvironmentVariableIsSet("DISPLAY"))
        return false;
    int screen = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screen);
    bool present = false;
    if (!xcb_connection_has_error(connection)) {
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData()), nullptr);
        if (atom && atom->atom != XCB_ATOM_NONE) {
            xcb_get_selection_owner_reply_t *owner
                = xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
            present = owner && owner->owner != XCB_WINDOW_NONE;
            std::free(owner);
        }
        std::free(atom);
    }
    xcb_disconnect(connection);
    return present;
}

// Whether Qt will find a display to draw on: a Wayland compositor, or an X
// server that takes a connection. Without one, Qt would end the process.
bool displayReachable()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return true; // another platform plugin decides for itself
    if (platform.isEmpty() && qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return true;
    if (!qEnvironmentVariableIsSet("DISPLAY"))
        return false;
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool reachable = !xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    return reachable;
}

void setApplicationNames()
{
    QCoreApplication::setApplicationName(u"quillmere-menubar"_s);
    QCoreApplication::setOrganizationDomain(u"velmorcraft.com"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLMERE_VERSION));
}

} // namespace

extern "C" __attribute__((visibility("default"))) int quillmere_gui_run(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Command::Parsed parsed = Command::parse(arguments);
    // Without a display (a text console, a service manager) or when asked,
    // the instance serves the line without windows.
    const bool noWindows = qEnvironmentVariableIsSet("QUILLMERE_NO_WINDOWS");
    if (noWindows || !displayReachable()) {
        QCoreApplication app(argc, argv);
        setApplicationNames();
        if (!noWindows)
            printError(u"running without windows (no display)."_s);
        return serveInstance(parsed.command);
    }

    // The popover and the settings window are small 2D surfaces: the software
    // scene graph draws them without loading a GPU driver. QT_QUICK_BACKEND
    // still wins when set.
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);

    // The fallback tray icon of X11 panels without status items is a widget
    // with a widget menu, which takes a QApplication; everywhere else the
    // lighter QGuiApplication serves.
    std::unique_ptr<QGuiApplication> app;
    if (xembedTrayPresent())
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QGuiApplication>(argc, argv);
    setApplicationNames();
    QGuiApplication::setDesktopFileName(u"quillmere-menubar"_s);
    // Closing the settings window or hiding the popover never ends the
    // program; "Quit" does.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    XdgBrowser::setDesktopOpener([](const QUrl &url) { QDesktopServices::openUrl(url); });

    return serveInstance(parsed.command, [](MenuBarInstance &instance, Store &store) -> std::unique_ptr<QObject> {
        return std::make_unique<WindowSide>(instance, store);
    });
}

extern "C" __attribute__((visibility("default"))) int quillmere_line_local(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Command command = Command::parse(arguments).command;
    QCoreApplication *app = QCoreApplication::instance();
    // Restore here, print the first settled line, and end.
    Store &store = sharedStore(command, false);
    QObject::connect(&store, &Store::changed, app, [&store, json = command.json] {
        if (store.restoring())
            return;
        const StatusLine line = StatusLine::of(store);
        printLine(json ? line.json() : line.plain().toUtf8());
        QCoreApplication::exit(0);
    });
    return QCoreApplication::exec();
}
