// Which way into the panel is live: the switch follows the session bus (the
// names of panel integrations and XApp monitors, Plasma's shell) and
// Plasma's applet configuration, and turns the backends on and off without
// ever showing two at once.

#include "panelswitch.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using Route = PanelSwitch::Route;

namespace {

// A backend that keeps what it was told, and checks that no two are ever
// live together.
struct Backend : PanelBackend {
    bool live = false;
    int turnedOn = 0;
    const Backend *other = nullptr;
    bool overlapped = false;
    void setLive(bool on) override
    {
        if (on && other && other->live)
            overlapped = true;
        if (on && !live)
            ++turnedOn;
        live = on;
    }
};

// Another program on the session bus that owns names.
class Peer {
public:
    explicit Peer(const QString &connection)
        : m_name(connection), bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection))
    { }
    ~Peer() { QDBusConnection::disconnectFromBus(m_name); }
    bool own(const QString &name) { return bus.registerService(name); }
    bool release(const QString &name) { return bus.unregisterService(name); }

private:
    QString m_name;

public:
    QDBusConnection bus;
};

void writeApplets(const QByteArray &body)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QDir().mkpath(folder);
    // Written the way KConfig saves: a new file renamed over the old one.
    QSaveFile file(QDir(folder).filePath(PanelSwitch::plasmaAppletsFile));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(body);
    QVERIFY(file.commit());
}

const QByteArray ourApplet
    = "[Containments][2]\nplugin=org.kde.panel\n"
      "[Containments][2][Applets][7]\nimmutability=1\nplugin=com.velmorcraft.quillmere.menubar\n";
const QByteArray otherApplets = "[Containments][2][Applets][5]\nplugin=org.kde.plasma.systemtray\n"
                                "[Containments][2][Applets][6]\nplugin=com.velmorcraft.quillmere.menubar.old\n";

} // namespace

class TestPanelSwitch : public QObject {
    Q_OBJECT

    Backend statusItem;
    Backend xapp;
    std::unique_ptr<PanelSwitch> panelSwitch;
    std::unique_ptr<Peer> peer;

    void startSwitch(bool withXApp)
    {
        panelSwitch = std::make_unique<PanelSwitch>(QDBusConnection::sessionBus(), &statusItem);
        panelSwitch->setGrace(std::chrono::milliseconds(300));
        if (withXApp)
            panelSwitch->setXAppBackend(&xapp);
        panelSwitch->start();
    }

private Q_SLOTS:
    void init()
    {
        QStandardPaths::setTestModeEnabled(true);
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).removeRecursively();
        statusItem = Backend();
        xapp = Backend();
        statusItem.other = &xapp;
        xapp.other = &statusItem;
        peer = std::make_unique<Peer>(u"panel-peer"_s);
        QVERIFY(peer->bus.isConnected());
    }
    void cleanup()
    {
        panelSwitch.reset();
        peer.reset();
    }

    // What is there when the instance starts decides before anything goes
    // live: a present integration never sees the status item come and go.
    void decidesFromWhatIsThereAtStart_data()
    {
        QTest::addColumn<QStringList>("owned");
        QTest::addColumn<bool>("withXApp");
        QTest::addColumn<Route>("expected");
        QTest::newRow("nothing") << QStringList() << true << Route::StatusItem;
        QTest::newRow("an integration") << QStringList {u"com.velmorcraft.quillmere.menubar.Panel.Gnome"_s} << true
                                        << Route::Integration;
        QTest::newRow("an XApp monitor") << QStringList {u"org.x.StatusIconMonitor.cinnamon_0"_s} << true
                                         << Route::XApp;
        QTest::newRow("an XApp monitor, no XApp icon")
            << QStringList {u"org.x.StatusIconMonitor.cinnamon_0"_s} << false << Route::StatusItem;
        QTest::newRow("integration beside an XApp monitor")
            << QStringList {u"org.x.StatusIconMonitor.mate"_s, u"com.velmorcraft.quillmere.menubar.Panel.Mate"_s}
            << true << Route::Integration;
        // Not under the presence prefix: the instance itself, and a name
        // that merely starts alike.
        QTest::newRow("look-alike names")
            << QStringList {u"com.velmorcraft.quillmere.menubar.Panelist"_s, u"com.velmorcraft.quillmere.menubar"_s}
            << true << Route::StatusItem;
    }
    void decidesFromWhatIsThereAtStart()
    {
        QFETCH(QStringList, owned);
        QFETCH(bool, withXApp);
        QFETCH(Route, expected);
        for (const QString &name : owned)
            QVERIFY2(peer->own(name), qPrintable(name));
        startSwitch(withXApp);
        QCOMPARE(panelSwitch->route(), Route::None);
        QTRY_COMPARE(panelSwitch->route(), expected);
        QCOMPARE(statusItem.live, expected == Route::StatusItem);
        QCOMPARE(xapp.live, expected == Route::XApp);
        QCOMPARE(statusItem.turnedOn + xapp.turnedOn, expected == Route::Integration ? 0 : 1);
        QVERIFY(!statusItem.overlapped && !xapp.overlapped);
    }

    void withdrawsForAnIntegrationAndComesBackAfterTheGrace()
    {
        startSwitch(true);
        QTRY_COMPARE(panelSwitch->route(), Route::StatusItem);
        const QString gnome = u"com.velmorcraft.quillmere.menubar.Panel.Gnome"_s;
        QVERIFY(peer->own(gnome));
        QTRY_COMPARE(panelSwitch->route(), Route::Integration);
        QVERIFY(!statusItem.live);
        QCOMPARE(panelSwitch->integrations(), QStringList {gnome});

        // A restart of the integration within the grace period changes nothing.
        QVERIFY(peer->release(gnome));
        QTest::qWait(100);
        QVERIFY(peer->own(gnome));
        QTest::qWait(500);
        QCOMPARE(panelSwitch->route(), Route::Integration);
        QCOMPARE(statusItem.turnedOn, 1);

        // Gone for good: back after the grace period, not before.
        QVERIFY(peer->release(gnome));
        QTest::qWait(100);
        QCOMPARE(panelSwitch->route(), Route::Integration);
        QTRY_COMPARE(panelSwitch->route(), Route::StatusItem);
        QCOMPARE(statusItem.turnedOn, 2);

        // An integration's connection that ends counts as leaving.
        peer->own(gnome);
        QTRY_COMPARE(panelSwitch->route(), Route::Integration);
        peer.reset();
        QTRY_COMPARE(panelSwitch->route(), Route::StatusItem);
    }

    void xappMonitorComingAndGoing()
    {
        startSwitch(true);
        QTRY_COMPARE(panelSwitch->route(), Route::StatusItem);
        const QString monitor = u"org.x.StatusIconMonitor.cinnamon_0"_s;
        QVERIFY(peer->own(monitor));
        QTRY_COMPARE(panelSwitch->route(), Route::XApp);
        QVERIFY(!statusItem.live && xapp.live);
        // A panel restart: the monitor comes back within the grace period.
        QVERIFY(peer->release(monitor));
        QTest::qWait(100);
        QVERIFY(peer->own(monitor));
        QTest::qWait(400);
        QCOMPARE(statusItem.turnedOn, 1);
        QVERIFY(peer->release(monitor));
        QTRY_COMPARE(panelSwitch->route(), Route::StatusItem);
        QVERIFY(statusItem.live && !xapp.live);
        QVERIFY(!statusItem.overlapped && !xapp.overlapped);
    }

    // The Plasma widget cannot own a name: a widget of ours in Plasma's
    // applet configuration counts while Plasma's shell runs.
    void plasmaWidgetInTheAppletConfiguration()
    {
        writeApplets(otherApplets);
        startSwitch(true);
        QTRY_COMPARE(panelSwitch->route(), Route::StatusItem);

        // Our widget listed, but no Plasma running (a file left from another
        // session): nothing changes.
        writeApplets(otherApplets + ourApplet);
        QTest::qWait(200);
        QCOMPARE(panelSwitch->route(), Route::StatusItem);

        QVERIFY(peer->own(PanelSwitch::plasmaShellService));
        QTRY_COMPARE(panelSwitch->route(), Route::Integration);
        QCOMPARE(panelSwitch->integrations(), QStringList {u"plasma"_s});

        // Removed from the panel: Plasma saves the file again without it.
        writeApplets(otherApplets);
        QTRY_COMPARE(panelSwitch->route(), Route::StatusItem);
        // Added again, and the file deleted (a reset of Plasma's layout).
        writeApplets(ourApplet);
        QTRY_COMPARE(panelSwitch->route(), Route::Integration);
        QFile::remove(QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                          .filePath(PanelSwitch::plasmaAppletsFile));
        QTRY_COMPARE(panelSwitch->route(), Route::StatusItem);
        writeApplets(ourApplet);
        QTRY_COMPARE(panelSwitch->route(), Route::Integration);

        // Plasma's shell ends (a restart, or the end of the session).
        QVERIFY(peer->release(PanelSwitch::plasmaShellService));
        QTRY_COMPARE(panelSwitch->route(), Route::StatusItem);
        QVERIFY(!statusItem.overlapped && !xapp.overlapped);
    }
};

QTEST_GUILESS_MAIN(TestPanelSwitch)
#include "tst_panelswitch.moc"
