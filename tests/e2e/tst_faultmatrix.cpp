// The fault matrix: the running instance and its command line against the
// development server with fault injection, one case per way a server, a file
// or the desktop session can fail. Each case checks that the last good line
// stays (or the right error shows), that the error reads well, that no file
// is corrupted, and that the next refresh after the fault recovers. The
// suite ends with the matrix as a table: case, expected, seen.
//
// The instance runs windowless on a bus of its own (no Secret Service), with
// its network timeouts shortened through QUILLMERE_IDLE_TIMEOUT_MS (1.5 s)
// and QUILLMERE_REQUEST_TIMEOUT_MS (4 s), three times that under the
// sanitizers.

#include "e2erig.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>
#include <list>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace e2e;

namespace {

struct Row {
    QString name;
    QString expected;
    QString seen = u"(ended early)"_s;
};
std::list<Row> matrix; // rows stay in place while cases hold them

Row &row(const QString &name, const QString &expected)
{
    matrix.push_back(Row {name, expected});
    return matrix.back();
}

// A snapshot cache file as the program writes it: its members, and the
// document it holds.
struct SnapshotFile {
    bool valid = false;
    QString key;
    qint64 version = 0;
    QJsonObject document;
};

SnapshotFile readSnapshot(const QString &path)
{
    QFile f(path);
    SnapshotFile s;
    if (!f.open(QIODevice::ReadOnly))
        return s;
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    const auto data = QByteArray::fromBase64Encoding(
        o.value("data"_L1).toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const QJsonDocument doc = QJsonDocument::fromJson(*data);
    s.valid = data && doc.isObject() && o.value("key"_L1).isString() && o.value("version"_L1).isDouble()
        && o.value("build"_L1).isString() && o.value("computedAt"_L1).isDouble();
    s.key = o.value("key"_L1).toString();
    s.version = o.value("version"_L1).toInteger();
    s.document = doc.object();
    return s;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QString quoted(const QString &text)
{
    return u"\""_s + QString(text).replace(u'\n', u" / "_s) + u"\""_s;
}

} // namespace

class TestFaultMatrix : public QObject {
    Q_OBJECT

    // The instance's network limits, longer under the sanitizers, which slow
    // the program several times over.
    const int slowdown = qEnvironmentVariableIsSet("ASAN_OPTIONS") ? 3 : 1;
    const int idleMs = 1500 * slowdown;
    const int requestMs = 4000 * slowdown;

    Rig rig;
    quint16 port = 0;
    bool signedIn = false;

    // Every snapshot file whole (parses, with its members) and the cookie
    // file, where there is one, private and made of cookie lines.
    bool filesWhole(QString *why) const
    {
        for (const QString &file : rig.snapshotFiles())
            if (!readSnapshot(file).valid) {
                *why = u"snapshot file damaged: "_s + file;
                return false;
            }
        if (QFile::exists(rig.cookieFile())) {
            const QByteArray bytes = readAll(rig.cookieFile());
            if (modeOf(rig.cookieFile()) != 0600) {
                *why = u"cookie file not 0600"_s;
                return false;
            }
            for (const QByteArray &line : bytes.split('\n'))
                if (!line.isEmpty() && !line.startsWith("quillmere_session=")) {
                    *why = u"cookie file damaged"_s;
                    return false;
                }
        }
        return true;
    }

    // What the server holds for the instance's request now, read with the
    // test's own session: the line the instance must show when current.
    QString serverLine()
    {
        const QStringList files = rig.snapshotFiles();
        if (files.size() != 1)
            return u"(%1 snapshot files)"_s.arg(files.size());
        const QString key = readSnapshot(files.first()).key;
        const QString params = key.mid(key.indexOf(u":{"_s) + 1);
        QUrlQuery q;
        q.addQueryItem(u"p"_s, QString::fromUtf8(QUrl::toPercentEncoding(params)));
        const Answer a = rig.http("GET", u"api/snapshot/widget.line?"_s + q.query(QUrl::FullyEncoded));
        return a.json().value("data"_L1).toObject().value("lines"_L1).toArray().first().toString();
    }

    bool ensureSignedIn()
    {
        if (!rig.instanceRuns() && !rig.startInstance())
            return false;
        if (signedIn && rig.line().ok())
            return true;
        signedIn = rig.signIn() && rig.settledLine().ok();
        return signedIn;
    }
    bool ensureEmbed()
    {
        signedIn = false;
        if (!rig.instanceRuns() && !rig.startInstance())
            return false;
        // From nothing: neither signed in nor connected.
        return rig.run({u"--disconnect"_s}).exitCode == 0
            && rig.run({u"--connect"_s, rig.url(u"embed/"_s + northwind)}).exitCode == 0 && rig.settledLine().ok();
    }
    // A good refresh on data that moved on.
    Line goodRefresh()
    {
        rig.control(u"advance"_s, {{u"ticks"_s, 3}});
        rig.run({u"--refresh"_s});
        return rig.line();
    }

    bool restartInstance(const QStringList &wrapper = {})
    {
        rig.stopInstance();
        return rig.startInstance(wrapper) && !rig.settledLine().cssClass.isEmpty();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QFile::exists(binary));
        QVERIFY(QFile::exists(devserverBinary));
        rig.env.insert(u"QUILLMERE_IDLE_TIMEOUT_MS"_s, QString::number(idleMs));
        rig.env.insert(u"QUILLMERE_REQUEST_TIMEOUT_MS"_s, QString::number(requestMs));
        if (!rig.startBus())
            QSKIP("dbus-daemon is not available");
        QVERIFY(rig.startServer());
        port = quint16(rig.base.port());
        QVERIFY(rig.signInTest());
        rig.setHome(u"main"_s);
        QVERIFY(rig.startInstance());
    }

    void cleanupTestCase()
    {
        rig.stopInstance();
        std::printf("\nFault matrix\n%-44s | %-62s | %s\n", "case", "expected", "seen");
        std::printf("%s\n", QByteArray(44 + 3 + 62 + 3 + 60, '-').constData());
        for (const Row &r : std::as_const(matrix))
            std::printf("%-44s | %-62s | %s\n", qPrintable(r.name), qPrintable(r.expected), qPrintable(r.seen));
        std::fflush(stdout);
    }

    // Faults of the server's answers, signed in (snapshots and remote
    // procedures) or through an embed link.
    void answers_data()
    {
        QTest::addColumn<bool>("embed");
        QTest::addColumn<QJsonObject>("fault"); // for /_dev/faults, or {"control": ...}
        QTest::addColumn<QString>("error"); // regular expression; empty: no error
        QTest::addColumn<QString>("after"); // "kept", "new" or "reset" (the line after the fault)
        QTest::addColumn<QString>("expected");

        const auto f = [](const char *json) { return QJsonDocument::fromJson(json).object(); };
        QTest::newRow("500 with a message")
            << false << f(R"({"route":"rpc","status":500,"message":"Database is resting"})")
            << u"^Database is resting$"_s << u"kept"_s << u"server's message, last line kept"_s;
        QTest::newRow("500 without a message") << false << f(R"({"route":"snapshot","status":500})") << u"\\(500\\)"_s
                                               << u"kept"_s << u"status in a sentence, last line kept"_s;
        QTest::newRow("401 session expired")
            << false << f(R"({"control":"expire-sessions"})") << u"^Session expired\\. Sign in again\\.$"_s
            << u"reset"_s << u"\"Session expired. Sign in again.\", signed out"_s;
        QTest::newRow("401 embed link refused")
            << true
            << f(R"({"route":"embed:dashboard","status":401,"message":"This dashboard link needs a password."})")
            << u"^This dashboard link needs a password\\.$"_s << u"reset"_s
            << u"link set aside, server's message, line \"Quillmere\""_s;
        QTest::newRow("429 with Retry-After, signed in")
            << false
            << f(R"({"route":"rpc","status":429,"retryAfter":30,"message":"Too many requests. Try again in 30 s."})")
            << u"^Too many requests\\. Try again in 30 s\\.$"_s << u"kept"_s << u"server's message, last line kept"_s;
        QTest::newRow("429 with Retry-After, embed link")
            << true
            << f(R"({"route":"embed:dashboard","status":429,"retryAfter":30,"message":"Too many requests. Try again in 30 s."})")
            << u"^Too many requests\\. Try again in 30 s\\.$"_s << u"reset"_s
            << u"link set aside, server's message, line \"Quillmere\""_s;
        QTest::newRow("answer never comes")
            << false << f(R"({"route":"snapshot","mode":"hang"})") << u"^The request timed out\\.$"_s << u"kept"_s
            << u"\"The request timed out.\" after the idle limit, line kept"_s;
        QTest::newRow("slow trickle within the limits") << false << f(R"({"route":"snapshot","mode":"slow","ms":1200})")
                                                        << QString() << u"new"_s << u"new line, no error"_s;
        QTest::newRow("slow trickle past the request limit")
            << false << QJsonObject {{u"route"_s, u"snapshot"_s}, {u"mode"_s, u"slow"_s}, {u"ms"_s, requestMs * 2}}
            << u"^The request timed out\\.$"_s << u"kept"_s << u"\"The request timed out.\", line kept"_s;
        QTest::newRow("truncated body") << false << f(R"({"route":"snapshot","mode":"truncate"})") << u"(?i)closed"_s
                                        << u"kept"_s << u"transport error, line kept"_s;
        QTest::newRow("truncated body, embed link") << true << f(R"({"route":"embed:dashboard","mode":"truncate"})")
                                                    << u"(?i)closed"_s << u"kept"_s << u"transport error, line kept"_s;
        QTest::newRow("body not JSON") << false << f(R"({"route":"snapshot","mode":"malformed"})") << u"not JSON"_s
                                       << u"kept"_s << u"decoding error, line kept"_s;
        QTest::newRow("body not JSON, remote procedure")
            << false << f(R"({"route":"rpc:workspaces.list","mode":"malformed"})") << u"not valid JSON"_s << u"kept"_s
            << u"decoding error, line kept"_s;
        QTest::newRow("body over 16 MiB") << false << f(R"({"route":"snapshot","mode":"oversize"})")
                                          << u"^The server's answer is larger than 16 MiB and was abandoned\\.$"_s
                                          << u"kept"_s << u"answer abandoned, line kept"_s;
        QTest::newRow("body over 16 MiB, embed link")
            << true << f(R"({"route":"embed:dashboard","mode":"oversize"})")
            << u"^The server's answer is larger than 16 MiB and was abandoned\\.$"_s << u"kept"_s
            << u"answer abandoned, line kept"_s;
        for (const char *kind : {"operations", "depth", "growth"})
            QTest::newRow(qPrintable(u"hostile patch: "_s + QLatin1StringView(kind)))
                << false
                << QJsonObject {{u"route"_s, u"snapshot"_s}, {u"mode"_s, u"patch"_s},
                       {u"patch"_s, QLatin1StringView(kind)}}
                << QString() << u"new"_s << u"patch refused, full answer fetched, new line"_s;
    }

    void answers()
    {
        QFETCH(bool, embed);
        QFETCH(QJsonObject, fault);
        QFETCH(QString, error);
        QFETCH(QString, after);
        QFETCH(QString, expected);
        Row &r = row(QString::fromLatin1(QTest::currentDataTag()), expected);

        QVERIFY(rig.instanceRuns() || rig.startInstance());
        QVERIFY(embed ? ensureEmbed() : ensureSignedIn());
        const Line good = goodRefresh();
        QVERIFY2(good.ok(), qPrintable(good.tooltip));
        const QStringList files = rig.snapshotFiles();
        const QByteArray heldBytes = files.isEmpty() ? QByteArray() : readAll(files.first());
        QVERIFY(embed || !heldBytes.isEmpty());

        rig.control(u"advance"_s, {{u"ticks"_s, 3}});
        if (fault.contains("control"_L1))
            QCOMPARE(rig.control(fault.value("control"_L1).toString()), 200);
        else
            QCOMPARE(rig.control(u"faults"_s, fault), 200);
        QElapsedTimer took;
        took.start();
        const Launch refresh = rig.run({u"--refresh"_s});
        const qint64 ms = took.elapsed();
        const Line seen = rig.line();
        const QString shown = seen.error();
        r.seen = (shown.isEmpty() ? u"no error"_s : quoted(shown));
        QCOMPARE(refresh.exitCode, error.isEmpty() ? 0 : 1);
        if (error.isEmpty()) {
            QVERIFY2(seen.ok(), qPrintable(seen.tooltip));
        } else {
            QVERIFY2(QRegularExpression(error).match(shown).hasMatch(), qPrintable(shown));
            QVERIFY2(readable(shown), qPrintable(shown));
            QVERIFY2(refresh.err.contains(shown.toUtf8()), refresh.err.constData());
        }
        if (after == "kept"_L1) {
            QCOMPARE(seen.text, good.text);
            r.seen += u", line kept"_s;
        } else if (after == "reset"_L1) {
            QCOMPARE(seen.text, u"Quillmere"_s);
            r.seen += u", line \"Quillmere\""_s;
        } else {
            QCOMPARE(seen.text, serverLine());
            r.seen += u", new line"_s;
        }
        r.seen += u" (%1 s)"_s.arg(double(ms) / 1000, 0, 'f', 1);
        QString why;
        QVERIFY2(filesWhole(&why), qPrintable(why));
        if (!embed && after == "kept"_L1)
            QCOMPARE(readAll(files.first()), heldBytes); // the held snapshot is untouched
        r.seen += u", files whole"_s;

        // The fault is used up (or the link or sign-in given again): the
        // next refresh is good and current.
        rig.control(u"faults/clear"_s);
        if (after == "reset"_L1)
            QVERIFY(embed ? ensureEmbed() : ensureSignedIn());
        const Line recovered = goodRefresh();
        QVERIFY2(recovered.ok(), qPrintable(recovered.tooltip));
        if (!embed)
            QCOMPARE(recovered.text, serverLine());
        QVERIFY2(filesWhole(&why), qPrintable(why));
        r.seen += after == "reset"_L1
            ? (embed ? u"; recovered after connecting again"_s : u"; recovered after signing in again"_s)
            : u"; recovered"_s;
    }

    // The server is gone, then back on the same address.
    void serverNotRunning()
    {
        Row &r = row(u"server not running"_s, u"transport error, line kept; back when the server is"_s);
        QVERIFY(ensureEmbed());
        const Line good = goodRefresh();
        QVERIFY(good.ok());
        rig.stopServer();
        const Launch refresh = rig.run({u"--refresh"_s});
        const Line seen = rig.line();
        r.seen = quoted(seen.error());
        QCOMPARE(refresh.exitCode, 1);
        QVERIFY2(readable(seen.error()), qPrintable(seen.error()));
        QVERIFY2(seen.error().contains(u"refused"_s, Qt::CaseInsensitive), qPrintable(seen.error()));
        QCOMPARE(seen.text, good.text);
        r.seen += u", line kept"_s;
        QVERIFY(rig.startServer(port));
        QVERIFY(rig.signInTest());
        signedIn = false;
        const Line recovered = goodRefresh();
        QVERIFY2(recovered.ok(), qPrintable(recovered.tooltip));
        r.seen += u"; recovered"_s;
    }

    // Files damaged while the program was not running: it starts, says
    // what it can, and writes them whole again.
    void damagedFiles_data()
    {
        QTest::addColumn<bool>("cookie");
        QTest::addColumn<QString>("damage");
        QTest::newRow("snapshot file cut short") << false << u"cut"_s;
        QTest::newRow("snapshot file filled with garbage") << false << u"garbage"_s;
        QTest::newRow("snapshot file with a damaged document") << false << u"document"_s;
        QTest::newRow("cookie file cut short") << true << u"cut"_s;
        QTest::newRow("cookie file filled with garbage") << true << u"garbage"_s;
    }
    void damagedFiles()
    {
        QFETCH(bool, cookie);
        QFETCH(QString, damage);
        Row &r = row(QString::fromLatin1(QTest::currentDataTag()),
            cookie ? u"starts signed out (or still in), no crash; signing in writes it whole"_s
                   : u"starts, current line, file written whole"_s);
        QVERIFY(ensureSignedIn());
        QVERIFY(goodRefresh().ok());
        QVERIFY(rig.stopInstance());
        const QString file = cookie ? rig.cookieFile() : rig.snapshotFiles().value(0);
        QVERIFY(QFile::exists(file));
        QByteArray bytes = readAll(file);
        if (damage == "garbage"_L1) {
            for (char &c : bytes)
                c = char(QRandomGenerator::global()->bounded(256));
        } else if (damage == "cut"_L1) {
            bytes.truncate(bytes.size() / 3);
        } else {
            // The file's form intact, the document in it cut short: the server
            // still has this version, so it answers 304 to it.
            QJsonObject o = QJsonDocument::fromJson(bytes).object();
            const QByteArray document = QByteArray::fromBase64(o.value("data"_L1).toString().toLatin1());
            o.insert(u"data"_s, QString::fromLatin1(document.left(document.size() / 2).toBase64()));
            bytes = QJsonDocument(o).toJson(QJsonDocument::Compact);
        }
        QVERIFY(writeAll(file, bytes));

        QVERIFY(rig.startInstance());
        const Line start = rig.settledLine();
        QVERIFY2(rig.instance->state() == QProcess::Running, "the instance ended");
        r.seen = u"started, line \""_s + start.text + u"\""_s;
        if (!start.error().isEmpty()) {
            QVERIFY2(readable(start.error()), qPrintable(start.error()));
            r.seen += u", "_s + quoted(start.error());
        }
        if (!cookie) {
            QVERIFY2(start.ok(), qPrintable(start.tooltip));
            QCOMPARE(start.text, serverLine());
        }
        signedIn = start.ok();
        QVERIFY(ensureSignedIn());
        QString why;
        QVERIFY2(filesWhole(&why), qPrintable(why));
        QVERIFY(readAll(file) != bytes);
        r.seen += u"; file whole again"_s;
    }

    // A crash between writing a file and putting it in place leaves the old
    // file whole. The writers are checked to write the new text to a
    // temporary file, flush it to disk and only then put it in place (a link
    // or a rename onto the name); then the program is killed (SIGKILL, by
    // strace) at the moment it puts the new file in place.
    void killedWhileWriting()
    {
        Row &order = row(u"writers: temporary file, fsync, then in place"_s, u"snapshot, cookie and settings files"_s);
        Row &snapshot = row(u"SIGKILL while writing the snapshot file"_s, u"old file whole; next start recovers"_s);
        Row &cookies = row(u"SIGKILL while writing the cookie file"_s, u"old file whole, still signed in"_s);
        if (QStandardPaths::findExecutable(u"strace"_s).isEmpty()) {
            order.seen = snapshot.seen = cookies.seen = u"skipped: strace is not installed"_s;
            QSKIP("strace is not installed (scripts/deps.sh installs it)");
        }
        rig.stopInstance();
        rig.setHome(u"killed"_s);
        // The leak checker cannot run in a traced process.
        const QString sanitizer = rig.env.value(u"ASAN_OPTIONS"_s);
        const auto traced = [&](bool on) {
            if (!sanitizer.isEmpty())
                rig.env.insert(u"ASAN_OPTIONS"_s, on ? sanitizer + u":detect_leaks=0"_s : sanitizer);
        };
        traced(true);
        const QString log = rig.dir.filePath(u"strace.log"_s);
        QVERIFY(rig.startInstance({u"strace"_s, u"-f"_s, u"-qq"_s, u"-y"_s, u"-o"_s, log, u"-e"_s,
            u"trace=fsync,fdatasync,rename,renameat,renameat2,linkat"_s}));
        signedIn = false;
        QVERIFY(ensureSignedIn());
        QVERIFY(rig.stopInstance());
        const QStringList calls = QString::fromUtf8(readAll(log)).split(u'\n');
        QStringList seen;
        for (const QString &target : {rig.snapshotFiles().value(0), rig.cookieFile(), rig.settingsFile()}) {
            const QString folder = QFileInfo(target).absolutePath();
            const auto placed = std::find_if(calls.begin(), calls.end(), [&](const QString &c) {
                return (c.contains(u"rename"_s) || c.contains(u"linkat("_s)) && c.contains(u"\""_s + target + u"\""_s)
                    && c.endsWith(u"= 0"_s);
            });
            QVERIFY2(placed != calls.end(), qPrintable(target + u"\n"_s + calls.filter(folder).join(u'\n')));
            const bool synced = std::any_of(calls.begin(), placed, [&](const QString &c) {
                return (c.contains(u"fsync("_s) || c.contains(u"fdatasync("_s)) && c.contains(u"<"_s + folder + u'/')
                    && c.endsWith(u"= 0"_s);
            });
            QVERIFY2(synced, qPrintable(u"no fsync before the file is put in place: "_s + target));
            seen << QFileInfo(folder).fileName() + u'/' + QFileInfo(target).fileName().left(8);
        }
        order.seen = u"fsync/fdatasync of a temporary file, then linked or renamed in place: "_s + seen.join(u", "_s);

        // Strace kills the program when it is about to put the given file in place.
        const auto killAt = [&](const QString &file) {
            return QStringList {u"strace"_s, u"-f"_s, u"-qq"_s, u"-o"_s, u"/dev/null"_s, u"-P"_s, file, u"-e"_s,
                u"trace=linkat,rename,renameat,renameat2"_s, u"-e"_s,
                u"inject=linkat,rename,renameat,renameat2:signal=KILL"_s};
        };

        // The snapshot: starting refreshes, and that writes a new version.
        const QString snapshotFile = rig.snapshotFiles().value(0);
        const QByteArray oldSnapshot = readAll(snapshotFile);
        rig.control(u"advance"_s, {{u"ticks"_s, 3}});
        rig.startInstance(killAt(snapshotFile));
        QVERIFY(rig.ended());
        QCOMPARE(rig.instance->exitStatus(), QProcess::CrashExit);
        QCOMPARE(readAll(snapshotFile), oldSnapshot);
        traced(false);
        const QStringList left = QDir(rig.snapshotsDir()).entryList(QDir::Files);
        snapshot.seen = u"killed; old file whole, %1 file(s) in the folder"_s.arg(left.size());
        QVERIFY2(left.size() == 1, qPrintable(left.join(u", "_s)));
        QVERIFY(rig.startInstance());
        QVERIFY(rig.settledLine().ok());
        QCOMPARE(rig.line().text, serverLine());
        QVERIFY(readSnapshot(snapshotFile).valid);
        QVERIFY(readAll(snapshotFile) != oldSnapshot);
        snapshot.seen += u"; next start: current line, file rewritten"_s;
        QVERIFY(rig.stopInstance());

        // The cookies: a second sign-in brings a new session cookie.
        const QByteArray oldCookies = readAll(rig.cookieFile());
        traced(true);
        QVERIFY(rig.startInstance(killAt(rig.cookieFile())));
        QVERIFY(rig.settledLine().ok());
        QCOMPARE(rig.instance->state(), QProcess::Running);
        rig.signIn();
        QVERIFY(rig.ended());
        QCOMPARE(rig.instance->exitStatus(), QProcess::CrashExit);
        QCOMPARE(readAll(rig.cookieFile()), oldCookies);
        traced(false);
        const QStringList data = QDir(QFileInfo(rig.cookieFile()).absolutePath()).entryList(QDir::Files);
        cookies.seen = u"killed; old file whole, %1 file(s) in the folder"_s.arg(data.size());
        QVERIFY2(data.size() == 1, qPrintable(data.join(u", "_s)));
        QVERIFY(rig.startInstance());
        QVERIFY(rig.settledLine().ok());
        signedIn = true;
        cookies.seen += u"; next start: signed in with the old session"_s;
    }

    // The embed-link password without a Secret Service: kept in memory only.
    void noSecretService()
    {
        Row &r = row(u"no Secret Service"_s, u"password in memory only; after a restart the link asks for it"_s);
        QVERIFY(rig.instanceRuns() || rig.startInstance());
        QCOMPARE(rig.run({u"--connect"_s, rig.url(u"embed/"_s + harbor), u"--password-stdin"_s},
                        harborPassword.toUtf8() + '\n')
                     .exitCode,
            0);
        QVERIFY(rig.settledLine().ok());
        for (const QString &file : rig.filesUnder(rig.home))
            QVERIFY2(!readAll(file).contains(harborPassword.toUtf8()), qPrintable(file));
        r.seen = u"connected, password in no file"_s;
        QVERIFY(restartInstance());
        const Line after = rig.settledLine();
        r.seen += u"; after a restart "_s + quoted(after.error());
        QCOMPARE(after.error(), u"This dashboard link needs a password."_s);
        QCOMPARE(rig.run({u"--connect"_s, rig.url(u"embed/"_s + harbor), u"--password-stdin"_s},
                        harborPassword.toUtf8() + '\n')
                     .exitCode,
            0);
        QVERIFY(rig.settledLine().ok());
        signedIn = false;
        r.seen += u"; connected again"_s;
    }

    // The cache folder full or read-only: the figures still come, the old
    // file stays whole, and the file is written again once there is room.
    void cacheNotWritable_data()
    {
        QTest::addColumn<bool>("full");
        QTest::newRow("full disk for the cache folder") << true;
        QTest::newRow("read-only cache folder") << false;
    }
    void cacheNotWritable()
    {
        QFETCH(bool, full);
        Row &r = row(QString::fromLatin1(QTest::currentDataTag()),
            u"new line, no error; old file whole; written again when possible"_s);
        if (::geteuid() != 0 || QProcess::execute(u"unshare"_s, {u"-m"_s, u"true"_s}) != 0) {
            r.seen = u"skipped: needs root and mount namespaces"_s;
            QSKIP("needs root and a mount namespace (unshare -m): a tmpfs or read-only bind mount of the cache "
                  "folder; permissions alone do not stop root");
        }
        QVERIFY(ensureSignedIn());
        QVERIFY(goodRefresh().ok());
        QVERIFY(rig.stopInstance());
        const QString cache = rig.home + u"/cache"_s;
        const QString file = rig.snapshotFiles().value(0);
        const QByteArray old = readAll(file);
        QVERIFY(!old.isEmpty());
        // In a mount namespace of the instance's own: a small tmpfs holding a
        // copy of the cache and filled up, or the cache bound read-only.
        const QString saved = rig.dir.filePath(u"cache-copy"_s);
        QDir(saved).removeRecursively();
        QCOMPARE(QProcess::execute(u"cp"_s, {u"-a"_s, cache, saved}), 0);
        const QString script = full
            ? u"mount -t tmpfs -o size=1m tmpfs \"$1\" && cp -a \"$2\"/. \"$1\"/ && "
              "(dd if=/dev/zero of=\"$1/filler\" bs=4k 2>/dev/null; true) && shift 2 && exec \"$@\""_s
            : u"mount --bind \"$1\" \"$1\" && mount -o remount,ro,bind \"$1\" && shift 2 && exec \"$@\""_s;
        QVERIFY(rig.startInstance({u"unshare"_s, u"-m"_s, u"--propagation"_s, u"private"_s, u"sh"_s, u"-c"_s, script,
            u"sh"_s, cache, saved}));
        const QString inside = u"/proc/%1/root"_s.arg(rig.instance->processId());
        const Line start = rig.settledLine();
        QVERIFY2(start.ok(), qPrintable(start.tooltip));
        const Line seen = goodRefresh();
        r.seen = seen.ok() ? u"new line, no error"_s : u"error "_s + quoted(seen.error());
        QVERIFY2(seen.ok(), qPrintable(seen.tooltip));
        QCOMPARE(seen.text, serverLine());
        QCOMPARE(readAll(inside + file), old);
        QCOMPARE(QDir(inside + rig.snapshotsDir()).entryList(QDir::Files).size(), 1);
        r.seen += u", old file whole"_s;

        // Room again: the next refresh writes the file.
        const QString pid = QString::number(rig.instance->processId());
        if (full)
            QVERIFY(QFile::remove(inside + cache + u"/filler"_s));
        else
            QCOMPARE(QProcess::execute(
                         u"nsenter"_s, {u"-t"_s, pid, u"-m"_s, u"mount"_s, u"-o"_s, u"remount,rw,bind"_s, cache}),
                0);
        const Line recovered = goodRefresh();
        QVERIFY(recovered.ok());
        const SnapshotFile written = readSnapshot(inside + file);
        QVERIFY(written.valid);
        QVERIFY(readAll(inside + file) != old);
        r.seen += u"; written again once possible"_s;
        QVERIFY(rig.stopInstance());
        QVERIFY(rig.startInstance());
    }

    // The session bus ends: the instance ends with it, cleanly, and a new
    // session starts from the files it left.
    void busGoesAway()
    {
        Row &r = row(u"session bus goes away"_s, u"instance ends cleanly, files whole; next start shows the line"_s);
        QVERIFY(ensureSignedIn());
        const Line good = goodRefresh();
        QVERIFY(good.ok());
        rig.stopBus();
        QVERIFY(rig.ended());
        r.seen = u"instance ended, exit status %1"_s.arg(rig.instance->exitCode());
        QCOMPARE(rig.instance->exitStatus(), QProcess::NormalExit);
        QCOMPARE(rig.instance->exitCode(), 0);
        QString why;
        QVERIFY2(filesWhole(&why), qPrintable(why));
        r.seen += u", files whole"_s;
        QVERIFY(rig.startBus());
        QVERIFY(rig.startInstance());
        const Line again = rig.settledLine();
        QVERIFY2(again.ok(), qPrintable(again.tooltip));
        QCOMPARE(again.text, serverLine());
        r.seen += u"; new session: line back"_s;
    }
};

QTEST_GUILESS_MAIN(TestFaultMatrix)
#include "tst_faultmatrix.moc"
