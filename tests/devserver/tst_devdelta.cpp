// Snapshot deltas: the patch the server computes, applied with the client's
// own applyPatch to the version the client holds, gives exactly the current
// document. Checked on random documents with random changes, and end to end
// on the server's data as it moves tick by tick.

#include "devtest.h"
#include "jsondiff.h"
#include "net/snapshotclient.h"

#include <QJsonArray>
#include <QRandomGenerator>
#include <QTest>

using namespace devtest;
using namespace Qt::StringLiterals;

namespace {

// Random JSON shaped like the payload: objects of scalars, arrays of
// objects, nesting a few levels deep.
class Gen {
public:
    explicit Gen(quint32 seed) : m_rng(seed) { }

    int below(int n) { return int(m_rng.bounded(n)); }
    bool chance(double p) { return m_rng.generateDouble() < p; }

    QJsonValue scalar()
    {
        switch (below(5)) {
        case 0:
            return QJsonValue(QJsonValue::Null);
        case 1:
            return chance(0.5);
        case 2:
            return below(1000);
        case 3:
            return m_rng.generateDouble() * 100;
        default:
            return u"s"_s + QString::number(below(20));
        }
    }
    QString key() { return QString(QChar(u'a' + below(6))); }

    QJsonValue value(int depth)
    {
        const int kind = depth <= 0 ? 0 : below(4);
        if (kind == 0 || kind == 1)
            return scalar();
        if (kind == 2) {
            QJsonArray a;
            for (int n = below(5); n > 0; --n)
                a.append(value(depth - 1));
            return a;
        }
        QJsonObject o;
        for (int n = below(5); n > 0; --n)
            o.insert(key(), value(depth - 1));
        return o;
    }

    // A changed copy: members added, removed and replaced, arrays grown,
    // shrunk and edited, types switched.
    QJsonValue mutate(const QJsonValue &v, int depth)
    {
        if (chance(0.08))
            return value(depth);
        if (v.isObject()) {
            QJsonObject o = v.toObject();
            const QStringList keys = o.keys();
            for (const QString &k : keys) {
                if (chance(0.15))
                    o.remove(k);
                else if (chance(0.5))
                    o.insert(k, mutate(o.value(k), depth - 1));
            }
            if (chance(0.3))
                o.insert(key(), value(depth - 1));
            return o;
        }
        if (v.isArray()) {
            QJsonArray a = v.toArray();
            for (qsizetype i = 0; i < a.size(); ++i)
                if (chance(0.4))
                    a.replace(i, mutate(a.at(i), depth - 1));
            if (chance(0.25) && !a.isEmpty())
                a.removeAt(below(int(a.size())));
            if (chance(0.25))
                a.append(value(depth - 1));
            if (chance(0.1))
                a = QJsonArray {};
            return a;
        }
        return chance(0.5) ? scalar() : v;
    }

private:
    QRandomGenerator m_rng;
};

QByteArray text(const QJsonValue &v)
{
    return QJsonDocument(QJsonArray {v}).toJson(QJsonDocument::Compact);
}

} // namespace

class TestDevDelta : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void examples_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<int>("ops");
        QTest::newRow("equal") << QByteArray(R"({"a":[1,{"b":2}]})") << QByteArray(R"({"a":[1,{"b":2}]})") << 0;
        QTest::newRow("one value") << QByteArray(R"({"a":{"b":1,"c":2}})") << QByteArray(R"({"a":{"b":1,"c":3}})") << 1;
        QTest::newRow("member removed") << QByteArray(R"({"a":1,"b":2})") << QByteArray(R"({"a":1})") << 1;
        QTest::newRow("array grows") << QByteArray(R"({"a":[1,2]})") << QByteArray(R"({"a":[1,2,3,4]})") << 2;
        QTest::newRow("array shrinks: sent whole")
            << QByteArray(R"({"a":[1,2,3]})") << QByteArray(R"({"a":[1,2]})") << 1;
        QTest::newRow("root array shrinks") << QByteArray("[1,2,3]") << QByteArray("[1]") << 1;
        QTest::newRow("object becomes array") << QByteArray(R"({"a":{"0":1}})") << QByteArray(R"({"a":[1]})") << 1;
        QTest::newRow("null member") << QByteArray(R"({"a":1})") << QByteArray(R"({"a":null})") << 1;
        QTest::newRow("member named like an index")
            << QByteArray(R"({"a":{"1":1}})") << QByteArray(R"({"a":{"1":2,"0":0}})") << 2;
    }
    void examples()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(int, ops);
        const QJsonDocument a = QJsonDocument::fromJson(from);
        const QJsonDocument b = QJsonDocument::fromJson(to);
        const QJsonValue va = a.isArray() ? QJsonValue(a.array()) : QJsonValue(a.object());
        const QJsonValue vb = b.isArray() ? QJsonValue(b.array()) : QJsonValue(b.object());
        const QJsonArray patch = devserver::diffJson(va, vb);
        QCOMPARE(patch.size(), ops);
        QCOMPARE(text(SnapshotClient::applyPatch(va, patch)), text(vb));
    }

    void randomChanges()
    {
        for (quint32 seed = 1; seed <= 3000; ++seed) {
            Gen gen(seed);
            QJsonObject doc = gen.value(4).toObject();
            if (doc.isEmpty())
                doc.insert(u"x"_s, gen.value(3));
            const QJsonValue from(doc);
            QJsonValue to = gen.mutate(from, 4);
            if (!to.isObject() && !to.isArray())
                to = QJsonObject {{u"x"_s, to}};
            const QJsonArray patch = devserver::diffJson(from, to);
            const QJsonValue applied = SnapshotClient::applyPatch(from, patch);
            if (text(applied) != text(to))
                QFAIL(qPrintable(u"seed %1\nfrom %2\nto   %3\npatch %4\ngot  %5"_s.arg(seed).arg(
                    QString::fromUtf8(text(from)), QString::fromUtf8(text(to)),
                    QString::fromUtf8(QJsonDocument(patch).toJson(QJsonDocument::Compact)),
                    QString::fromUtf8(text(applied)))));
            if (from == to)
                QCOMPARE(patch.size(), 0);
        }
    }

    // The server's data moving tick by tick (campaigns paused, rows reordered,
    // source rows appearing and disappearing): every delta answer patches the
    // held document into the full current one.
    void serverDeltas_data()
    {
        QTest::addColumn<quint64>("seed");
        QTest::addColumn<QString>("timeframe");
        QTest::addColumn<QString>("accounts");
        QTest::newRow("seed 1 today") << quint64(1) << u"today"_s << QString();
        QTest::newRow("seed 2 last 7") << quint64(2) << u"last_7"_s << QString();
        QTest::newRow("seed 3 this month, two accounts")
            << quint64(3) << u"this_month"_s << u"act_104211,gads_559-201-3380"_s;
    }
    void serverDeltas()
    {
        QFETCH(quint64, seed);
        QFETCH(QString, timeframe);
        QFETCH(QString, accounts);
        devserver::ServerOptions options;
        options.seed = seed;
        options.tickMs = 20'000;
        Rig rig(options);
        Client app(rig.base());
        QCOMPARE(signIn(app, rig.base(), u"usr_ada"_s).status, 200);
        QJsonObject params {{u"include"_s, u"dashboard"_s}, {u"timeframe"_s, timeframe}};
        if (!accounts.isEmpty())
            params.insert(u"accounts"_s, accounts);

        QJsonObject held = app.snapshot(params).json();
        QHash<qint64, QJsonValue> versions {{held.value(u"version"_s).toInteger(), held.value(u"data"_s)}};
        QRandomGenerator rng {quint32(seed)};
        int deltas = 0;
        for (int round = 0; round < 60; ++round) {
            rig.clock.advance(qint64(rng.bounded(1, 4)) * 20'000);
            // Sometimes revalidate from an older version the server still keeps.
            const QList<qint64> known = versions.keys();
            const qint64 have
                = rng.bounded(3) == 0 ? known.at(rng.bounded(int(known.size()))) : held.value(u"version"_s).toInteger();
            const Answer a = app.snapshot(params, have);
            const Answer full = app.snapshot(params);
            QCOMPARE(full.status, 200);
            const QJsonValue current = full.json().value(u"data"_s);
            if (a.status == 304) {
                QCOMPARE(text(versions.value(have)), text(current));
                continue;
            }
            QCOMPARE(a.status, 200);
            const QJsonObject answer = a.json();
            QCOMPARE(answer.value(u"version"_s), full.json().value(u"version"_s));
            QJsonValue doc;
            if (answer.value(u"kind"_s).toString() == "delta"_L1) {
                ++deltas;
                QCOMPARE(answer.value(u"baseVersion"_s).toInteger(), have);
                doc = SnapshotClient::applyPatch(versions.value(have), answer.value(u"patch"_s).toArray());
            } else {
                doc = answer.value(u"data"_s);
            }
            QCOMPARE(text(doc), text(current));
            held = full.json();
            versions.insert(held.value(u"version"_s).toInteger(), current);
        }
        QVERIFY2(deltas > 20, qPrintable(QString::number(deltas)));
    }
};

QTEST_GUILESS_MAIN(TestDevDelta)
#include "tst_devdelta.moc"
