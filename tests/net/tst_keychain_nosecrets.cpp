// The keychain where no Secret Service answers: a private session bus without
// one (and without service activation). The secret must stay in memory only.
#include "awaittask.h"

#include "net/keychain.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestKeychainNoSecrets : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;
    QProcess m_bus;

    QStringList filesUnderHome() const
    {
        QStringList files;
        QDirIterator it(
            m_home.path() + u"/home"_s, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
        return files;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Before anything touches D-Bus: our own HOME/XDG tree and bus.
        const QString home = m_home.path() + u"/home"_s;
        QDir().mkpath(home);
        qputenv("HOME", home.toUtf8());
        qputenv("XDG_CONFIG_HOME", (home + u"/.config"_s).toUtf8());
        qputenv("XDG_DATA_HOME", (home + u"/.local/share"_s).toUtf8());
        qputenv("XDG_CACHE_HOME", (home + u"/.cache"_s).toUtf8());
        qunsetenv("GNOME_KEYRING_CONTROL");

        const QString config = m_home.path() + u"/bus.conf"_s;
        QFile f(config);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig><type>session</type><listen>unix:dir="
            + m_home.path().toUtf8()
            + "</listen><auth>EXTERNAL</auth>"
              "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
              "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        f.close();
        m_bus.start(u"dbus-daemon"_s, {u"--config-file="_s + config, u"--print-address"_s, u"--nofork"_s});
        if (!m_bus.waitForStarted(5000))
            QSKIP("dbus-daemon is not available");
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.canReadLine(), 5000);
        const QByteArray address = m_bus.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    }

    void cleanupTestCase()
    {
        m_bus.terminate();
        m_bus.waitForFinished(2000);
    }

    void memoryOnly()
    {
        const QString account = u"embedPassword"_s;
        SecretServiceKeychain k({account});
        awaitTask(k.ready());
        QVERIFY(!k.serviceAnswered());
        QVERIFY(!k.get(account));

        k.set(account, u"hunter2"_s);
        QCOMPARE(k.get(account), std::optional(u"hunter2"_s));
        awaitTask(k.settled());
        QCOMPARE(k.get(account), std::optional(u"hunter2"_s)); // the failed write keeps memory

        // Nothing of it anywhere on disk, and a second instance has nothing.
        SecretServiceKeychain other({account});
        awaitTask(other.ready());
        QVERIFY(!other.get(account));
        QCOMPARE(filesUnderHome(), QStringList());

        k.set(account, std::nullopt);
        QVERIFY(!k.get(account));
        awaitTask(k.settled());
    }
};

QTEST_GUILESS_MAIN(TestKeychainNoSecrets)
#include "tst_keychain_nosecrets.moc"
