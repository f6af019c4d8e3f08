#include "windowside.h"

#include "appcontext.h"
#include "instance.h"
#include "plasmaoffer.h"
#include "statusitem.h"
#include "viewhost.h"

#include <QCoreApplication>
#include <QDBusConnection>

WindowSide::WindowSide(MenuBarInstance &instance, Store &store, QObject *parent)
    : QObject(parent), m_views(new ViewHost(&store, this)),
      m_statusItem(new StatusItem(QDBusConnection::sessionBus(), &store, this))
{
    ViewHost *views = m_views;
    QObject::connect(m_statusItem, &StatusItem::activateRequested, views, &ViewHost::activateAt);
    QObject::connect(m_statusItem, &StatusItem::openRequested, views, [views] { views->openPopover(); });
    QObject::connect(m_statusItem, &StatusItem::settingsRequested, views, &ViewHost::showSettingsWindow);
    QObject::connect(m_statusItem, &StatusItem::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    // A launch without arguments while this instance runs, and the actions.
    QObject::connect(&instance, &MenuBarInstance::popoverRequested, views, [views] { views->openPopover(); });
    QObject::connect(&instance, &MenuBarInstance::settingsRequested, views, &ViewHost::showSettingsWindow);

    // The views' own requests.
    QObject::connect(views->context(), &AppContext::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(views->context(), &AppContext::settingsWindowRequested, views, &ViewHost::showSettingsWindow);

    // Benchmarks and manual checks may shorten the release delay.
    bool ok = false;
    const int releaseMs = qEnvironmentVariableIntValue("QUILLMERE_VIEW_RELEASE_MS", &ok);
    if (ok && releaseMs > 0)
        views->setReleaseDelay(std::chrono::milliseconds(releaseMs));

    offerPlasmaWidget();
    m_statusItem->start();
}

WindowSide::~WindowSide() = default;
