// Secrets stay where they belong: after a connect with an embed-link password
// and a browser sign-in, neither the password nor the session cookie's value
// is in any file the program wrote (configuration, data, cache, autostart)
// nor in its command line or environment; only the cookie file holds the
// cookie, readable by its owner alone. Runs on the test session's bus, where
// gnome-keyring serves as Secret Service.

#include "e2erig.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;
using namespace e2e;

class TestSecrets : public QObject {
    Q_OBJECT

    Rig rig;

    // The instance and every process below it.
    static QList<qint64> processTree(qint64 pid)
    {
        QList<qint64> pids {pid};
        for (qsizetype i = 0; i < pids.size(); ++i)
            for (const QString &task :
                QDir(u"/proc/%1/task"_s.arg(pids.at(i))).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                QFile children(u"/proc/%1/task/%2/children"_s.arg(pids.at(i)).arg(task));
                if (children.open(QIODevice::ReadOnly))
                    for (const QByteArray &child : children.readAll().split(' '))
                        if (!child.trimmed().isEmpty())
                            pids << child.trimmed().toLongLong();
            }
        return pids;
    }

private Q_SLOTS:
    void passwordAndCookieStayPut()
    {
        QVERIFY(QFile::exists(binary));
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus; run under scripts/with-session.sh");
        QVERIFY2(!rig.instanceRuns(), "an instance runs on this bus already; use a private bus");
        const bool keyring
            = QDBusConnection::sessionBus().interface()->isServiceRegistered(u"org.freedesktop.secrets"_s);
        qInfo("Secret Service on the bus: %s", keyring ? "yes" : "no (the password stays in memory)");

        rig.setHome(u"secrets"_s);
        QVERIFY(rig.startServer());
        QVERIFY(rig.startInstance());
        const QByteArray password = harborPassword.toUtf8();
        const Launch connect
            = rig.run({u"--connect"_s, rig.url(u"embed/"_s + harbor), u"--password-stdin"_s}, password + '\n');
        QVERIFY2(connect.exitCode == 0, connect.err.constData());
        QVERIFY(rig.settledLine().ok());
        // Both modes' files exist: settings and the link's state, then the
        // sign-in's cookie and snapshot.
        QVERIFY(rig.signIn());
        QVERIFY(rig.settledLine().ok());
        QVERIFY(!rig.snapshotFiles().isEmpty());

        // The session cookie's value, and proof that it is the live session.
        QFile cookieFile(rig.cookieFile());
        QVERIFY(cookieFile.open(QIODevice::ReadOnly));
        const QByteArray cookieLine = cookieFile.readAll();
        const QByteArray value = QRegularExpression(u"quillmere_session=([^;\\s]+)"_s)
                                     .match(QString::fromLatin1(cookieLine))
                                     .captured(1)
                                     .toLatin1();
        QVERIFY2(value.size() >= 16, cookieLine.constData());
        QCOMPARE(rig.http("GET", u"api/auth/me"_s, {}, {}, {{"Cookie", "quillmere_session=" + value}}).status, 200);
        QCOMPARE(modeOf(rig.cookieFile()), 0600);
        QCOMPARE(modeOf(QFileInfo(rig.cookieFile()).absolutePath()), 0700);

        // Every file the program wrote under its folders.
        const QStringList files = rig.filesUnder(rig.home);
        QVERIFY(files.contains(rig.settingsFile()));
        for (const QString &file : files) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QByteArray bytes = f.readAll();
            // The snapshot files keep their documents in Base64: search those too.
            const QJsonValue data = QJsonDocument::fromJson(bytes).object().value("data"_L1);
            if (data.isString())
                bytes += QByteArray::fromBase64(data.toString().toLatin1());
            QVERIFY2(!bytes.contains(password), qPrintable(u"the password is in "_s + file));
            QVERIFY2(file == rig.cookieFile() || !bytes.contains(value), qPrintable(u"the cookie is in "_s + file));
        }
        qInfo("%lld files searched", qlonglong(files.size()));

        // The command lines and environments of the instance and its children.
        const QList<qint64> pids = processTree(rig.instance->processId());
        for (const qint64 pid : pids)
            for (const char *what : {"cmdline", "environ"}) {
                QFile f(u"/proc/%1/%2"_s.arg(pid).arg(QLatin1StringView(what)));
                if (!f.open(QIODevice::ReadOnly))
                    continue;
                const QByteArray bytes = f.readAll();
                QVERIFY2(!bytes.contains(password) && !bytes.contains(value),
                    qPrintable(u"a secret in /proc/%1/%2"_s.arg(pid).arg(QLatin1StringView(what))));
            }
        // Leave the session's keyring as it was.
        QCOMPARE(rig.run({u"--disconnect"_s}).exitCode, 0);
        QVERIFY(rig.stopInstance());
    }
};

QTEST_GUILESS_MAIN(TestSecrets)
#include "tst_secrets.moc"
