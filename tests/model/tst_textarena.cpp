// Decoded strings share larger allocations. They must still behave like any
// other QString: outlive the decoder and the records, detach on change, stay
// zero-terminated, and never write into a neighbour's text.
#include "model/jsonreader.h"
#include "model/records.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <string_view>

using namespace Qt::StringLiterals;

namespace {

QString textOf(int i)
{
    // Short, long, non-Latin-1 and astral text, so strings cross blocks and
    // some stay in their own allocation.
    switch (i % 5) {
    case 0:
        return u"row %1"_s.arg(i);
    case 1:
        return u"Größe €%1 😀"_s.arg(i);
    case 2:
        return QString(300 + i % 7, QChar(u'a' + i % 26));
    case 3:
        return QString();
    default:
        return u"%1"_s.arg(i).repeated(1 + i % 40);
    }
}

bool terminated(const QString &s)
{
    const auto *text = reinterpret_cast<const char16_t *>(s.utf16());
    return std::u16string_view(text).size() == size_t(s.size());
}

} // namespace

class TestTextArena : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stringsOutliveTheArena()
    {
        QStringList kept;
        {
            json::TextArena arena;
            for (int i = 0; i < 5000; ++i)
                kept.append(arena.share(textOf(i)));
        }
        QCOMPARE(kept.size(), 5000);
        for (int i = 0; i < kept.size(); ++i) {
            QCOMPARE(kept[i], textOf(i));
            QVERIFY2(terminated(kept[i]), qPrintable(u"string %1"_s.arg(i)));
        }
        // Dropping all but a few, in any order, leaves those intact.
        for (int i = kept.size() - 1; i >= 0; --i)
            if (i % 997 != 0)
                kept.removeAt(i);
        QCOMPARE(kept.size(), 6);
        for (int i = 0; i < kept.size(); ++i)
            QCOMPARE(kept[i], textOf(i * 997));
    }

    void changesDetachFromNeighbours()
    {
        json::TextArena arena;
        QString a = arena.share(u"alpha"_s);
        const QString b = arena.share(u"beta"_s);
        QString c = arena.share(u"gamma"_s);
        const QString copyOfC = c;

        a.append(u"-and-a-much-longer-tail-than-the-gap-before-beta"_s);
        a[0] = u'A';
        c.prepend(u"pre-"_s);
        QCOMPARE(a, u"Alpha-and-a-much-longer-tail-than-the-gap-before-beta"_s);
        QCOMPARE(b, u"beta"_s);
        QCOMPARE(c, u"pre-gamma"_s);
        QCOMPARE(copyOfC, u"gamma"_s);
        QVERIFY(terminated(a) && terminated(b) && terminated(c) && terminated(copyOfC));
    }

    // A string handed over is freed at once only when nothing else holds
    // its text; copies, raw data and literals stay untouched.
    void handedOverTextWithOtherOwnersSurvives()
    {
        static const char16_t raw[] = u"raw text";
        const QString original = u"shared %1"_s.arg(u"text"); // its own allocation
        const QString literal = QStringLiteral("a literal");
        QString copy = original;
        QStringList shared;
        {
            json::TextArena arena;
            shared.append(arena.share(std::move(copy)));
            shared.append(arena.share(QString::fromRawData(reinterpret_cast<const QChar *>(raw), 8)));
            shared.append(arena.share(QString(literal)));
            QString sole = u"sole %1"_s.arg(u"owner"); // its text is freed once copied
            shared.append(arena.share(std::move(sole)));
        }
        QCOMPARE(original, u"shared text"_s);
        QCOMPARE(literal, u"a literal"_s);
        QCOMPARE(shared, (QStringList {u"shared text"_s, u"raw text"_s, u"a literal"_s, u"sole owner"_s}));
        QCOMPARE(std::u16string_view(raw), u"raw text");
    }

    // The last string of a block may grow or shrink in place; the text of
    // strings released before it is no longer anyone's.
    void soleOwnerChangesInPlace()
    {
        QString last;
        {
            json::TextArena arena;
            QStringList others;
            for (int i = 0; i < 10; ++i)
                others.append(arena.share(u"neighbour %1"_s.arg(i)));
            last = arena.share(u"middle"_s);
            for (int i = 0; i < 10; ++i)
                others.append(arena.share(u"after %1"_s.arg(i)));
        }
        QVERIFY(last.isDetached());
        last.prepend(u"<"_s);
        last.append(QString(20000, u'x'));
        last.append(u">"_s);
        QCOMPARE(last.size(), 20008);
        QVERIFY(last.startsWith(u"<middle"_s));
        QVERIFY(last.endsWith(u"x>"_s));
        last.truncate(7);
        last.squeeze();
        QCOMPARE(last, u"<middle"_s);
        QVERIFY(terminated(last));
    }

    // Every string of a decoded document reads as the document has it, and
    // stays valid after the records are gone.
    void decodedTextMatchesTheDocument()
    {
        QJsonArray rows;
        for (int i = 0; i < 3000; ++i)
            rows.append(QJsonObject {{u"id"_s, u"r%1"_s.arg(i)}, {u"name"_s, textOf(i)}, {u"active"_s, i % 2 == 0},
                {u"spend"_s, u"$%1"_s.arg(i)}, {u"revenue"_s, textOf(i + 1)}, {u"roas"_s, u""_s}});
        const QJsonObject dashboard {{u"workspaceName"_s, u"Acme"_s}, {u"timeframe"_s, u"Today"_s},
            {u"asset"_s, u"Campaigns"_s}, {u"partial"_s, false}, {u"tiles"_s, QJsonArray {}}, {u"rows"_s, rows}};
        const QByteArray bytes
            = QJsonDocument(QJsonObject {{u"lines"_s, QJsonArray {u"one"_s}}, {u"dashboard"_s, dashboard}}).toJson();

        QStringList names;
        {
            const Payload p = decodeJson<Payload>(bytes);
            QCOMPARE(p.dashboard->rows.size(), 3000);
            for (int i = 0; i < 3000; ++i) {
                const Payload::Row &row = p.dashboard->rows[i];
                QCOMPARE(row.id, u"r%1"_s.arg(i));
                QCOMPARE(row.name, textOf(i));
                QCOMPARE(row.revenue, textOf(i + 1));
                QVERIFY(row.roas.isEmpty());
                QVERIFY(terminated(row.name));
                names.append(row.name);
            }
        }
        for (int i = 0; i < 3000; ++i)
            QCOMPARE(names[i], textOf(i));
    }
};

QTEST_GUILESS_MAIN(TestTextArena)
#include "tst_textarena.moc"
