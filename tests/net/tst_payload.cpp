// The signed-in payload: snapshot path, direct call, the notFound fallback, cachedPayload.
#include "awaittask.h"
#include "scriptedserver.h"

#include "net/api.h"
#include "net/cookiejar.h"
#include "net/network.h"
#include "net/snapshotclient.h"
#include "platform/defaults.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
const QString snap = u"/api/snapshot/widget.line"_s;
const QString rpc = u"/api/native/rpc"_s;
const QByteArray line = R"j({"lines":["$1 (snap)"]})j";
const QByteArray direct = R"j({"data":{"lines":["$2 (rpc)"]}})j";
} // namespace

class TestPayload : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<ScriptedServer> m_server;
    QNetworkAccessManager *m_nam = nullptr;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<SnapshotClient> m_snapshots;
    std::unique_ptr<API> m_api;

    Payload payload(std::optional<QString> ws, std::optional<QString> active, const QString &accounts = u"a1,a2"_s)
    {
        return awaitTask(m_api->payload(m_server->url(), ws, active, u"today"_s, accounts, std::nullopt));
    }

private Q_SLOTS:
    void init()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
        m_server = std::make_unique<ScriptedServer>();
        m_nam = network::makeManager(new PersistentCookieJar(QString()), this);
        m_defaults = std::make_unique<Defaults>(m_dir.path() + u"/settings.ini"_s);
        m_snapshots = std::make_unique<SnapshotClient>(m_nam, m_defaults.get(), m_dir.path() + u"/snapshots"_s);
        m_api = std::make_unique<API>(m_nam, m_snapshots.get());
        m_snapshots->setScope(u"u1:w1"_s);
    }
    void cleanup()
    {
        m_api.reset();
        m_snapshots.reset();
        delete m_nam;
        m_server.reset();
    }

    void routes_data()
    {
        QTest::addColumn<std::optional<QString>>("ws");
        QTest::addColumn<std::optional<QString>>("active");
        QTest::addColumn<bool>("snapshotNotFound");
        QTest::addColumn<bool>("viaSnapshot");
        QTest::addColumn<QJsonObject>("args"); // of the rpc call, when there is one
        const QJsonObject base {{u"include"_s, u"dashboard"_s}, {u"timeframe"_s, u"today"_s}};
        QJsonObject other = base;
        other.insert(u"workspaceId"_s, u"w2"_s);
        QJsonObject fallbackWs = base;
        fallbackWs.insert(u"accounts"_s, u"a1,a2"_s);
        fallbackWs.insert(u"workspaceId"_s, u"w1"_s);
        QJsonObject fallbackNoWs = base;
        fallbackNoWs.insert(u"accounts"_s, u"a1,a2"_s);
        QTest::newRow("active workspace")
            << std::optional(u"w1"_s) << std::optional(u"w1"_s) << false << true << QJsonObject();
        QTest::newRow("no workspace named")
            << std::optional<QString>() << std::optional(u"w1"_s) << false << true << QJsonObject();
        QTest::newRow("other workspace: no accounts")
            << std::optional(u"w2"_s) << std::optional(u"w1"_s) << false << false << other;
        QTest::newRow("no active id") << std::optional(u"w2"_s) << std::optional<QString>() << false << false << other;
        QTest::newRow("fallback keeps accounts and workspace")
            << std::optional(u"w1"_s) << std::optional(u"w1"_s) << true << false << fallbackWs;
        QTest::newRow("fallback without workspace")
            << std::optional<QString>() << std::optional<QString>() << true << false << fallbackNoWs;
    }
    void routes()
    {
        QFETCH(std::optional<QString>, ws);
        QFETCH(std::optional<QString>, active);
        QFETCH(bool, snapshotNotFound);
        QFETCH(bool, viaSnapshot);
        QFETCH(QJsonObject, args);
        m_server->enqueue(snap,
            snapshotNotFound ? ScriptedResponse::json("{}"_ba, 404)
                             : ScriptedResponse::json("{\"version\":1,\"data\":" + line + "}"));
        m_server->enqueue(rpc, ScriptedResponse::json(direct));
        const Payload p = payload(ws, active);
        const bool snapshotAsked = viaSnapshot || snapshotNotFound;
        QCOMPARE(m_server->requests(snap).size(), snapshotAsked ? 1 : 0);
        if (viaSnapshot) {
            QCOMPARE(p.lines, QStringList {u"$1 (snap)"_s});
            QVERIFY(m_server->requests(rpc).isEmpty());
            const QJsonObject sent
                = QJsonDocument::fromJson(m_server->requests(snap).constFirst().queryValue(u"p"_s)->toUtf8()).object();
            QCOMPARE(sent.value("accounts"_L1).toString(), u"a1,a2"_s);
            QVERIFY(!sent.contains("workspaceId"_L1));
        } else {
            QCOMPARE(p.lines, QStringList {u"$2 (rpc)"_s});
            const QJsonObject body = m_server->requests(rpc).constFirst().json();
            QCOMPARE(body.value("op"_L1).toString(), u"widget.line"_s);
            QCOMPARE(body.value("args"_L1).toObject(), args);
        }
        if (!snapshotAsked)
            QVERIFY(!QFileInfo::exists(m_snapshots->directory()));
    }

    void snapshotErrorsOtherThanNotFoundReachTheCaller()
    {
        m_server->enqueue(snap, ScriptedResponse::json("{}"_ba, 500));
        try {
            payload(std::nullopt, std::nullopt);
            QFAIL("no error");
        } catch (const SnapshotError &e) {
            QCOMPARE(e.kind(), SnapshotError::Kind::Http);
            QCOMPARE(e.status(), 500);
        }
        QVERIFY(m_server->requests(rpc).isEmpty());
        // A snapshot document that is not a Payload is a decoding failure, not a
        // fallback, once a second answer in full (held bytes forgotten) is no better.
        for (int i = 0; i < 2; ++i)
            m_server->enqueue(snap, ScriptedResponse::json(R"({"version":1,"data":{"text":"x"}})"_ba));
        const qsizetype before = m_server->requests(snap).size();
        QVERIFY_THROWS_EXCEPTION(DecodingError, payload(std::nullopt, std::nullopt));
        QCOMPARE(m_server->requests(snap).size(), before + 2);
        QVERIFY(!m_server->requests(snap).constLast().queryValue(u"have"_s));
        QVERIFY(m_server->requests(rpc).isEmpty());
    }

    void cachedPayload()
    {
        QVERIFY(!awaitTask(m_api->cachedPayload(u"today"_s, u"a1,a2"_s, std::nullopt)));
        m_server->enqueue(snap, ScriptedResponse::json("{\"version\":1,\"data\":" + line + "}"));
        payload(std::nullopt, std::nullopt);
        const int requests = m_server->requests().size();
        const auto cached = awaitTask(m_api->cachedPayload(u"today"_s, u"a1,a2"_s, std::nullopt));
        QVERIFY(cached);
        QCOMPARE(cached->lines, QStringList {u"$1 (snap)"_s});
        QCOMPARE(m_server->requests().size(), requests);
        // Other arguments: nothing.
        QVERIFY(!awaitTask(m_api->cachedPayload(u"today"_s, QString(), std::nullopt)));
        QVERIFY(!awaitTask(m_api->cachedPayload(u"today"_s, u"a1,a2"_s, u""_s)));

        // A new process restores the scope from the defaults.
        m_api.reset();
        m_snapshots = std::make_unique<SnapshotClient>(m_nam, m_defaults.get(), m_dir.path() + u"/snapshots"_s);
        m_api = std::make_unique<API>(m_nam, m_snapshots.get());
        QVERIFY(awaitTask(m_api->cachedPayload(u"today"_s, u"a1,a2"_s, std::nullopt)));
    }

    void cachedPayloadThatNoLongerDecodes()
    {
        // Stored bytes that are valid JSON but not a Payload (asked twice).
        for (int i = 0; i < 2; ++i)
            m_server->enqueue(snap, ScriptedResponse::json(R"({"version":1,"data":{"text":"x"}})"_ba));
        QVERIFY_THROWS_EXCEPTION(DecodingError, payload(std::nullopt, std::nullopt));
        QVERIFY(m_snapshots->cached(u"widget.line"_s, API::params(u"today"_s, u"a1,a2"_s, std::nullopt)));
        QVERIFY(!awaitTask(m_api->cachedPayload(u"today"_s, u"a1,a2"_s, std::nullopt)));
    }

    void cachedPayloadWithoutScope()
    {
        m_snapshots->clear();
        QVERIFY(!awaitTask(m_api->cachedPayload(u"today"_s, u"a1,a2"_s, std::nullopt)));
        QVERIFY(m_server->requests().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPayload)
#include "tst_payload.moc"
