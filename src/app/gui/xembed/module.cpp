// The entry points of quillmere-xembed.so (see traybackend.h): the
// QApplication and the tray icon of X11 panels with an XEmbed tray only.

#include "trayfallback.h"

#include <QApplication>

extern "C" __attribute__((visibility("default"))) QGuiApplication *quillmere_xembed_application(int *argc, char **argv)
{
    return new QApplication(*argc, argv);
}

extern "C" __attribute__((visibility("default"))) TrayBackend *quillmere_xembed_tray(
    const TrayBackend::Callbacks &callbacks)
{
    if (!TrayFallback::available())
        return nullptr;
    auto *tray = new TrayFallback;
    QObject::connect(tray, &TrayFallback::entryActivated, tray, callbacks.entryActivated);
    QObject::connect(tray, &TrayFallback::clicked, tray, callbacks.clicked);
    QObject::connect(tray, &TrayFallback::middleClicked, tray, callbacks.middleClicked);
    return tray;
}
