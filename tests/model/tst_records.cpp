// Decoding of the server's records: required vs optional, null vs missing,
// wrong types, nested failures with their paths, unknown keys.
#include "model/records.h"

#include <QSet>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// A complete, valid dashboard payload used as the base for mutations.
QByteArray fullPayload()
{
    return R"({
      "text": "single", "lines": ["$2.4k ($310/8) 3.2x", "second"], "extra": {"ignored": [1, 2]},
      "dashboard": {
        "workspaceName": "Acme", "timeframe": "Today", "timeframeKey": "today",
        "timeframes": [{"key": "today", "label": "Today", "x": 1}, {"key": "last_7", "label": "Last 7 days"}],
        "asset": "Campaigns", "partial": false,
        "tiles": [
          {"key": "spend", "label": "Spend", "value": "$2.4k", "accent": false},
          {"key": "roas", "label": "ROAS", "value": "3.2x", "caption": null, "accent": true},
          {"key": "sales", "label": "Sales", "value": "8", "caption": "+2", "accent": false}
        ],
        "rows": [{"id": "c1", "name": "Spring", "active": true, "spend": "$1k", "revenue": "$3k", "roas": "3.0x"}],
        "sources": {
          "columns": [{"key": "visits", "label": "Visits"}],
          "totals": ["120"],
          "rows": [
            {"id": "s1", "name": "Google", "channel": "google_ads", "rest": false, "values": ["100"],
             "children": [{"id": "s1a", "name": "Brand", "rest": false, "values": ["60"],
                           "children": [{"id": "s1a1", "name": "Exact", "kind": "keyword", "rest": false,
                                         "values": ["40"], "children": []}]}]},
            {"id": "s2", "name": "Other", "rest": true, "values": ["20"], "unknown": "x"}
          ]
        }
      }
    })";
}

QJsonObject parse(const QByteArray &bytes)
{
    return QJsonDocument::fromJson(bytes).object();
}

QByteArray serialise(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// Returns the failure message of decoding bytes as T, or an empty string.
template<class T> QString failureOf(const QByteArray &bytes)
{
    try {
        (void)decodeJson<T>(bytes);
    } catch (const DecodingError &e) {
        return e.message();
    }
    return {};
}

} // namespace

class TestRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fullPayloadDecodes()
    {
        const Payload p = decodeJson<Payload>(fullPayload());
        QCOMPARE(p.text, u"single"_s);
        QCOMPARE(p.lines, QStringList({u"$2.4k ($310/8) 3.2x"_s, u"second"_s}));
        QVERIFY(p.dashboard);
        const auto &d = *p.dashboard;
        QCOMPARE(d.workspaceName, u"Acme"_s);
        QCOMPARE(d.timeframes->size(), 2);
        QCOMPARE(d.tiles.size(), 3);
        QVERIFY(!d.tiles[1].caption.has_value());
        QVERIFY(d.tiles[1].accent);
        QCOMPARE(d.tiles[2].caption, u"+2"_s);
        QCOMPARE(d.rows[0].roas, u"3.0x"_s);
        QVERIFY(d.sources);
        // Nesting keeps its depth; an empty children array stays present, a missing one is absent.
        const auto &google = d.sources->rows[0];
        QCOMPARE(google.channel, u"google_ads"_s);
        QCOMPARE(google.children->at(0).children->at(0).kind, u"keyword"_s);
        QVERIFY(google.children->at(0).children->at(0).children.has_value());
        QVERIFY(google.children->at(0).children->at(0).children->isEmpty());
        QVERIFY(!d.sources->rows[1].children.has_value());
        QVERIFY(d.sources->rows[1].rest);
    }

    void payloadFailures_data()
    {
        QTest::addColumn<QString>("pointer"); // member path to change, dot separated, [n] for index
        QTest::addColumn<QString>("replacement"); // JSON text, or "<missing>"
        QTest::addColumn<QString>("expected"); // expected error message (prefix)

        QTest::newRow("lines missing") << "lines"
                                       << "<missing>"
                                       << "lines: required value is missing";
        QTest::newRow("lines null") << "lines"
                                    << "null"
                                    << "lines: required value is null";
        QTest::newRow("line not a string") << "lines[1]"
                                           << "3"
                                           << "lines[1]: expected a string, found a number";
        QTest::newRow("text wrong type") << "text"
                                         << "true"
                                         << "text: expected a string, found a boolean";
        QTest::newRow("dashboard not object") << "dashboard"
                                              << "[]"
                                              << "dashboard: expected an object, found an array";
        QTest::newRow("partial missing") << "dashboard.partial"
                                         << "<missing>"
                                         << "dashboard.partial: required value is missing";
        QTest::newRow("asset missing") << "dashboard.asset"
                                       << "<missing>"
                                       << "dashboard.asset: required value is missing";
        QTest::newRow("accent quoted") << "dashboard.tiles[2].accent"
                                       << "\"true\""
                                       << "dashboard.tiles[2].accent: expected a boolean, found a string";
        QTest::newRow("caption number") << "dashboard.tiles[0].caption"
                                        << "5"
                                        << "dashboard.tiles[0].caption: expected a string, found a number";
        QTest::newRow("timeframe element") << "dashboard.timeframes[1].label"
                                           << "<missing>"
                                           << "dashboard.timeframes[1].label: required value is missing";
        QTest::newRow("row active null") << "dashboard.rows[0].active"
                                         << "null"
                                         << "dashboard.rows[0].active: required value is null";
        QTest::newRow("deep source row") << "dashboard.sources.rows[0].children[0].children[0].rest"
                                         << "1"
                                         << "dashboard.sources.rows[0].children[0].children[0].rest: expected a "
                                            "boolean, found a number";
        QTest::newRow("children not array") << "dashboard.sources.rows[1].children"
                                            << "{}"
                                            << "dashboard.sources.rows[1].children: expected an array, found an "
                                               "object";
        QTest::newRow("totals element") << "dashboard.sources.totals[0]"
                                        << "120"
                                        << "dashboard.sources.totals[0]: expected a string, found a number";
        QTest::newRow("values missing") << "dashboard.sources.rows[1].values"
                                        << "<missing>"
                                        << "dashboard.sources.rows[1].values: required value is missing";
    }

    void payloadFailures()
    {
        QFETCH(QString, pointer);
        QFETCH(QString, replacement);
        QFETCH(QString, expected);
        QJsonObject root = parse(fullPayload());
        const QJsonValue value = replacement == u"<missing>"_s
            ? QJsonValue(QJsonValue::Undefined)
            : QJsonDocument::fromJson((u"["_s + replacement + u"]"_s).toUtf8()).array().at(0);
        root = mutate(root, pointer.split(u'.'), value).toObject();
        QCOMPARE(failureOf<Payload>(serialise(root)), expected);
    }

    void payloadOptionalShapes_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("hasText");
        QTest::addColumn<int>("lineCount");
        QTest::addColumn<bool>("hasDashboard");

        QTest::newRow("only empty lines") << QByteArray(R"({"lines": []})") << true << false << 0 << false;
        QTest::newRow("text without lines") << QByteArray(R"({"text": "x"})") << false << false << 0 << false;
        QTest::newRow("dashboard null") << QByteArray(R"({"lines": ["a"], "dashboard": null, "text": null})") << true
                                        << false << 1 << false;
        QTest::newRow("minimal dashboard")
            << QByteArray(R"({"lines": [], "dashboard": {"workspaceName": "W", "timeframe": "T", "asset": "A",
                              "partial": true, "tiles": [], "rows": [], "timeframes": null, "sources": null}})")
            << true << false << 0 << true;
        QTest::newRow("not an object") << QByteArray("[]") << false << false << 0 << false;
        QTest::newRow("empty body") << QByteArray() << false << false << 0 << false;
        QTest::newRow("garbage") << QByteArray("{\"lines\": [") << false << false << 0 << false;
    }

    void payloadOptionalShapes()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, ok);
        try {
            const Payload p = decodeJson<Payload>(json);
            QVERIFY2(ok, "decoded although it should fail");
            QTEST(p.text.has_value(), "hasText");
            QTEST(int(p.lines.size()), "lineCount");
            QTEST(p.dashboard.has_value(), "hasDashboard");
        } catch (const DecodingError &e) {
            QVERIFY2(!ok, qPrintable(e.message()));
            QVERIFY(!e.message().isEmpty());
        }
    }

    void accountRecords_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("error"); // empty when the decode must succeed

        QTest::newRow("empty workspaces") << QByteArray(R"({"workspaces": []})") << "workspaces" << QString();
        QTest::newRow("only current id") << QByteArray(R"({"currentWorkspaceId": "w1"})") << "workspaces"
                                         << "workspaces: required value is missing";
        QTest::newRow("workspace without role")
            << QByteArray(R"({"workspaces": [{"workspaceId": "a", "name": "A", "role": "x"},
                                              {"workspaceId": "b", "name": "B"}]})")
            << "workspaces"
            << "workspaces[1].role: required value is missing";
        QTest::newRow("current id number")
            << QByteArray(R"({"workspaces": [], "currentWorkspaceId": 7})") << "workspaces"
            << "currentWorkspaceId: expected a string, found a number";
        QTest::newRow("account without platformLabel")
            << QByteArray(R"({"data": {"accounts": [{"id": "1", "name": "A", "platform": "meta"}]}})") << "envelope"
            << "data.accounts[0].platformLabel: required value is missing";
        QTest::newRow("envelope empty accounts")
            << QByteArray(R"({"data": {"accounts": []}})") << "envelope" << QString();
        QTest::newRow("accounts without envelope") << QByteArray(R"({"accounts": []})") << "envelope"
                                                   << "data: required value is missing";
        QTest::newRow("me") << QByteArray(R"({"user": {"id": "u1", "email": "a@b", "role": "owner"}, "x": 1})") << "me"
                            << QString();
        QTest::newRow("user without wrapper") << QByteArray(R"({"id": "u1", "email": "a@b", "role": "owner"})") << "me"
                                              << "user: required value is missing";
        QTest::newRow("user id number") << QByteArray(R"({"user": {"id": 1, "email": "a@b", "role": "owner"}})") << "me"
                                        << "user.id: expected a string, found a number";
        QTest::newRow("empty object is Empty") << QByteArray("{}") << "empty" << QString();
        QTest::newRow("anything is Empty") << QByteArray(R"({"ok": true, "n": [1]})") << "empty" << QString();
        QTest::newRow("garbage is not Empty") << QByteArray("nope") << "empty"
                                              << "the answer is not valid JSON";
    }

    void accountRecords()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, type);
        QFETCH(QString, error);
        QString failure;
        try {
            if (type == u"workspaces"_s)
                (void)decodeJson<WorkspaceList>(json);
            else if (type == u"envelope"_s)
                (void)decodeJson<ApiEnvelope<AdAccountList>>(json);
            else if (type == u"me"_s)
                (void)decodeJson<ApiMeResponse>(json);
            else
                (void)decodeJson<ApiEmpty>(json);
        } catch (const DecodingError &e) {
            failure = e.message();
        }
        if (error.isEmpty())
            QCOMPARE(failure, QString());
        else
            QVERIFY2(failure.startsWith(error), qPrintable(failure));
    }

    void currentWorkspaceNullIsAbsent()
    {
        const auto list = decodeJson<WorkspaceList>(R"({"workspaces": [], "currentWorkspaceId": null})");
        QVERIFY(list.workspaces.isEmpty());
        QVERIFY(!list.currentWorkspaceId.has_value());
    }

    void equalityAndHashing()
    {
        const Workspace a {u"w1"_s, u"Acme"_s, u"owner"_s};
        const Workspace renamed {u"w1"_s, u"Acme Inc"_s, u"owner"_s};
        QVERIFY(a != renamed);
        QCOMPARE(a.id(), renamed.id());
        QCOMPARE(qHash(a), qHash(Workspace(a)));
        QCOMPARE(QSet<Workspace>({a, renamed, a}).size(), 2);

        const AdAccount x {u"1"_s, u"A"_s, u"meta"_s, u"Meta"_s};
        AdAccount y = x;
        QCOMPARE(x, y);
        QCOMPARE(qHash(x), qHash(y));
        y.platformLabel = u"Facebook"_s;
        QVERIFY(x != y);
        QCOMPARE(QSet<AdAccount>({x, y}).size(), 2);

        QCOMPARE((User {u"u"_s, u"e"_s, u"r"_s}), (User {u"u"_s, u"e"_s, u"r"_s}));
        QVERIFY((User {u"u"_s, u"e"_s, u"r"_s}) != (User {u"u"_s, u"e"_s, u"admin"_s}));
    }

    // The reader sees every kind of JSON value alike, whether it was parsed from
    // text or built in code and handed to fromJson.
    void valueKindsThroughBothEntryPoints_data()
    {
        QTest::addColumn<QByteArray>("text"); // JSON text of the "text" member
        QTest::addColumn<QString>("expected"); // the decoded text, or the error

        QTest::newRow("integer") << QByteArray("7") << u"text: expected a string, found a number"_s;
        QTest::newRow("negative integer") << QByteArray("-12") << u"text: expected a string, found a number"_s;
        QTest::newRow("fraction") << QByteArray("1.5") << u"text: expected a string, found a number"_s;
        QTest::newRow("huge number") << QByteArray("1e300") << u"text: expected a string, found a number"_s;
        QTest::newRow("beyond 64 bits") << QByteArray("18446744073709551616")
                                        << u"text: expected a string, found a number"_s;
        QTest::newRow("false") << QByteArray("false") << u"text: expected a string, found a boolean"_s;
        QTest::newRow("array") << QByteArray("[\"a\"]") << u"text: expected a string, found an array"_s;
        QTest::newRow("object") << QByteArray("{\"a\": 1}") << u"text: expected a string, found an object"_s;
        QTest::newRow("empty string") << QByteArray("\"\"") << QString();
        QTest::newRow("non-Latin text") << QByteArray(R"("Caf\u00e9 \u2013 \ud83d\ude00 \u65e5\u672c")")
                                        << u"Café – 😀 日本"_s;
        QTest::newRow("escapes") << QByteArray(R"("a\"b\\c\/d\n\u0001")") << u"a\"b\\c/d\n\u0001"_s;
    }

    void valueKindsThroughBothEntryPoints()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        // Unknown members sort before and after the known ones, some with non-ASCII names.
        const QByteArray json = R"({"a": 1, "\u00e9t\u00e9": [true], "lines": ["x"], "text": )" + text
            + R"(, "t": null, "texts": 2, "z\u00fc": {}})";
        const QJsonObject object = parse(json);
        QVERIFY(!object.isEmpty());
        QStringList seen;
        for (int entry = 0; entry < 2; ++entry) {
            try {
                const Payload p = entry == 0 ? decodeJson<Payload>(json) : Payload::fromJson(object, json::Path {});
                QVERIFY(p.text);
                seen << *p.text;
                QCOMPARE(p.lines, QStringList {u"x"_s});
            } catch (const DecodingError &e) {
                seen << e.message();
            }
        }
        QCOMPARE(seen, QStringList({expected, expected}));
    }

    // A member named twice reads as the parsed document has it.
    void repeatedMemberReadsAsParsed()
    {
        const QByteArray json = R"({"lines": [], "text": "first", "text": "second"})";
        const Payload p = decodeJson<Payload>(json);
        QCOMPARE(p.text, parse(json).value(u"text"_s).toString());
        QVERIFY(!p.text->isEmpty());
    }

    // Each element of a large nested document lands in its place.
    void largeNestedDocument()
    {
        QJsonArray sources;
        for (int i = 0; i < 300; ++i) {
            QJsonArray children;
            for (int j = 0; j < 3; ++j)
                children.append(
                    QJsonObject {{u"id"_s, u"s%1.%2"_s.arg(i).arg(j)}, {u"name"_s, u"Child ünï %1.%2"_s.arg(i).arg(j)},
                        {u"rest"_s, j == 2}, {u"values"_s, QJsonArray {QString::number(i * j)}}});
            sources.append(
                QJsonObject {{u"id"_s, u"s%1"_s.arg(i)}, {u"name"_s, u"Source %1"_s.arg(i)}, {u"rest"_s, false},
                    {u"values"_s, QJsonArray {QString::number(i), u"$%1"_s.arg(i)}}, {u"children"_s, children}});
        }
        QJsonObject root = parse(fullPayload());
        QJsonObject dashboard = root.value(u"dashboard"_s).toObject();
        QJsonObject sourceTable = dashboard.value(u"sources"_s).toObject();
        sourceTable.insert(u"rows"_s, sources);
        dashboard.insert(u"sources"_s, sourceTable);
        root.insert(u"dashboard"_s, dashboard);

        const Payload p = decodeJson<Payload>(serialise(root));
        const auto &rows = p.dashboard->sources->rows;
        QCOMPARE(rows.size(), 300);
        for (int i = 0; i < 300; ++i) {
            QCOMPARE(rows[i].id, u"s%1"_s.arg(i));
            QCOMPARE(rows[i].values, QStringList({QString::number(i), u"$%1"_s.arg(i)}));
            QCOMPARE(rows[i].children->size(), 3);
            QCOMPARE(rows[i].children->at(1).name, u"Child ünï %1.1"_s.arg(i));
            QCOMPARE(rows[i].children->at(2).rest, true);
            QVERIFY(!rows[i].children->at(0).children.has_value());
        }

        // A fault deep inside it names its place.
        QJsonArray broken = sources;
        QJsonObject row = broken.at(217).toObject();
        QJsonArray children = row.value(u"children"_s).toArray();
        QJsonObject child = children.at(2).toObject();
        child.insert(u"values"_s, QJsonArray {u"1"_s, QJsonValue(QJsonValue::Null)});
        children.replace(2, child);
        row.insert(u"children"_s, children);
        broken.replace(217, row);
        sourceTable.insert(u"rows"_s, broken);
        dashboard.insert(u"sources"_s, sourceTable);
        root.insert(u"dashboard"_s, dashboard);
        QCOMPARE(failureOf<Payload>(serialise(root)),
            u"dashboard.sources.rows[217].children[2].values[1]: expected a string, found null"_s);
    }

private:
    // Replaces (or, for an undefined value, removes) the member at a dotted path.
    static QJsonValue mutate(const QJsonValue &node, QStringList path, const QJsonValue &value)
    {
        QString head = path.takeFirst();
        int index = -1;
        if (const qsizetype bracket = head.indexOf(u'['); bracket >= 0) {
            index = head.mid(bracket + 1, head.size() - bracket - 2).toInt();
            head = head.left(bracket);
        }
        QJsonObject object = node.toObject();
        QJsonValue child = object.value(head);
        QJsonValue replaced;
        if (index >= 0) {
            QJsonArray array = child.toArray();
            if (path.isEmpty()) {
                array[index] = value;
            } else {
                array[index] = mutate(array.at(index), path, value);
            }
            replaced = array;
        } else {
            replaced = path.isEmpty() ? value : mutate(child, path, value);
        }
        if (replaced.isUndefined())
            object.remove(head);
        else
            object.insert(head, replaced);
        return object;
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
