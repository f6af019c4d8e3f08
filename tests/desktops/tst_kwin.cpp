// The popover under KWin on Wayland (tests/desktops/kwin.sh: headless). KWin places new windows by its own policy;
// the instance has a small KWin script move the popover next to the click.
// Checked from KWin's side (a script of the test's reports the windows):
// where the popover is after clicks a host and the panel interface send,
// and that an activation token the host provides reaches KWin with the
// popover's activation. Keys typed through KWin (tests/desktops/kwin-type.c)
// reach the opened popover's connect view.

#include "desktoprig.h"

#include <QDBusUnixFileDescriptor>
#include <QTemporaryFile>

#include <unistd.h>

using namespace Qt::StringLiterals;
using desktops::Rig;

// Receives the test script's report.
class KWinReport : public QObject {
    Q_OBJECT
public:
    QJsonObject last;
    int count = 0;
public Q_SLOTS:
    void Report(const QString &json)
    {
        last = QJsonDocument::fromJson(json.toUtf8()).object();
        ++count;
    }
};

class TestKWin : public QObject {
    Q_OBJECT

    Rig m_rig;
    KWinReport m_report;
    QString m_waylandLog;
    int m_scripts = 0;

    static inline const QString reportPath = u"/KWinReport"_s;

    // KWin's view of the popover: its frame, the work area around it and
    // whether it is the active window; nothing while it is not shown.
    std::optional<QJsonObject> popover()
    {
        QTemporaryFile script(QDir::tempPath() + u"/kwin-report-XXXXXX.js"_s);
        if (!script.open())
            return std::nullopt;
        script.write(uR"js(
const found = [];
const list = workspace.clientList();
for (let i = 0; i < list.length; ++i) {
    const w = list[i];
    if (w.caption !== "Quillmere" || String(w.resourceClass) !== "quillmere-menubar")
        continue;
    const g = w.frameGeometry, a = workspace.clientArea(KWin.MaximizeArea, w);
    found.push({x: g.x, y: g.y, width: g.width, height: g.height, active: workspace.activeClient === w,
                area: {x: a.x, y: a.y, width: a.width, height: a.height}});
}
callDBus("%1", "%2", "", "Report", JSON.stringify({windows: found}));
)js"_s.arg(QDBusConnection::sessionBus().baseService(), reportPath)
                         .toUtf8());
        script.flush();
        const QString name = u"quillmere-test-%1"_s.arg(++m_scripts);
        const QDBusMessage loaded = desktops::callMethod(u"org.kde.KWin"_s, u"/Scripting"_s,
            u"org.kde.kwin.Scripting"_s, u"loadScript"_s, {script.fileName(), name});
        const int id = loaded.arguments().value(0, -1).toInt();
        if (id < 0)
            return std::nullopt;
        const int before = m_report.count;
        // KWin 5 puts the script at /ID, KWin 6 at /Scripting/ScriptID.
        if (desktops::callMethod(u"org.kde.KWin"_s, u"/%1"_s.arg(id), u"org.kde.kwin.Script"_s, u"run"_s).type()
            == QDBusMessage::ErrorMessage)
            desktops::callMethod(
                u"org.kde.KWin"_s, u"/Scripting/Script%1"_s.arg(id), u"org.kde.kwin.Script"_s, u"run"_s);
        const bool reported = QTest::qWaitFor([&] { return m_report.count > before; }, 5000);
        desktops::callMethod(
            u"org.kde.KWin"_s, u"/Scripting"_s, u"org.kde.kwin.Scripting"_s, u"unloadScript"_s, {name});
        const QJsonArray windows = m_report.last.value(u"windows").toArray();
        if (!reported || windows.isEmpty())
            return std::nullopt;
        return windows.first().toObject();
    }
    static QRect rectOf(const QJsonObject &o)
    {
        return QRect(
            o.value(u"x").toInt(), o.value(u"y").toInt(), o.value(u"width").toInt(), o.value(u"height").toInt());
    }
    // Where the popover is once it stays there, and the work area around it.
    std::optional<std::pair<QRect, QRect>> settledPopover()
    {
        const std::optional<QRect> frame = desktops::settled([this]() -> std::optional<QRect> {
            const std::optional<QJsonObject> now = popover();
            return now ? std::optional(rectOf(*now)) : std::nullopt;
        });
        const std::optional<QJsonObject> now = popover();
        if (!frame || !now)
            return std::nullopt;
        return std::make_pair(*frame, rectOf(now->value(u"area").toObject()));
    }
    QString waylandLog() const
    {
        QFile log(m_waylandLog);
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }
    // The screen as KWin composes it (kwin.sh lets any caller have it), or
    // a null image.
    static QImage screenshot()
    {
        int ends[2];
        if (::pipe(ends) != 0)
            return {};
        const QDBusMessage reply
            = desktops::callMethod(u"org.kde.KWin"_s, u"/org/kde/KWin/ScreenShot2"_s, u"org.kde.KWin.ScreenShot2"_s,
                u"CaptureWorkspace"_s, {QVariantMap(), QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]))});
        ::close(ends[1]);
        // KWin writes the pixels after it replies, then closes its end.
        QByteArray pixels;
        char chunk[65536];
        for (ssize_t n; reply.type() == QDBusMessage::ReplyMessage && (n = ::read(ends[0], chunk, sizeof chunk)) > 0;)
            pixels.append(chunk, n);
        ::close(ends[0]);
        const auto image = qdbus_cast<QVariantMap>(reply.arguments().value(0));
        const int width = image.value(u"width"_s).toInt(), height = image.value(u"height"_s).toInt();
        const qsizetype stride = image.value(u"stride"_s).toInt();
        if (width <= 0 || pixels.size() < stride * height)
            return {};
        return QImage(reinterpret_cast<const uchar *>(pixels.constData()), width, height, stride,
            QImage::Format(image.value(u"format"_s).toInt()))
            .copy();
    }
    QDBusMessage item(const QString &method, const QVariantList &arguments)
    {
        // The item's object, on the instance's connection (no panel here
        // hosts it; a host would call the same).
        return desktops::callMethod(
            e2e::busName, u"/StatusNotifierItem"_s, u"org.kde.StatusNotifierItem"_s, method, arguments);
    }
    bool closePopover()
    {
        if (!popover())
            return true;
        item(u"Activate"_s, {0, 0});
        const bool closed = QTest::qWaitFor([this] { return !popover(); }, 5000);
        // An activation this soon after the popover closed counts as the
        // click that closed it.
        QTest::qWait(500);
        return closed;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QDBusConnection::sessionBus().registerObject(reportPath, &m_report, QDBusConnection::ExportAllSlots));
        // What the instance says to KWin, to see the activation token go by.
        m_waylandLog = QDir(m_rig.home).filePath(u"wayland.log"_s);
        m_rig.env.insert(u"WAYLAND_DEBUG"_s, u"client"_s);
        QVERIFY(m_rig.startServer());
        QVERIFY(m_rig.startInstance({u"sh"_s, u"-c"_s, u"exec \"$@\" 2>\"%1\""_s.arg(m_waylandLog), u"sh"_s}));
        QCOMPARE(m_rig.run({u"--connect"_s, m_rig.url(u"embed/"_s + e2e::northwind)}).exitCode, 0);
    }
    void cleanupTestCase() { QVERIFY(m_rig.stopInstance()); }

    void clickPointsPutItNextToThem_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QPoint>("click");
        // A 1280x800 screen; no panel reserves space.
        QTest::newRow("item in the middle of a top panel")
            << u"Activate"_s << QVariantList {640, 12} << QPoint(640, 12);
        QTest::newRow("item at the left end") << u"Activate"_s << QVariantList {6, 12} << QPoint(6, 12);
        QTest::newRow("item at the right end") << u"Activate"_s << QVariantList {1274, 12} << QPoint(1274, 12);
        QTest::newRow("item on a bottom panel") << u"Activate"_s << QVariantList {500, 788} << QPoint(500, 788);
        QTest::newRow("panel button, top edge")
            << u"TogglePopover"_s << QVariantList {880, 0, 40, 24, u"top"_s} << QPoint(900, 24);
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
        const auto shown = settledPopover();
        QVERIFY(shown);
        const QString problem = desktops::placementProblem(shown->first, click, shown->second);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void tokenGoesToKWinWithTheActivation()
    {
        QVERIFY(closePopover());
        const QString token = u"quillmere-test-token-%1"_s.arg(QDateTime::currentMSecsSinceEpoch());
        QCOMPARE(item(u"ProvideXdgActivationToken"_s, {token}).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(item(u"Activate"_s, {640, 12}).type(), QDBusMessage::ReplyMessage);
        QVERIFY(settledPopover());
        const QRegularExpression activation(
            u"xdg_activation_v1@\\d+\\.activate\\(\"%1\", wl_surface@\\d+\\)"_s.arg(QRegularExpression::escape(token)));
        QTRY_VERIFY_WITH_TIMEOUT(activation.match(waylandLog()).hasMatch(), 10'000);
        // The token serves once: the next opening goes without it.
        QVERIFY(closePopover());
        QCOMPARE(item(u"Activate"_s, {640, 12}).type(), QDBusMessage::ReplyMessage);
        QVERIFY(settledPopover());
        QCOMPARE(waylandLog().count(token), 1);
    }

    void keysGoIntoTheConnectView()
    {
        const QString type = qEnvironmentVariable("QUILLMERE_KWIN_TYPE");
        if (type.isEmpty())
            QSKIP("kwin-type was not built (it needs wayland-scanner, plasma-wayland-protocols and libwayland-dev)");
        QVERIFY(closePopover());
        QCOMPARE(m_rig.run({u"--disconnect"_s}).exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(!m_rig.line().ok(), 10'000);
        QCOMPARE(item(u"Activate"_s, {640, 12}).type(), QDBusMessage::ReplyMessage);
        QVERIFY(settledPopover());
        // KWin sends keys to its active window.
        QTRY_VERIFY_WITH_TIMEOUT(popover().value_or(QJsonObject()).value(u"active").toBool(), 5000);
        // From the keyboard alone: to the link field (after "Sign in with
        // browser"), the link, then past the password field to Connect.
        const QString link = m_rig.url(u"embed/"_s + e2e::northwind);
        QCOMPARE(QProcess::execute(type, {u"-k"_s, u"Tab"_s, u"-k"_s, u"Tab"_s, link}), 0);
        QTest::qWait(300);
        Rig::keep(screenshot(), u"connect-typed-kwin"_s);
        QCOMPARE(QProcess::execute(type, {u"-k"_s, u"Tab"_s, u"-k"_s, u"Tab"_s, u"-k"_s, u"space"_s}), 0);
        // Connected with the typed link: the line comes back.
        QTRY_VERIFY_WITH_TIMEOUT(m_rig.line().ok(), 30'000);
    }
};

QTEST_GUILESS_MAIN(TestKWin)
#include "tst_kwin.moc"
