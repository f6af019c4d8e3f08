#pragma once

#include "platform/services.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QTimer>

#include <functional>

// Wake from sleep on Linux: logind's PrepareForSleep(false) on the system bus
// means the machine has just resumed. The monitor then waits until the network
// is back (at most maxWaitMs), so that the refresh the wake starts does not
// paint a network error, and emits woke(). Without a bus or without logind
// there is simply never a wake.
class LogindWakeMonitor : public WakeMonitor {
    Q_OBJECT
public:
    struct Options {
        // Whether the network is usable now. Unset: QNetworkInformation when a
        // backend reports reachability, else a look at the network interfaces.
        std::function<bool()> online;
        int pollIntervalMs = 1000;
        int maxWaitMs = 30'000;
        // The bus name of the login manager, for a test that plays logind on a
        // bus of its own.
        QString service = QStringLiteral("org.freedesktop.login1");
    };

    explicit LogindWakeMonitor(QObject *parent = nullptr);
    LogindWakeMonitor(const QDBusConnection &bus, Options options, QObject *parent = nullptr);

    // Whether the subscription to PrepareForSleep is in place.
    bool listening() const { return m_listening; }
    // Whether a resume has been seen and the network is being waited for.
    bool waiting() const { return m_poll.isActive(); }

    // True when some interface other than loopback is up and has an address.
    static bool interfacesOnline();

private Q_SLOTS:
    void onPrepareForSleep(bool goingToSleep);

private:
    bool isOnline() const;
    void check();
    void finishWaiting();

    QDBusConnection m_bus;
    Options m_options;
    bool m_listening = false;
    QTimer m_poll;
    QElapsedTimer m_waited;
};
