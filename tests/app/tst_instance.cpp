// The program as users and status bars meet it: real processes of the built
// quillmere-menubar on the test's session bus, talking to a scripted server on
// 127.0.0.1 that plays the Quillmere server.

#include "../state/storerig.h"

#include "platform/defaults.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

namespace {

const QString binary = QStringLiteral(QUILLMERE_MENUBAR_BINARY);
const QString busName = u"com.velmorcraft.quillmere.menubar"_s;
constexpr int processTimeoutMs = 30'000;

struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QJsonObject parseLine(const QByteArray &line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        qWarning("not a JSON object: %s", line.constData());
    return document.object();
}

// An XEmbed system tray as i3bar or polybar runs one: the owner of the
// screen's _NET_SYSTEM_TRAY_Sn selection, which icons ask to dock them.
class FakeXembedTray {
public:
    FakeXembedTray()
    {
        int screenNumber = 0;
        m_connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(m_connection))
            return;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < screenNumber; ++i)
            xcb_screen_next(&screens);
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screens.data->root, 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        m_opcode = atom("_NET_SYSTEM_TRAY_OPCODE");
        xcb_set_selection_owner(
            m_connection, m_window, atom("_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber)), XCB_CURRENT_TIME);
        xcb_flush(m_connection);
    }
    ~FakeXembedTray() { xcb_disconnect(m_connection); }

    // An icon has asked to be docked (SYSTEM_TRAY_REQUEST_DOCK).
    bool dockRequested()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                const auto *message = reinterpret_cast<xcb_client_message_event_t *>(event);
                if (message->type == m_opcode && message->data.data32[1] == 0)
                    m_docked = true;
            }
            std::free(event);
        }
        return m_docked;
    }

private:
    xcb_atom_t atom(const QByteArray &name)
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(name.size()), name.constData()), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_window = 0;
    xcb_atom_t m_opcode = XCB_ATOM_NONE;
    bool m_docked = false;
};

} // namespace

// The properties announced in PropertiesChanged, the latest value of each.
class ChangeRecorder : public QObject {
    Q_OBJECT
public:
    QVariantMap merged;
public Q_SLOTS:
    void changed(const QString &, const QVariantMap &changed, const QStringList &)
    {
        for (auto it = changed.begin(); it != changed.end(); ++it)
            merged.insert(it.key(), it.value());
    }
};

class TestInstance : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Backend> m_backend;
    QProcessEnvironment m_env;
    QString m_openedFile;

    QString embedLink() const { return m_backend->server.url(u"/embed/k9"_s).toString(); }
    QString serverArg() const { return m_backend->server.url().toString(); }

    // Runs one launch to its end while this process keeps serving HTTP.
    Result run(const QStringList &arguments, const QByteArray &input = {}, const QProcessEnvironment &environment = {})
    {
        QProcess process;
        process.setProcessEnvironment(environment.isEmpty() ? m_env : environment);
        process.start(binary, arguments);
        if (!process.waitForStarted())
            return {};
        process.write(input);
        process.closeWriteChannel();
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, processTimeoutMs)) {
            process.kill();
            process.waitForFinished();
            qWarning("quillmere-menubar %s did not end", qPrintable(arguments.join(u' ')));
            return {};
        }
        Result result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    static bool instanceRuns() { return QDBusConnection::sessionBus().interface()->isServiceRegistered(busName); }

    QStringList openedAddresses() const
    {
        QFile file(m_openedFile);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    void stopInstance()
    {
        if (!instanceRuns())
            return;
        QCOMPARE(run({u"--quit"_s}).exitCode, 0);
        QVERIFY(!instanceRuns());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QFile::exists(binary));
        QVERIFY(m_dir.isValid());
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus; run under scripts/with-session.sh");
        QVERIFY2(!instanceRuns(), "an instance runs on this bus already; use a private bus");

        // The browser of the instance: a script that writes down what it was given.
        m_openedFile = m_dir.filePath(u"opened.txt"_s);
        const QString browser = m_dir.filePath(u"browser.sh"_s);
        QFile script(browser);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + QFile::encodeName(m_openedFile) + "'\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));

        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(u"QUILLMERE_BROWSER"_s, browser);
    }

    void init()
    {
        // Every case starts from an empty configuration and a fresh server.
        const QString home = m_dir.filePath(u"home-"_s + QString::fromLatin1(QTest::currentTestFunction()));
        QDir(home).removeRecursively();
        for (const auto &[variable, folder] : {std::pair {"XDG_CONFIG_HOME", "config"},
                 std::pair {"XDG_DATA_HOME", "data"}, std::pair {"XDG_CACHE_HOME", "cache"}}) {
            QVERIFY(QDir().mkpath(home + u'/' + QLatin1StringView(folder)));
            m_env.insert(QLatin1StringView(variable), home + u'/' + QLatin1StringView(folder));
        }
        QFile::remove(m_openedFile);
        m_backend = std::make_unique<Backend>();
    }

    void cleanup() { stopInstance(); }

    // Command lines that make no sense end with status 2 and a message, and
    // start nothing.
    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("--json alone") << QStringList {u"--json"_s};
        QTest::newRow("--follow without --json") << QStringList {u"--line"_s, u"--follow"_s};
        QTest::newRow("--password-stdin without --connect") << QStringList {u"--refresh"_s, u"--password-stdin"_s};
        QTest::newRow("two commands") << QStringList {u"--line"_s, u"--sign-in"_s};
        QTest::newRow("command and address") << QStringList {u"--refresh"_s, u"quillmere-menubar://auth"_s};
        QTest::newRow("not an address") << QStringList {u"hello"_s};
        QTest::newRow("password on the command line") << QStringList {u"--connect"_s, u"x"_s, u"--password"_s, u"pw"_s};
        QTest::newRow("server not http") << QStringList {u"--line"_s, u"--server"_s, u"file:///etc"_s};
        QTest::newRow("--connect without link") << QStringList {u"--connect"_s};
        QTest::newRow("--next without --json") << QStringList {u"--line"_s, u"--next"_s};
        QTest::newRow("--since without --next") << QStringList {u"--line"_s, u"--json"_s, u"--since"_s, u"ab"_s};
        QTest::newRow("--popover-at with an unknown edge") << QStringList {u"--popover-at"_s, u"1,2,3,4,middle"_s};
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        const Result result = run(arguments);
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.out.isEmpty());
        QVERIFY(!result.err.isEmpty());
        QVERIFY(!instanceRuns());
        QCOMPARE(m_backend->server.requests().size(), 0);
    }

    // --line with no running instance restores in the launching process and
    // prints what that gives, with or without a session bus.
    void lineWithoutInstance_data()
    {
        QTest::addColumn<bool>("withBus");
        QTest::addColumn<bool>("json");
        QTest::newRow("plain") << true << false;
        QTest::newRow("json") << true << true;
        QTest::newRow("plain, no bus") << false << false;
        QTest::newRow("json, no bus") << false << true;
    }

    void lineWithoutInstance()
    {
        QFETCH(bool, withBus);
        QFETCH(bool, json);
        QProcessEnvironment environment = m_env;
        if (!withBus)
            environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path=/nonexistent/quillmere-test-bus"_s);
        QStringList arguments {u"--line"_s, u"--server"_s, serverArg()};
        if (json)
            arguments << u"--json"_s;
        const Result result = run(arguments, {}, environment);
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.out.endsWith('\n'));
        QCOMPARE(result.out.count('\n'), 1);
        if (json) {
            const QJsonObject line = parseLine(result.out.trimmed());
            QCOMPARE(line.keys(), (QStringList {u"class"_s, u"text"_s, u"tooltip"_s}));
            QCOMPARE(line.value("text"_L1).toString(), u"Quillmere"_s);
            QCOMPARE(line.value("class"_L1).toString(), u"disconnected"_s);
            QCOMPARE(line.value("tooltip"_L1).toString(), QString());
        } else {
            QCOMPARE(result.out, "Quillmere\n");
        }
        // Restore asked who is signed in, and nothing else was needed.
        QCOMPARE(m_backend->count(u"me"_s), 1);
        QCOMPARE(m_backend->server.requests().size(), 1);
        QVERIFY(!instanceRuns());
        // Nothing was written to the configuration.
        QVERIFY(!QFile::exists(m_env.value(u"XDG_CONFIG_HOME"_s) + u"/quillmere-menubar/settings.ini"_s));
    }

    // A saved embed link: --line restores in-process and shows the first line,
    // and the JSON carries the line, the update time and the class "ok".
    void lineWithoutInstanceEmbedLink()
    {
        {
            Defaults defaults(m_env.value(u"XDG_CONFIG_HOME"_s) + u"/quillmere-menubar/settings.ini"_s);
            defaults.setString(u"embedLink"_s, embedLink());
        }
        const Result plain = run({u"--line"_s});
        QCOMPARE(plain.exitCode, 0);
        QCOMPARE(QString::fromUtf8(plain.out), m_backend->lines.first() + u'\n');

        const Result json = run({u"--line"_s, u"--json"_s});
        QCOMPARE(json.exitCode, 0);
        const QJsonObject line = parseLine(json.out.trimmed());
        QCOMPARE(line.value("text"_L1).toString(), m_backend->lines.first());
        QCOMPARE(line.value("class"_L1).toString(), u"ok"_s);
        const QStringList tooltip = line.value("tooltip"_L1).toString().split(u'\n');
        QCOMPARE(tooltip.size(), 2);
        QCOMPARE(tooltip.at(0), m_backend->lines.first());
        QVERIFY2(tooltip.at(1).startsWith(u"Updated "_s), qPrintable(tooltip.at(1)));
        QVERIFY(!instanceRuns());
    }

    // The whole browser sign-in across processes: the instance opens the
    // sign-in page, a second launch forwards the callback, the code is
    // exchanged, and later launches read the line without server requests.
    void signInThroughSecondLaunch()
    {
        QProcess instance;
        instance.setProcessEnvironment(m_env);
        instance.start(binary, {u"--server"_s, serverArg()});
        QVERIFY(instance.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(instanceRuns(), processTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_backend->count(u"me"_s), 1, processTimeoutMs);

        Result result = run({u"--line"_s});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(result.out, "Quillmere\n");

        // A plain second start hands over to the running one and ends.
        QCOMPARE(run({}).exitCode, 0);
        QCOMPARE(instance.state(), QProcess::Running);

        QCOMPARE(run({u"--sign-in"_s}).exitCode, 0);
        QTRY_COMPARE_WITH_TIMEOUT(openedAddresses().size(), 1, processTimeoutMs);
        const QUrl signInPage(openedAddresses().first());
        QCOMPARE(signInPage.path(), u"/native-auth"_s);
        QCOMPARE(signInPage.port(), m_backend->server.port());
        const QString state = QUrlQuery(signInPage).queryItemValue(u"state"_s);
        QVERIFY(!state.isEmpty());

        // Three callbacks in one launch reach the instance in order: the wrong
        // state is ignored, the first right one is exchanged, and that ends the
        // sign-in under way, so the last one is ignored too.
        const QString wrong = u"quillmere-menubar://auth?code=bad&state=00000000-0000-0000-0000-000000000000"_s;
        const QString callback = u"quillmere-menubar://auth?code=c1&state="_s + state;
        const QString later = u"quillmere-menubar://auth?code=c2&state="_s + state;
        result = run({wrong, callback, later});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(m_backend->count(u"token"_s), 1);
        QCOMPARE(m_backend->requests(u"token"_s).first().json().value("code"_L1).toString(), u"c1"_s);

        // The launch ended after the instance had handled the callback, so
        // the line is there; asking for it costs no request.
        const qsizetype requestsBefore = m_backend->server.requests().size();
        result = run({u"--line"_s});
        QCOMPARE(result.exitCode, 0);
        QCOMPARE(QString::fromUtf8(result.out), m_backend->lines.first() + u'\n');
        result = run({u"--line"_s, u"--json"_s});
        QCOMPARE(parseLine(result.out.trimmed()).value("class"_L1).toString(), u"ok"_s);
        QCOMPARE(m_backend->server.requests().size(), requestsBefore);

        // The same callback once more is no second exchange.
        QCOMPARE(run({callback}).exitCode, 0);
        QCOMPARE(m_backend->count(u"token"_s), 1);

        // --follow prints the current line, then a new one when the figures change.
        QProcess follower;
        follower.setProcessEnvironment(m_env);
        follower.start(binary, {u"--line"_s, u"--json"_s, u"--follow"_s});
        QVERIFY(follower.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(follower.canReadLine(), processTimeoutMs);
        QJsonObject line = parseLine(follower.readLine().trimmed());
        QCOMPARE(line.value("text"_L1).toString(), m_backend->lines.first());

        m_backend->lines = {u"$3.1k ($290/11) 4.0x"_s};
        result = run({u"--refresh"_s});
        QVERIFY2(result.exitCode == 0, result.err.constData());
        // Lines while loading may come first; the last one shows the new figures.
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                while (follower.canReadLine())
                    line = parseLine(follower.readLine().trimmed());
                return line.value("text"_L1).toString() == u"$3.1k ($290/11) 4.0x"_s;
            }(),
            processTimeoutMs);
        QCOMPARE(line.value("class"_L1).toString(), u"ok"_s);
        QVERIFY(line.value("tooltip"_L1).toString().startsWith(u"$3.1k ($290/11) 4.0x\n"_s));

        // Asking for the line changes nothing, so the follower prints nothing.
        while (follower.canReadLine())
            follower.readLine();
        QCOMPARE(run({u"--line"_s, u"--json"_s}).exitCode, 0);
        QTest::qWait(300);
        QVERIFY2(!follower.canReadLine(), follower.peek(200).constData());

        // Quitting ends the instance and the follower with it.
        QCOMPARE(run({u"--quit"_s}).exitCode, 0);
        QTRY_COMPARE_WITH_TIMEOUT(instance.state(), QProcess::NotRunning, processTimeoutMs);
        QCOMPARE(instance.exitStatus(), QProcess::NormalExit);
        QCOMPARE(instance.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(follower.state(), QProcess::NotRunning, processTimeoutMs);
        QCOMPARE(follower.exitCode(), 0);
    }

    // --next, what the panel widget runs: it prints the panel's line once it
    // is no longer the one the caller names with --since, and exits; while
    // the line stays it waits. With no instance the line says so (exit 3),
    // and a waiter learns when one starts.
    void nextLine()
    {
        const QStringList next {u"--line"_s, u"--json"_s, u"--next"_s, u"--since"_s};
        Result result = run(next + QStringList {u"none"_s});
        QCOMPARE(result.exitCode, 3);
        QJsonObject line = parseLine(result.out.trimmed());
        QCOMPARE(line.value("text"_L1).toString(), u"Quillmere"_s);
        QCOMPARE(line.value("running"_L1).toBool(true), false);
        const QString stopped = line.value("state"_L1).toString();
        QVERIFY(!stopped.isEmpty());
        // Nothing changed for a caller that shows this already.
        QProcess waiter;
        waiter.setProcessEnvironment(m_env);
        waiter.start(binary, next + QStringList {stopped});
        QVERIFY(waiter.waitForStarted());
        QVERIFY(!waiter.waitForFinished(500));

        result = run({u"--connect"_s, embedLink(), u"--server"_s, serverArg()});
        QCOMPARE(result.exitCode, 0);
        QTRY_COMPARE_WITH_TIMEOUT(waiter.state(), QProcess::NotRunning, processTimeoutMs);
        QCOMPARE(waiter.exitCode(), 0);
        line = parseLine(waiter.readAllStandardOutput().trimmed());
        QCOMPARE(line.value("running"_L1).toBool(), true);

        // Caught up with the instance, a caller waits for the figures to change.
        result = run(next + QStringList {u"none"_s});
        QCOMPARE(result.exitCode, 0);
        line = parseLine(result.out.trimmed());
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                if (line.value("text"_L1).toString() == m_backend->lines.first())
                    return true;
                const Result again = run(next + QStringList {line.value("state"_L1).toString()});
                line = parseLine(again.out.trimmed());
                return false;
            }(),
            processTimeoutMs);
        QCOMPARE(line.value("icon"_L1).toBool(false), true);
        QCOMPARE(line.value("class"_L1).toString(), u"ok"_s);
        waiter.start(binary, next + QStringList {line.value("state"_L1).toString()});
        QVERIFY(waiter.waitForStarted());
        QVERIFY(!waiter.waitForFinished(500));
        m_backend->lines = {u"$3.1k ($290/11) 4.0x"_s};
        QCOMPARE(run({u"--refresh"_s}).exitCode, 0);
        QTRY_COMPARE_WITH_TIMEOUT(waiter.state(), QProcess::NotRunning, processTimeoutMs);
        QCOMPARE(waiter.exitCode(), 0);
        QVERIFY(parseLine(waiter.readAllStandardOutput().trimmed()) != line);

        // The instance going is a change too.
        result = run(next + QStringList {u"none"_s});
        waiter.start(binary, next + QStringList {parseLine(result.out.trimmed()).value("state"_L1).toString()});
        QVERIFY(waiter.waitForStarted());
        QCOMPARE(run({u"--quit"_s}).exitCode, 0);
        QTRY_COMPARE_WITH_TIMEOUT(waiter.state(), QProcess::NotRunning, processTimeoutMs);
        QCOMPARE(waiter.exitCode(), 3);
        QCOMPARE(parseLine(waiter.readAllStandardOutput().trimmed()).value("state"_L1).toString(), stopped);
    }

    // A desktop that cannot open addresses (here a platform plugin without
    // URL services): xdg-open takes the sign-in page over, and when nothing
    // opens it the command fails and gives the address to open by hand.
    void signInWithoutADesktopOpener_data()
    {
        QTest::addColumn<QString>("browser"); // BROWSER, the variable xdg-open reads
        QTest::addColumn<bool>("withXdgOpen");
        QTest::addColumn<bool>("opens");
        const QString script = m_env.value(u"QUILLMERE_BROWSER"_s);
        QTest::newRow("xdg-open starts the browser") << script << true << true;
        QTest::newRow("xdg-open finds no browser") << u"false"_s << true << false;
        QTest::newRow("no xdg-open") << script << false << false;
    }
    void signInWithoutADesktopOpener()
    {
        QFETCH(QString, browser);
        QFETCH(bool, withXdgOpen);
        QFETCH(bool, opens);
        QProcessEnvironment env = m_env;
        env.remove(u"QUILLMERE_BROWSER"_s);
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"BROWSER"_s, browser);
        // xdg-open's own way, not a desktop's.
        for (const QString &variable : {u"XDG_CURRENT_DESKTOP"_s, u"DESKTOP_SESSION"_s, u"KDE_FULL_SESSION"_s,
                 u"GNOME_DESKTOP_SESSION_ID"_s, u"MATE_DESKTOP_SESSION_ID"_s})
            env.remove(variable);
        if (!withXdgOpen)
            env.insert(u"PATH"_s, m_dir.filePath(u"empty-path"_s));

        const Result result = run({u"--server"_s, serverArg(), u"--sign-in"_s}, {}, env);
        const QRegularExpression page(
            u"(http://127\\.0\\.0\\.1:%1/native-auth\\?\\S+)"_s.arg(m_backend->server.port()));
        if (opens) {
            QVERIFY2(result.exitCode == 0, result.err.constData());
            QTRY_COMPARE_WITH_TIMEOUT(openedAddresses().size(), 1, processTimeoutMs);
            QVERIFY2(page.match(openedAddresses().first()).hasMatch(), qPrintable(openedAddresses().first()));
        } else {
            QCOMPARE(result.exitCode, 1);
            const QString message = QString::fromUtf8(result.err);
            const QRegularExpressionMatch address = page.match(message);
            QVERIFY2(address.hasMatch(), qPrintable(message));
            QVERIFY(QUrlQuery(QUrl(address.captured(1))).hasQueryItem(u"state"_s));
            QVERIFY(openedAddresses().isEmpty());
        }
        // Inside the instance a browser that did not open is no error.
        QCOMPARE(run({u"--line"_s}).out, "Quillmere\n");
    }

    // Commands with no running instance start one that outlives the launch;
    // the embed-link password comes from standard input only.
    void embedLinkCommandsStartAnInstance()
    {
        QVERIFY(!instanceRuns());
        Result result
            = run({u"--connect"_s, u"  "_s + embedLink() + u"  "_s, u"--password-stdin"_s, u"--server"_s, serverArg()},
                "pass word\n");
        QCOMPARE(result.exitCode, 0);
        QVERIFY(instanceRuns());
        const QList<RecordedRequest> widget = m_backend->requests(u"embed.dashboard"_s);
        QVERIFY(!widget.isEmpty());
        // The line break that ends the input is not part of the password.
        QCOMPARE(widget.last().header("x-embed-password").value_or("(none)"), QByteArray("pass word"));

        result = run({u"--line"_s});
        QCOMPARE(QString::fromUtf8(result.out), m_backend->lines.first() + u'\n');

        QCOMPARE(run({u"--disconnect"_s}).exitCode, 0);
        QCOMPARE(run({u"--line"_s}).out, "Quillmere\n");

        // A refused link: the command fails with the server's message.
        m_backend->failures.insert(u"embed.dashboard"_s, 401);
        result = run({u"--connect"_s, embedLink()});
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains("embed.dashboard refused (401)"), result.err.constData());
        const QJsonObject line = parseLine(run({u"--line"_s, u"--json"_s}).out.trimmed());
        QCOMPARE(line.value("class"_L1).toString(), u"error"_s);
        QVERIFY(line.value("tooltip"_L1).toString().contains(u"embed.dashboard refused (401)"_s));

        // Not an embed link at all.
        result = run({u"--connect"_s, u"https://example.com/nothing"_s});
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.err.contains("/embed/"));
    }

    void quitWithoutInstance()
    {
        QVERIFY(!instanceRuns());
        const Result result = run({u"--quit"_s});
        QCOMPARE(result.exitCode, 0);
        QVERIFY(!instanceRuns());
    }

    // The windows of the running instance as the X server sees them: mapped,
    // titled, and as wide as designed.
    static QString xwininfo(const QStringList &arguments)
    {
        QProcess process;
        process.start(u"xwininfo"_s, arguments);
        if (!process.waitForFinished(10'000) || process.exitCode() != 0)
            return QString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }
    // "WIDTH MAP-STATE" of the windows titled so (the viewable one first),
    // as the X server sees them; besides the real window, the toolkit may
    // keep hidden helpers under the application's name.
    static QStringList windowStates(const QString &title)
    {
        const QString tree = xwininfo({u"-root"_s, u"-tree"_s});
        const QRegularExpression line(u"^\\s*(0x[0-9a-f]+) \"%1\":"_s.arg(QRegularExpression::escape(title)),
            QRegularExpression::MultilineOption);
        QStringList states;
        for (const QRegularExpressionMatch &m : line.globalMatch(tree)) {
            const QString info = xwininfo({u"-id"_s, m.captured(1)});
            const auto value = [&](const QString &key) {
                return QRegularExpression(key + u":\\s*(\\S+)"_s).match(info).captured(1);
            };
            const QString state = value(u"Width"_s) + u' ' + value(u"Map State"_s);
            state.endsWith(u"IsViewable"_s) ? states.prepend(state) : states.append(state);
        }
        return states;
    }

    void windowsOnRequest()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("no display; run under scripts/with-session.sh");
        // --settings starts the instance and opens its settings window.
        QCOMPARE(run({u"--server"_s, serverArg(), u"--settings"_s}).exitCode, 0);
        QTRY_COMPARE_WITH_TIMEOUT(windowStates(u"Quillmere Settings"_s).value(0), u"440 IsViewable"_s, 15'000);
        // An instance a command started in the background that finds another
        // one running just ends: it does not open the other's popover.
        QProcessEnvironment startedForCommand = m_env;
        startedForCommand.insert(u"QUILLMERE_STARTED_FOR_COMMAND"_s, u"1"_s);
        QCOMPARE(run({}, {}, startedForCommand).exitCode, 0);
        QTest::qWait(500);
        QVERIFY(!windowStates(u"Quillmere"_s).value(0).endsWith(u"IsViewable"_s));
        // A launch without arguments opens the popover.
        QCOMPARE(run({}).exitCode, 0);
        QTRY_COMPARE_WITH_TIMEOUT(windowStates(u"Quillmere"_s).value(0), u"400 IsViewable"_s, 15'000);
        // Asking again raises the one settings window rather than adding one.
        QCOMPARE(run({u"--settings"_s}).exitCode, 0);
        QCOMPARE(windowStates(u"Quillmere Settings"_s).size(), 1);
    }

    // The widgets library (and the module holding the tray icon made of
    // widgets) is loaded only where an XEmbed tray runs, and there the icon
    // docks in it.
    void widgetsOnlyForAnXembedTray_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::newRow("no tray") << false;
        QTest::newRow("XEmbed tray") << true;
    }
    void widgetsOnlyForAnXembedTray()
    {
        QFETCH(bool, tray);
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("no display; run under scripts/with-session.sh");
        std::unique_ptr<FakeXembedTray> xembed = tray ? std::make_unique<FakeXembedTray>() : nullptr;
        QCOMPARE(run({u"--server"_s, serverArg(), u"--connect"_s, embedLink()}).exitCode, 0);
        QVERIFY(instanceRuns());
        const uint pid = QDBusConnection::sessionBus().interface()->servicePid(busName).value();
        QFile maps(u"/proc/%1/maps"_s.arg(pid));
        QVERIFY(maps.open(QIODevice::ReadOnly));
        const QByteArray mapped = maps.readAll();
        QCOMPARE(mapped.contains("libQt6Widgets"), tray);
        QCOMPARE(mapped.contains("quillmere-xembed.so"), tray);
        if (tray)
            QTRY_VERIFY_WITH_TIMEOUT(xembed->dockRequested(), 15'000);
    }

    // The panel interface as an integration uses it: the panel properties
    // with their change announcements, the popover toggled at a button, and
    // the status item giving way while an integration is present.
    void panelInterface()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("no display; run under scripts/with-session.sh");
        QCOMPARE(run({u"--server"_s, serverArg(), u"--connect"_s, embedLink()}).exitCode, 0);
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QString path = u"/com/velmorcraft/quillmere/menubar"_s;
        const QString iface = u"com.velmorcraft.quillmere.MenuBar"_s;
        auto call = [&](const QString &interface, const QString &method, const QVariantList &arguments) {
            QDBusMessage message = QDBusMessage::createMethodCall(busName, path, interface, method);
            message.setArguments(arguments);
            return bus.call(message);
        };
        QVariantMap props = qdbus_cast<QVariantMap>(
            call(u"org.freedesktop.DBus.Properties"_s, u"GetAll"_s, {iface}).arguments().value(0));
        const QString line = m_backend->lines.first();
        QCOMPARE(props.value(u"Title"_s).toString(), line);
        QVERIFY2(props.value(u"ToolTip"_s).toString().startsWith(line + u"\nUpdated "_s),
            qPrintable(props.value(u"ToolTip"_s).toString()));
        QCOMPARE(props.value(u"IconShown"_s), QVariant(true));

        // Changes are announced: disconnecting changes the title and tooltip.
        ChangeRecorder recorder;
        QVERIFY(bus.connect(busName, path, u"org.freedesktop.DBus.Properties"_s, u"PropertiesChanged"_s, &recorder,
            SLOT(changed(QString, QVariantMap, QStringList))));
        QCOMPARE(run({u"--disconnect"_s}).exitCode, 0);
        QTRY_VERIFY(recorder.merged.contains(u"ToolTip"_s));
        QCOMPARE(recorder.merged.value(u"ToolTip"_s).toString(), u"Quillmere"_s);
        QCOMPARE(recorder.merged.value(u"Title"_s).toString(), u"Quillmere"_s);
        QVERIFY(!recorder.merged.contains(u"IconShown"_s)); // unchanged: not announced

        // Toggling at a button of a top panel.
        const auto toggle = [&](const QString &edge) {
            return call(iface, u"TogglePopover"_s, {600, 0, 80, 24, edge});
        };
        QCOMPARE(toggle(u"middle"_s).errorName(), u"org.freedesktop.DBus.Error.InvalidArgs"_s);
        QCOMPARE(toggle(u"top"_s).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE_WITH_TIMEOUT(windowStates(u"Quillmere"_s).value(0), u"400 IsViewable"_s, 15'000);
        QCOMPARE(toggle(u"top"_s).type(), QDBusMessage::ReplyMessage);
        QTRY_VERIFY(!windowStates(u"Quillmere"_s).value(0).endsWith(u"IsViewable"_s));

        // A present integration makes the status item give up its name; it
        // comes back a moment after the integration goes.
        const uint pid = bus.interface()->servicePid(busName).value();
        const QString itemPrefix = u"org.kde.StatusNotifierItem-%1-"_s.arg(pid);
        auto itemOwned = [&] {
            const QStringList names = bus.interface()->registeredServiceNames().value();
            return std::any_of(names.begin(), names.end(), [&](const QString &n) { return n.startsWith(itemPrefix); });
        };
        QTRY_VERIFY(itemOwned());
        const QString presence = u"com.velmorcraft.quillmere.menubar.Panel.Test"_s;
        QVERIFY(bus.registerService(presence));
        QTRY_VERIFY(!itemOwned());
        QVERIFY(bus.unregisterService(presence));
        QTest::qWait(1000);
        QVERIFY(!itemOwned());
        QTRY_VERIFY_WITH_TIMEOUT(itemOwned(), 10'000);
    }

    void windowlessWithoutADisplay()
    {
        // Started where no display is reachable (a text console, a service),
        // the instance runs without windows instead of failing.
        QProcessEnvironment noDisplay = m_env;
        noDisplay.insert(u"DISPLAY"_s, u":9999"_s);
        noDisplay.remove(u"WAYLAND_DISPLAY"_s);
        QCOMPARE(run({u"--server"_s, serverArg(), u"--connect"_s, embedLink()}, {}, noDisplay).exitCode, 0);
        QVERIFY(instanceRuns());
        QCOMPARE(run({u"--line"_s}).exitCode, 0);
        // It has no popover to toggle, and says so.
        QDBusMessage toggle = QDBusMessage::createMethodCall(busName, u"/com/velmorcraft/quillmere/menubar"_s,
            u"com.velmorcraft.quillmere.MenuBar"_s, u"TogglePopover"_s);
        toggle << 0 << 0 << 10 << 10 << u"top"_s;
        QCOMPARE(QDBusConnection::sessionBus().call(toggle).errorName(), u"org.freedesktop.DBus.Error.NotSupported"_s);
    }

    void helpAndVersion()
    {
        const Result version = run({u"--version"_s});
        QCOMPARE(version.exitCode, 0);
        QVERIFY(QRegularExpression(u"^quillmere-menubar \\d+\\.\\d+\\.\\d+\n$"_s)
                    .match(QString::fromUtf8(version.out))
                    .hasMatch());
        const Result help = run({u"--help"_s});
        QCOMPARE(help.exitCode, 0);
        for (const char *option : {"--line", "--json", "--follow", "--sign-in", "--connect", "--password-stdin",
                 "--disconnect", "--refresh", "--quit", "--server"})
            QVERIFY2(help.out.contains(option), option);
        QVERIFY(!instanceRuns());
    }
};

QTEST_GUILESS_MAIN(TestInstance)
#include "tst_instance.moc"
