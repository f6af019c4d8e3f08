// The keychain against the real Secret Service (run under scripts/with-session.sh).
#include "awaittask.h"

#include "net/keychain.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString account = u"embedPassword"_s;

// How many Secret Service items hold our service/account pair.
int itemCount()
{
    QDBusMessage call = QDBusMessage::createMethodCall(u"org.freedesktop.secrets"_s, u"/org/freedesktop/secrets"_s,
        u"org.freedesktop.Secret.Service"_s, u"SearchItems"_s);
    QMap<QString, QString> attributes {{u"server"_s, SecretServiceKeychain::service}, {u"user"_s, account}};
    call << QVariant::fromValue(attributes);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return -1;
    int count = 0;
    for (const QVariant &list : reply.arguments())
        count += qdbus_cast<QList<QDBusObjectPath>>(list).size();
    return count;
}

std::optional<QString> freshRead()
{
    SecretServiceKeychain other({account});
    awaitTask(other.ready());
    return other.get(account);
}

} // namespace

class TestKeychain : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qDBusRegisterMetaType<QMap<QString, QString>>();
        auto *bus = QDBusConnection::sessionBus().interface();
        if (!bus || !bus->isServiceRegistered(u"org.freedesktop.secrets"_s)) {
            // The project's test session always provides one: missing there is a failure.
            if (qEnvironmentVariableIsSet("QUILLMERE_IN_SESSION"))
                QFAIL("No Secret Service on the session bus of the test session");
            QSKIP("No Secret Service on the session bus; run under scripts/with-session.sh");
        }
    }

    void init()
    {
        SecretServiceKeychain k({account});
        awaitTask(k.ready());
        QVERIFY(k.serviceAnswered());
        k.set(account, std::nullopt);
        awaitTask(k.settled());
        QCOMPARE(itemCount(), 0);
    }

    void storesAndReplaces()
    {
        SecretServiceKeychain k({account});
        awaitTask(k.ready());
        QVERIFY(!k.get(account));
        k.set(account, u"first"_s);
        QCOMPARE(k.get(account), std::optional(u"first"_s)); // at once, from memory
        k.set(account, u"sec\u00f8nd"_s);
        QCOMPARE(k.get(account), std::optional(u"sec\u00f8nd"_s));
        awaitTask(k.settled());
        QCOMPARE(itemCount(), 1);
        QCOMPARE(freshRead(), std::optional(u"sec\u00f8nd"_s));
    }

    void emptyOrAbsentRemoves_data()
    {
        QTest::addColumn<std::optional<QString>>("value");
        QTest::newRow("empty") << std::optional(QString());
        QTest::newRow("absent") << std::optional<QString>();
    }
    void emptyOrAbsentRemoves()
    {
        QFETCH(std::optional<QString>, value);
        SecretServiceKeychain k({account});
        awaitTask(k.ready());
        k.set(account, u"pw"_s);
        awaitTask(k.settled());
        QCOMPARE(freshRead(), std::optional(u"pw"_s));
        k.set(account, value);
        QVERIFY(!k.get(account));
        awaitTask(k.settled());
        QCOMPARE(itemCount(), 0);
        QVERIFY(!freshRead());
    }

    void setWhileLoadingWins()
    {
        {
            SecretServiceKeychain k({account});
            k.set(account, u"old"_s);
            awaitTask(k.settled());
        }
        SecretServiceKeychain k({account}); // loading "old" now
        k.set(account, u"new"_s);
        awaitTask(k.ready());
        QCOMPARE(k.get(account), std::optional(u"new"_s));
        awaitTask(k.settled());
        QCOMPARE(freshRead(), std::optional(u"new"_s));
    }

    // The shared keychain, asked to stay in memory, never reaches the Secret
    // Service (this is the only use of the shared instance in this program).
    void sharedKeychainCanStayInMemory()
    {
        qputenv("QUILLMERE_KEYCHAIN", "memory");
        Keychain &shared = Keychain::shared();
        qunsetenv("QUILLMERE_KEYCHAIN");
        QVERIFY(!dynamic_cast<SecretServiceKeychain *>(&shared));
        awaitTask(shared.ready());
        shared.set(account, u"demo"_s);
        QCOMPARE(shared.get(account), std::optional(u"demo"_s));
        QCOMPARE(itemCount(), 0);
    }

    void memoryKeychain()
    {
        MemoryKeychain k;
        awaitTask(k.ready());
        QVERIFY(!k.get(account));
        k.set(account, u"x"_s);
        QCOMPARE(k.get(account), std::optional(u"x"_s));
        k.set(account, QString());
        QVERIFY(!k.get(account));
    }
};

QTEST_GUILESS_MAIN(TestKeychain)
#include "tst_keychain.moc"
