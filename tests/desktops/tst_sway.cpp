// The popover under sway (tests/desktops/sway.sh: headless, a bar along the
// top with swaybar's tray as the host). sway floats a new window in the
// middle of the output; the instance asks sway over its IPC to put the
// popover next to the click instead. Checked from sway's own tree: where the
// popover is after the clicks swaybar's tray (at its item's place) and the
// panel interface send, and that keys typed go into its text fields. (The
// headless seat has no pointer, so the clicks are the host's D-Bus calls.)

#include "desktoprig.h"

#include <QDBusInterface>
#include <QDBusReply>

using namespace Qt::StringLiterals;
using desktops::Rig;

namespace {

QJsonDocument swaymsg(const QStringList &arguments)
{
    return QJsonDocument::fromJson(desktops::output(u"swaymsg"_s, QStringList {u"-r"_s} + arguments));
}

// A node of sway's tree and what lies under it, depth first.
void collect(const QJsonObject &node, QList<QJsonObject> &into)
{
    into << node;
    for (const QString &key : {u"nodes"_s, u"floating_nodes"_s}) {
        const QJsonArray children = node.value(key).toArray();
        for (const QJsonValue &child : children)
            collect(child.toObject(), into);
    }
}

QRect rectOf(const QJsonValue &value)
{
    const QJsonObject r = value.toObject();
    return QRect(r.value(u"x").toInt(), r.value(u"y").toInt(), r.value(u"width").toInt(), r.value(u"height").toInt());
}

// The popover's window (without any border sway draws), when it is mapped.
std::optional<QRect> popover()
{
    QList<QJsonObject> nodes;
    collect(swaymsg({u"-t"_s, u"get_tree"_s}).object(), nodes);
    for (const QJsonObject &node : std::as_const(nodes)) {
        if (node.value(u"app_id").toString() == u"quillmere-menubar" && node.value(u"name").toString() == u"Quillmere"
            && node.value(u"visible").toBool()) {
            const QRect outer = rectOf(node.value(u"rect"));
            const QRect inner = rectOf(node.value(u"window_rect"));
            return QRect(outer.topLeft() + inner.topLeft(), inner.size());
        }
    }
    return std::nullopt;
}

// The workspace's area: the output without the bar.
QRect usable()
{
    const QJsonArray workspaces = swaymsg({u"-t"_s, u"get_workspaces"_s}).array();
    for (const QJsonValue &workspace : workspaces) {
        if (workspace.toObject().value(u"visible").toBool())
            return rectOf(workspace.toObject().value(u"rect"));
    }
    return {};
}

QImage screenshot()
{
    return QImage::fromData(desktops::output(u"grim"_s, {u"-"_s}), "PNG");
}

} // namespace

class TestSway : public QObject {
    Q_OBJECT

    Rig m_rig;

    // The status item's bus name, as swaybar's watcher lists it.
    QString itemService()
    {
        QDBusInterface watcher(
            u"org.kde.StatusNotifierWatcher"_s, u"/StatusNotifierWatcher"_s, u"org.kde.StatusNotifierWatcher"_s);
        const QStringList items = watcher.property("RegisteredStatusNotifierItems").toStringList();
        return items.isEmpty() ? QString() : items.first().section(u'/', 0, 0);
    }
    QDBusMessage item(const QString &method, const QVariantList &arguments)
    {
        return desktops::callMethod(
            itemService(), u"/StatusNotifierItem"_s, u"org.kde.StatusNotifierItem"_s, method, arguments);
    }
    // An activation while the popover shows closes it.
    bool closePopover()
    {
        if (!popover())
            return true;
        item(u"Activate"_s, {0, 0});
        const bool closed = QTest::qWaitFor([] { return !popover(); }, 5000);
        // An activation this soon after the popover closed counts as the
        // click that closed it.
        QTest::qWait(500);
        return closed;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_rig.startConnected());
        QTRY_VERIFY_WITH_TIMEOUT(!itemService().isEmpty(), 20'000);
    }
    void cleanupTestCase() { QVERIFY(m_rig.stopInstance()); }

    void openedAtTheTrayItem()
    {
        // The item is the only thing in the bar drawn in the icon's dark
        // colour.
        QRect icon;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QImage bar = screenshot().copy(0, 0, 1280, usable().top());
                icon = QRect();
                for (int y = 0; y < bar.height(); ++y) {
                    for (int x = 0; x < bar.width(); ++x) {
                        if ((bar.pixel(x, y) & 0xffffff) == 0x1d2733)
                            icon |= QRect(x, y, 1, 1);
                    }
                }
                return icon.width() >= 8;
            }(),
            20'000);
        // Where swaybar's tray sends its click from (global pixels).
        const QPoint at = icon.center();
        QCOMPARE(item(u"Activate"_s, {at.x(), at.y()}).type(), QDBusMessage::ReplyMessage);
        const std::optional<QRect> shown = desktops::settled(popover);
        QVERIFY(shown);
        const QString problem = desktops::placementProblem(*shown, at, usable());
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QTest::qWait(1500); // the dashboard grows to its full height
        Rig::keep(screenshot(), u"popover-sway"_s);
        QVERIFY(closePopover());
    }

    void clickPointsPutItNextToThem_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QPoint>("click");
        // The bar is 23 px high along the top of a 1280x800 output.
        QTest::newRow("item in the middle of the bar") << u"Activate"_s << QVariantList {640, 11} << QPoint(640, 11);
        QTest::newRow("item at the left end") << u"Activate"_s << QVariantList {6, 11} << QPoint(6, 11);
        QTest::newRow("item at the right end") << u"Activate"_s << QVariantList {1274, 11} << QPoint(1274, 11);
        QTest::newRow("a click low on the screen") << u"Activate"_s << QVariantList {300, 700} << QPoint(300, 700);
        QTest::newRow("panel button, top edge")
            << u"TogglePopover"_s << QVariantList {880, 0, 40, 23, u"top"_s} << QPoint(900, 11);
    }
    void clickPointsPutItNextToThem()
    {
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(QPoint, click);
        QVERIFY(closePopover());
        const QDBusMessage reply
            = method == u"Activate" ? item(method, arguments) : desktops::callPanel(method, arguments);
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        const std::optional<QRect> shown = desktops::settled(popover);
        QVERIFY(shown);
        const QString problem = desktops::placementProblem(*shown, click, usable());
        QVERIFY2(problem.isEmpty(),
            qPrintable(u"%1 at %2,%3 %4x%5"_s.arg(problem)
                           .arg(shown->x())
                           .arg(shown->y())
                           .arg(shown->width())
                           .arg(shown->height())));
    }

    void keysGoIntoTheConnectView()
    {
        QVERIFY(closePopover());
        QCOMPARE(m_rig.run({u"--disconnect"_s}).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!m_rig.line().ok(), 10'000);
        QCOMPARE(item(u"Activate"_s, {640, 11}).type(), QDBusMessage::ReplyMessage);
        const std::optional<QRect> shown = desktops::settled(popover);
        QVERIFY(shown);
        // From the keyboard alone: to the link field (after "Sign in with
        // browser"), the link, then past the password field to Connect.
        const QString link = m_rig.url(u"embed/"_s + e2e::northwind);
        QCOMPARE(QProcess::execute(u"wtype"_s, {u"-k"_s, u"Tab"_s, u"-k"_s, u"Tab"_s, link}), 0);
        QTest::qWait(300);
        Rig::keep(screenshot(), u"connect-typed-sway"_s);
        QCOMPARE(QProcess::execute(u"wtype"_s, {u"-k"_s, u"Tab"_s, u"-k"_s, u"Tab"_s, u"-k"_s, u"space"_s}), 0);
        // Connected with the typed link: the line comes back.
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.line().ok(), 30'000);
    }
};

QTEST_GUILESS_MAIN(TestSway)
#include "tst_sway.moc"
