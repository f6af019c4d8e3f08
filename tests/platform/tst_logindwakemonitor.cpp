#include "platform/logindwakemonitor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;

// Plays logind on the session bus: a connection of its own that owns a login
// manager name and sends PrepareForSleep, so the monitor sees it exactly as it
// would see the real one on the system bus.
class TestLogindWakeMonitor : public QObject {
    Q_OBJECT

private:
    static inline const QString fakeService = u"org.freedesktop.login1"_s;
    std::unique_ptr<QDBusConnection> m_logind;
    std::unique_ptr<QDBusConnection> m_impostor;
    std::shared_ptr<std::atomic<bool>> m_online = std::make_shared<std::atomic<bool>>(true);

    static void sendPrepareForSleep(const QDBusConnection &bus, bool goingToSleep)
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            u"/org/freedesktop/login1"_s, u"org.freedesktop.login1.Manager"_s, u"PrepareForSleep"_s);
        signal << goingToSleep;
        QVERIFY(bus.send(signal));
    }

    std::unique_ptr<LogindWakeMonitor> makeMonitor(int maxWaitMs = 30'000)
    {
        LogindWakeMonitor::Options options;
        auto online = m_online;
        options.online = [online] { return online->load(); };
        options.pollIntervalMs = 20;
        options.maxWaitMs = maxWaitMs;
        options.service = fakeService;
        auto monitor = std::make_unique<LogindWakeMonitor>(QDBusConnection::sessionBus(), options);
        // The match rule must reach the bus before the first signal is sent.
        QDBusConnection::sessionBus().interface()->serviceOwner(fakeService);
        return monitor;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus; run under scripts/with-session.sh");
        m_logind = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-logind"_s));
        m_impostor = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"impostor"_s));
        QVERIFY(m_logind->isConnected());
        QVERIFY(m_logind->registerService(fakeService));
    }

    void cleanupTestCase()
    {
        if (m_logind)
            QDBusConnection::disconnectFromBus(u"fake-logind"_s);
        if (m_impostor)
            QDBusConnection::disconnectFromBus(u"impostor"_s);
    }

    void init() { m_online->store(true); }

    void resumeWithNetworkWakesOnce()
    {
        auto monitor = makeMonitor();
        QVERIFY(monitor->listening());
        QSignalSpy woke(monitor.get(), &WakeMonitor::woke);

        sendPrepareForSleep(*m_logind, true);
        QTest::qWait(200);
        QCOMPARE(woke.size(), 0); // going to sleep is no wake

        sendPrepareForSleep(*m_logind, false);
        QTRY_COMPARE(woke.size(), 1);
        QTest::qWait(200);
        QCOMPARE(woke.size(), 1);
        QVERIFY(!monitor->waiting());

        // Every resume counts.
        sendPrepareForSleep(*m_logind, false);
        QTRY_COMPARE(woke.size(), 2);
    }

    void waitsForTheNetwork()
    {
        m_online->store(false);
        auto monitor = makeMonitor();
        QSignalSpy woke(monitor.get(), &WakeMonitor::woke);
        sendPrepareForSleep(*m_logind, false);
        QTRY_VERIFY(monitor->waiting());
        // A second resume signal while waiting does not add a second wake.
        sendPrepareForSleep(*m_logind, false);
        QTest::qWait(300);
        QCOMPARE(woke.size(), 0);

        m_online->store(true);
        QTRY_COMPARE(woke.size(), 1);
        QVERIFY(!monitor->waiting());
        QTest::qWait(200);
        QCOMPARE(woke.size(), 1);
    }

    void givesUpWaitingAfterTheLimit()
    {
        m_online->store(false);
        auto monitor = makeMonitor(400);
        QSignalSpy woke(monitor.get(), &WakeMonitor::woke);
        QElapsedTimer clock;
        clock.start();
        sendPrepareForSleep(*m_logind, false);
        QTRY_COMPARE_WITH_TIMEOUT(woke.size(), 1, 5000);
        QVERIFY(clock.elapsed() >= 400);
        QVERIFY(!monitor->waiting());
    }

    void sleepingAgainCancelsTheWait()
    {
        m_online->store(false);
        auto monitor = makeMonitor(400);
        QSignalSpy woke(monitor.get(), &WakeMonitor::woke);
        sendPrepareForSleep(*m_logind, false);
        QTRY_VERIFY(monitor->waiting());
        sendPrepareForSleep(*m_logind, true);
        QTRY_VERIFY(!monitor->waiting());
        QTest::qWait(700);
        QCOMPARE(woke.size(), 0);
    }

    void ignoresOtherSenders()
    {
        auto monitor = makeMonitor();
        QSignalSpy woke(monitor.get(), &WakeMonitor::woke);
        sendPrepareForSleep(*m_impostor, false);
        QTest::qWait(300);
        QCOMPARE(woke.size(), 0);
        sendPrepareForSleep(*m_logind, false);
        QTRY_COMPARE(woke.size(), 1);
    }

    void noBusMeansNoWake()
    {
        const QDBusConnection nowhere
            = QDBusConnection::connectToBus(u"unix:path=/nonexistent/quillmere-bus"_s, u"nowhere"_s);
        LogindWakeMonitor monitor(nowhere, LogindWakeMonitor::Options {});
        QVERIFY(!monitor.listening());
        QSignalSpy woke(&monitor, &WakeMonitor::woke);
        QTest::qWait(100);
        QCOMPARE(woke.size(), 0);
        QDBusConnection::disconnectFromBus(u"nowhere"_s);
    }
};

QTEST_GUILESS_MAIN(TestLogindWakeMonitor)
#include "tst_logindwakemonitor.moc"
