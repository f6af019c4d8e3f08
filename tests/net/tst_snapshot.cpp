// The snapshot cache against the scripted server: revalidation, patches, files and bounds.
#include "awaittask.h"
#include "scriptedserver.h"
#include "testenv.h"

#include "net/apierror.h"
#include "net/cookiejar.h"
#include "net/network.h"
#include "net/snapshotclient.h"
#include "platform/defaults.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QString snap = u"/api/snapshot/widget.line"_s;
const QString name = u"widget.line"_s;

QJsonValue parse(const QByteArray &json)
{
    const QJsonDocument d = QJsonDocument::fromJson("[" + json + "]");
    Q_ASSERT(d.isArray());
    return d.array().at(0);
}

QByteArray text(const QJsonValue &v)
{
    return QJsonDocument(QJsonArray {v}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
}

ScriptedResponse full(qint64 version, const QByteArray &data, const QByteArray &build = "b1")
{
    return ScriptedResponse::json("{\"version\":" + QByteArray::number(version) + ",\"build\":\"" + build
        + "\",\"computedAt\":1.5,\"data\":" + data + "}");
}

ScriptedResponse delta(qint64 base, qint64 version, const QByteArray &patch)
{
    return ScriptedResponse::json("{\"kind\":\"delta\",\"baseVersion\":" + QByteArray::number(base)
        + ",\"version\":" + QByteArray::number(version) + ",\"build\":\"b1\",\"patch\":" + patch + "}");
}

} // namespace

class TestSnapshot : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<ScriptedServer> m_server;
    QNetworkAccessManager *m_nam = nullptr;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<SnapshotClient> m_client;

    QString dir() const { return m_dir.path() + u"/snapshots"_s; }
    void makeClient() { m_client = std::make_unique<SnapshotClient>(m_nam, m_defaults.get(), dir()); }
    QByteArray revalidate(const QJsonObject &params = {})
    {
        return awaitTask(m_client->revalidate(m_server->url(), name, params));
    }

private Q_SLOTS:
    void init()
    {
        network::limits() = network::Limits {};
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
        m_server = std::make_unique<ScriptedServer>();
        m_nam = network::makeManager(new PersistentCookieJar(QString()), this);
        m_defaults = std::make_unique<Defaults>(m_dir.path() + u"/settings.ini"_s);
        makeClient();
        m_client->setScope(u"u1:w7"_s);
    }
    void cleanup()
    {
        m_client.reset();
        delete m_nam;
        m_server.reset();
    }

    // Patches

    void patches_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<QByteArray>("patch");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("pad array") << R"({"rows":[1,2]})"_ba
                                   << R"([{"p":["rows",4],"v":9}])"_ba
                                   << R"({"rows":[1,2,null,null,9]})"_ba;
        QTest::newRow("array delete is a no-op") << R"({"rows":[1,2]})"_ba
                                                 << R"([{"p":["rows",0],"d":1}])"_ba
                                                 << R"({"rows":[1,2]})"_ba;
        QTest::newRow("missing containers are objects") << "{}"_ba
                                                        << R"([{"p":["a",0,"b"],"v":true}])"_ba
                                                        << R"({"a":{"0":{"b":true}}})"_ba;
        QTest::newRow("string head replaces array") << R"({"a":[1]})"_ba
                                                    << R"([{"p":["a","x"],"v":2}])"_ba
                                                    << R"({"a":{"x":2}})"_ba;
        QTest::newRow("no v sets null") << R"({"a":1})"_ba
                                        << R"([{"p":["a"]}])"_ba
                                        << R"({"a":null})"_ba;
        QTest::newRow("d=1 removes") << R"({"a":1,"b":2})"_ba
                                     << R"([{"p":["a"],"d":1}])"_ba
                                     << R"({"b":2})"_ba;
        QTest::newRow("d other than 1 sets") << R"({"a":1})"_ba
                                             << R"([{"p":["a"],"d":true,"v":3}])"_ba
                                             << R"({"a":3})"_ba;
        QTest::newRow("empty path replaces") << R"({"a":1})"_ba
                                             << R"([{"p":[],"v":[1]}])"_ba
                                             << "[1]"_ba;
        QTest::newRow("empty path without v gives null") << R"({"a":1})"_ba
                                                         << R"([{"p":[]}])"_ba
                                                         << "null"_ba;
        QTest::newRow("bad p skipped, rest applies") << R"({"a":1})"_ba
                                                     << R"([{"v":5},{"p":"a","v":6},{"p":["b"],"v":7}])"_ba
                                                     << R"({"a":1,"b":7})"_ba;
        QTest::newRow("negative index is a member") << "[0]"_ba
                                                    << R"([{"p":[-1],"v":1}])"_ba
                                                    << R"({"-1":1})"_ba;
        QTest::newRow("other heads use their text") << "{}"_ba
                                                    << R"([{"p":[true,null],"v":1}])"_ba
                                                    << R"({"true":{"null":1}})"_ba;
        QTest::newRow("nested set keeps siblings") << R"({"a":{"b":[{"c":1},{"c":2}]},"z":0})"_ba
                                                   << R"([{"p":["a","b",1,"c"],"v":3}])"_ba
                                                   << R"({"a":{"b":[{"c":1},{"c":3}]},"z":0})"_ba;
        QTest::newRow("deleting a missing member") << R"({"a":1})"_ba
                                                   << R"([{"p":["x","y"],"d":1}])"_ba
                                                   << R"({"a":1,"x":{}})"_ba;
        QTest::newRow("scalar node becomes object") << R"({"a":5})"_ba
                                                    << R"([{"p":["a","k"],"v":1}])"_ba
                                                    << R"({"a":{"k":1}})"_ba;
    }
    void patches()
    {
        QFETCH(QByteArray, document);
        QFETCH(QByteArray, patch);
        QFETCH(QByteArray, expected);
        const QJsonValue doc = parse(document);
        const QJsonArray ops = parse(patch).toArray();
        QCOMPARE(text(SnapshotClient::applyPatch(doc, ops)), expected);
        QCOMPARE(text(SnapshotClient::applyPatchBounded(doc, ops).value()), expected);
        QCOMPARE(text(doc), text(parse(document))); // pure: the input is untouched
    }

    void patchOfAbsentDocument()
    {
        QCOMPARE(text(SnapshotClient::applyPatch(QJsonValue(QJsonValue::Undefined), QJsonArray())), "null"_ba);
        const QJsonValue r = SnapshotClient::setIn(
            QJsonValue(QJsonValue::Undefined), QJsonArray {u"a"_s}, 0, QJsonValue(QJsonValue::Undefined), false);
        QCOMPARE(text(r), R"({"a":null})"_ba);
    }

    void patchBounds_data()
    {
        QTest::addColumn<QJsonArray>("ops");
        QTest::addColumn<bool>("applies");
        auto many = [](int n) {
            QJsonArray ops;
            for (int i = 0; i < n; ++i)
                ops.append(QJsonObject {{u"p"_s, QJsonArray {u"k"_s}}, {u"v"_s, i}});
            return ops;
        };
        auto deep = [](int n) {
            QJsonArray path;
            for (int i = 0; i < n; ++i)
                path.append(u"x"_s);
            return QJsonArray {QJsonObject {{u"p"_s, path}, {u"v"_s, 1}}};
        };
        auto grow = [](qint64 index) {
            return QJsonArray {QJsonObject {{u"p"_s, QJsonArray {u"rows"_s, index}}, {u"v"_s, 1}}};
        };
        QTest::newRow("10000 operations") << many(10'000) << true;
        QTest::newRow("10001 operations") << many(10'001) << false;
        QTest::newRow("depth 64") << deep(64) << true;
        QTest::newRow("depth 65") << deep(65) << false;
        // rows holds 2 elements: index 10001 adds exactly 10000, index 10002 one more.
        QTest::newRow("growth 10000") << grow(10'001) << true;
        QTest::newRow("growth 10001") << grow(10'002) << false;
        QTest::newRow("index at the largest integer") << grow(std::numeric_limits<qint64>::max()) << false;
        QJsonArray repeated; // many in-bound growths that together exceed any document within 16 MiB
        for (int i = 0; i < 400; ++i)
            repeated.append(QJsonObject {{u"p"_s, QJsonArray {u"r"_s + QString::number(i), 9'999}}, {u"v"_s, 1}});
        QJsonArray prepared;
        for (int i = 0; i < 400; ++i)
            prepared.append(QJsonObject {{u"p"_s, QJsonArray {u"r"_s + QString::number(i)}}, {u"v"_s, QJsonArray()}});
        for (const QJsonValue &op : repeated)
            prepared.append(op);
        QTest::newRow("cumulative padding") << prepared << false;
    }
    void patchBounds()
    {
        QFETCH(QJsonArray, ops);
        QFETCH(bool, applies);
        const QJsonValue doc = parse(R"({"rows":[0,1]})");
        QCOMPARE(SnapshotClient::applyPatchBounded(doc, ops).has_value(), applies);
    }

    // Keys, scope, wire format

    void noScope()
    {
        m_client->clear();
        QVERIFY(!m_client->cached(name, {}));
        const SnapshotError e = expectThrow<SnapshotError>([&] { revalidate(); });
        QCOMPARE(e.kind(), SnapshotError::Kind::NoScope);
        QVERIFY(m_server->requests().isEmpty());
    }

    void scopePersistsInDefaults()
    {
        m_client->setScope(u"u9:-"_s);
        QCOMPARE(m_defaults->optionalString(SnapshotClient::scopeKey), std::optional(u"u9:-"_s));
        makeClient();
        QVERIFY(!m_client->scope());
        m_client->restoreScope();
        QCOMPARE(m_client->scope(), std::optional(u"u9:-"_s));
        m_client->setScope(u"u2:w1"_s);
        m_client->restoreScope(); // already set: unchanged
        QCOMPARE(m_client->scope(), std::optional(u"u2:w1"_s));
        // The same scope again (every signed-in refresh) leaves the file
        // alone; a new one replaces it (written aside, then renamed over).
        const auto inode = [file = QFile::encodeName(m_dir.path() + u"/settings.ini"_s)] {
            struct stat st { };
            return ::stat(file.constData(), &st) == 0 ? st.st_ino : 0;
        };
        const auto before = inode();
        m_client->setScope(u"u2:w1"_s);
        QCOMPARE(inode(), before);
        m_client->setScope(u"u3:w1"_s);
        QVERIFY(inode() != before);
    }

    void keysAndFileNames()
    {
        const QString key = SnapshotClient::cacheKey(u"u1:w7"_s, name, {});
        QCOMPARE(key, u"u1:w7"_s + QChar(u'\0') + u"widget.line:{}"_s);
        QCOMPARE(SnapshotClient::canonicalParams({{u"b"_s, u"a/b"_s}, {u"a"_s, u"x"_s}}), R"({"a":"x","b":"a/b"})"_ba);
        const QString file = SnapshotClient::fileName(key);
        QVERIFY(QRegularExpression(u"^[0-9a-f]{64}\\.json$"_s).match(file).hasMatch());
        QString longKey = key;
        longKey.append(QString(5000, u'x'));
        QCOMPARE(SnapshotClient::fileName(longKey).size(), 69);
    }

    void firstWithoutHaveThenWithIt()
    {
        const QJsonObject params {{u"include"_s, u"dashboard"_s}, {u"template"_s, u"{a} / {b}+"_s}};
        m_server->enqueue(snap, full(41, R"({"lines":["x"]})"));
        m_server->enqueue(snap, ScriptedResponse::empty(304));
        QCOMPARE(revalidate(params), R"({"lines":["x"]})"_ba);
        QCOMPARE(revalidate(params), R"({"lines":["x"]})"_ba);
        const auto r = m_server->requests();
        QCOMPARE(r.size(), 2);
        QCOMPARE(r[0].method, "GET");
        QCOMPARE(r[0].queryNames(), QStringList {u"p"_s});
        QCOMPARE(r[0].queryValue(u"p"_s), std::optional(QString::fromUtf8(SnapshotClient::canonicalParams(params))));
        QCOMPARE(r[0].header("accept"), std::optional("application/json"_ba));
        QVERIFY(!r[0].hasHeader("content-type"));
        QCOMPARE(r[1].queryNames(), (QStringList {u"p"_s, u"have"_s}));
        QCOMPARE(r[1].queryValue(u"have"_s), std::optional(u"41"_s));
    }

    void emptyParamsQuery()
    {
        m_server->enqueue(snap, full(1, "[]"));
        revalidate();
        QCOMPARE(m_server->requests().constFirst().queryValue(u"p"_s), std::optional(u"{}"_s));
    }

    void notModifiedCostsNothing()
    {
        m_server->enqueue(snap, full(3, R"({"lines":["a"]})"));
        const QByteArray first = revalidate();
        const SnapshotClient::Counters before = m_client->counters();
        const QString file = m_client->filePath(SnapshotClient::cacheKey(u"u1:w7"_s, name, {}));
        const QDateTime written = QFileInfo(file).lastModified();
        QCOMPARE(before.fileWrites, 1);

        m_server->setRoute(snap, ScriptedResponse::empty(304));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(revalidate(), first);
        QCOMPARE(m_client->counters().documentParses, before.documentParses);
        QCOMPARE(m_client->counters().fileWrites, before.fileWrites);
        QCOMPARE(m_client->counters().fileReads, before.fileReads);
        QCOMPARE(QFileInfo(file).lastModified(), written);
    }

    void notModifiedWithoutEntry()
    {
        m_server->enqueue(snap, ScriptedResponse::empty(304));
        const SnapshotError e = expectThrow<SnapshotError>([&] { revalidate(); });
        QCOMPARE(e.kind(), SnapshotError::Kind::Http);
        QCOMPARE(e.status(), 304);
    }

    void firstRequestStatuses_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("kind"); // -1: APIError
        QTest::newRow("401") << 401 << -1;
        QTest::newRow("404") << 404 << int(SnapshotError::Kind::NotFound);
        QTest::newRow("500") << 500 << int(SnapshotError::Kind::Http);
        QTest::newRow("204") << 204 << int(SnapshotError::Kind::Http);
    }
    void firstRequestStatuses()
    {
        QFETCH(int, status);
        QFETCH(int, kind);
        m_server->enqueue(snap, ScriptedResponse::json(R"({"message":"m"})"_ba, status));
        if (kind < 0) {
            const APIError e = expectThrow<APIError>([&] { revalidate(); });
            QCOMPARE(e.status(), 401);
            QCOMPARE(e.message(), u"Not signed in"_s);
        } else {
            const SnapshotError e = expectThrow<SnapshotError>([&] { revalidate(); });
            QCOMPARE(int(e.kind()), kind);
            if (e.kind() == SnapshotError::Kind::Http)
                QCOMPARE(e.status(), status);
        }
        QCOMPARE(m_server->requests().size(), 1);
        QVERIFY(!QFileInfo::exists(dir()));
    }

    void badBodies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("kind"); // -1: DecodingError
        QTest::newRow("not json") << "nope"_ba << -1;
        QTest::newRow("top-level array") << "[1]"_ba << int(SnapshotError::Kind::Http);
        QTest::newRow("no data") << R"({"version":1})"_ba << int(SnapshotError::Kind::BadBody);
        QTest::newRow("scalar data") << R"({"version":1,"data":3})"_ba << int(SnapshotError::Kind::BadBody);
        QTest::newRow("no version") << R"({"data":{}})"_ba << int(SnapshotError::Kind::BadBody);
        QTest::newRow("fractional version") << R"({"version":1.5,"data":{}})"_ba << int(SnapshotError::Kind::BadBody);
        QTest::newRow("string version") << R"({"version":"1","data":{}})"_ba << int(SnapshotError::Kind::BadBody);
    }
    void badBodies()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, kind);
        m_server->enqueue(snap, ScriptedResponse::json(body));
        if (kind < 0) {
            expectThrow<DecodingError>([&] { revalidate(); });
        } else {
            const SnapshotError e = expectThrow<SnapshotError>([&] { revalidate(); });
            QCOMPARE(int(e.kind()), kind);
        }
        QVERIFY(!m_client->cached(name, {}));
        QVERIFY(!m_client->knownBuild());
    }

    void deltaApplied()
    {
        m_server->enqueue(snap, full(5, R"({"lines":["a"],"n":1})"));
        revalidate();
        const int parses = m_client->counters().documentParses;
        m_server->enqueue(snap, delta(5, 6, R"([{"p":["n"],"v":2},{"p":["lines",1],"v":"b"}])"));
        QCOMPARE(revalidate(), R"({"lines":["a","b"],"n":2})"_ba);
        // Only the delta answer was parsed: the held document was kept.
        QCOMPARE(m_client->counters().documentParses, parses + 1);
        QCOMPARE(m_server->requests().last().queryValue(u"have"_s), std::optional(u"5"_s));
        // The new version is stored, on disk too.
        makeClient();
        m_client->setScope(u"u1:w7"_s);
        m_server->enqueue(snap, ScriptedResponse::empty(304));
        QCOMPARE(revalidate(), R"({"lines":["a","b"],"n":2})"_ba);
        QCOMPARE(m_server->requests().last().queryValue(u"have"_s), std::optional(u"6"_s));
    }

    // A run of deltas on a large held document: each result is the patch of the
    // previous one, earlier results stay as they were, and the held document
    // is patched without being parsed again.
    void deltaChainOnLargeDocument()
    {
        QJsonArray rows;
        for (int i = 0; i < 2000; ++i)
            rows.append(QJsonObject {{u"id"_s, i}, {u"spend"_s, u"$%1"_s.arg(i)}, {u"tags"_s, QJsonArray {u"a"_s}}});
        const QByteArray first = text(QJsonObject {{u"lines"_s, QJsonArray {u"x"_s}}, {u"rows"_s, rows}});
        m_server->enqueue(snap, full(1, first));
        QByteArray previous = revalidate();
        QCOMPARE(previous, first);
        const QList<QByteArray> patches {
            R"([{"p":["rows",0,"spend"],"v":"$a"},{"p":["rows",1999,"tags",0],"v":"b"},{"p":["lines",0],"v":"y"}])",
            R"([{"p":["rows",5],"d":1},{"p":["rows",2001],"v":{"id":-1}},{"p":["rows",0,"spend"],"v":"$b"}])",
            R"([{"p":["rows",1000,"tags"],"v":[]},{"p":["extra"],"v":{"n":[1,2.5,null,true]}},{"p":["lines"],"d":1}])",
        };
        qint64 version = 1;
        for (const QByteArray &patch : patches) {
            const QByteArray before = previous;
            const QByteArray expected = text(SnapshotClient::applyPatch(parse(previous), parse(patch).toArray()));
            const int parses = m_client->counters().documentParses;
            m_server->enqueue(snap, delta(version, version + 1, patch));
            ++version;
            previous = revalidate();
            QCOMPARE(previous, expected);
            QCOMPARE(m_client->counters().documentParses, parses + 1); // the answer only
            QCOMPARE(text(parse(before)), before); // an earlier result is untouched
            QCOMPARE(m_client->cached(name, {}), std::optional(previous));
        }
        makeClient(); // the file holds the last one
        m_client->setScope(u"u1:w7"_s);
        QCOMPARE(m_client->cached(name, {}), std::optional(previous));
    }

    // After a delta the held text is rebuilt from the unchanged parts of the
    // old text where it can be; it must always be exactly what the writer
    // makes of the patched document, through runs of deltas of every kind.
    void deltaTextMatchesWriter_data()
    {
        QTest::addColumn<QByteArrayList>("patches");
        const auto row = [](const char *tag, QByteArrayList patches) { QTest::newRow(tag) << patches; };
        row("deep values",
            {"[{\"p\":[\"rows\",0,\"v\"],\"v\":\"é\\\"\\\\\"},{\"p\":[\"rows\",99,\"tags\",1],\"v\":null}]",
                R"([{"p":["big","k10"],"v":[1,2]},{"p":["rows",50,"v"],"v":2.5}])",
                "[{\"p\":[\"rows\",0,\"v\"],\"v\":\"again\"},{\"p\":[\"grid\",3,69],\"v\":{\"x\":\"\\u0001\"}}]"});
        row("same place twice",
            {R"([{"p":["rows",7,"v"],"v":"a"},{"p":["rows",7,"v"],"v":"b"}])",
                R"([{"p":["rows",7],"v":{"w":1}},{"p":["rows",7,"w"],"v":2}])"});
        row("whole large child",
            {R"([{"p":["rows"],"v":[1,2,3]}])", R"([{"p":["rows",1],"v":"x"}])", R"([{"p":["big","k1"],"v":"y"}])"});
        row("large child to scalar and through",
            {R"([{"p":["grid",4],"v":"flat"},{"p":["grid",4,"k"],"v":1}])", R"([{"p":["grid",4,"k"],"v":2}])"});
        row("member added", {R"([{"p":["big","new key"],"v":true}])", R"([{"p":["big","k3"],"v":3}])"});
        row("member removed", {R"([{"p":["big","k5"],"d":1}])", R"([{"p":["big","k6"],"v":6}])"});
        row("removed and added",
            {R"([{"p":["big","k5"],"d":1},{"p":["big","zz","a"],"v":1}])", R"([{"p":["big","k7"],"v":7}])"});
        row("array grown", {R"([{"p":["rows",103,"v"],"v":"far"}])", R"([{"p":["rows",102],"v":1}])"});
        row("array element removed", {R"([{"p":["rows",3],"d":1}])", R"([{"p":["rows",4,"v"],"v":4}])"});
        row("name on an array", {R"([{"p":["rows","x"],"v":1}])", R"([{"p":["big","k2"],"v":2}])"});
        row("negative index", {R"([{"p":["rows",-1],"v":1}])"});
        row("number as member name", {R"([{"p":["big",12],"v":"twelve"}])", R"([{"p":["big","12"],"v":"again"}])"});
        row("escaped member names",
            {"[{\"p\":[\"big\",\"q\\\"uote\"],\"v\":1}]", "[{\"p\":[\"big\",\"q\\\"uote\"],\"v\":2}]",
                "[{\"p\":[\"big\",\"ü\\u0001\"],\"v\":3}]", "[{\"p\":[\"big\",\"ü\\u0001\"],\"v\":4}]"});
        row("whole document", {R"([{"p":[],"v":{"rows":[1]}}])", R"([{"p":["rows",0],"v":2}])"});
        row("operations without paths", {R"([{"v":1},{"p":"rows","v":2},{"p":["rows",1,"v"],"v":3}])"});
        row("empty patches", {"[]", "[]"});
    }

    void deltaTextMatchesWriter()
    {
        QFETCH(QByteArrayList, patches);
        QJsonArray rows;
        for (int i = 0; i < 100; ++i)
            rows.append(QJsonObject {{u"v"_s, u"r%1"_s.arg(i)}, {u"tags"_s, QJsonArray {i, u"t"_s}}});
        QJsonObject big;
        for (int i = 0; i < 80; ++i)
            big.insert(u"k%1"_s.arg(i), i % 3 == 0 ? QJsonValue(i) : QJsonValue(u"é%1"_s.arg(i)));
        QJsonArray grid;
        for (int i = 0; i < 70; ++i) {
            QJsonArray line;
            for (int j = 0; j < 70; ++j)
                line.append(i * j);
            grid.append(line);
        }
        const QByteArray first = text(
            QJsonObject {{u"a"_s, 1}, {u"big"_s, big}, {u"grid"_s, grid}, {u"rows"_s, rows}, {u"z"_s, u"end"_s}});
        m_server->enqueue(snap, full(1, first));
        QByteArray previous = revalidate();
        qint64 version = 1;
        for (const QByteArray &patch : patches) {
            const QJsonValue expectedDocument = SnapshotClient::applyPatch(parse(previous), parse(patch).toArray());
            m_server->enqueue(snap, delta(version, version + 1, patch));
            ++version;
            previous = revalidate();
            QCOMPARE(previous, text(expectedDocument));
        }
        makeClient();
        m_client->setScope(u"u1:w7"_s);
        QCOMPARE(m_client->cached(name, {}), std::optional(previous));
    }

    void deltaFromDiskEntry()
    {
        m_server->enqueue(snap, full(5, R"({"n":1})"));
        revalidate();
        makeClient(); // memory gone; the file remains
        m_client->setScope(u"u1:w7"_s);
        m_server->enqueue(snap, delta(5, 6, R"([{"p":["n"],"v":2}])"));
        QCOMPARE(revalidate(), R"({"n":2})"_ba);
    }

    void deltaThatCannotApply_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("base version differs") << R"({"kind":"delta","baseVersion":4,"version":6,"patch":[]})"_ba;
        QTest::newRow("base version not integer") << R"({"kind":"delta","baseVersion":"5","version":6,"patch":[]})"_ba;
        QTest::newRow("patch not array") << R"({"kind":"delta","baseVersion":5,"version":6,"patch":{}})"_ba;
        QTest::newRow("patch element not object") << R"({"kind":"delta","baseVersion":5,"version":6,"patch":[1]})"_ba;
        QJsonArray tooMany;
        for (int i = 0; i < 10'001; ++i)
            tooMany.append(QJsonObject {{u"p"_s, QJsonArray {u"n"_s}}, {u"v"_s, i}});
        QTest::newRow("too many operations") << QJsonDocument(
            QJsonObject {{u"kind"_s, u"delta"_s}, {u"baseVersion"_s, 5}, {u"version"_s, 6},
                {u"patch"_s, tooMany}}).toJson(QJsonDocument::Compact);
        QTest::newRow("array growth")
            << R"({"kind":"delta","baseVersion":5,"version":6,"patch":[{"p":["rows",20000],"v":1}]})"_ba;
    }
    void deltaThatCannotApply()
    {
        QFETCH(QByteArray, answer);
        m_server->enqueue(snap, full(5, R"({"n":1,"rows":[]})"));
        revalidate();
        m_server->enqueue(snap, ScriptedResponse::json(answer));
        m_server->enqueue(snap, full(9, R"({"n":9})"));
        QCOMPARE(revalidate(), R"({"n":9})"_ba);
        const auto r = m_server->requests();
        QCOMPARE(r.size(), 3);
        QCOMPARE(r[1].queryValue(u"have"_s), std::optional(u"5"_s));
        QCOMPARE(r[2].queryNames(), QStringList {u"p"_s});
    }

    void deltaWithoutEntryRefetches()
    {
        m_server->enqueue(snap, delta(5, 6, "[]"));
        m_server->enqueue(snap, full(6, R"({"n":6})"));
        QCOMPARE(revalidate(), R"({"n":6})"_ba);
        QCOMPARE(m_server->requests().size(), 2);
    }

    void refetchAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("expectedStatus"); // 0: badBody
        QTest::newRow("refetch is a delta too")
            << 200 << R"({"kind":"delta","baseVersion":5,"version":7,"patch":[]})"_ba << 0;
        QTest::newRow("404 on refetch") << 404 << QByteArray() << 404;
        QTest::newRow("401 on refetch") << 401 << QByteArray() << 401;
        QTest::newRow("304 on refetch") << 304 << QByteArray() << 304;
    }
    void refetchAnswers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, expectedStatus);
        m_server->enqueue(snap, full(5, R"({"n":1})"));
        revalidate();
        const QString file = m_client->filePath(SnapshotClient::cacheKey(u"u1:w7"_s, name, {}));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray stored = f.readAll();
        f.close();
        m_server->enqueue(snap, delta(4, 6, "[]"));
        m_server->enqueue(snap, ScriptedResponse::json(body, status));
        const SnapshotError e = expectThrow<SnapshotError>([&] { revalidate(); });
        if (expectedStatus == 0) {
            QCOMPARE(e.kind(), SnapshotError::Kind::BadBody);
        } else {
            QCOMPARE(e.kind(), SnapshotError::Kind::Http);
            QCOMPARE(e.status(), expectedStatus);
        }
        QCOMPARE(m_server->requests().size(), 3);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), stored); // a failure leaves the file as it was
        QCOMPARE(m_client->cached(name, {}), std::optional(R"({"n":1})"_ba));
    }

    void deltaEmptyingDocumentIsBadBody()
    {
        m_server->enqueue(snap, full(5, R"({"n":1})"));
        revalidate();
        m_server->enqueue(snap, delta(5, 6, R"([{"p":[]}])"));
        const SnapshotError e = expectThrow<SnapshotError>([&] { revalidate(); });
        QCOMPARE(e.kind(), SnapshotError::Kind::BadBody);
        QCOMPARE(m_server->requests().size(), 2);
    }

    void deltaResultOverSizeLimitRefetches()
    {
        const QByteArray big(9 << 20, 'a');
        m_server->enqueue(snap, full(5, "{\"a\":\"" + big + "\"}"));
        revalidate();
        m_server->enqueue(snap, delta(5, 6, "[{\"p\":[\"b\"],\"v\":\"" + QByteArray(8 << 20, 'b') + "\"}]"));
        m_server->enqueue(snap, full(7, R"({"small":true})"));
        QCOMPARE(revalidate(), R"({"small":true})"_ba);
        QCOMPARE(m_server->requests().size(), 3);
        QCOMPARE(m_server->requests().last().queryNames(), QStringList {u"p"_s});
    }

    // Files and memory

    void fileFormatAndPermissions()
    {
        m_server->enqueue(snap, full(12, R"({"lines":["é"]})", "build-7"));
        revalidate();
        const QString key = SnapshotClient::cacheKey(u"u1:w7"_s, name, {});
        const QString file = m_client->filePath(key);
        QCOMPARE(QFileInfo(file).permissions() & 0x0777, QFileDevice::ReadUser | QFileDevice::WriteUser);
        QCOMPARE(QFileInfo(dir()).permissions() & 0x0777,
            QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray raw = f.readAll();
        QVERIFY(raw.contains("\\u0000"));
        const QJsonObject o = QJsonDocument::fromJson(raw).object();
        QCOMPARE(o.keys(), (QStringList {u"build"_s, u"computedAt"_s, u"data"_s, u"key"_s, u"version"_s}));
        QCOMPARE(o.value("key"_L1).toString(), key);
        QCOMPARE(o.value("version"_L1).toInteger(), 12);
        QCOMPARE(o.value("build"_L1).toString(), u"build-7"_s);
        QCOMPARE(o.value("computedAt"_L1).toDouble(), 1.5);
        QCOMPARE(QByteArray::fromBase64(o.value("data"_L1).toString().toLatin1()), u"{\"lines\":[\"é\"]}"_s.toUtf8());
        QCOMPARE(m_client->knownBuild(), std::optional(u"build-7"_s));
    }

    // Large documents are written in pieces; whatever their length, the stored
    // Base64 text is the encoding of the whole and reads back unchanged.
    void largeDocumentFileRoundTrip_data()
    {
        QTest::addColumn<int>("length"); // of the filler text inside the document
        for (const int length : {0, 49'151, 49'152, 49'153, 98'303, 200'000, 1'000'001})
            QTest::addRow("%d", length) << length;
    }

    void largeDocumentFileRoundTrip()
    {
        QFETCH(int, length);
        QByteArray filler(length, 'x');
        for (int i = 0; i < length; i += 7)
            filler[i] = char('a' + i % 26);
        const QByteArray document = "{\"t\":\"" + filler + "\"}";
        m_server->enqueue(snap, full(3, document));
        QCOMPARE(revalidate(), document);
        const QString key = SnapshotClient::cacheKey(u"u1:w7"_s, name, {});
        QFile f(m_client->filePath(key));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonObject stored = QJsonDocument::fromJson(f.readAll()).object();
        QCOMPARE(stored.value("data"_L1).toString().toLatin1(), document.toBase64());
        makeClient(); // memory gone: read from the file
        m_client->setScope(u"u1:w7"_s);
        QCOMPARE(m_client->cached(name, {}), std::optional(document));
        QCOMPARE(m_client->counters().fileReads, 1);
    }

    void repeatedCachedServedFromMemory()
    {
        m_server->enqueue(snap, full(2, R"({"n":2})"));
        revalidate();
        makeClient();
        m_client->setScope(u"u1:w7"_s);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(m_client->cached(name, {}), std::optional(R"({"n":2})"_ba));
        QCOMPARE(m_client->counters().fileReads, 1);
        QCOMPARE(m_client->counters().documentParses, 1);
        QVERIFY(m_server->requests().size() == 1);
        // Another scope never sees it.
        m_client->setScope(u"u2:w7"_s);
        QVERIFY(!m_client->cached(name, {}));
    }

    void unreadableFilesCountAsAbsent_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << "\x00\xff\x10garbage"_ba;
        QTest::newRow("truncated") << "{\"key\":\"u1"_ba;
        QTest::newRow("member missing") << R"({"key":"K","version":1,"build":"","data":"e30="})"_ba;
        QTest::newRow("bad base64") << R"({"key":"K","version":1,"build":"","computedAt":0,"data":"@@@"})"_ba;
        QTest::newRow("wrong types") << R"({"key":"K","version":"1","build":"","computedAt":0,"data":"e30="})"_ba;
        QTest::newRow("other key") << R"({"key":"other","version":1,"build":"","computedAt":0,"data":"e30="})"_ba;
        QTest::newRow("array") << "[1,2]"_ba;
    }
    void unreadableFilesCountAsAbsent()
    {
        QFETCH(QByteArray, content);
        const QString key = SnapshotClient::cacheKey(u"u1:w7"_s, name, {});
        QByteArray bytes = content;
        // "K" stands for the real key.
        bytes.replace("\"K\"", QJsonDocument(QJsonArray {key}).toJson(QJsonDocument::Compact).mid(1).chopped(1));
        QDir().mkpath(dir());
        QFile f(m_client->filePath(key));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        QVERIFY(!m_client->cached(name, {}));
        m_server->enqueue(snap, full(1, "{}"));
        QCOMPARE(revalidate(), "{}"_ba);
        QCOMPARE(m_server->requests().constFirst().queryNames(), QStringList {u"p"_s});
    }

    void validFileIsLoaded()
    {
        const QString key = SnapshotClient::cacheKey(u"u1:w7"_s, name, {});
        QDir().mkpath(dir());
        QFile f(m_client->filePath(key));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(QJsonObject {{u"key"_s, key}, {u"version"_s, 3}, {u"build"_s, u""_s},
                                  {u"computedAt"_s, 0}, {u"data"_s, u"eyJhIjoxfQ=="_s}})
                    .toJson());
        f.close();
        QCOMPARE(m_client->cached(name, {}), std::optional(R"({"a":1})"_ba));
    }

    void otherBuildOnDisk()
    {
        const QJsonObject pA {{u"timeframe"_s, u"a"_s}};
        const QJsonObject pB {{u"timeframe"_s, u"b"_s}};
        m_server->enqueue(snap, full(1, R"({"k":"a"})", "old"));
        revalidate(pA);
        m_server->enqueue(snap, full(1, R"({"k":"b"})", "old"));
        revalidate(pB);
        // New process: nothing known about builds, so both files load. Load A into memory.
        makeClient();
        m_client->setScope(u"u1:w7"_s);
        QVERIFY(m_client->cached(name, pA));
        // A commit under a new build for a third key.
        m_server->enqueue(snap, full(1, R"({"k":"c"})", "new"));
        revalidate({{u"timeframe"_s, u"c"_s}});
        QVERIFY(m_client->cached(name, pA)); // already in memory
        QVERIFY(!m_client->cached(name, pB)); // on disk only, of the old build
        QVERIFY(QFileInfo::exists(m_client->filePath(SnapshotClient::cacheKey(u"u1:w7"_s, name, pB))));
    }

    void clearForgetsEverything()
    {
        m_server->enqueue(snap, full(1, "{}"));
        revalidate();
        QVERIFY(m_client->cached(name, {}));
        m_client->clear();
        QVERIFY(!m_client->scope());
        QVERIFY(!m_client->knownBuild());
        QVERIFY(!m_defaults->contains(SnapshotClient::scopeKey));
        QVERIFY(!QFileInfo::exists(dir()));
        m_client->setScope(u"u1:w7"_s);
        QVERIFY(!m_client->cached(name, {}));
        m_client->clear(); // twice: no directory, no failure
    }

    void transportErrorsPassThrough()
    {
        const QUrl base = m_server->url();
        m_server->close();
        expectThrow<TransportError>([&] { awaitTask(m_client->revalidate(base, name, {})); });
    }
};

QTEST_GUILESS_MAIN(TestSnapshot)
#include "tst_snapshot.moc"
