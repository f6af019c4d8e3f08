#include "platform/logindwakemonitor.h"

#include <QHostAddress>
#include <QNetworkInformation>
#include <QNetworkInterface>

using namespace Qt::StringLiterals;

LogindWakeMonitor::LogindWakeMonitor(QObject *parent)
    : LogindWakeMonitor(QDBusConnection::systemBus(), Options {}, parent)
{ }

LogindWakeMonitor::LogindWakeMonitor(const QDBusConnection &bus, Options options, QObject *parent)
    : WakeMonitor(parent), m_bus(bus), m_options(std::move(options))
{
    m_poll.setInterval(m_options.pollIntervalMs);
    QObject::connect(&m_poll, &QTimer::timeout, this, &LogindWakeMonitor::check);
    if (!m_bus.isConnected())
        return;
    m_listening = m_bus.connect(m_options.service, u"/org/freedesktop/login1"_s, u"org.freedesktop.login1.Manager"_s,
        u"PrepareForSleep"_s, this, SLOT(onPrepareForSleep(bool)));
}

bool LogindWakeMonitor::interfacesOnline()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto flags = interface.flags();
        if (flags.testFlag(QNetworkInterface::IsLoopBack) || !flags.testFlag(QNetworkInterface::IsUp)
            || !flags.testFlag(QNetworkInterface::IsRunning))
            continue;
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress address = entry.ip();
            if (!address.isLoopback() && !address.isLinkLocal() && !address.isNull())
                return true;
        }
    }
    return false;
}

bool LogindWakeMonitor::isOnline() const
{
    if (m_options.online)
        return m_options.online();
    // The backend is loaded on the first resume, not at start: loading it asks
    // the network manager over the system bus.
    if (!QNetworkInformation::instance())
        QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
    if (auto *info = QNetworkInformation::instance(); info && info->supports(QNetworkInformation::Feature::Reachability)
        && info->reachability() != QNetworkInformation::Reachability::Unknown) {
        return info->reachability() == QNetworkInformation::Reachability::Online;
    }
    return interfacesOnline();
}

void LogindWakeMonitor::onPrepareForSleep(bool goingToSleep)
{
    if (goingToSleep) {
        // Asleep again before the network came back: that resume is void.
        m_poll.stop();
        return;
    }
    if (m_poll.isActive())
        return; // already waiting for this resume
    m_waited.start();
    m_poll.start();
    check();
}

void LogindWakeMonitor::check()
{
    if (isOnline() || m_waited.elapsed() >= m_options.maxWaitMs)
        finishWaiting();
}

void LogindWakeMonitor::finishWaiting()
{
    m_poll.stop();
    Q_EMIT woke();
}
