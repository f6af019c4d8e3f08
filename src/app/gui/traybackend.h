#pragma once

#include "dbusmenu.h"

#include <QIcon>
#include <QList>
#include <QPoint>
#include <QString>

#include <functional>
#include <memory>

// The status item of X11 panels that only have an XEmbed system tray (i3bar,
// polybar). It is a QSystemTrayIcon with a widget menu, so it lives in a
// module of its own (quillmere-xembed.so, see xembed/): the widgets library
// is loaded only on such desktops. This is what the status item sees of it;
// the window module's entry installs the factory after loading that module.
class TrayBackend {
public:
    struct Callbacks {
        std::function<void(int id)> entryActivated;
        std::function<void(QPoint point)> clicked; // device pixels, like a status-item host's
        std::function<void()> middleClicked;
    };

    virtual ~TrayBackend() = default;
    virtual void setIcon(const QIcon &icon) = 0;
    virtual void setToolTip(const QString &text) = 0;
    virtual void setEntries(const QList<MenuEntry> &entries) = 0;
    virtual void setEnabled(int id, bool enabled) = 0;
    virtual void show() = 0;

    // Makes a tray icon, or nullptr when the display has no tray to dock in.
    using Factory = TrayBackend *(*)(const Callbacks &callbacks);
    static void setFactory(Factory factory) { s_factory = factory; }
    static std::unique_ptr<TrayBackend> create(const Callbacks &callbacks)
    {
        return std::unique_ptr<TrayBackend>(s_factory ? s_factory(callbacks) : nullptr);
    }

private:
    static inline Factory s_factory = nullptr;
};

// The entry points of quillmere-xembed.so.
//   QGuiApplication *quillmere_xembed_application(int *argc, char **argv):
//     the application object the tray icon needs (a QApplication).
//   TrayBackend *quillmere_xembed_tray(const TrayBackend::Callbacks &):
//     a TrayBackend::Factory.
inline constexpr char quillmereXembedApplicationEntry[] = "quillmere_xembed_application";
inline constexpr char quillmereXembedTrayEntry[] = "quillmere_xembed_tray";
