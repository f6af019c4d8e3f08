#include "gnomeshellextension.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

namespace {
const QString shellService = u"org.gnome.Shell"_s;
const QString shellPath = u"/org/gnome/Shell"_s;
const QString extensionsInterface = u"org.gnome.Shell.Extensions"_s;
// ExtensionState of GNOME Shell's extensionUtils.
constexpr int shellEnabled = 1;
constexpr int shellError = 3;
constexpr int shellOutOfDate = 4;
} // namespace

GnomeShellExtension::GnomeShellExtension(QObject *parent)
    : GnomeShellExtension(
        QDBusConnection::sessionBus(), QGuiApplication::platformName().startsWith(u"wayland"_s), parent)
{ }

GnomeShellExtension::GnomeShellExtension(QDBusConnection bus, bool wayland, QObject *parent)
    : QObject(parent), m_bus(std::move(bus)), m_wayland(wayland)
{
    if (!gnomeSession() || !m_bus.isConnected()) {
        m_state = Unavailable;
        return;
    }
    m_bus.connect(shellService, shellPath, extensionsInterface, u"ExtensionStateChanged"_s, this,
        SLOT(extensionStateChanged(QString, QVariantMap)));
    // A restarted shell has scanned its extensions afresh.
    auto *watcher = new QDBusServiceWatcher(shellService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
        [this](const QString &, const QString &, const QString &owner) {
            if (owner.isEmpty())
                setState(Unavailable);
            else
                query();
        });
    query();
}

bool GnomeShellExtension::gnomeSession()
{
    const QList<QByteArray> desktops = qgetenv("XDG_CURRENT_DESKTOP").split(':');
    return desktops.contains("GNOME");
}

GnomeShellExtension::State GnomeShellExtension::fromShellInfo(const QVariantMap &info)
{
    if (info.isEmpty())
        return NotLoaded;
    switch (qRound(info.value(u"state"_s).toDouble())) {
    case shellEnabled:
        return Enabled;
    case shellError:
    case shellOutOfDate:
        return Failed;
    default:
        return Disabled;
    }
}

QString GnomeShellExtension::advice() const
{
    switch (m_state) {
    case NotLoaded:
        return m_wayland ? u"GNOME Shell finds the top-bar extension at your next login: log out and in again."_s
                         : u"GNOME Shell finds the top-bar extension when it restarts: press Alt+F2, type r, "
                           "press Enter (or log in again)."_s;
    case Failed:
        return u"GNOME Shell could not run the top-bar extension; the Extensions app says why."_s;
    default:
        return {};
    }
}

QDBusPendingCallWatcher *GnomeShellExtension::callShell(const QString &method)
{
    QDBusMessage call = QDBusMessage::createMethodCall(shellService, shellPath, extensionsInterface, method);
    call << uuid;
    auto *pending = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, pending, &QObject::deleteLater);
    return pending;
}

void GnomeShellExtension::query()
{
    connect(callShell(u"GetExtensionInfo"_s), &QDBusPendingCallWatcher::finished, this,
        [this](QDBusPendingCallWatcher *pending) {
            const QDBusPendingReply<QVariantMap> reply = *pending;
            setState(reply.isError() ? Unavailable : fromShellInfo(reply.value()));
        });
}

void GnomeShellExtension::extensionStateChanged(const QString &changed, const QVariantMap &info)
{
    if (changed == uuid)
        setState(fromShellInfo(info));
}

void GnomeShellExtension::enable()
{
    if (m_state != Disabled)
        return;
    connect(callShell(u"EnableExtension"_s), &QDBusPendingCallWatcher::finished, this,
        [this](QDBusPendingCallWatcher *pending) {
            const QDBusPendingReply<bool> reply = *pending;
            if (reply.isError() || !reply.value())
                qWarning("GNOME Shell did not enable %s: %s", qPrintable(uuid),
                    reply.isError() ? qPrintable(reply.error().message()) : "refused");
            query(); // the signal says it too, but not when nothing changed
        });
}

void GnomeShellExtension::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}
