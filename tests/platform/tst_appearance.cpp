#include "platform/appearance.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

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

    const QString m_service = u"org.quillmere.TestPortal"_s;
    FakePortal m_portal;

    void sendChange(const QString &group, const QString &key, uint value)
    {
        QDBusMessage signal
            = QDBusMessage::createSignal(Appearance::portalPath, Appearance::settingsInterface, u"SettingChanged"_s);
        signal << group << key << QVariant::fromValue(QDBusVariant(value));
        QVERIFY(QDBusConnection(u"fake-portal"_s).send(signal));
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus; run under scripts/with-session.sh");
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-portal"_s);
        QVERIFY(bus.registerService(m_service));
        QVERIFY(bus.registerObject(Appearance::portalPath, &m_portal, QDBusConnection::ExportAllSlots));
        // Without a bus there is no preference, and nothing breaks.
        QVERIFY(!Appearance(QDBusConnection(u"not connected"_s), m_service).prefersDark());
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
        Appearance appearance(QDBusConnection::sessionBus(), m_service);
        QVERIFY(!appearance.prefersDark()); // the answer comes later
        QTRY_COMPARE(m_portal.reads, before + 1);
        QTest::qWait(50); // the reply on its way back
        QTRY_COMPARE(appearance.prefersDark(), dark);
    }

    void followsChanges()
    {
        m_portal.answer = 1u;
        Appearance appearance(QDBusConnection::sessionBus(), m_service);
        QSignalSpy changed(&appearance, &Appearance::changed);
        QTRY_VERIFY(appearance.prefersDark()); // the first answer
        const QString group = u"org.freedesktop.appearance"_s, key = u"color-scheme"_s;
        sendChange(group, key, 2u);
        QTRY_VERIFY(!appearance.prefersDark());
        sendChange(u"org.gnome.desktop.interface"_s, key, 1u); // another group
        sendChange(group, u"accent-color"_s, 1u); // another key
        sendChange(group, key, 0u);
        QTest::qWait(100);
        QVERIFY(!appearance.prefersDark());
        sendChange(group, key, 1u);
        QTRY_VERIFY(appearance.prefersDark());
        QCOMPARE(changed.size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestAppearance)
#include "tst_appearance.moc"
