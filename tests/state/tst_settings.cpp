// The Store's persisted settings: defaults, nothing written at start, write
// through with the change notice first, wrong-typed values, the server base.
#include "storerig.h"
#include "testenv.h"

#include <QFile>
#include <QSettings>

using namespace Qt::StringLiterals;

class TestSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_xdg.isValid());
        useTemporaryXdg(m_xdg);
    }

    void defaultsAndNothingWritten()
    {
        Rig rig;
        rig.defaults->remove(Store::Keys::serverURL);
        QFile::remove(rig.defaults->fileName());
        Store &store = rig.startOnScriptedServer();
        QCOMPARE(rig.backend.count(u"me"_s), 1);
        QVERIFY(!store.restoring());
        QCOMPARE(store.serverURL(), Store::defaultServerOrigin().toString());
        QCOMPARE(store.embedLink(), QString());
        QCOMPARE(store.workspaceId(), QString());
        QCOMPARE(store.period(), u"today"_s);
        QCOMPARE(store.accountIds(), QString());
        QCOMPARE(store.platformIds(), QString());
        QCOMPARE(store.lineTemplate(), u"sales"_s);
        QCOMPARE(store.refreshMinutes(), 5);
        QCOMPARE(store.lineIndex(), 0);
        QCOMPARE(store.maxLength(), 40);
        QCOMPARE(store.showIcon(), true);
        QCOMPARE(store.effectiveTemplate(), std::optional<QString>(u"{spend} ({cac}/{sales}) {roas.1}x"_s));
        QVERIFY(!store.connected());
        QCOMPARE(store.title(), u"Quillmere"_s);
        // Reading every setting and a whole restore wrote nothing.
        QVERIFY(!QFile::exists(rig.defaults->fileName()));
    }

    void writeThrough_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("period") << Store::Keys::period << QVariant(u"last_7"_s);
        QTest::newRow("accountIds") << Store::Keys::accountIds << QVariant(u"a,b"_s);
        QTest::newRow("platformIds") << Store::Keys::platformIds << QVariant(u"meta"_s);
        QTest::newRow("lineTemplate") << Store::Keys::lineTemplate << QVariant(u"web"_s);
        QTest::newRow("refreshMinutes") << Store::Keys::refreshMinutes << QVariant(qint64(12));
        QTest::newRow("lineIndex") << Store::Keys::lineIndex << QVariant(qint64(-2));
        QTest::newRow("maxLength") << Store::Keys::maxLength << QVariant(qint64(15));
        QTest::newRow("showIcon") << Store::Keys::showIcon << QVariant(false);
        QTest::newRow("workspaceId") << Store::Keys::workspaceId << QVariant(u"w9"_s);
        QTest::newRow("embedLink") << Store::Keys::embedLink << QVariant(u"https://x.example/embed/k"_s);
    }
    void writeThrough()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        Rig rig;
        Store &store = rig.start();
        const QVariant before = store.property(key.toLatin1().constData());
        QVERIFY(before.isValid());

        QList<QVariant> seenAtNotice;
        int changes = 0;
        QObject::connect(&store, &Store::objectWillChange, &store,
            [&] { seenAtNotice.append(store.property(key.toLatin1().constData())); });
        QObject::connect(&store, &Store::changed, &store, [&] { ++changes; });
        QVERIFY(store.setProperty(key.toLatin1().constData(), value));

        // The notice came first, while the old value was still stored.
        QVERIFY(!seenAtNotice.isEmpty());
        QCOMPARE(seenAtNotice.first(), before);
        QVERIFY(changes >= 1);
        QCOMPARE(store.property(key.toLatin1().constData()), value);
        // Written through: another reader of the file sees it at once.
        QSettings file(rig.defaults->fileName(), QSettings::IniFormat);
        QCOMPARE(file.value(key).toString(), value.toString());
    }

    void serverURLWritesWithoutNotice()
    {
        Rig rig;
        Store &store = rig.start();
        int notices = 0;
        QObject::connect(&store, &Store::objectWillChange, &store, [&] { ++notices; });
        store.setServerURL(u"https://other.example"_s);
        QCOMPARE(notices, 0);
        QCOMPARE(
            Defaults(rig.defaults->fileName()).string(Store::Keys::serverURL, QString()), u"https://other.example"_s);
    }

    void readsEveryUse()
    {
        Rig rig;
        Store &store = rig.start();
        // A change made behind the Store's back (another process, a hand edit) counts at once.
        Defaults(rig.defaults->fileName()).setString(Store::Keys::accountIds, u",a,,b,"_s);
        QCOMPARE(store.selectedAccounts(), (QSet<QString> {u"a"_s, u"b"_s}));
        Defaults(rig.defaults->fileName()).setString(Store::Keys::lineTemplate, u"web"_s);
        QCOMPARE(store.effectiveTemplate(), std::nullopt);
        Defaults(rig.defaults->fileName()).setString(Store::Keys::lineTemplate, u"gone"_s);
        QCOMPARE(store.effectiveTemplate(), std::optional<QString>(u"{spend} ({cac}/{sales}) {roas.1}x"_s));
    }

    void wrongTypes_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("refreshMinutes text")
            << QByteArray("refreshMinutes=abc") << u"refreshMinutes"_s << QVariant(qint64(5));
        QTest::newRow("maxLength with unit") << QByteArray("maxLength=12px") << u"maxLength"_s << QVariant(qint64(40));
        QTest::newRow("lineIndex fraction") << QByteArray("lineIndex=1.5") << u"lineIndex"_s << QVariant(qint64(0));
        QTest::newRow("showIcon word") << QByteArray("showIcon=maybe") << u"showIcon"_s << QVariant(true);
        QTest::newRow("showIcon false") << QByteArray("showIcon=false") << u"showIcon"_s << QVariant(false);
        QTest::newRow("refreshMinutes number")
            << QByteArray("refreshMinutes=7") << u"refreshMinutes"_s << QVariant(qint64(7));
        QTest::newRow("list reads as its text")
            << QByteArray("accountIds=b, a") << u"accountIds"_s << QVariant(u"b,a"_s);
    }
    void wrongTypes()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, property);
        QFETCH(QVariant, expected);
        Rig rig;
        QFile file(rig.defaults->fileName());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General]\nserverURL=" + rig.backend.server.url().toEncoded() + "\n" + line + "\n");
        file.close();
        Store &store = rig.startOnScriptedServer();
        QCOMPARE(store.property(property.toLatin1().constData()), expected);
    }

    void corruptFile()
    {
        Rig rig;
        QFile file(rig.defaults->fileName());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray("\x00\xff[[[=\n=\n\xfe", 10));
        file.close();
        Store &store = rig.startOnScriptedServer();
        QCOMPARE(store.refreshMinutes(), 5);
        QCOMPARE(store.period(), u"today"_s);
    }

    void serverBase_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("base"); // empty: the default origin
        QTest::newRow("https origin") << u"https://q.example"_s << u"https://q.example"_s;
        QTest::newRow("http with port and path") << u"http://127.0.0.1:8080/x"_s << u"http://127.0.0.1:8080/x"_s;
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("file scheme") << u"file:///etc/passwd"_s << QString();
        QTest::newRow("ftp") << u"ftp://q.example"_s << QString();
        QTest::newRow("no scheme") << u"q.example"_s << QString();
        QTest::newRow("no host") << u"https:///path"_s << QString();
        QTest::newRow("garbage") << u"ht tp://%%"_s << QString();
    }
    void serverBase()
    {
        QFETCH(QString, setting);
        QFETCH(QString, base);
        Rig rig;
        Store &store = rig.start();
        store.setServerURL(setting);
        QCOMPARE(store.serverBase(), base.isEmpty() ? Store::defaultServerOrigin() : QUrl(base));
        // The demo override wins and is not written to the settings.
        store.overrideServer(QUrl(u"http://127.0.0.1:9"_s));
        QCOMPARE(store.serverBase(), QUrl(u"http://127.0.0.1:9"_s));
        QCOMPARE(store.serverURL(), setting);
    }

    void launchAtLogin()
    {
        Rig rig;
        Store &store = rig.start();
        int notices = 0;
        QObject::connect(&store, &Store::objectWillChange, &store, [&] { ++notices; });
        store.setLaunchAtLogin(true);
        QVERIFY(store.launchAtLogin());
        QVERIFY(!store.error());
        QVERIFY(notices >= 1);
        rig.login.failure = u"Cannot write /x/autostart/quillmere-menubar.desktop: Permission denied"_s;
        store.setLaunchAtLogin(false);
        QVERIFY(store.launchAtLogin()); // unchanged
        QCOMPARE(store.error(), rig.login.failure);
    }

    // A registration switched outside the program is noticed on the next
    // recheck, and only a real change notifies.
    void launchAtLoginRecheck()
    {
        Rig rig;
        Store &store = rig.start();
        QVERIFY(!store.launchAtLogin());
        int notices = 0;
        QObject::connect(&store, &Store::changed, &store, [&] { ++notices; });
        store.recheckLaunchAtLogin();
        QCOMPARE(notices, 0);
        rig.login.on = true; // written by someone else
        store.recheckLaunchAtLogin();
        QCOMPARE(notices, 1);
        QVERIFY(store.launchAtLogin());
        store.recheckLaunchAtLogin();
        QCOMPARE(notices, 1);
        rig.login.on = false;
        store.recheckLaunchAtLogin();
        QCOMPARE(notices, 2);
    }

    void selectedLists_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("none") << QString() << QStringList();
        QTest::newRow("stray commas") << u",b,,a,"_s << QStringList {u"a"_s, u"b"_s};
        QTest::newRow("duplicates") << u"m1,g1,m1"_s << QStringList {u"g1"_s, u"m1"_s};
    }
    void selectedLists()
    {
        QFETCH(QString, stored);
        QFETCH(QStringList, listed);
        Rig rig;
        Store &store = rig.start();
        store.setAccountIds(stored);
        store.setPlatformIds(stored);
        QCOMPARE(store.property("selectedAccounts").toStringList(), listed);
        QCOMPARE(store.property("selectedPlatforms").toStringList(), listed);
    }

private:
    QTemporaryDir m_xdg;
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
