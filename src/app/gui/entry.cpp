// The entry point of the window module: the program calls it, instead of
// running windowless, when it is to become the running instance.

#include "commandline.h"
#include "serve.h"
#include "windowside.h"

#include "platform/xdgbrowser.h"

#include <QApplication>
#include <QDesktopServices>
#include <QQuickWindow>
#include <QSGRendererInterface>

using namespace Qt::StringLiterals;

extern "C" __attribute__((visibility("default"))) int quillmere_gui_run(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Command::Parsed parsed = Command::parse(arguments);

    // The popover and the settings window are small 2D surfaces: the software
    // scene graph draws them without loading a GPU driver. QT_QUICK_BACKEND
    // still wins when set.
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);

    // A QApplication: the fallback tray icon of X11 panels without status
    // items is a widget with a widget menu.
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quillmere-menubar"_s);
    QCoreApplication::setOrganizationDomain(u"velmorcraft.com"_s);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLMERE_VERSION));
    QGuiApplication::setDesktopFileName(u"quillmere-menubar"_s);
    // Closing the settings window or hiding the popover never ends the
    // program; "Quit" does.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    XdgBrowser::setDesktopOpener([](const QUrl &url) { QDesktopServices::openUrl(url); });

    return serveInstance(parsed.command, [](MenuBarInstance &instance, Store &store) -> std::unique_ptr<QObject> {
        return std::make_unique<WindowSide>(instance, store);
    });
}
