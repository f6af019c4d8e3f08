// Our extension in a real GNOME Shell 43 running as a headless Wayland
// compositor (tests/desktops/gnome_wayland.sh): the popover cannot place
// itself there, so the extension moves it under the button and gives it the
// focus. Nothing is drawn to look at; the shell reports where its windows are.

#include "gnomeshell.h"

using namespace Qt::StringLiterals;
using desktops::Rig;

class TestGnomeWayland : public QObject {
    Q_OBJECT

    Rig rig;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && !qEnvironmentVariableIsSet("DISPLAY"));
        rig.env.insert(u"QT_QPA_PLATFORM"_s, u"wayland"_s);
        QVERIFY(gnome::extensionEnabled(gnome::ourUuid));
        QVERIFY(rig.startConnected());
        QTRY_COMPARE_WITH_TIMEOUT(gnome::buttonAccessibleName(), rig.line().text, 10'000);
    }

    void clickPlacesThePopoverUnderTheButtonWithFocus()
    {
        // Twice: the popover is a new window each time it opens.
        for (int round = 0; round < 2; ++round) {
            const QRect button = gnome::buttonRect();
            QVERIFY(!button.isNull());
            QVERIFY(gnome::click(button.center()));
            std::optional<gnome::Window> popover;
            const QRect workArea = gnome::workArea();
            const auto placed = [&] {
                popover = gnome::popover();
                return popover && popover->focused
                    && (popover->frame.topLeft() - gnome::expectedPopoverAt(button, popover->frame.size(), workArea))
                           .manhattanLength()
                    <= 1;
            };
            const auto describe = [&] {
                return popover ? u"popover at %1,%2 %3x%4 (focused %5), button %6,%7 %8x%9"_s.arg(popover->frame.x())
                                     .arg(popover->frame.y())
                                     .arg(popover->frame.width())
                                     .arg(popover->frame.height())
                                     .arg(popover->focused)
                                     .arg(button.x())
                                     .arg(button.y())
                                     .arg(button.width())
                                     .arg(button.height())
                               : u"no popover"_s;
            };
            QVERIFY2(QTest::qWaitFor(placed, 10'000), qPrintable(describe()));
            // Stays there.
            QTest::qWait(500);
            QVERIFY2(placed(), qPrintable(describe()));

            QVERIFY(gnome::click(button.center()));
            QTRY_VERIFY_WITH_TIMEOUT(!gnome::popover(), 10'000);
        }
    }

    void otherWindowsAreLeftWhereTheShellPutThem()
    {
        // The settings window shares the app id, not the title.
        QVERIFY(rig.run({u"--settings"_s}).exitCode == 0);
        const QString settings = u"global.display.list_all_windows().filter(w => w.get_title() === "
                                 "'Quillmere Settings').map(w => { const r = w.get_frame_rect();"
                                 "return [r.x, r.y, r.width, r.height]; })[0] ?? null"_s;
        QRect placed;
        QTRY_VERIFY_WITH_TIMEOUT(!(placed = gnome::rectFrom(gnome::eval(u"return "_s + settings))).isNull(), 10'000);
        // Not where the extension puts the popover.
        QTest::qWait(500);
        placed = gnome::rectFrom(gnome::eval(u"return "_s + settings));
        QVERIFY(placed.topLeft() != gnome::expectedPopoverAt(gnome::buttonRect(), placed.size(), gnome::workArea()));
    }
};

QTEST_GUILESS_MAIN(TestGnomeWayland)
#include "tst_gnome_wayland.moc"
