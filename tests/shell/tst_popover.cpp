// The popover window and its parts: placement next to the click, the spring
// that moves it, and the window itself under Xvfb (opening, closing, the
// settings side, the release of the engine).

#include "../state/storerig.h"
#include "memorytrim.h"
#include "placement.h"
#include "spring.h"
#include "viewhost.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;
using placement::Screen;

class TestPopover : public QObject {
    Q_OBJECT

    // The spring's motion from a step of 1, integrated numerically
    // (fourth-order Runge-Kutta) from its equation rather than its solution.
    static double integrated(double t)
    {
        const double omega = 2 * M_PI / Spring::response, zeta = Spring::dampingRatio;
        const double h = 1e-4;
        double y = 1, v = 0;
        auto acc = [&](double y, double v) { return -omega * omega * y - 2 * zeta * omega * v; };
        for (double s = 0; s < t - h / 2; s += h) {
            const double k1y = v, k1v = acc(y, v);
            const double k2y = v + h / 2 * k1v, k2v = acc(y + h / 2 * k1y, v + h / 2 * k1v);
            const double k3y = v + h / 2 * k2v, k3v = acc(y + h / 2 * k2y, v + h / 2 * k2v);
            const double k4y = v + h * k3v, k4v = acc(y + h * k3y, v + h * k3v);
            y += h / 6 * (k1y + 2 * k2y + 2 * k3y + k4y);
            v += h / 6 * (k1v + 2 * k2v + 2 * k3v + k4v);
        }
        return y;
    }

public:
    static void initMain() { QQuickWindow::setGraphicsApi(QSGRendererInterface::Software); } // as the program draws

private Q_SLOTS:
    void placementNextToTheClick_data()
    {
        QTest::addColumn<Screen>("screen");
        QTest::addColumn<QPoint>("click"); // (-1, -1): none
        QTest::addColumn<QPoint>("expected");
        // A 1280x800 screen with a 24-high top panel; the popover is 400x300.
        const Screen top {QRect(0, 0, 1280, 800), QRect(0, 24, 1280, 776)};
        const Screen bottom {QRect(0, 0, 1280, 800), QRect(0, 0, 1280, 772)};
        QTest::newRow("top panel, middle") << top << QPoint(640, 12) << QPoint(440, 24);
        QTest::newRow("top panel, left corner") << top << QPoint(3, 3) << QPoint(0, 24);
        QTest::newRow("top panel, right corner") << top << QPoint(1277, 3) << QPoint(880, 24);
        QTest::newRow("bottom panel, left corner") << bottom << QPoint(3, 790) << QPoint(0, 472);
        QTest::newRow("upper half, below the point") << bottom << QPoint(600, 100) << QPoint(400, 106);
        QTest::newRow("lower half, above the point") << top << QPoint(600, 500) << QPoint(400, 194);
        // The second screen of two side by side.
        const Screen right {QRect(1280, 0, 1920, 1080), QRect(1280, 30, 1920, 1050)};
        QTest::newRow("second screen") << right << QPoint(3190, 10) << QPoint(2800, 30);
        QTest::newRow("no point: top right")
            << top << QPoint(-1, -1) << QPoint(880 - placement::gap, 24 + placement::gap);
    }
    void placementNextToTheClick()
    {
        QFETCH(Screen, screen);
        QFETCH(QPoint, click);
        QFETCH(QPoint, expected);
        const QSize size(400, 300);
        const auto point = click == QPoint(-1, -1) ? std::nullopt : std::optional(click);
        const QPoint origin = placement::popoverPosition(point, size, screen);
        QCOMPARE(origin, expected);
        QVERIFY(screen.available.contains(QRect(origin, size)));
        // Taller than the screen: the top stays visible.
        QCOMPARE(placement::popoverPosition(point, QSize(400, 2000), screen).y(), screen.available.top());
    }

    void anchoredToAPanelButton_data()
    {
        QTest::addColumn<Screen>("screen");
        QTest::addColumn<QString>("edge");
        QTest::addColumn<QRect>("button");
        QTest::addColumn<QPoint>("expected");
        // 1280x800 with a panel on one edge; the popover is 400x300.
        const Screen top {QRect(0, 0, 1280, 800), QRect(0, 24, 1280, 776)};
        const Screen bottom {QRect(0, 0, 1280, 800), QRect(0, 0, 1280, 776)};
        const Screen left {QRect(0, 0, 1280, 800), QRect(48, 0, 1232, 800)};
        const Screen right {QRect(0, 0, 1280, 800), QRect(0, 0, 1232, 800)};
        const int g = placement::gap;
        QTest::newRow("top, middle") << top << u"top"_s << QRect(600, 0, 80, 24) << QPoint(440, 24 + g);
        QTest::newRow("top, right corner") << top << u"top"_s << QRect(1240, 0, 40, 24) << QPoint(880, 24 + g);
        QTest::newRow("bottom, middle") << bottom << u"bottom"_s << QRect(600, 776, 80, 24)
                                        << QPoint(440, 776 - g - 300);
        QTest::newRow("bottom, left corner")
            << bottom << u"bottom"_s << QRect(0, 776, 30, 24) << QPoint(0, 776 - g - 300);
        QTest::newRow("left") << left << u"left"_s << QRect(0, 300, 48, 40) << QPoint(48 + g, 170);
        QTest::newRow("right, near the bottom")
            << right << u"right"_s << QRect(1232, 760, 48, 40) << QPoint(1232 - g - 400, 500);
        // A panel that reserves no space (auto-hide): still outside the button.
        const Screen unreserved {QRect(0, 0, 1280, 800), QRect(0, 0, 1280, 800)};
        QTest::newRow("top, unreserved") << unreserved << u"top"_s << QRect(600, 0, 80, 30) << QPoint(440, 30 + g);
    }
    void anchoredToAPanelButton()
    {
        QFETCH(Screen, screen);
        QFETCH(QString, edge);
        QFETCH(QRect, button);
        QFETCH(QPoint, expected);
        const std::optional<placement::Edge> side = placement::edgeFromName(edge);
        QVERIFY(side);
        const QSize size(400, 300);
        const QPoint origin = placement::anchoredPosition(button, *side, size, screen);
        QCOMPARE(origin, expected);
        QVERIFY(screen.available.contains(QRect(origin, size)));
        QVERIFY(!QRect(origin, size).intersects(button));
        QVERIFY(!placement::edgeFromName(u"Top"_s));
        QVERIFY(!placement::edgeFromName(QString()));
    }

    void devicePointsOnScaledScreens()
    {
        // Two screens at twice the density, as X11 reports them: each keeps
        // its origin, its extent is scaled.
        const QList<Screen> screens {{QRect(0, 0, 960, 540), {}, 2}, {QRect(1920, 0, 960, 540), {}, 2}};
        int index = -1;
        QCOMPARE(placement::toLogical(QPoint(1000, 400), screens, &index), QPoint(500, 200));
        QCOMPARE(index, 0);
        QCOMPARE(placement::toLogical(QPoint(1920 + 1000, 400), screens, &index), QPoint(1920 + 500, 200));
        QCOMPARE(index, 1);
        QCOMPARE(placement::toLogical(QPoint(700, 13), {{QRect(0, 0, 1280, 800), {}, 1}}), QPoint(700, 13));
    }

    void springFollowsTheDampedOscillator()
    {
        // The closed form against the integrated equation.
        for (double t : {0.0, 0.05, 0.1, 0.2, 0.3, 0.5, 0.8})
            QVERIFY2(std::abs(Spring::offsetAt(t, 1, 0) - integrated(t)) < 1e-6, qPrintable(QString::number(t)));
        // Settles within 2% in about 0.3 s, overshooting by about 0.3%.
        double settled = 0, overshoot = 0;
        for (double t = 0; t < 2; t += 0.001) {
            const double y = Spring::offsetAt(t, 1, 0);
            if (std::abs(y) >= 0.02)
                settled = t;
            overshoot = std::max(overshoot, -y);
        }
        QVERIFY2(settled > 0.25 && settled < 0.35, qPrintable(QString::number(settled)));
        QVERIFY2(overshoot > 0.002 && overshoot < 0.004, qPrintable(QString::number(overshoot)));
        // The velocity is the derivative of the offset.
        const double h = 1e-6;
        for (double t : {0.02, 0.1, 0.25})
            QVERIFY(std::abs((Spring::offsetAt(t + h, 1, 2) - Spring::offsetAt(t - h, 1, 2)) / (2 * h)
                        - Spring::velocityAt(t, 1, 2))
                < 1e-4);
    }

    void springMovesToItsTargetAndRests()
    {
        Spring spring;
        spring.jumpTo(100);
        QCOMPARE(spring.value(), 100.0);
        QVERIFY(!spring.running());
        QList<qreal> values;
        QObject::connect(&spring, &Spring::valueChanged, &spring, [&] { values << spring.value(); });
        spring.setTarget(300);
        QVERIFY(spring.running());
        // Half way through, a new target bends the motion: no jump back.
        QTRY_VERIFY(spring.value() > 200);
        const qreal before = spring.value();
        spring.setTarget(250);
        QVERIFY(std::abs(spring.value() - before) < 1e-9);
        QTRY_VERIFY_WITH_TIMEOUT(!spring.running(), 3000);
        QCOMPARE(spring.value(), 250.0);
        for (qsizetype i = 1; i < values.size(); ++i)
            QVERIFY2(std::abs(values[i] - values[i - 1]) < 60, "the value moves, it does not jump");
        // Disabled, a target is taken at once.
        spring.setEnabled(false);
        spring.setTarget(10);
        QCOMPARE(spring.value(), 10.0);
        QVERIFY(!spring.running());
    }

    void givingBackKeepsPrivateCopies()
    {
        const QByteArray smaps = R"(55d0a0000000-55d0a0001000 r--p 00000000 fe:01 1234 /usr/lib/libcode.so
Anonymous:             0 kB
55d0a0001000-55d0a0005000 r-xp 00001000 fe:01 1234 /usr/lib/libcode.so
Anonymous:             0 kB
55d0a0005000-55d0a0006000 r--p 00005000 fe:01 1234 /usr/lib/libcode.so
Anonymous:             4 kB
55d0a0006000-55d0a0007000 rw-p 00006000 fe:01 1234 /usr/lib/libcode.so
Anonymous:             0 kB
7f0000000000-7f0000021000 r--p 00000000 00:00 0
Anonymous:             0 kB
7f0000100000-7f0000200000 r--s 00000000 fe:01 99 /var/cache/fontconfig/cache-4
Anonymous:             0 kB
7ffd00000000-7ffd00002000 r-xp 00000000 00:00 0                          [vdso]
)";
        const QList<memorytrim::Mapping> mappings = memorytrim::parseSmaps(smaps);
        QList<bool> droppable;
        for (const memorytrim::Mapping &m : mappings)
            droppable << m.droppable;
        // Code and read-only data: yes; relocated data (private copies),
        // writable data, anonymous memory and the vdso: no.
        QCOMPARE(droppable, (QList<bool> {true, true, false, false, false, true, false}));
        QCOMPARE(mappings[1].start, std::uintptr_t(0x55d0a0001000));
        QCOMPARE(mappings[1].end, std::uintptr_t(0x55d0a0005000));
    }

    void init()
    {
        rig = std::make_unique<Rig>();
        rig->backend.failures.clear();
        rig->start();
        host = std::make_unique<ViewHost>(rig->store.get());
    }
    void cleanup()
    {
        host.reset();
        rig.reset();
    }

    void opensAtEachCornerInsideTheScreen_data()
    {
        QTest::addColumn<QPoint>("fraction"); // per mille of the screen
        for (const QPoint &corner : {QPoint(2, 2), QPoint(998, 2), QPoint(2, 998), QPoint(998, 998)})
            QTest::addRow("%d,%d", corner.x(), corner.y()) << corner;
    }
    void opensAtEachCornerInsideTheScreen()
    {
        QFETCH(QPoint, fraction);
        const QScreen *screen = QGuiApplication::primaryScreen();
        const QRect area = screen->geometry();
        const QPoint point(
            area.left() + area.width() * fraction.x() / 1000, area.top() + area.height() * fraction.y() / 1000);
        host->activateAt(point * screen->devicePixelRatio());
        QQuickWindow *window = host->popover();
        QVERIFY(window);
        QTRY_VERIFY(window->isExposed());
        QCOMPARE(window->width(), 400);
        QVERIFY(window->height() > 32);
        QVERIFY2(screen->availableGeometry().contains(window->geometry()), qPrintable(QString::number(window->y())));
        const Qt::WindowFlags kept = Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
        QCOMPARE(window->flags() & kept, kept);
        // A second click closes it.
        host->activateAt(point);
        QVERIFY(!host->popoverVisible());
    }

    void closesOnEscapeAndOnLosingActivation()
    {
        host->openPopover();
        QQuickWindow *window = host->popover();
        QTRY_VERIFY(window->isActive());
        QTest::keyClick(window, Qt::Key_Escape);
        QTRY_VERIFY(!host->popoverVisible());

        host->openPopover();
        QTRY_VERIFY(window->isActive());
        QWindow elsewhere;
        elsewhere.setGeometry(10, 10, 50, 50);
        elsewhere.show();
        elsewhere.requestActivate();
        QTRY_VERIFY(!host->popoverVisible());
        // The click on the status item that took the activation arrives
        // right after: it does not open the popover again.
        host->activateAt(QPoint(640, 10));
        QVERIFY(!host->popoverVisible());
        // A later click does.
        host->activateAt(QPoint(640, 10));
        QVERIFY(host->popoverVisible());
    }

    void togglesFromAPanelButton()
    {
        // A button in a top panel: the popover opens centred below it, and
        // the same button closes it.
        const QRect button(600, 0, 80, 24);
        host->togglePopoverAt(button, placement::Edge::Top);
        QQuickWindow *window = host->popover();
        QVERIFY(window);
        QTRY_VERIFY(window->isExposed());
        QCOMPARE(window->x() + window->width() / 2, button.center().x());
        QCOMPARE(window->y(), button.bottom() + 1 + placement::gap);
        host->togglePopoverAt(button, placement::Edge::Top);
        QVERIFY(!host->popoverVisible());

        // A click elsewhere closes it; the button's click that took the
        // activation does not open it again, a later one does.
        host->togglePopoverAt(button, placement::Edge::Top);
        QTRY_VERIFY(window->isActive());
        QWindow elsewhere;
        elsewhere.setGeometry(10, 300, 50, 50);
        elsewhere.show();
        elsewhere.requestActivate();
        QTRY_VERIFY(!host->popoverVisible());
        host->togglePopoverAt(button, placement::Edge::Top);
        QVERIFY(!host->popoverVisible());
        host->togglePopoverAt(button, placement::Edge::Top);
        QVERIFY(host->popoverVisible());
    }

    void eachOpeningRefreshesWhenStale()
    {
        const auto requests = [this] { return rig->backend.server.requests().size(); };
        // Connected through a link, with data older than half a minute.
        rig->run(rig->store->connect(rig->backend.server.url().toString() + u"/embed/k1"_s, QString()));
        QVERIFY(rig->store->connected());
        rig->clock.time = rig->clock.time.addSecs(31);
        qsizetype before = requests();
        host->openPopover();
        QTRY_VERIFY(requests() > before);
        QTRY_VERIFY(!rig->store->loading());
        host->closePopover();
        // Fresh data: opening again asks nothing.
        before = requests();
        host->openPopover();
        QTest::qWait(200);
        QCOMPARE(requests(), before);
    }

    void togglesTheSettingsSide()
    {
        host->openPopover();
        QQuickWindow *window = host->popover();
        auto *settingsSide = window->findChild<QQuickItem *>(u"settingsSide"_s);
        auto *mainSide = window->findChild<QQuickItem *>(u"mainSide"_s);
        QVERIFY(settingsSide && mainSide);
        QVERIFY(!settingsSide->property("active").toBool());
        QMetaObject::invokeMethod(window, "toggleSettings");
        QVERIFY(window->property("showingSettings").toBool());
        QVERIFY(settingsSide->property("active").toBool());
        // The main side leaves once the slide has come to rest.
        QTRY_VERIFY(!mainSide->property("active").toBool());
        QTRY_COMPARE(window->height(), qRound(settingsSide->property("naturalHeight").toReal()) + 32);
        QMetaObject::invokeMethod(window, "toggleSettings");
        QTRY_VERIFY(!settingsSide->property("active").toBool());
        QTRY_COMPARE(window->height(), qRound(mainSide->property("naturalHeight").toReal()) + 32);
    }

    void releasesTheEngineAfterTheDelay()
    {
        host->setReleaseDelay(std::chrono::milliseconds(100));
        QSignalSpy released(host.get(), &ViewHost::released);
        host->openPopover();
        QVERIFY(host->engineLoaded());
        QTest::qWait(300);
        QCOMPARE(released.size(), 0); // not while it is open
        host->closePopover();
        QVERIFY(released.wait(2000));
        QVERIFY(!host->engineLoaded());
        QVERIFY(!host->popover());
        // The store stays, and the next opening builds everything anew.
        QVERIFY(rig->store);
        host->openPopover();
        QVERIFY(host->popover());
        QTRY_VERIFY(host->popover()->isExposed());
    }

private:
    std::unique_ptr<Rig> rig;
    std::unique_ptr<ViewHost> host;
};

QTEST_MAIN(TestPopover)
#include "tst_popover.moc"
