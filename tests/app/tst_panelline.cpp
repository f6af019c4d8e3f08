// The line a panel widget shows: as the command prints it, as the Plasma
// widget's shared code reads it back (run here in a JavaScript engine), and
// whether Plasma's layout holds the widget in a panel.

#include "panelline.h"
#include "plasmapanel.h"

#include <QFile>
#include <QJSEngine>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QVariantMap properties(const QString &title, const QString &status)
{
    return {{u"Title"_s, title}, {u"Status"_s, status}};
}

} // namespace

class TestPanelLine : public QObject {
    Q_OBJECT

    QJSEngine m_js;

    QJSValue js(const char *function, const QJSValueList &arguments)
    {
        const QJSValue result = m_js.globalObject().property(QString::fromLatin1(function)).call(arguments);
        if (result.isError())
            qWarning("%s: %s", function, qPrintable(result.toString()));
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The widget's shared file, as Plasma's engine reads it: a library
        // script whose first statement is the pragma.
        QFile file(QStringLiteral(QUILLMERE_SOURCE_DIR "/panels/plasma/code/panelline.js"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QString source = QString::fromUtf8(file.readAll());
        QVERIFY(source.contains(u"\n.pragma library\n"_s));
        source.replace(u"\n.pragma library\n"_s, u"\n"_s);
        const QJSValue loaded = m_js.evaluate(source, file.fileName());
        QVERIFY2(!loaded.isError(), qPrintable(loaded.toString()));
    }

    void fromProperties_data()
    {
        QTest::addColumn<QVariantMap>("properties");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tooltip");
        QTest::addColumn<bool>("icon");
        QTest::addColumn<QString>("cssClass");
        const QString ok = uR"({"text":"$2.4k","tooltip":"$2.4k\nUpdated 10:04","class":"ok"})"_s;
        QVariantMap all = properties(u"$2.4k"_s, ok);
        all.insert(u"ToolTip"_s, u"From the instance"_s);
        all.insert(u"IconShown"_s, false);
        QTest::newRow("every property") << all << u"$2.4k"_s << u"From the instance"_s << false << u"ok"_s;
        QTest::newRow("instance without ToolTip and IconShown")
            << properties(u"$2.4k"_s, ok) << u"$2.4k"_s << u"$2.4k\nUpdated 10:04"_s << true << u"ok"_s;
        QTest::newRow("title over lines")
            << properties(u"a\r\nb\nc\u2028d"_s, ok) << u"a b c d"_s << u"$2.4k\nUpdated 10:04"_s << true << u"ok"_s;
        QTest::newRow("status not JSON") << properties(u"Quillmere"_s, u"{"_s) << u"Quillmere"_s << QString() << true
                                         << QString();
    }

    void fromProperties()
    {
        QFETCH(QVariantMap, properties);
        QFETCH(QString, text);
        QFETCH(QString, tooltip);
        QFETCH(bool, icon);
        QFETCH(QString, cssClass);
        const PanelLine line = PanelLine::fromProperties(properties);
        QCOMPARE(line.text, text);
        QCOMPARE(line.tooltip, tooltip);
        QCOMPARE(line.icon, icon);
        QCOMPARE(line.cssClass, cssClass);
        QVERIFY(line.running);
    }

    // The state names the whole line: any difference a panel shows is
    // another state, equal lines have one.
    void stateNamesTheLine()
    {
        const PanelLine base {u"$2.4k"_s, u"$2.4k\nUpdated 10:04"_s, true, u"ok"_s, true};
        QList<PanelLine> others;
        for (int field = 0; field < 5; ++field) {
            PanelLine other = base;
            switch (field) {
            case 0:
                other.text = u"$2.5k"_s;
                break;
            case 1:
                other.tooltip = u"$2.4k\nUpdated 10:09"_s;
                break;
            case 2:
                other.icon = false;
                break;
            case 3:
                other.cssClass = u"loading"_s;
                break;
            default:
                other.running = false;
            }
            others << other;
        }
        others << PanelLine::notRunning();
        QCOMPARE(PanelLine(base).state(), base.state());
        QCOMPARE(base.state().size(), 16);
        for (const PanelLine &other : std::as_const(others)) {
            QVERIFY2(other.state() != base.state(), other.json().constData());
            for (const PanelLine &third : std::as_const(others)) {
                if (!(third == other))
                    QVERIFY(third.state() != other.state());
            }
        }
    }

    // What the command prints is what the widget reads.
    void widgetReadsThePrintedLine_data()
    {
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("running");
        QTest::newRow("running") << 0 << true;
        QTest::newRow("not running") << 3 << false;
    }

    void widgetReadsThePrintedLine()
    {
        QFETCH(int, exitCode);
        QFETCH(bool, running);
        const PanelLine line
            = running ? PanelLine {u"$2.4k \"q\" é"_s, u"tip"_s, false, u"ok"_s, true} : PanelLine::notRunning();
        const QJSValue read = js("parse", {QString::fromUtf8(line.json() + '\n'), exitCode});
        QVERIFY(read.isObject());
        QCOMPARE(read.property(u"text"_s).toString(), line.text);
        QCOMPARE(read.property(u"tooltip"_s).toString(), line.tooltip);
        QCOMPARE(read.property(u"icon"_s).toBool(), line.icon);
        QCOMPARE(read.property(u"running"_s).toBool(), running);
        QCOMPARE(read.property(u"state"_s).toString(), line.state());
        // The next command hands the state back as it came.
        QCOMPARE(js("nextCommand", {line.state()}).toString(),
            u"quillmere-menubar --line --json --next --since "_s + line.state());
        // The widget's own not-running line is the command's.
        const QJSValue own = js("notRunning", {});
        QCOMPARE(own.property(u"text"_s).toString(), PanelLine::notRunning().text);
        QCOMPARE(own.property(u"tooltip"_s).toString(), PanelLine::notRunning().tooltip);
    }

    // Whatever else comes back is no line, and nothing but a state of hex
    // digits reaches the shell command.
    void widgetRejects_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("exitCode");
        const QString good = QString::fromUtf8(PanelLine::notRunning().json());
        QTest::newRow("program missing") << QString() << 127;
        QTest::newRow("usage error") << good << 2;
        QTest::newRow("not JSON") << u"quillmere-menubar: no session bus"_s << 0;
        QTest::newRow("no text") << uR"({"state":"ab"})"_s << 0;
        QTest::newRow("state with a command") << uR"({"text":"x","state":"ab; touch /tmp/owned"})"_s << 0;
        QTest::newRow("state upper case") << uR"({"text":"x","state":"AB"})"_s << 0;
    }

    void widgetRejects()
    {
        QFETCH(QString, output);
        QFETCH(int, exitCode);
        QVERIFY(js("parse", {output, exitCode}).isNull());
        QCOMPARE(js("nextCommand", {u"ab; touch /tmp/owned"_s}).toString(),
            u"quillmere-menubar --line --json --next --since none"_s);
    }

    // What the panel shows: the icon as the instance says on a horizontal
    // panel, the icon alone on a vertical one, never nothing.
    void presentation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("icon");
        QTest::addColumn<bool>("vertical");
        QTest::addColumn<QString>("shownText");
        QTest::addColumn<bool>("shownIcon");
        QTest::newRow("text and icon") << u"$2.4k"_s << true << false << u"$2.4k"_s << true;
        QTest::newRow("text only") << u"$2.4k"_s << false << false << u"$2.4k"_s << false;
        QTest::newRow("no text") << QString() << false << false << QString() << true;
        QTest::newRow("vertical") << u"$2.4k"_s << false << true << QString() << true;
    }

    void presentation()
    {
        QFETCH(QString, text);
        QFETCH(bool, icon);
        QFETCH(bool, vertical);
        QFETCH(QString, shownText);
        QFETCH(bool, shownIcon);
        QJSValue line = m_js.newObject();
        line.setProperty(u"text"_s, text);
        line.setProperty(u"icon"_s, icon);
        line.setProperty(u"tooltip"_s, QString());
        const QJSValue shown = js("presentation", {line, vertical});
        QCOMPARE(shown.property(u"text"_s).toString(), shownText);
        QCOMPARE(shown.property(u"icon"_s).toBool(), shownIcon);
        // Without a tooltip of its own the line is the tooltip.
        QCOMPARE(shown.property(u"tooltip"_s).toString(), text);
    }

    void popoverCommand_data()
    {
        QTest::addColumn<int>("location");
        QTest::addColumn<QString>("command");
        // PlasmaCore.Types' locations: Floating 0, Desktop 1, FullScreen 2,
        // TopEdge 3, BottomEdge 4, LeftEdge 5, RightEdge 6.
        QTest::newRow("bottom") << 4 << u"quillmere-menubar --popover-at 1101,768,140,32,bottom"_s;
        QTest::newRow("top") << 3 << u"quillmere-menubar --popover-at 1101,768,140,32,top"_s;
        QTest::newRow("left") << 5 << u"quillmere-menubar --popover-at 1101,768,140,32,left"_s;
        QTest::newRow("right") << 6 << u"quillmere-menubar --popover-at 1101,768,140,32,right"_s;
        QTest::newRow("on the desktop") << 1 << u"quillmere-menubar --popover-at 1101,768,140,32,top"_s;
    }

    void popoverCommand()
    {
        QFETCH(int, location);
        QFETCH(QString, command);
        QJSValue types = m_js.newObject();
        const char *names[] = {"Floating", "Desktop", "FullScreen", "TopEdge", "BottomEdge", "LeftEdge", "RightEdge"};
        for (int i = 0; i < 7; ++i)
            types.setProperty(QString::fromLatin1(names[i]), i);
        QJSValue rect = m_js.newObject();
        rect.setProperty(u"x"_s, 1100.6);
        rect.setProperty(u"y"_s, 768);
        rect.setProperty(u"width"_s, 139.5);
        rect.setProperty(u"height"_s, 32.2);
        const QString edge = js("edgeName", {location, types}).toString();
        QCOMPARE(js("popoverCommand", {rect, edge}).toString(), command);
    }

    // A missing program is asked again later and later, never more often
    // than every two seconds nor less than every five minutes.
    void retryDelay()
    {
        int previous = 0;
        for (int failures = 1; failures < 20; ++failures) {
            const int delay = js("retryDelay", {failures}).toInt();
            QVERIFY(delay >= 2 && delay <= 300);
            QVERIFY(delay >= previous);
            previous = delay;
        }
        QCOMPARE(previous, 300);
    }

    // The context menu has the status item's entries, each reaching the
    // instance through a command (open is the click itself).
    void contextMenu()
    {
        const QJSValue actions = m_js.globalObject().property(u"actions"_s);
        QStringList names;
        for (int i = 0; i < actions.property(u"length"_s).toInt(); ++i)
            names << actions.property(i).property(u"name"_s).toString();
        QCOMPARE(names, (QStringList {u"open"_s, u"refresh"_s, u"settings"_s, u"separator"_s, u"quit"_s}));
        for (const QString &name : {u"refresh"_s, u"settings"_s, u"quit"_s})
            QCOMPARE(js("actionCommand", {name}).toString(), u"quillmere-menubar --"_s + name);
    }

    // Plasma's layout file: only a widget of ours in a panel counts.
    void inPanel_data()
    {
        QTest::addColumn<QString>("config");
        QTest::addColumn<bool>("inPanel");
        const QString panel = u"[Containments][2]\nformfactor=2\nplugin=org.kde.panel\n"_s
                              u"[Containments][2][Applets][3]\nimmutability=1\nplugin=org.kde.plasma.kickoff\n"_s;
        const QString desktop = u"[Containments][1]\nplugin=org.kde.plasma.folder\n"_s;
        const QString tray = u"[Containments][8]\nplugin=org.kde.plasma.private.systemtray\n"_s;
        const auto ours = [](int containment, int applet) {
            return u"[Containments][%1][Applets][%2]\nplugin=com.velmorcraft.quillmere.menubar\n"_s.arg(containment)
                .arg(applet);
        };
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("panel without it") << desktop + panel << false;
        QTest::newRow("in the panel") << desktop + panel + ours(2, 21) << true;
        QTest::newRow("panel named after it") << desktop + ours(2, 21) + panel << true;
        QTest::newRow("on the desktop") << desktop + panel + ours(1, 21) << false;
        QTest::newRow("inside the system tray") << panel + tray + ours(8, 21) << false;
        QTest::newRow("its configuration group")
            << panel + u"[Containments][2][Applets][21][Configuration]\nplugin=com.velmorcraft.quillmere.menubar\n"_s
            << false;
        QTest::newRow("a widget with a longer id")
            << panel + u"[Containments][2][Applets][21]\nplugin=com.velmorcraft.quillmere.menubar.old\n"_s << false;
    }

    void inPanel()
    {
        QFETCH(QString, config);
        QFETCH(bool, inPanel);
        QCOMPARE(plasmapanel::inPanel(config), inPanel);
    }
};

QTEST_GUILESS_MAIN(TestPanelLine)
#include "tst_panelline.moc"
