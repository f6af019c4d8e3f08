// The development server's data endpoints: remote procedures, snapshots,
// embed links with their password and rate limit, and fault injection. Every
// answer is decoded with the client's own strict records.

#include "demodata.h"
#include "devtest.h"
#include "model/records.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTest>

using namespace devtest;
using namespace Qt::StringLiterals;

namespace {

const QString northwindLink = u"embed/nw-7Hq2XbLk/widget"_s;
const QString harborLink = u"embed/hb-Rm4pT9sQ/widget"_s;

QJsonObject lineParams(const QString &timeframe, const QString &accounts = {}, std::optional<QString> tpl = {})
{
    QJsonObject p {{u"include"_s, u"dashboard"_s}, {u"timeframe"_s, timeframe}};
    if (!accounts.isEmpty())
        p.insert(u"accounts"_s, accounts);
    if (tpl)
        p.insert(u"template"_s, *tpl);
    return p;
}

int countRows(const QList<Payload::SourceRow> &rows, int depth, int *maxDepth, int *rest)
{
    int n = 0;
    for (const auto &r : rows) {
        ++n;
        *maxDepth = qMax(*maxDepth, depth);
        *rest += r.rest ? 1 : 0;
        if (r.children)
            n += countRows(*r.children, depth + 1, maxDepth, rest);
    }
    return n;
}

} // namespace

class TestDevApi : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void workspacesAndAccounts()
    {
        Rig rig;
        Client app(rig.base());
        QCOMPARE(signIn(app, rig.base(), u"usr_ada"_s).status, 200);
        const Answer ws = app.rpc(u"workspaces.list"_s);
        QCOMPARE(ws.status, 200);
        const WorkspaceList list = decodeJson<ApiEnvelope<WorkspaceList>>(ws.body).data;
        QCOMPARE(list.workspaces.size(), 2);
        QCOMPARE(list.currentWorkspaceId, std::optional(u"ws_northwind"_s));
        QCOMPARE(list.workspaces.at(1).workspaceId, u"ws_harbor"_s);

        const Answer acc = app.rpc(u"widget.accounts"_s);
        const QList<AdAccount> accounts = decodeJson<ApiEnvelope<AdAccountList>>(acc.body).data.accounts;
        QSet<QString> platforms;
        for (const AdAccount &a : accounts)
            platforms.insert(a.platform);
        QVERIFY(platforms.size() >= 4);
        // The workspace argument picks another workspace's accounts.
        const Answer other = app.rpc(u"widget.accounts"_s, {{u"workspaceId"_s, u"ws_harbor"_s}});
        const auto harbor = decodeJson<ApiEnvelope<AdAccountList>>(other.body).data.accounts;
        QVERIFY(!harbor.isEmpty());
        QVERIFY(harbor.first().id != accounts.first().id);
    }

    // Every date range, with and without the dashboard, in every workspace of
    // both users, decodes as the client's Payload.
    void payloadsDecode()
    {
        Rig rig;
        for (const QString &userId : {u"usr_ada"_s, u"usr_ben"_s}) {
            Client app(rig.base());
            QCOMPARE(signIn(app, rig.base(), userId).status, 200);
            const auto *user = rig.server->data().user(userId);
            for (const QString &ws : user->workspaceIds) {
                for (const devserver::Period &period : devserver::periods()) {
                    for (bool dashboard : {false, true}) {
                        QJsonObject args {{u"timeframe"_s, period.key}, {u"workspaceId"_s, ws}};
                        if (dashboard)
                            args.insert(u"include"_s, u"dashboard"_s);
                        const Answer a = app.rpc(u"widget.line"_s, args);
                        QCOMPARE(a.status, 200);
                        Payload p;
                        try {
                            p = decodeJson<ApiEnvelope<Payload>>(a.body).data;
                        } catch (const DecodingError &e) {
                            QFAIL(qPrintable(e.message()));
                        }
                        QVERIFY(!p.lines.isEmpty());
                        QCOMPARE(p.dashboard.has_value(), dashboard);
                        if (!dashboard)
                            continue;
                        QCOMPARE(p.dashboard->timeframeKey, std::optional(period.key));
                        QCOMPARE(p.dashboard->timeframe, period.label);
                        QCOMPARE(p.dashboard->timeframes->size(), 7);
                        QCOMPARE(p.dashboard->workspaceName, rig.server->data().workspace(ws)->name);
                        if (p.dashboard->sources) {
                            int depth = 0, rest = 0;
                            countRows(p.dashboard->sources->rows, 0, &depth, &rest);
                            QCOMPARE(p.dashboard->sources->totals.size(), p.dashboard->sources->columns.size());
                            if (period.key != "today"_L1) {
                                QCOMPARE(depth, 2); // three levels
                                QVERIFY(rest > 0);
                            }
                        }
                    }
                }
            }
        }
    }

    void linesFollowTemplateAndAccounts()
    {
        Rig rig;
        Client app(rig.base());
        QCOMPARE(signIn(app, rig.base(), u"usr_ada"_s).status, 200);
        auto line = [&](const QJsonObject &args) {
            return decodeJson<ApiEnvelope<Payload>>(app.rpc(u"widget.line"_s, args).body).data;
        };
        const Payload own = line({{u"timeframe"_s, u"last_7"_s}});
        const Payload sent
            = line({{u"timeframe"_s, u"last_7"_s}, {u"template"_s, u"{spend} ({cac}/{sales}) {roas.1}x"_s}});
        // Northwind's own template is the "sales" preset.
        QCOMPARE(own.lines.first(), sent.lines.first());
        QVERIFY(sent.lines.first().contains(u"x"_s));
        const Payload lit = line({{u"timeframe"_s, u"last_7"_s}, {u"template"_s, u"spend={spend}"_s}});
        QVERIFY(lit.lines.first().startsWith(u"spend=$"_s));
        QCOMPARE(lit.text, std::optional(lit.lines.first()));
        // One line per platform follows the total.
        QVERIFY(own.lines.size() > 2);

        // The account filter narrows the rows and the figures.
        const Payload all = line({{u"timeframe"_s, u"last_30"_s}, {u"include"_s, u"dashboard"_s}});
        const Payload one
            = line({{u"timeframe"_s, u"last_30"_s}, {u"include"_s, u"dashboard"_s}, {u"accounts"_s, u"tt_7712"_s}});
        QVERIFY(one.dashboard->rows.size() < all.dashboard->rows.size());
        QVERIFY(one.dashboard->rows.size() > 0);
        QVERIFY(one.lines.first() != all.lines.first());
        QCOMPARE(one.lines.size(), 1);
    }

    void rpcArguments_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("key"); // which member carries the text
        QTest::newRow("not JSON") << QByteArray("op=workspaces.list") << 400 << u"message"_s;
        QTest::newRow("array body") << QByteArray("[]") << 400 << u"message"_s;
        QTest::newRow("op missing") << QByteArray(R"({"args":{}})") << 400 << u"message"_s;
        QTest::newRow("op not a string") << QByteArray(R"({"op":5,"args":{}})") << 400 << u"message"_s;
        QTest::newRow("args not an object") << QByteArray(R"({"op":"widget.line","args":[]})") << 400 << u"message"_s;
        QTest::newRow("argument not a string")
            << QByteArray(R"({"op":"widget.line","args":{"timeframe":7}})") << 400 << u"message"_s;
        QTest::newRow("unknown op") << QByteArray(R"({"op":"widget.nope","args":{}})") << 400 << u"error"_s;
        QTest::newRow("unknown date range")
            << QByteArray(R"({"op":"widget.line","args":{"timeframe":"forever"}})") << 400 << u"message"_s;
        QTest::newRow("foreign workspace")
            << QByteArray(R"({"op":"widget.line","args":{"timeframe":"today","workspaceId":"ws_lumen"}})") << 403
            << u"message"_s;
        QTest::newRow("unknown workspace")
            << QByteArray(R"({"op":"widget.accounts","args":{"workspaceId":"ws_x"}})") << 403 << u"message"_s;
        QTest::newRow("args may be left out") << QByteArray(R"({"op":"workspaces.list"})") << 200 << QString();
    }
    void rpcArguments()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(QString, key);
        Rig rig;
        Client app(rig.base());
        QCOMPARE(app.post(u"api/native/rpc"_s, body).status, 401); // no session first
        QCOMPARE(signIn(app, rig.base(), u"usr_ada"_s).status, 200);
        const Answer a = app.post(u"api/native/rpc"_s, body);
        QCOMPARE(a.status, status);
        if (!key.isEmpty())
            QVERIFY2(!a.json().value(key).toString().isEmpty(), a.body.constData());
    }

    void snapshots()
    {
        devserver::ServerOptions options;
        options.tickMs = 20'000;
        options.faults = true;
        Rig rig(options);
        Client app(rig.base());
        QCOMPARE(app.snapshot(lineParams(u"today"_s)).status, 401);
        QCOMPARE(signIn(app, rig.base(), u"usr_ada"_s).status, 200);
        QCOMPARE(app.snapshot(lineParams(u"today"_s), std::nullopt, u"widget.other"_s).status, 404);
        QCOMPARE(app.get(u"api/snapshot/widget.line"_s, QUrlQuery(u"p=notjson"_s)).status, 400);

        const QJsonObject params = lineParams(u"last_7"_s);
        const Answer first = app.snapshot(params);
        QCOMPARE(first.status, 200);
        const QJsonObject full = first.json();
        QVERIFY(full.value(u"version"_s).isDouble());
        QCOMPARE(full.value(u"build"_s).toString(), rig.server->buildId());
        QVERIFY(full.value(u"computedAt"_s).toDouble() > 1e9);
        QVERIFY(!full.contains(u"kind"_s));
        const qint64 v1 = full.value(u"version"_s).toInteger();
        (void)decodeJson<Payload>(QJsonDocument(full.value(u"data"_s).toObject()).toJson());

        // Unchanged: 304 with no body.
        const Answer same = app.snapshot(params, v1);
        QCOMPARE(same.status, 304);
        QVERIFY(same.body.isEmpty());
        // Other parameters are another snapshot with versions of their own.
        const qint64 other = app.snapshot(lineParams(u"yesterday"_s)).json().value(u"version"_s).toInteger();
        QVERIFY(other != v1);
        QCOMPARE(app.snapshot(params, other).status, 200);

        // The data moves: a delta against the held version.
        QCOMPARE(app.postJson(u"_dev/advance"_s, QJsonObject {{u"ticks"_s, 3}}).status, 200);
        const Answer changed = app.snapshot(params, v1);
        QCOMPARE(changed.status, 200);
        const QJsonObject delta = changed.json();
        QCOMPARE(delta.value(u"kind"_s).toString(), u"delta"_s);
        QCOMPARE(delta.value(u"baseVersion"_s).toInteger(), v1);
        QVERIFY(delta.value(u"version"_s).toInteger() > v1);
        QVERIFY(delta.value(u"patch"_s).toArray().size() > 0);
        const Answer now = app.snapshot(params);
        QCOMPARE(now.json().value(u"version"_s), delta.value(u"version"_s));

        // A version the server never made, or no longer holds: the full document.
        const Answer unknown = app.snapshot(params, 12345);
        QCOMPARE(unknown.status, 200);
        QVERIFY(unknown.json().contains(u"data"_s));

        // A new build forgets the held versions.
        const QString build = app.postJson(u"_dev/build"_s, {}).json().value(u"build"_s).toString();
        QVERIFY(!build.isEmpty() && build != full.value(u"build"_s).toString());
        const Answer rebuilt = app.snapshot(params, now.json().value(u"version"_s).toInteger());
        QCOMPARE(rebuilt.status, 200);
        QCOMPARE(rebuilt.json().value(u"build"_s).toString(), build);
        QVERIFY(rebuilt.json().contains(u"data"_s));

        // Versions are per user: another user of the same workspace set never
        // gets this user's version as current.
        Client ben(rig.base());
        QCOMPARE(signIn(ben, rig.base(), u"usr_ben"_s).status, 200);
        const Answer bens = ben.snapshot(params, rebuilt.json().value(u"version"_s).toInteger());
        QCOMPARE(bens.status, 200);
        QCOMPARE(bens.json().value(u"data"_s).toObject().value(u"dashboard"_s).toObject().value(u"workspaceName"_s),
            QJsonValue(u"Lumen Coffee Co."_s));
    }

    void embedLinks()
    {
        Rig rig;
        Client viewer(rig.base());
        QUrlQuery dash;
        dash.addQueryItem(u"include"_s, u"dashboard"_s);
        dash.addQueryItem(u"timeframe"_s, u"today"_s);
        dash.addQueryItem(u"dashboardTimeframe"_s, u"last_14"_s);
        const Answer open = viewer.get(northwindLink, dash);
        QCOMPARE(open.status, 200);
        const Payload p = decodeJson<Payload>(open.body);
        QCOMPARE(p.dashboard->timeframeKey, std::optional(u"last_14"_s));
        QVERIFY(p.dashboard->sources.has_value());

        const Answer accounts = viewer.get(northwindLink, QUrlQuery(u"include=accounts"_s));
        QCOMPARE(decodeJson<AdAccountList>(accounts.body).accounts.size(), 4);

        const Answer none = viewer.get(harborLink, dash);
        QCOMPARE(none.status, 401);
        QCOMPARE(none.json().value(u"message"_s).toString(), u"This dashboard link needs a password."_s);
        const Answer wrong = viewer.get(harborLink, dash, {{"X-Embed-Password", "harbor-smilE"}});
        QCOMPARE(wrong.status, 401);
        QCOMPARE(wrong.json().value(u"message"_s).toString(), u"Wrong password for this dashboard link."_s);
        const Answer right = viewer.get(harborLink, dash, {{"X-Embed-Password", "harbor-smile"}});
        QCOMPARE(right.status, 200);
        QCOMPARE(decodeJson<Payload>(right.body).dashboard->workspaceName, u"Harbor Dental Group"_s);

        QCOMPARE(viewer.get(u"embed/nope/widget"_s, dash).status, 404);
        QCOMPARE(viewer.get(u"embed/nw-7Hq2XbLk/other"_s).status, 404);
        QCOMPARE(viewer.get(northwindLink, QUrlQuery(u"include=dashboard&timeframe=someday"_s)).status, 400);

        const Answer page = viewer.get(u"embed/nw-7Hq2XbLk"_s);
        QCOMPARE(page.status, 200);
        QVERIFY(page.body.contains("Northwind Outfitters"));
        QVERIFY(viewer.get(u"embed/hb-Rm4pT9sQ"_s).body.contains("type=\"password\""));
        QVERIFY(viewer.get(u"dashboard"_s).status == 200);
    }

    void embedRateLimit()
    {
        devserver::ServerOptions options;
        options.embedRequestsPerMinute = 5;
        Rig rig(options);
        Client viewer(rig.base());
        for (int i = 0; i < 5; ++i)
            QCOMPARE(viewer.get(harborLink, QUrlQuery(u"include=accounts"_s), {{"X-Embed-Password", "x"}}).status, 401);
        const Answer limited
            = viewer.get(harborLink, QUrlQuery(u"include=accounts"_s), {{"X-Embed-Password", "harbor-smile"}});
        QCOMPARE(limited.status, 429);
        QVERIFY(!limited.json().value(u"message"_s).toString().isEmpty());
        QVERIFY(limited.header("Retry-After").toInt() > 0);
        // The limit is per link.
        QCOMPARE(viewer.get(northwindLink, QUrlQuery(u"include=accounts"_s)).status, 200);
        rig.clock.advance(59'000);
        QCOMPARE(viewer.get(harborLink, QUrlQuery(u"include=accounts"_s)).status, 429);
        rig.clock.advance(2'000);
        QCOMPARE(
            viewer.get(harborLink, QUrlQuery(u"include=accounts"_s), {{"X-Embed-Password", "harbor-smile"}}).status,
            200);
    }

    void faults_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("status") << u"status"_s;
        QTest::newRow("status with message") << u"message"_s;
        QTest::newRow("malformed") << u"malformed"_s;
        QTest::newRow("truncate") << u"truncate"_s;
        QTest::newRow("slow") << u"slow"_s;
        QTest::newRow("hang") << u"hang"_s;
    }
    void faults()
    {
        QFETCH(QString, mode);
        devserver::ServerOptions options;
        options.faults = true;
        Rig rig(options);
        Client app(rig.base());
        QCOMPARE(signIn(app, rig.base(), u"usr_ada"_s).status, 200);
        QJsonObject spec {{u"route"_s, u"rpc:workspaces.list"_s}, {u"count"_s, 2}, {u"mode"_s, mode}};
        if (mode == "status"_L1)
            spec.insert(u"status"_s, 503);
        if (mode == "message"_L1)
            spec = QJsonObject {{u"route"_s, u"rpc"_s}, {u"count"_s, 2}, {u"status"_s, 502}, {u"message"_s, u"Down"_s}};
        if (mode == "slow"_L1)
            spec.insert(u"ms"_s, 600);
        QCOMPARE(app.postJson(u"_dev/faults"_s, spec).status, 200);
        // Other routes and operations are not touched.
        QCOMPARE(app.rpc(u"widget.accounts"_s).status, mode == "message"_L1 ? 502 : 200);
        for (int i = 0; i < (mode == "message"_L1 ? 1 : 2); ++i) {
            QElapsedTimer timer;
            timer.start();
            if (mode == "hang"_L1) {
                QNetworkRequest req(QUrl(rig.base().toString() + u"/api/native/rpc"_s));
                req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
                req.setTransferTimeout(700);
                QNetworkReply *reply = app.nam().post(req, QByteArray(R"({"op":"workspaces.list","args":{}})"));
                QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 5000);
                QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 0);
                QVERIFY(reply->error() != QNetworkReply::NoError);
                QVERIFY(timer.elapsed() >= 600);
                reply->deleteLater();
                continue;
            }
            const Answer a2 = app.rpc(u"workspaces.list"_s);
            if (mode == "status"_L1) {
                QCOMPARE(a2.status, 503);
                QVERIFY(a2.body.isEmpty());
            } else if (mode == "message"_L1) {
                QCOMPARE(a2.status, 502);
                QCOMPARE(a2.json().value(u"message"_s).toString(), u"Down"_s);
            } else if (mode == "malformed"_L1) {
                QCOMPARE(a2.status, 200);
                QVERIFY_THROWS_EXCEPTION(DecodingError, decodeJson<ApiEnvelope<WorkspaceList>>(a2.body));
            } else if (mode == "truncate"_L1) {
                QVERIFY(a2.error != QNetworkReply::NoError);
            } else if (mode == "slow"_L1) {
                QCOMPARE(a2.status, 200);
                QVERIFY(timer.elapsed() >= 500);
                (void)decodeJson<ApiEnvelope<WorkspaceList>>(a2.body);
            }
        }
        // Used up: the next answer is the real one again.
        const Answer after = app.rpc(u"workspaces.list"_s);
        QCOMPARE(after.status, 200);
        QCOMPARE(decodeJson<ApiEnvelope<WorkspaceList>>(after.body).data.workspaces.size(), 2);
    }

    // The faults that spoil answers the way a hostile or broken server
    // would: a body over the client's limit, a refusal with Retry-After, and
    // deltas on the client's own version whose patch must not be applied.
    void hostileFaults()
    {
        devserver::ServerOptions options;
        options.faults = true;
        Rig rig(options);
        Client app(rig.base());
        QCOMPARE(signIn(app, rig.base(), u"usr_ada"_s).status, 200);

        QCOMPARE(app.postJson(u"_dev/faults"_s, {{u"route"_s, u"rpc"_s}, {u"mode"_s, u"oversize"_s}, {u"bytes"_s, 1e6}})
                     .status,
            200);
        const Answer big = app.rpc(u"workspaces.list"_s);
        QCOMPARE(big.status, 200);
        QCOMPARE(big.body.size(), 1'000'000);
        QCOMPARE(big.json().value(u"data"_s).toObject().value(u"workspaces"_s).toArray().size(), 2);

        QCOMPARE(
            app.postJson(u"_dev/faults"_s, {{u"route"_s, u"rpc"_s}, {u"status"_s, 429}, {u"retryAfter"_s, 7}}).status,
            200);
        const Answer limited = app.rpc(u"workspaces.list"_s);
        QCOMPARE(limited.status, 429);
        QCOMPARE(limited.header("Retry-After"), QByteArray("7"));

        const QJsonObject params {{u"timeframe"_s, u"today"_s}};
        const qint64 have = app.snapshot(params).json().value(u"version"_s).toInteger();
        QVERIFY(have > 0);
        for (const QString &kind : {u"operations"_s, u"depth"_s, u"growth"_s}) {
            QCOMPARE(app.postJson(u"_dev/faults"_s,
                            {{u"route"_s, u"snapshot"_s}, {u"mode"_s, u"patch"_s}, {u"patch"_s, kind}})
                         .status,
                200);
            const QJsonObject delta = app.snapshot(params, have).json();
            QCOMPARE(delta.value(u"kind"_s).toString(), u"delta"_s);
            QCOMPARE(delta.value(u"baseVersion"_s).toInteger(), have);
            QVERIFY(delta.value(u"version"_s).toInteger() >= have);
            const QJsonArray patch = delta.value(u"patch"_s).toArray();
            const QJsonArray path = patch.first().toObject().value(u"p"_s).toArray();
            if (kind == "operations"_L1)
                QCOMPARE(patch.size(), 10'001);
            else if (kind == "depth"_L1)
                QCOMPARE(path.size(), 10'000);
            else // beyond the end of an array the document has
                QVERIFY(path.at(1).toDouble() > 1e9
                    && app.snapshot(params).json().value(u"data"_s).toObject().value(path.at(0).toString()).isArray());
        }
        // Without a held version there is nothing to patch: the real answer.
        QCOMPARE(app.postJson(u"_dev/faults"_s, {{u"route"_s, u"snapshot"_s}, {u"mode"_s, u"patch"_s}}).status, 200);
        QVERIFY(app.snapshot(params).json().value(u"data"_s).isObject());
        QCOMPARE(app.postJson(u"_dev/faults"_s, {{u"route"_s, u"rpc"_s}, {u"patch"_s, u"explode"_s}}).status, 400);
    }

    void controlOnlyWithFaults()
    {
        Rig rig; // started without fault injection
        Client app(rig.base());
        QCOMPARE(app.postJson(u"_dev/faults"_s, QJsonObject {{u"route"_s, u"*"_s}}).status, 404);
        QCOMPARE(app.postJson(u"_dev/expire-sessions"_s, {}).status, 404);
        QCOMPARE(app.get(u"_dev/state"_s).status, 404);

        devserver::ServerOptions options;
        options.faults = true;
        Rig on(options);
        Client c(on.base());
        QCOMPARE(
            c.postJson(u"_dev/faults"_s, QJsonObject {{u"route"_s, u"rpc"_s}, {u"mode"_s, u"explode"_s}}).status, 400);
        QCOMPARE(c.postJson(u"_dev/faults"_s, QJsonObject {{u"route"_s, u"rpc"_s}, {u"count"_s, 0}}).status, 400);
        QCOMPARE(c.postJson(u"_dev/faults"_s, QJsonObject {{u"mode"_s, u"hang"_s}}).status, 400);
        QCOMPARE(c.get(u"_dev/state"_s).json().value(u"faults"_s).toArray().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDevApi)
#include "tst_devapi.moc"
