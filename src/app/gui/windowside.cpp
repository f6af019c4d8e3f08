#include "windowside.h"

#include "appcontext.h"
#include "instance.h"
#include "panelcontent.h"
#include "panelswitch.h"
#include "placement.h"
#include "plasmaoffer.h"
#include "statusitem.h"
#include "viewhost.h"

#include <QCoreApplication>
#include <QDBusConnection>

WindowSide::WindowSide(MenuBarInstance &instance, Store &store, QObject *parent)
    : QObject(parent), m_views(new ViewHost(&store, this)),
      m_statusItem(new StatusItem(QDBusConnection::sessionBus(), instance.panel(), this)),
      m_switch(new PanelSwitch(QDBusConnection::sessionBus(), m_statusItem, this))
{
    ViewHost *views = m_views;
    PanelContent *panel = instance.panel();
    QObject::connect(m_statusItem, &StatusItem::activateRequested, views, &ViewHost::activateAt);
    QObject::connect(panel, &PanelContent::openRequested, views, [views] { views->openPopover(); });
    QObject::connect(panel, &PanelContent::settingsRequested, views, &ViewHost::showSettingsWindow);
    QObject::connect(panel, &PanelContent::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    // A launch without arguments while this instance runs, the actions, and
    // the panel integrations' clicks.
    QObject::connect(&instance, &MenuBarInstance::popoverRequested, views, [views] { views->openPopover(); });
    QObject::connect(&instance, &MenuBarInstance::settingsRequested, views, &ViewHost::showSettingsWindow);
    QObject::connect(
        &instance, &MenuBarInstance::popoverToggleRequested, views, [views](const QRect &button, const QString &edge) {
            if (const std::optional<placement::Edge> side = placement::edgeFromName(edge))
                views->togglePopoverAt(button, *side);
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
}

WindowSide::~WindowSide() = default;
