// The popover in XFCE (tests/desktops/xfce.sh: the panel along the top with
// the indicator plugin at its left end, xfwm4, under Xvfb). The indicator
// plugin opens the item's menu on a click; its "Open Quillmere" passes no
// position, so the popover goes where the pointer is when the pointer is
// near the panel, and to the top-right corner otherwise. Checked as a person
// does it: a click on the item, a click on the menu entry, and the popover's
// window where it lands; then second launches with the pointer near and far
// from the panel.

#include "desktoprig.h"

using namespace Qt::StringLiterals;
using desktops::Rig;

namespace {

// The work area xfwm4 publishes: the screen without the panel.
QRect workArea()
{
    const QString value = QString::fromUtf8(desktops::output(u"xprop"_s, {u"-root"_s, u"_NET_WORKAREA"_s}));
    const QStringList numbers = value.section(u'=', 1).split(u',', Qt::SkipEmptyParts);
    if (numbers.size() < 4)
        return {};
    return QRect(numbers[0].trimmed().toInt(), numbers[1].trimmed().toInt(), numbers[2].trimmed().toInt(),
        numbers[3].trimmed().toInt());
}

bool movePointer(QPoint to)
{
    return QProcess::execute(
               u"xdotool"_s, {u"mousemove"_s, u"--sync"_s, QString::number(to.x()), QString::number(to.y())})
        == 0;
}

} // namespace

class TestXfce : public QObject {
    Q_OBJECT

    Rig m_rig;

    // An activation of the item while the popover shows closes it.
    bool closePopover()
    {
        if (!Rig::popoverGeometry())
            return true;
        QDBusMessage activate = QDBusMessage::createMethodCall(
            e2e::busName, u"/StatusNotifierItem"_s, u"org.kde.StatusNotifierItem"_s, u"Activate"_s);
        activate << 0 << 0;
        QDBusConnection::sessionBus().call(activate);
        const bool closed = QTest::qWaitFor([] { return !Rig::popoverGeometry(); }, 5000);
        // An activation this soon after the popover closed counts as the
        // click that closed it.
        QTest::qWait(500);
        return closed;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_rig.startConnected());
        QTRY_VERIFY_WITH_TIMEOUT(workArea().top() > 0, 20'000);
    }
    void cleanupTestCase() { QVERIFY(m_rig.stopInstance()); }

    void menuEntryOpensItUnderTheItem()
    {
        const QRect area = workArea();
        // The item is at the left end of the panel: the only thing there in
        // the icon's dark colour.
        QRect icon;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QImage panel = Rig::grab(QRect(0, 0, 400, area.top()));
                icon = QRect();
                for (int y = 0; y < panel.height(); ++y) {
                    for (int x = 0; x < panel.width(); ++x) {
                        if ((panel.pixel(x, y) & 0xffffff) == 0x1d2733)
                            icon |= QRect(x, y, 1, 1);
                    }
                }
                return icon.width() >= 8;
            }(),
            30'000);
        QVERIFY(Rig::click(icon.center()));
        // The item's menu opens under it.
        std::optional<QRect> entry;
        QTRY_VERIFY_WITH_TIMEOUT(
            (entry = desktops::wordBox(Rig::grab(QRect(0, area.top(), 400, 300)), u"Open"_s)).has_value(), 20'000);
        const QPoint pointer = entry->center() + QPoint(0, area.top());
        QVERIFY(Rig::click(pointer));
        const std::optional<QRect> shown = Rig::settledPopover();
        QVERIFY(shown);
        // At the pointer's x, against the panel, and so under the item.
        const QString problem = desktops::placementProblem(*shown, QPoint(pointer.x(), area.top() - 1), area);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY(shown->left() <= icon.center().x() && icon.center().x() <= shown->right());
        Rig::keep(Rig::grab(), u"panel-popover-xfce"_s);
        QVERIFY(closePopover());
    }

    void secondLaunchGoesToThePointerNearThePanel_data()
    {
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<bool>("atPointer"); // else the top-right corner
        // The panel is 27 px high: the work area starts there.
        QTest::newRow("near the panel, middle") << QPoint(640, 120) << true;
        QTest::newRow("near the panel, right end") << QPoint(1270, 60) << true;
        QTest::newRow("on the panel") << QPoint(300, 10) << true;
        QTest::newRow("300 px below the panel") << QPoint(500, 27 + 300) << true;
        QTest::newRow("far from it") << QPoint(500, 27 + 301) << false;
    }
    void secondLaunchGoesToThePointerNearThePanel()
    {
        QFETCH(QPoint, pointer);
        QFETCH(bool, atPointer);
        QVERIFY(closePopover());
        const QRect area = workArea();
        QCOMPARE(area.top(), 27);
        QVERIFY(movePointer(pointer));
        QCOMPARE(m_rig.run({}).exitCode, 0); // a launch while the instance runs opens the popover
        const std::optional<QRect> shown = Rig::settledPopover();
        QVERIFY(shown);
        if (atPointer) {
            const QString problem = desktops::placementProblem(*shown, QPoint(pointer.x(), area.top() - 1), area);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        } else {
            // The corner, a small gap inside the work area.
            QVERIFY(area.contains(*shown));
            QVERIFY2(area.right() - shown->right() <= 24 && shown->top() - area.top() <= 24,
                qPrintable(u"%1,%2"_s.arg(shown->x()).arg(shown->y())));
        }
    }
};

QTEST_MAIN(TestXfce)
#include "tst_xfce.moc"
