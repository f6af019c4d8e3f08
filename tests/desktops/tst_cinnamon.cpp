// Cinnamon 5.6 with xapp-sn-watcher running (cinnamon.sh): the line shows in
// the bottom panel's xapp-status applet next to exactly one icon of ours and
// follows the data; a left click opens the popover just above the panel by
// the icon, a right click our menu; after Cinnamon restarts, the icon is
// back.

#include "desktoprig.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString cinnamonService = u"org.Cinnamon"_s;
const QString xappIconPrefix = u"org.x.StatusIcon."_s;

QDBusMessage callCinnamon(const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(cinnamonService, u"/org/Cinnamon"_s, cinnamonService, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, 20'000);
}

// The XApp status icons on the bus, as the applet lists them: for each bus
// name under org.x.StatusIcon., each object's org.x.StatusIcon properties.
struct XAppIcon {
    QString service;
    QVariantMap properties;
};
QList<XAppIcon> xappIcons()
{
    QList<XAppIcon> icons;
    for (const QString &service : desktops::Rig::busNamesStartingWith(xappIconPrefix)) {
        const QDBusMessage reply = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
            service, u"/org/x/StatusIcon"_s, u"org.freedesktop.DBus.ObjectManager"_s, u"GetManagedObjects"_s));
        const QDBusArgument objects = reply.arguments().value(0).value<QDBusArgument>();
        objects.beginMap();
        while (!objects.atEnd()) {
            QDBusObjectPath path;
            QMap<QString, QVariantMap> interfaces;
            objects.beginMapEntry();
            objects >> path >> interfaces;
            objects.endMapEntry();
            icons.append({service, interfaces.value(u"org.x.StatusIcon"_s)});
        }
        objects.endMap();
    }
    return icons;
}

} // namespace

class TestCinnamon : public QObject {
    Q_OBJECT

    desktops::Rig m_rig;
    QRect m_screen;
    QRect m_panel;
    QImage m_panelBefore; // the panel before the instance started

    // The panel's strip below the work area Cinnamon reports.
    bool findPanel()
    {
        const QList<int> rect = qdbus_cast<QList<int>>(callCinnamon(u"GetMonitorWorkRect"_s, {0}).arguments().value(0));
        if (rect.size() != 4)
            return false;
        const QRect work(rect.at(0), rect.at(1), rect.at(2), rect.at(3));
        m_screen = QRect(QPoint(0, 0), desktops::Rig::grab().size());
        m_panel = QRect(0, work.bottom() + 1, m_screen.width(), m_screen.bottom() - work.bottom());
        return m_panel.height() > 10;
    }

    // Our icon with its label in the panel: the leftmost run of columns that
    // changed since the instance started (the clock at the far right may
    // change too, separated from it by the applets in between).
    QRect iconArea(const QImage &panel) const
    {
        int first = -1, last = -1;
        for (int x = 0; x < panel.width(); ++x) {
            bool changed = false;
            for (int y = 0; y < panel.height() && !changed; ++y)
                changed = panel.pixel(x, y) != m_panelBefore.pixel(x, y);
            if (changed && first < 0)
                first = x;
            if (changed)
                last = x;
            else if (first >= 0 && x - last > 12)
                break;
        }
        return first < 0 ? QRect() : QRect(first, m_panel.top(), last - first + 1, m_panel.height());
    }

    QString panelText(const QString &shotName)
    {
        const QImage panel = desktops::Rig::grab(m_panel);
        desktops::Rig::keep(panel, shotName);
        return desktops::Rig::ocr(panel);
    }

    // Icons of ours in the applet's list: the instance's own, and any a
    // bridge made of its status item.
    int iconsOfOurs() const
    {
        const uint ours = QDBusConnection::sessionBus().interface()->servicePid(e2e::busName).value();
        int count = 0;
        for (const XAppIcon &icon : xappIcons()) {
            const bool fromUs = QDBusConnection::sessionBus().interface()->servicePid(icon.service).value() == ours;
            if (fromUs || icon.properties.value(u"Name"_s).toString().startsWith(u"quillmere"_s))
                ++count;
        }
        return count;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(findPanel());
        m_panelBefore = desktops::Rig::grab(m_panel);
        QVERIFY(m_rig.startConnected());
        QTRY_COMPARE_WITH_TIMEOUT(m_rig.instanceNames().filter(xappIconPrefix).size(), 1, 15'000);
    }
    void cleanupTestCase() { m_rig.stopInstance(); }

    void lineShowsAndFollows()
    {
        const QString line = m_rig.line().text;
        QVERIFY(!line.isEmpty());
        QString seen;
        QTRY_VERIFY2_WITH_TIMEOUT(desktops::recognisedHolds(seen = panelText(u"cinnamon-panel"_s), line),
            qPrintable(u"wanted %1, read %2"_s.arg(line, seen)), 20'000);

        const QString next = m_rig.advance();
        QVERIFY(!next.isEmpty());
        QTRY_VERIFY2_WITH_TIMEOUT(desktops::recognisedHolds(seen = panelText(u"cinnamon-panel-next"_s), next),
            qPrintable(u"wanted %1, read %2"_s.arg(next, seen)), 20'000);
        desktops::Rig::keep(desktops::Rig::grab(), u"cinnamon-screen"_s);
    }

    // Only the XApp icon: the status item is not registered with the
    // bridge, so there is no second icon of its making.
    void exactlyOneIcon()
    {
        QTest::qWait(3000); // long enough for a bridged icon to have appeared
        QCOMPARE(iconsOfOurs(), 1);
        const QStringList names = m_rig.instanceNames();
        QVERIFY2(names.filter(u"org.kde.StatusNotifierItem"_s).isEmpty(), qPrintable(names.join(u' ')));
    }

    void leftClickOpensThePopoverByTheIcon()
    {
        const QRect icon = iconArea(desktops::Rig::grab(m_panel));
        QVERIFY(icon.isValid());
        QVERIFY(desktops::Rig::click(icon.center(), 1));
        const std::optional<QRect> popover = desktops::Rig::settledPopover();
        QVERIFY(popover);
        desktops::Rig::keep(desktops::Rig::grab(), u"cinnamon-popover"_s);
        const int gap = m_panel.top() - (popover->bottom() + 1);
        QVERIFY2(gap >= 0 && gap <= 12, qPrintable(QString::number(gap)));
        // By the icon: the popover spans its start along the panel.
        QVERIFY2(popover->left() <= icon.left() + 24 && popover->right() >= icon.left(),
            qPrintable(u"popover %1..%2, icon at %3"_s.arg(popover->left()).arg(popover->right()).arg(icon.left())));
        QVERIFY(m_screen.contains(*popover));

        // A second click on the icon closes it.
        QVERIFY(desktops::Rig::click(icon.center(), 1));
        QTRY_VERIFY_WITH_TIMEOUT(!desktops::Rig::popoverGeometry(), 10'000);
    }

    void rightClickOpensTheMenu()
    {
        const QRect icon = iconArea(desktops::Rig::grab(m_panel));
        QVERIFY(icon.isValid());
        QVERIFY(desktops::Rig::click(icon.center(), 3));
        std::optional<QRect> menu;
        QTRY_VERIFY_WITH_TIMEOUT((menu = desktops::Rig::windowGeometry(u"^Quillmere menu$"_s)).has_value(), 10'000);
        QTest::qWait(500);
        menu = desktops::Rig::windowGeometry(u"^Quillmere menu$"_s);
        QVERIFY(menu);
        const QImage shot = desktops::Rig::grab();
        desktops::Rig::keep(shot, u"cinnamon-menu"_s);
        QVERIFY(menu->bottom() < m_panel.top());
        const QString text = desktops::Rig::ocr(shot.copy(*menu));
        for (const QString &entry : {u"Open Quillmere"_s, u"Refresh"_s, u"Quit"_s})
            QVERIFY2(desktops::recognisedHolds(text, entry), qPrintable(text));
        // A second right click on the icon closes it; Escape too.
        QVERIFY(desktops::Rig::click(icon.center(), 3));
        QTRY_VERIFY_WITH_TIMEOUT(!desktops::Rig::windowGeometry(u"^Quillmere menu$"_s), 10'000);
        QTest::qWait(1000); // it stays closed
        QVERIFY(!desktops::Rig::windowGeometry(u"^Quillmere menu$"_s));
        QVERIFY(desktops::Rig::click(icon.center(), 3));
        QTRY_VERIFY_WITH_TIMEOUT(desktops::Rig::windowGeometry(u"^Quillmere menu$"_s).has_value(), 10'000);
        QVERIFY(desktops::Rig::key(u"Escape"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!desktops::Rig::windowGeometry(u"^Quillmere menu$"_s), 10'000);
    }

    // Cinnamon restarts in place: its applet, and its monitor with it, goes
    // and comes back, and shows the icon again.
    void iconBackAfterPanelRestart()
    {
        const QString line = m_rig.line().text;
        callCinnamon(u"RestartCinnamon"_s, {false});
        QTRY_VERIFY_WITH_TIMEOUT(
            desktops::Rig::busNamesStartingWith(u"org.x.StatusIconMonitor.cinnamon"_s).isEmpty(), 20'000);
        QTRY_VERIFY_WITH_TIMEOUT(
            !desktops::Rig::busNamesStartingWith(u"org.x.StatusIconMonitor.cinnamon"_s).isEmpty(), 60'000);
        QString seen;
        QTRY_VERIFY2_WITH_TIMEOUT(desktops::recognisedHolds(seen = panelText(u"cinnamon-panel-restarted"_s), line),
            qPrintable(u"wanted %1, read %2"_s.arg(line, seen)), 30'000);
        QCOMPARE(iconsOfOurs(), 1);
    }
};

QTEST_MAIN(TestCinnamon)
#include "tst_cinnamon.moc"
