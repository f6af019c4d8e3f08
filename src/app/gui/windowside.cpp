#include "windowside.h"

#include "appcontext.h"
#include "gnomeshellextension.h"
#include "instance.h"
#include "panelcontent.h"
#include "panelswitch.h"
#include "placement.h"
#include "plasmaoffer.h"
#include "statusitem.h"
#include "viewhost.h"
#include "xappstatusicon.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>

#include <cstdio>

WindowSide::WindowSide(MenuBarInstance &instance, Store &store, QObject *parent)
    : QObject(parent), m_views(new ViewHost(&store, this)),
      m_statusItem(new StatusItem(QDBusConnection::sessionBus(), instance.panel(), this)),
      m_switch(new PanelSwitch(QDBusConnection::sessionBus(), m_statusItem, this)),
      m_xapp(new XAppStatusIcon(QDBusConnection::sessionBus(), instance.panel(), this))
{
    ViewHost *views = m_views;
    PanelContent *panel = instance.panel();
    QObject::connect(m_statusItem, &StatusItem::activationTokenProvided, views, &ViewHost::setActivationToken);
    QObject::connect(m_statusItem, &StatusItem::activateRequested, views, &ViewHost::activateAt);
    QObject::connect(panel, &PanelContent::openRequested, views, [views] { views->openPopover(); });
    QObject::connect(panel, &PanelContent::settingsRequested, views, &ViewHost::showSettingsWindow);
    QObject::connect(panel, &PanelContent::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    // The XApp icon's clicks, and the state of the windows it opens for its
    // applet to show.
    XAppStatusIcon *xapp = m_xapp;
    QObject::connect(xapp, &XAppStatusIcon::popoverRequested, views, &ViewHost::togglePopoverAt);
    QObject::connect(xapp, &XAppStatusIcon::menuRequested, views,
        [views, panel](QRect icon, placement::Edge edge) { views->toggleMenuAt(icon, edge, panel->menuEntries()); });
    QObject::connect(views, &ViewHost::menuChosen, panel, &PanelContent::activate);
    QObject::connect(views, &ViewHost::popoverOpened, xapp, [xapp] { xapp->setPrimaryMenuOpen(true); });
    QObject::connect(views, &ViewHost::popoverClosed, xapp, [xapp] { xapp->setPrimaryMenuOpen(false); });
    QObject::connect(views, &ViewHost::menuVisibleChanged, xapp, &XAppStatusIcon::setSecondaryMenuOpen);
    m_switch->setXAppBackend(xapp);

    // A launch without arguments while this instance runs, the actions, and
    // the panel integrations' clicks.
    QObject::connect(&instance, &MenuBarInstance::popoverRequested, views, [views] { views->openPopover(); });
    QObject::connect(&instance, &MenuBarInstance::settingsRequested, views, &ViewHost::showSettingsWindow);
    QObject::connect(
        &instance, &MenuBarInstance::popoverToggleRequested, views, [views](const QRect &button, const QString &edge) {
            if (const std::optional<placement::Edge> side = placement::edgeFromName(edge))
                views->togglePopoverAt(button, *side);
        });

    // GNOME has no status-item host of its own: our extension is the way into
    // its top bar. Said once, when nothing took the item and the extension
    // is not running.
    QObject::connect(m_statusItem, &StatusItem::noHost, this, [this] {
        if (!GnomeShellExtension::gnomeSession())
            return;
        auto *extension = new GnomeShellExtension(this);
        const auto tell = [extension] {
            const GnomeShellExtension::State state = extension->state();
            if (state == GnomeShellExtension::Checking || extension->property("told").toBool())
                return;
            extension->setProperty("told", true);
            if (state == GnomeShellExtension::Disabled || state == GnomeShellExtension::NotLoaded)
                std::fprintf(stderr,
                    "quillmere-menubar: to show the line in GNOME's top bar, enable its extension: %s\n",
                    qPrintable(GnomeShellExtension::enableCommand));
            extension->deleteLater();
        };
        QObject::connect(extension, &GnomeShellExtension::stateChanged, extension, tell);
        tell();
    });

    // The views' own requests.
    QObject::connect(views->context(), &AppContext::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(views->context(), &AppContext::settingsWindowRequested, views, &ViewHost::showSettingsWindow);

    // Benchmarks and manual checks may shorten the release delay.
    bool ok = false;
    const int releaseMs = qEnvironmentVariableIntValue("QUILLMERE_VIEW_RELEASE_MS", &ok);
    if (ok && releaseMs > 0)
        views->setReleaseDelay(std::chrono::milliseconds(releaseMs));

    // Nothing goes into the panel until the switch has seen what the
    // session offers, so an integration that is there already never sees
    // the status item come and go.
    m_statusItem->setLive(false);
    offerPlasmaWidget();
    m_statusItem->start();
    m_switch->start();

    // Once the instance has settled after starting, the views' types are
    // loaded and let go, so that not even the first opening loads them.
    QTimer::singleShot(prepareDelay, views, &ViewHost::prepare);
}

WindowSide::~WindowSide() = default;
