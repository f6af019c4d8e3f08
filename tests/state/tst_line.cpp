// The menu-bar line: which text is shown, the placeholder signs and shortening
// by user-perceived characters.
#include "state/store.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString warning = u"\u26A0\uFE0E"_s;
const QString ellipsis = u"\u2026"_s;
const QString dash = u"\u2013"_s;

const QString flagDE = u"\U0001F1E9\U0001F1EA"_s;
const QString flagFR = u"\U0001F1EB\U0001F1F7"_s;
const QString thumbTone = u"\U0001F44D\U0001F3FD"_s; // thumbs up, medium skin tone
const QString family = u"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"_s;
const QString eAcute = u"e\u0301"_s; // e with a combining accent

} // namespace

class TestLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void graphemes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("ascii") << u"$2.4k ($41/58•$310/8) 3.2x"_s << 26;
        QTest::newRow("two flags") << flagDE + flagFR << 2;
        QTest::newRow("skin tone") << thumbTone + thumbTone << 2;
        QTest::newRow("zwj family") << family << 1;
        QTest::newRow("combining accent") << eAcute + u"x"_s << 2;
    }
    void graphemes()
    {
        QFETCH(QString, text);
        QFETCH(int, count);
        QCOMPARE(Store::graphemeCount(text), count);
    }

    void title_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("restoring");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("hasError");
        QTest::addColumn<bool>("loading");
        QTest::addColumn<qint64>("lineIndex");
        QTest::addColumn<qint64>("maxLength");
        QTest::addColumn<QString>("expected");

        const QStringList two {u"first"_s, u"second"_s};
        QTest::newRow("not connected, restoring") << false << true << two << false << false << 0LL << 40LL << QString();
        QTest::newRow("not connected, restored")
            << false << false << two << true << true << 0LL << 40LL << u"Quillmere"_s;
        QTest::newRow("index 1 of two") << true << false << two << false << false << 1LL << 40LL << u"second"_s;
        QTest::newRow("index 2 of two") << true << false << two << false << false << 2LL << 40LL << u"first"_s;
        QTest::newRow("index -1") << true << false << two << false << false << -1LL << 40LL << u"first"_s;
        QTest::newRow("line kept despite error") << true << false << two << true << true << 0LL << 40LL << u"first"_s;
        QTest::newRow("error wins over loading")
            << true << false << QStringList() << true << true << 0LL << 40LL << warning;
        QTest::newRow("loading") << true << false << QStringList() << false << true << 0LL << 40LL << ellipsis;
        QTest::newRow("idle, no lines") << true << false << QStringList() << false << false << 0LL << 40LL << dash;
        QTest::newRow("placeholders are not shortened")
            << true << false << QStringList() << true << false << 0LL << 0LL << warning;
        QTest::newRow("restoring but connected")
            << true << true << QStringList() << false << false << 0LL << 40LL << dash;

        const QString line = u"$2.4k ($41/58•$310/8) 3.2x"_s;
        QTest::newRow("shortened to 10") << true << false << QStringList {line} << false << false << 0LL << 10LL
                                         << u"$2.4k ($4"_s + ellipsis;
        QTest::newRow("exactly 10") << true << false << QStringList {u"0123456789"_s} << false << false << 0LL << 10LL
                                    << u"0123456789"_s;
        QTest::newRow("11 into 10") << true << false << QStringList {u"0123456789A"_s} << false << false << 0LL << 10LL
                                    << u"012345678"_s + ellipsis;
        QTest::newRow("max 1") << true << false << QStringList {u"ab"_s} << false << false << 0LL << 1LL << ellipsis;
        QTest::newRow("max 1, one char") << true << false << QStringList {u"a"_s} << false << false << 0LL << 1LL
                                         << u"a"_s;
        QTest::newRow("max 0 acts as 1") << true << false << QStringList {u"ab"_s} << false << false << 0LL << 0LL
                                         << ellipsis;
        QTest::newRow("max -7 acts as 1")
            << true << false << QStringList {u"ab"_s} << false << false << 0LL << -7LL << ellipsis;
        QTest::newRow("flags not split") << true << false << QStringList {flagDE + flagFR + u"abc"_s} << false << false
                                         << 0LL << 3LL << flagDE + flagFR + ellipsis;
        QTest::newRow("flags fit") << true << false << QStringList {flagDE + flagFR + u"a"_s} << false << false << 0LL
                                   << 3LL << flagDE + flagFR + u"a"_s;
        QTest::newRow("skin tone fits") << true << false << QStringList {thumbTone + thumbTone + thumbTone} << false
                                        << false << 0LL << 3LL << thumbTone + thumbTone + thumbTone;
        QTest::newRow("skin tone kept whole") << true << false << QStringList {thumbTone + thumbTone + thumbTone}
                                              << false << false << 0LL << 2LL << thumbTone + ellipsis;
        QTest::newRow("family fits") << true << false << QStringList {family + u"x"_s} << false << false << 0LL << 2LL
                                     << family + u"x"_s;
        QTest::newRow("family kept whole")
            << true << false << QStringList {family + u"xy"_s} << false << false << 0LL << 2LL << family + ellipsis;
        QTest::newRow("combining accent kept") << true << false << QStringList {eAcute + eAcute + eAcute} << false
                                               << false << 0LL << 2LL << eAcute + ellipsis;
    }
    void title()
    {
        QFETCH(bool, connected);
        QFETCH(bool, restoring);
        QFETCH(QStringList, lines);
        QFETCH(bool, hasError);
        QFETCH(bool, loading);
        QFETCH(qint64, lineIndex);
        QFETCH(qint64, maxLength);
        QFETCH(QString, expected);

        Store::LineInputs in;
        in.connected = connected;
        in.restoring = restoring;
        in.lines = lines;
        in.hasError = hasError;
        in.loading = loading;
        in.lineIndex = lineIndex;
        in.maxLength = maxLength;
        const QString shown = Store::titleFor(in);
        QCOMPARE(shown, expected);
        // A shortened line is exactly maxLength characters long.
        if (shown.endsWith(ellipsis) && !lines.isEmpty())
            QCOMPARE(Store::graphemeCount(shown), int(std::max<qint64>(maxLength, 1)));
    }
};

QTEST_GUILESS_MAIN(TestLine)
#include "tst_line.moc"
