// The XApp status icon as the panels' applets meet it: the XApp library's
// own status-icon monitor (xappmonitor.py, the part Cinnamon's and MATE's
// applets are built on) runs on the test's session bus, finds the icon,
// follows its properties and sends it clicks; the icon follows a Store on
// real parts against a scripted server. And the menu of actions it opens,
// as a window under Xvfb.

#include "../state/storerig.h"

#include "panelcontent.h"
#include "placement.h"
#include "statusitem.h"
#include "viewhost.h"
#include "xappstatusicon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// One applet: the library's monitor under a program name, which the monitor's
// bus name is made from.
class Monitor {
public:
    explicit Monitor(const QString &program)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The monitor starts the XApp bridge for status-notifier items on the
        // desktops it serves; none of them here.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CURRENT_DESKTOP"_s, u"X-Quillmere-Test"_s);
        m_process.setProcessEnvironment(env);
        m_process.start(u"/usr/bin/python3"_s, {QFINDTESTDATA("shell/xappmonitor.py"), program});
    }
    ~Monitor() { stop(); }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel(); // it quits at the end of its input
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }

    // The next event of that kind it printed (earlier ones of other kinds
    // are passed over); empty after 10 s without one.
    QJsonObject next(const QString &event)
    {
        QJsonObject found;
        (void)QTest::qWaitFor(
            [&] {
                while (m_process.canReadLine()) {
                    const QJsonObject line = QJsonDocument::fromJson(m_process.readLine()).object();
                    if (line.value("event"_L1).toString() == event) {
                        found = line;
                        return true;
                    }
                }
                return m_process.state() == QProcess::NotRunning;
            },
            10000);
        return found;
    }
    QJsonObject nextProperties(const QString &event) { return next(event).value("props"_L1).toObject(); }

    void release(QPoint corner, uint button, int panelPosition)
    {
        m_process.write(
            u"release %1 %2 %3 %4\n"_s.arg(corner.x()).arg(corner.y()).arg(button).arg(panelPosition).toUtf8());
    }

private:
    QProcess m_process;
};

constexpr int gtkBottom = 3;

} // namespace

class TestXAppStatusIcon : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Rig> m_rig;
    std::unique_ptr<PanelContent> m_content;
    std::unique_ptr<XAppStatusIcon> m_icon;

    void start(bool showIcon)
    {
        m_rig->defaults->setString(Store::Keys::embedLink, m_rig->backend.server.url(u"/embed/k9"_s).toString());
        Store &store = m_rig->start();
        store.setShowIcon(showIcon);
        m_content = std::make_unique<PanelContent>(&store);
        m_icon = std::make_unique<XAppStatusIcon>(QDBusConnection::sessionBus(), m_content.get());
    }
    bool nameOwned() const
    {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(m_icon->serviceName());
    }

public:
    static void initMain() { QQuickWindow::setGraphicsApi(QSGRendererInterface::Software); } // as the program draws

private Q_SLOTS:
    void init() { m_rig = std::make_unique<Rig>(); }
    void cleanup()
    {
        m_icon.reset();
        m_content.reset();
        m_rig.reset();
    }

    // From what a monitor passes to where the popover goes, on a 1280x800
    // screen with a 30 px panel on each edge in turn: outside the panel and
    // close to it, over the icon along the panel, inside the work area.
    void placesThePopoverByTheIcon_data()
    {
        QTest::addColumn<int>("panelPosition");
        QTest::addColumn<QPoint>("corner");
        QTest::addColumn<QRect>("panel");
        QTest::newRow("bottom") << 3 << QPoint(900, 770) << QRect(0, 770, 1280, 30);
        QTest::newRow("bottom, icon in the corner") << 3 << QPoint(1262, 770) << QRect(0, 770, 1280, 30);
        QTest::newRow("top") << 2 << QPoint(300, 30) << QRect(0, 0, 1280, 30);
        QTest::newRow("left") << 0 << QPoint(30, 400) << QRect(0, 0, 30, 800);
        QTest::newRow("right") << 1 << QPoint(1250, 60) << QRect(1250, 0, 30, 800);
        QTest::newRow("unknown position: bottom") << 7 << QPoint(900, 770) << QRect(0, 770, 1280, 30);
    }
    void placesThePopoverByTheIcon()
    {
        QFETCH(int, panelPosition);
        QFETCH(QPoint, corner);
        QFETCH(QRect, panel);
        const QRect screen(0, 0, 1280, 800);
        const QRect workArea = QRegion(screen).subtracted(panel).boundingRect();
        const placement::Edge edge = XAppStatusIcon::edgeFromPanelPosition(panelPosition);
        const QRect icon = XAppStatusIcon::anchorFromCorner(corner, edge, 18);
        const QSize size(400, 300);
        const QRect popover(placement::anchoredPosition(icon, edge, size, {screen, workArea, 1}), size);

        QVERIFY2(workArea.contains(popover), qPrintable(u"%1,%2"_s.arg(popover.x()).arg(popover.y())));
        const bool alongX = edge == placement::Edge::Top || edge == placement::Edge::Bottom;
        // Within a small gap of the panel.
        const int distance = alongX ? std::max(panel.top() - popover.bottom() - 1, popover.top() - panel.bottom() - 1)
                                    : std::max(panel.left() - popover.right() - 1, popover.left() - panel.right() - 1);
        QVERIFY2(distance >= 0 && distance <= 2 * placement::gap, qPrintable(QString::number(distance)));
        // Over the icon: the icon lies within the popover's span along the panel.
        if (alongX)
            QVERIFY(popover.left() <= corner.x() && corner.x() + 18 <= popover.right() + 1);
        else
            QVERIFY(popover.top() <= corner.y() && corner.y() + 18 <= popover.bottom() + 1);
    }

    // The themed symbolic icon only once it is installed where the applets
    // look; a hidden icon is no icon for Cinnamon's applet and the blank one
    // for the others.
    void namesTheIcon()
    {
        const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QVERIFY(dataHome.startsWith(QDir::tempPath())); // the session's own tree
        const QString installed = dataHome + u"/icons/hicolor/symbolic/apps/quillmere-menubar-symbolic.svg"_s;
        QFile::remove(installed);

        XAppStatusIcon::IconFiles files = XAppStatusIcon::findIconFiles();
        QVERIFY(!files.symbolicInstalled);
        QVERIFY2(QFile::exists(files.iconFile), qPrintable(files.iconFile));
        QVERIFY2(QFile::exists(files.blankFile), qPrintable(files.blankFile));
        QVERIFY(QDir::isAbsolutePath(files.iconFile) && QDir::isAbsolutePath(files.blankFile));
        QCOMPARE(XAppStatusIcon::iconNameFor(true, true, files), files.iconFile);
        QCOMPARE(XAppStatusIcon::iconNameFor(false, true, files), QString());
        QCOMPARE(XAppStatusIcon::iconNameFor(false, false, files), files.blankFile);

        QVERIFY(QDir().mkpath(QFileInfo(installed).path()));
        QVERIFY(QFile::copy(
            QFileInfo(files.iconFile).dir().filePath(u"../../symbolic/apps/quillmere-menubar-symbolic.svg"_s),
            installed));
        files = XAppStatusIcon::findIconFiles();
        QVERIFY(QFile::remove(installed));
        QVERIFY(files.symbolicInstalled);
        QCOMPARE(XAppStatusIcon::iconNameFor(true, false, files), u"quillmere-menubar-symbolic"_s);
        QCOMPARE(XAppStatusIcon::iconNameFor(false, true, files), QString());
    }

    // Cinnamon's applet finds the icon, reads it, follows the line and sends
    // the clicks; withdrawn, the icon is gone from the applet.
    void publishedToCinnamon()
    {
        m_rig->backend.lines = QStringList {u"$2.4k <x> & co"_s};
        start(true);
        Monitor cinnamon(u"cinnamon"_s);
        QVERIFY(!nameOwned());
        m_icon->setLive(true);
        QVERIFY(nameOwned());
        QVERIFY(m_icon->serviceName().startsWith(XAppStatusIcon::servicePrefix));

        QJsonObject props = cinnamon.nextProperties(u"added"_s);
        QCOMPARE(props.value("Label"_L1).toString(), m_content->label());
        QVERIFY(m_content->label().contains(u"<x> & co"_s));
        QVERIFY(props.value("TooltipText"_L1).toString().startsWith(u"$2.4k &lt;x&gt; &amp; co"_s));
        QCOMPARE(props.value("Name"_L1).toString(), u"quillmere-menubar"_s);
        QVERIFY(props.value("Visible"_L1).toBool());
        QVERIFY(QJsonDocument::fromJson(props.value("Metadata"_L1).toString().toUtf8())
                    .object()
                    .value("highlight-both-menus"_L1)
                    .toBool());
        QVERIFY(QFile::exists(props.value("IconName"_L1).toString()));
        // The applet tells its icon size, which anchors the popover.
        QCOMPARE(cinnamon.nextProperties(u"changed"_s).value("IconSize"_L1).toInt(), 24);
        QTRY_COMPARE(m_icon->iconSize(), 24);

        // A new line is signalled.
        m_rig->backend.lines = QStringList {u"second line"_s};
        Rig::run(m_rig->store->refresh());
        QCOMPARE(cinnamon.nextProperties(u"changed"_s).value("Label"_L1).toString(), u"second line"_s);

        // Hiding the icon leaves the text alone in Cinnamon's panel.
        m_rig->store->setShowIcon(false);
        props = cinnamon.nextProperties(u"changed"_s);
        QVERIFY(props.contains("IconName"_L1));
        QCOMPARE(props.value("IconName"_L1).toString(), QString());

        // Clicks at the icon's corner on a bottom panel.
        QSignalSpy popover(m_icon.get(), &XAppStatusIcon::popoverRequested);
        QSignalSpy menu(m_icon.get(), &XAppStatusIcon::menuRequested);
        cinnamon.release(QPoint(900, 770), XAppStatusIcon::LeftButton, gtkBottom);
        QVERIFY(popover.wait());
        QCOMPARE(popover.first().at(0).toRect(), QRect(900, 770, 24, 0));
        QCOMPARE(popover.first().at(1).value<placement::Edge>(), placement::Edge::Bottom);
        cinnamon.release(QPoint(900, 770), XAppStatusIcon::RightButton, gtkBottom);
        QVERIFY(menu.wait());
        QCOMPARE(menu.first().at(0).toRect(), QRect(900, 770, 24, 0));
        const int refreshes = m_rig->backend.count(u"embed.dashboard"_s);
        cinnamon.release(QPoint(900, 770), XAppStatusIcon::MiddleButton, gtkBottom);
        QTRY_VERIFY(m_rig->backend.count(u"embed.dashboard"_s) > refreshes);
        QCOMPARE(popover.size(), 1);
        QCOMPARE(menu.size(), 1);

        // The windows' state reaches the applet.
        m_icon->setPrimaryMenuOpen(true);
        QVERIFY(cinnamon.nextProperties(u"changed"_s).value("PrimaryMenuIsOpen"_L1).toBool());

        m_icon->setLive(false);
        QVERIFY(!cinnamon.next(u"removed"_s).isEmpty());
        QVERIFY(!nameOwned());
    }

    // An applet that starts later, or again (a panel restart), finds the icon;
    // MATE's applet gets the blank icon while only the text shows. Quitting
    // withdraws the icon.
    void foundByALaterMonitor()
    {
        start(false);
        m_icon->setLive(true);
        {
            Monitor cinnamon(u"cinnamon"_s);
            QCOMPARE(cinnamon.nextProperties(u"added"_s).value("IconName"_L1).toString(), QString());
        }
        Monitor mate(u"mate-xapp-status-applet"_s);
        QJsonObject props = mate.nextProperties(u"added"_s);
        QCOMPARE(props.value("Label"_L1).toString(), m_content->label());
        // Cinnamon's monitor may still be known when MATE's appears.
        const QString blank = QFileInfo(XAppStatusIcon::findIconFiles().blankFile).fileName();
        if (props.value("IconName"_L1).toString().isEmpty())
            props = mate.nextProperties(u"changed"_s);
        QCOMPARE(QFileInfo(props.value("IconName"_L1).toString()).fileName(), blank);

        const QString service = m_icon->serviceName();
        m_icon.reset();
        QVERIFY(!mate.next(u"removed"_s).isEmpty());
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(service));
    }

    // The menu a right click opens: the content's entries, just above a
    // bottom panel by the icon; a pick is told and closes it, and so does a
    // second click on the icon.
    void menuOfActions()
    {
        start(true);
        ViewHost views(m_rig->store.get());
        QSignalSpy chosen(&views, &ViewHost::menuChosen);
        const QRect icon(900, 770, 24, 0);
        views.toggleMenuAt(icon, placement::Edge::Bottom, m_content->menuEntries());
        QTRY_VERIFY(views.menuVisible());
        QQuickWindow *menu = views.menu();
        QTRY_VERIFY(menu->height() > 60);
        QTRY_VERIFY(menu->geometry().bottom() < 770 && menu->geometry().bottom() >= 770 - 2 * placement::gap);
        QVERIFY(menu->geometry().left() <= 900 && menu->geometry().right() >= 924);

        QHash<QString, QQuickItem *> items;
        for (QQuickItem *item : menu->contentItem()->findChildren<QQuickItem *>()) {
            if (QByteArray(item->metaObject()->className()).contains("MenuItem") && item->isVisible())
                items.insert(item->property("text").toString(), item);
        }
        QCOMPARE(items.size(), m_content->menuEntries().size() - 1); // all but the separator
        QCOMPARE(items.value(u"Refresh"_s, menu->contentItem())->isEnabled(), m_content->refreshEnabled());
        QQuickItem *settings = items.value(u"Settings…"_s);
        QVERIFY(settings);
        QTest::mouseClick(menu, Qt::LeftButton, {}, settings->mapToScene(settings->boundingRect().center()).toPoint());
        QTRY_COMPARE(chosen.size(), 1);
        QCOMPARE(chosen.first().first().toInt(), int(PanelContent::SettingsItem));
        QTRY_VERIFY(!views.menuVisible());

        views.toggleMenuAt(icon, placement::Edge::Bottom, m_content->menuEntries());
        QTRY_VERIFY(views.menuVisible());
        views.toggleMenuAt(icon, placement::Edge::Bottom, m_content->menuEntries());
        QVERIFY(!views.menuVisible());
        QCOMPARE(chosen.size(), 1);
    }
};

QTEST_MAIN(TestXAppStatusIcon)
#include "tst_xappstatusicon.moc"
