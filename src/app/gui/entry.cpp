// The module's entry points (see guimodule.h): the running instance, with
// its windows when there is a display, and the --line of a launch that found
// no instance running.

#include "commandline.h"
#include "guimodule.h"
#include "remote.h"
#include "serve.h"
#include "state/store.h"
#include "statusline.h"
#include "traybackend.h"
#include "windowside.h"

#include "platform/xdgbrowser.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <dlfcn.h>
#include <memory>

#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

namespace {

// What the display offers, learnt from one connection before any
// application object exists.
struct DisplaySupport {
    // Qt will find something to draw on: a Wayland compositor, or an X server
    // that takes a connection. Without it, Qt would end the process.
    bool reachable = false;
    // An X11 system tray of the XEmbed kind runs: the _NET_SYSTEM_TRAY_Sn
    // selection has an owner.
    bool xembedTray = false;
    // The probe's X connection, held until Qt has its own: an X server whose
    // last client leaves resets, and refuses connections for a moment while
    // it does (a bare Xvfb, where we may be the only client).
    std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t *)> connection {nullptr, xcb_disconnect};
};

DisplaySupport probeDisplay()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb"))
        return {true, false}; // another platform plugin decides for itself
    if (platform.isEmpty() && qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return {true, false};
    if (!qEnvironmentVariableIsSet("DISPLAY"))
        return {};
    int screen = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screen);
    DisplaySupport display;
    display.connection.reset(connection);
    if (!xcb_connection_has_error(connection)) {
        display.reachable = true;
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, uint16_t(name.size()), name.constData()), nullptr);
        if (atom && atom->atom != XCB_ATOM_NONE) {
            xcb_get_selection_owner_reply_t *owner
                = xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
            display.xembedTray = owner && owner->owner != XCB_WINDOW_NONE;
            std::free(owner);
        }
        std::free(atom);
    }
    return display;
}

// Loads quillmere-xembed.so from beside this module and installs its tray
// icon; returns its application object (a QApplication), or nullptr when the
// module cannot be loaded.
QGuiApplication *loadXembedModule(int &argc, char **argv)
{
    Dl_info self {};
    if (::dladdr(reinterpret_cast<void *>(&loadXembedModule), &self) == 0 || !self.dli_fname)
        return nullptr;
    std::string path = self.dli_fname;
    path = path.substr(0, path.rfind('/') + 1) + "quillmere-xembed.so";
    void *module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "quillmere-menubar: cannot load the tray icon module: %s\n", ::dlerror());
        return nullptr;
    }
    using Application = QGuiApplication *(*)(int *, char **);
    auto application = reinterpret_cast<Application>(::dlsym(module, quillmereXembedApplicationEntry));
    auto tray = reinterpret_cast<TrayBackend::Factory>(::dlsym(module, quillmereXembedTrayEntry));
    if (!application || !tray)
        return nullptr;
    TrayBackend::setFactory(tray);
    return application(&argc, argv);
}

Command commandOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return Command::parse(arguments).command;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int quillmere_gui_run(int argc, char **argv)
{
    const Command command = commandOf(argc, argv);
    // Without a display (a text console, a service manager) or when asked,
    // the instance serves the line without windows.
    const bool noWindows = qEnvironmentVariableIsSet("QUILLMERE_NO_WINDOWS");
    DisplaySupport display = noWindows ? DisplaySupport() : probeDisplay();
    if (!display.reachable) {
        QCoreApplication app(argc, argv);
        setApplicationNames();
        if (!noWindows)
            printError(u"running without windows (no display)."_s);
        return serveInstance(command);
    }

    // The popover and the settings window are small 2D surfaces: the software
    // scene graph draws them without loading a GPU driver. QT_QUICK_BACKEND
    // still wins when set.
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);

    // The fallback tray icon of X11 panels without status items is a widget
    // with a widget menu, which takes a QApplication and the widgets library:
    // both come from a module loaded only when such a tray runs. Everywhere
    // else the lighter QGuiApplication serves.
    std::unique_ptr<QGuiApplication> app;
    if (display.xembedTray)
        app.reset(loadXembedModule(argc, argv));
    if (!app)
        app = std::make_unique<QGuiApplication>(argc, argv);
    display.connection.reset();
    setApplicationNames();
    QGuiApplication::setDesktopFileName(u"quillmere-menubar"_s);
    // Closing the settings window or hiding the popover never ends the
    // program; "Quit" does.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    XdgBrowser::setDesktopOpener([](const QUrl &url) { return QDesktopServices::openUrl(url); });

    return serveInstance(command, [](MenuBarInstance &instance, Store &store) -> std::unique_ptr<QObject> {
        return std::make_unique<WindowSide>(instance, store);
    });
}

extern "C" __attribute__((visibility("default"))) int quillmere_line_local(int argc, char **argv)
{
    const Command command = commandOf(argc, argv);
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
