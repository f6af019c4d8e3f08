#include "platform/appearance.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {
const QString fakeService = u"org.quillmere.TestPortal"_s;
}

// Plays the desktop portal's settings on the session bus.
class FakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

public:
    QVariant answer; // what Read gives for the colour scheme; invalid: an error
    int reads = 0;

public Q_SLOTS:
    QDBusVariant Read(const QString &group, const QString &key)
    {
        ++reads;
        if (!answer.isValid() || group != "org.freedesktop.appearance"_L1 || key != "color-scheme"_L1) {
            sendErrorReply(u"org.freedesktop.portal.Error.NotFound"_s, u"Requested setting not found"_s);
            return {};
        }
        return QDBusVariant(answer);
    }
};

class TestAppearance : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QDBusConnection> m_bus;
    FakePortal m_portal;

    void sendChange(const QString &group, const QString &key, const QVariant &value)
    {
        QDBusMessage signal
            = QDBusMessage::createSignal(Appearance::portalPath, Appearance::settingsInterface, u"SettingChanged"_s);
        signal << group << key << QVariant::fromValue(QDBusVariant(value));
        QVERIFY(m_bus->send(signal));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus; run under scripts/with-session.sh");
        m_bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-portal"_s));
        QVERIFY(m_bus->registerService(fakeService));
        QVERIFY(m_bus->registerObject(Appearance::portalPath, &m_portal, QDBusConnection::ExportAllSlots));
    }
    void cleanupTestCase() { QDBusConnection::disconnectFromBus(u"fake-portal"_s); }

    void firstRead_data()
    {
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<bool>("dark");
        QTest::newRow("dark") << QVariant(1u) << true;
        QTest::newRow("light") << QVariant(2u) << false;
        QTest::newRow("no preference") << QVariant(0u) << false;
        QTest::newRow("dark, wrapped twice") << QVariant::fromValue(QDBusVariant(1u)) << true;
        QTest::newRow("not a number") << QVariant(u"1"_s) << false;
        QTest::newRow("no such setting") << QVariant() << false;
    }
    void firstRead()
    {
        QFETCH(QVariant, answer);
        QFETCH(bool, dark);
        m_portal.answer = answer;
        const int before = m_portal.reads;
        Appearance appearance(QDBusConnection::sessionBus(), fakeService);
        QVERIFY(!appearance.prefersDark()); // the answer comes later
        QTRY_COMPARE(m_portal.reads, before + 1);
        QTest::qWait(50); // the reply on its way back
        QTRY_COMPARE(appearance.prefersDark(), dark);
    }

    void followsChanges()
    {
        m_portal.answer = 1u;
        Appearance appearance(QDBusConnection::sessionBus(), fakeService);
        QSignalSpy changed(&appearance, &Appearance::changed);
        QTRY_VERIFY(appearance.prefersDark()); // the first answer
        sendChange(u"org.freedesktop.appearance"_s, u"color-scheme"_s, 2u);
        QTRY_VERIFY(!appearance.prefersDark());
        sendChange(u"org.gnome.desktop.interface"_s, u"color-scheme"_s, 1u); // another group
        sendChange(u"org.freedesktop.appearance"_s, u"accent-color"_s, 1u); // another key
        sendChange(u"org.freedesktop.appearance"_s, u"color-scheme"_s, 0u);
        QTest::qWait(100);
        QVERIFY(!appearance.prefersDark());
        sendChange(u"org.freedesktop.appearance"_s, u"color-scheme"_s, 1u);
        QTRY_VERIFY(appearance.prefersDark());
        QCOMPARE(changed.size(), 3);
    }

    void noBus()
    {
        Appearance appearance(QDBusConnection(u"not connected"_s), fakeService);
        QVERIFY(!appearance.prefersDark());
    }
};

QTEST_GUILESS_MAIN(TestAppearance)
#include "tst_appearance.moc"
