#include "panelswitch.h"

#include "plasmapanel.h"

#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

bool isPresenceName(const QString &name)
{
    return name.startsWith(PanelSwitch::presencePrefix) && name.size() > PanelSwitch::presencePrefix.size();
}

bool isXAppMonitor(const QString &name)
{
    return name.startsWith(PanelSwitch::xappMonitorPrefix);
}

} // namespace

PanelSwitch::PanelSwitch(QDBusConnection bus, PanelBackend *statusItem, QObject *parent)
    : QObject(parent), m_bus(std::move(bus)), m_statusItem(statusItem),
      m_configFolder(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
{
    m_grace.setSingleShot(true);
    m_grace.setInterval(defaultGrace);
    connect(&m_grace, &QTimer::timeout, this, [this] {
        m_graceOver = true;
        decide();
    });
}

PanelSwitch::~PanelSwitch() = default;

void PanelSwitch::setXAppBackend(PanelBackend *backend)
{
    m_xapp = backend;
    if (m_listed)
        decide();
}

void PanelSwitch::start()
{
    if (!m_bus.isConnected() || !m_bus.interface()) {
        // Nobody can reach the panel interface either: the status item's
        // own fallback (an XEmbed tray) is all there is.
        m_listed = true;
        decide();
        return;
    }
    // A name ending in '*' is watched as a namespace: the name itself and
    // every name below it.
    const QString presenceNamespace = presencePrefix.chopped(1) + u'*';
    m_watcher = new QDBusServiceWatcher(this);
    m_watcher->setConnection(m_bus);
    m_watcher->setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
    m_watcher->setWatchedServices({presenceNamespace, plasmaShellService, xappMonitorPrefix + u'*'});
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &PanelSwitch::ownerChanged);

    // Listed after the watch is in place, so no change falls in between.
    const QDBusMessage list = QDBusMessage::createMethodCall(
        u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s, u"org.freedesktop.DBus"_s, u"ListNames"_s);
    auto *pending = new QDBusPendingCallWatcher(m_bus.asyncCall(list), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QStringList> reply = *call;
        namesListed(reply.isValid() ? reply.value() : QStringList());
    });
}

void PanelSwitch::namesListed(const QStringList &names)
{
    for (const QString &name : names) {
        if (isPresenceName(name))
            m_presence.insert(name);
        else if (isXAppMonitor(name))
            m_xappMonitors.insert(name);
        else if (name == plasmaShellService)
            m_plasmaShell = true;
    }
    m_listed = true;
    followPlasma(m_plasmaShell);
    decide();
}

void PanelSwitch::ownerChanged(const QString &name, const QString &, const QString &newOwner)
{
    const bool owned = !newOwner.isEmpty();
    if (isPresenceName(name)) {
        if (owned)
            m_presence.insert(name);
        else
            m_presence.remove(name);
    } else if (isXAppMonitor(name)) {
        if (owned)
            m_xappMonitors.insert(name);
        else
            m_xappMonitors.remove(name);
    } else if (name == plasmaShellService) {
        m_plasmaShell = owned;
        followPlasma(owned);
    } else {
        return;
    }
    if (m_listed)
        decide();
}

void PanelSwitch::followPlasma(bool shellRunning)
{
    // Plasma's configuration is read only while Plasma runs: the file may be
    // left from another session, and nothing else needs watching.
    if (!shellRunning) {
        delete m_files;
        m_files = nullptr;
        m_plasmaWidget = false;
        return;
    }
    if (!m_files) {
        m_files = new QFileSystemWatcher(this);
        // Plasma replaces the file when it saves; the folder's change tells
        // when it is there again.
        connect(m_files, &QFileSystemWatcher::directoryChanged, this, &PanelSwitch::readPlasmaConfig);
        connect(m_files, &QFileSystemWatcher::fileChanged, this, &PanelSwitch::readPlasmaConfig);
        QDir().mkpath(m_configFolder);
        m_files->addPath(m_configFolder);
    }
    readPlasmaConfig();
}

void PanelSwitch::readPlasmaConfig()
{
    if (!m_files)
        return;
    const QString file = QDir(m_configFolder).filePath(plasmaAppletsFile);
    if (QFile::exists(file) && !m_files->files().contains(file))
        m_files->addPath(file);
    const bool present = appletsListOurs(m_configFolder);
    if (present == m_plasmaWidget)
        return;
    m_plasmaWidget = present;
    if (m_listed)
        decide();
}

bool PanelSwitch::appletsListOurs(const QString &configFolder)
{
    QFile file(QDir(configFolder).filePath(plasmaAppletsFile));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A widget of ours on the desktop shows no line in a panel: only one in
    // a panel stands in for the status item.
    return plasmapanel::inPanel(QString::fromUtf8(file.readAll()));
}

QStringList PanelSwitch::integrations() const
{
    QStringList present = m_presence.values();
    present.sort();
    if (m_plasmaWidget && m_plasmaShell)
        present << u"plasma"_s;
    return present;
}

void PanelSwitch::decide()
{
    Route wanted = Route::StatusItem;
    if (!m_presence.isEmpty() || (m_plasmaShell && m_plasmaWidget))
        wanted = Route::Integration;
    else if (m_xapp && !m_xappMonitors.isEmpty())
        wanted = Route::XApp;

    // An integration or an XApp monitor that went away may be restarting
    // (a shell or panel restart): what stands in for it comes only once it
    // has stayed away for the grace period. Routes are ordered, and a
    // better one is taken at once.
    if (m_route != Route::None && wanted < m_route && !m_graceOver) {
        if (!m_grace.isActive())
            m_grace.start();
        return;
    }
    m_grace.stop();
    m_graceOver = false;
    apply(wanted);
}

void PanelSwitch::apply(Route route)
{
    if (route == m_route)
        return;
    m_route = route;
    // Off first, then on: the two never show at the same time.
    if (m_xapp && route != Route::XApp)
        m_xapp->setLive(false);
    if (route != Route::StatusItem)
        m_statusItem->setLive(false);
    if (route == Route::StatusItem)
        m_statusItem->setLive(true);
    else if (route == Route::XApp)
        m_xapp->setLive(true);
    Q_EMIT routeChanged(route);
}
