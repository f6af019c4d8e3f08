#pragma once

// The built program end to end: quillmere-menubar processes on a private
// session bus (or the test session's) with their own XDG folders, against a
// quillmere-devserver process with fault injection on 127.0.0.1.

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

#include <memory>

#include <sys/stat.h>

namespace e2e {

using namespace Qt::StringLiterals;

inline const QString binary = QStringLiteral(QUILLMERE_MENUBAR_BINARY);
inline const QString devserverBinary = QStringLiteral(DEVSERVER_EXE);
inline const QString busName = u"com.velmorcraft.quillmere.menubar"_s;
inline const QString northwind = u"nw-7Hq2XbLk"_s; // demo embed link without a password
inline const QString harbor = u"hb-Rm4pT9sQ"_s; // demo embed link with a password
inline const QString harborPassword = u"harbor-smile"_s;
constexpr int waitMs = 30'000;

struct Launch {
    int exitCode = -1; // -1: crashed or did not end
    QByteArray out;
    QByteArray err;
};

struct Answer {
    int status = 0;
    QByteArray body;
    QByteArray location;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

// The line as `--line --json` prints it.
struct Line {
    QString text;
    QString cssClass;
    QString tooltip;
    bool ok() const { return cssClass == "ok"_L1 && !tooltip.isEmpty(); }
    // The error shown under the line, if any: the tooltip's line that is
    // neither the line itself nor the update time.
    QString error() const
    {
        if (cssClass != "error"_L1)
            return QString();
        QStringList parts = tooltip.split(u'\n');
        if (!parts.isEmpty() && parts.first() == text)
            parts.removeFirst();
        if (!parts.isEmpty() && parts.last().startsWith(u"Updated "_s))
            parts.removeLast();
        return parts.join(u'\n');
    }
};

// The permission bits of a file or folder.
inline int modeOf(const QString &path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// A message a person can read: one or two sentences of text, no markup, no
// raw bytes, no JSON.
inline bool readable(const QString &text)
{
    static const QRegularExpression bad(u"[<>{}\\x00-\\x08\\x0e-\\x1f]|\\\\u|\\bnull\\b"_s);
    return !text.trimmed().isEmpty() && text.size() < 300 && !bad.match(text).hasMatch();
}

class Rig {
public:
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString home;
    QUrl base;
    std::unique_ptr<QProcess> server;
    std::unique_ptr<QProcess> instance;
    std::unique_ptr<QProcess> bus;
    QString busAddress; // empty: the test session's bus
    QNetworkAccessManager nam; // the test's own client of the server

    Rig()
    {
        env.insert(u"QUILLMERE_BROWSER"_s, browserScript());
        // Windowless: the line is what these tests look at.
        env.insert(u"DISPLAY"_s, u":9999"_s);
        env.remove(u"WAYLAND_DISPLAY"_s);
        nam.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }
    ~Rig()
    {
        if (instance && instance->state() != QProcess::NotRunning) {
            instance->kill();
            instance->waitForFinished();
        }
        stopServer();
        stopBus();
    }

    QString openedFile() const { return dir.filePath(u"opened.txt"_s); }
    QString browserScript()
    {
        const QString path = dir.filePath(u"browser.sh"_s);
        QFile script(path);
        if (script.open(QIODevice::WriteOnly)) {
            script.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + QFile::encodeName(openedFile()) + "'\n");
            script.close();
            script.setPermissions(script.permissions() | QFile::ExeOwner);
        }
        return path;
    }

    // A fresh, empty configuration under the test's folder.
    void setHome(const QString &name)
    {
        home = dir.filePath(u"home-"_s + name);
        QDir(home).removeRecursively();
        for (const auto &[variable, folder] : {std::pair {"XDG_CONFIG_HOME", "config"},
                 std::pair {"XDG_DATA_HOME", "data"}, std::pair {"XDG_CACHE_HOME", "cache"}}) {
            QDir().mkpath(home + u'/' + QLatin1StringView(folder));
            env.insert(QLatin1StringView(variable), home + u'/' + QLatin1StringView(folder));
        }
        env.insert(u"HOME"_s, home);
    }
    QString cookieFile() const { return home + u"/data/quillmere-menubar/cookies"_s; }
    QString snapshotsDir() const { return home + u"/cache/quillmere-menubar/snapshots"_s; }
    QString settingsFile() const { return home + u"/config/quillmere-menubar/settings.ini"_s; }
    QStringList snapshotFiles() const
    {
        QStringList files;
        for (const QString &name : QDir(snapshotsDir()).entryList(QDir::Files))
            files << snapshotsDir() + u'/' + name;
        return files;
    }
    QStringList filesUnder(const QString &root) const
    {
        QStringList files;
        QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        files.sort();
        return files;
    }

    // --- the session bus ------------------------------------------------

    // A bus of our own, without a Secret Service and without activation.
    bool startBus()
    {
        stopBus();
        const QString config = dir.filePath(u"bus.conf"_s);
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig><type>session</type><listen>unix:dir="
            + dir.path().toUtf8()
            + "</listen><auth>EXTERNAL</auth>"
              "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        f.close();
        bus = std::make_unique<QProcess>();
        bus->start(u"dbus-daemon"_s, {u"--config-file="_s + config, u"--print-address"_s, u"--nofork"_s});
        if (!bus->waitForStarted(5000) || !QTest::qWaitFor([&] { return bus->canReadLine(); }, 5000))
            return false;
        busAddress = QString::fromUtf8(bus->readLine().trimmed());
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, busAddress);
        return !busAddress.isEmpty();
    }
    void stopBus()
    {
        if (!bus)
            return;
        QDBusConnection::disconnectFromBus(u"e2e"_s);
        bus->terminate();
        bus->waitForFinished(5000);
        bus.reset();
    }
    QDBusConnection testBus() const
    {
        return busAddress.isEmpty() ? QDBusConnection::sessionBus()
                                    : QDBusConnection::connectToBus(busAddress, u"e2e"_s);
    }
    bool instanceRuns() const
    {
        const QDBusConnection c = testBus();
        return c.isConnected() && c.interface()->isServiceRegistered(busName);
    }

    // --- the development server ----------------------------------------

    bool startServer(quint16 port = 0, const QStringList &extra = {})
    {
        stopServer();
        server = std::make_unique<QProcess>();
        // The server is not what is tested: spare it the sanitizers' slow
        // stack unwinding at every allocation.
        QProcessEnvironment serverEnv = QProcessEnvironment::systemEnvironment();
        if (serverEnv.contains(u"ASAN_OPTIONS"_s))
            serverEnv.insert(u"ASAN_OPTIONS"_s, serverEnv.value(u"ASAN_OPTIONS"_s) + u":fast_unwind_on_malloc=1"_s);
        server->setProcessEnvironment(serverEnv);
        server->start(devserverBinary,
            QStringList {u"--faults"_s, u"--port"_s, QString::number(port), u"--tick"_s, u"0"_s} + extra);
        if (!server->waitForStarted(5000))
            return false;
        static const QRegularExpression listening(u"listening on (http://\\S+)"_s);
        QByteArray seen;
        const bool up = QTest::qWaitFor(
            [&] {
                seen += server->readAllStandardOutput();
                const auto m = listening.match(QString::fromUtf8(seen));
                if (m.hasMatch())
                    base = QUrl(m.captured(1));
                return m.hasMatch();
            },
            10'000);
        nam.setCookieJar(new QNetworkCookieJar); // sessions of an earlier server are gone
        return up;
    }
    void stopServer()
    {
        if (!server)
            return;
        server->terminate();
        server->waitForFinished(5000);
        server.reset();
    }
    QString url(const QString &path) const { return base.toString() + u'/' + path; }

    Answer http(const QByteArray &verb, const QString &path, const QByteArray &body = {},
        const QByteArray &type = "application/json", const QList<std::pair<QByteArray, QByteArray>> &headers = {})
    {
        QNetworkRequest request(QUrl(path.startsWith(u"http"_s) ? path : url(path)));
        request.setTransferTimeout(60'000);
        if (!body.isEmpty())
            request.setHeader(QNetworkRequest::ContentTypeHeader, type);
        for (const auto &[k, v] : headers)
            request.setRawHeader(k, v);
        QNetworkReply *reply = verb == "POST" ? nam.post(request, body) : nam.get(request);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
        Answer a;
        a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        a.body = reply->readAll();
        a.location = reply->rawHeader("Location");
        reply->deleteLater();
        return a;
    }
    int control(const QString &what, const QJsonObject &body = {})
    {
        return http("POST", u"_dev/"_s + what, QJsonDocument(body).toJson(QJsonDocument::Compact)).status;
    }

    // Picks the account on the server's sign-in page as a browser would and
    // returns the callback address it redirects to.
    QUrl signInCallback(const QUrl &signInPage, const QString &user = u"usr_ada"_s)
    {
        const QUrlQuery q(signInPage);
        QUrlQuery form;
        for (const char *item : {"redirect_uri", "challenge", "state"})
            form.addQueryItem(QLatin1StringView(item), q.queryItemValue(QLatin1StringView(item), QUrl::FullyDecoded));
        form.addQueryItem(u"user"_s, user);
        const Answer a = http(
            "POST", u"native-auth"_s, form.query(QUrl::FullyEncoded).toUtf8(), "application/x-www-form-urlencoded");
        return a.status == 302 ? QUrl::fromEncoded(a.location) : QUrl();
    }

    // A session of the test's own, for reading what the server holds.
    bool signInTest(const QString &user = u"usr_ada"_s)
    {
        QByteArray verifier;
        for (int i = 0; i < 48; ++i)
            verifier += "abcdefghijklmnopqrstuvwxyz0123456789"[QRandomGenerator::global()->bounded(36)];
        const QByteArray challenge = QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
                                         .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
        QUrl page(url(u"native-auth"_s));
        page.setQuery(QUrlQuery {{u"redirect_uri"_s, u"quillmere-menubar://auth"_s},
            {u"challenge"_s, QString::fromLatin1(challenge)}, {u"state"_s, u"test"_s}});
        const QString code = QUrlQuery(signInCallback(page, user)).queryItemValue(u"code"_s);
        return http("POST", u"api/auth/native/token"_s,
                   QJsonDocument(QJsonObject {{u"code"_s, code}, {u"verifier"_s, QString::fromLatin1(verifier)}})
                       .toJson(QJsonDocument::Compact))
                   .status
            == 200;
    }

    // --- the program -----------------------------------------------------

    Launch run(const QStringList &arguments, const QByteArray &input = {}, int timeoutMs = waitMs)
    {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(binary, arguments);
        if (!process.waitForStarted())
            return {};
        process.write(input);
        process.closeWriteChannel();
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs)) {
            process.kill();
            process.waitForFinished();
            qWarning("quillmere-menubar %s did not end", qPrintable(arguments.join(u' ')));
            return {};
        }
        Launch result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    Line line()
    {
        const Launch l = run({u"--line"_s, u"--json"_s});
        const QJsonObject o = QJsonDocument::fromJson(l.out.trimmed()).object();
        return Line {o.value("text"_L1).toString(), o.value("class"_L1).toString(), o.value("tooltip"_L1).toString()};
    }
    // The line once the instance has settled (neither restoring nor loading).
    Line settledLine()
    {
        Line l;
        (void)QTest::qWaitFor(
            [&] {
                l = line();
                return l.cssClass != "loading"_L1;
            },
            waitMs);
        return l;
    }

    // Starts the running instance, optionally under a wrapper command
    // (strace, unshare ...) that ends by running the program's arguments.
    bool startInstance(const QStringList &wrapper = {}, const QStringList &arguments = {})
    {
        instance = std::make_unique<QProcess>();
        instance->setProcessEnvironment(env);
        instance->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QStringList args = QStringList {u"--server"_s, base.toString()} + arguments;
        if (wrapper.isEmpty())
            instance->start(binary, args);
        else
            instance->start(wrapper.first(), wrapper.mid(1) + QStringList {binary} + args);
        if (!instance->waitForStarted())
            return false;
        return QTest::qWaitFor([&] { return instanceRuns() || instance->state() == QProcess::NotRunning; }, waitMs)
            && instanceRuns();
    }
    bool stopInstance()
    {
        if (!instance || instance->state() == QProcess::NotRunning)
            return true;
        run({u"--quit"_s});
        return ended() && instance->exitStatus() == QProcess::NormalExit && instance->exitCode() == 0;
    }
    // Waits for the instance's process to end.
    bool ended() const { return instance->state() == QProcess::NotRunning || instance->waitForFinished(waitMs); }
    // The browser sign-in of the running instance, through a second launch
    // that hands over the callback.
    bool signIn(const QString &user = u"usr_ada"_s)
    {
        QFile::remove(openedFile());
        if (run({u"--sign-in"_s}).exitCode != 0)
            return false;
        QFile opened(openedFile());
        if (!QTest::qWaitFor([&] { return opened.exists() && opened.size() > 0; }, waitMs)
            || !opened.open(QIODevice::ReadOnly))
            return false;
        const QUrl callback = signInCallback(QUrl(QString::fromUtf8(opened.readLine().trimmed())), user);
        return callback.isValid() && run({callback.toString(QUrl::FullyEncoded)}).exitCode == 0;
    }
};

} // namespace e2e
