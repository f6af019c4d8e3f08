#include "statusline.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;

class TestStatusLine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void cssClass_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<bool>("restoring");
        QTest::addColumn<bool>("loading");
        QTest::addColumn<bool>("hasError");
        QTest::addColumn<QString>("expected");
        QTest::newRow("idle, connected") << true << false << false << false << u"ok"_s;
        QTest::newRow("not connected") << false << false << false << false << u"disconnected"_s;
        QTest::newRow("loading") << true << false << true << false << u"loading"_s;
        QTest::newRow("restoring, not yet connected") << false << true << false << false << u"loading"_s;
        QTest::newRow("error wins over loading") << true << false << true << true << u"error"_s;
        QTest::newRow("error while not connected") << false << false << false << true << u"error"_s;
    }

    void cssClass()
    {
        QFETCH(bool, connected);
        QFETCH(bool, restoring);
        QFETCH(bool, loading);
        QFETCH(bool, hasError);
        QFETCH(QString, expected);
        StatusLine line;
        line.connected = connected;
        line.restoring = restoring;
        line.loading = loading;
        if (hasError)
            line.error = u"Request failed (500)"_s;
        QCOMPARE(line.cssClass(), expected);
    }

    void tooltip_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("updated");
        QTest::addColumn<QStringList>("expected");
        const QString updated = u"Updated "_s + QLocale::system().toString(QTime(9, 5), QLocale::ShortFormat);
        QTest::newRow("nothing") << QStringList() << QString() << false << QStringList();
        QTest::newRow("first of two lines and time")
            << QStringList {u"$2.4k"_s, u"second"_s} << QString() << true << QStringList {u"$2.4k"_s, updated};
        QTest::newRow("stale line with error") << QStringList {u"$2.4k"_s} << u"Request failed (502)"_s << true
                                               << QStringList {u"$2.4k"_s, u"Request failed (502)"_s, updated};
        QTest::newRow("error only") << QStringList() << u"Session expired. Sign in again."_s << false
                                    << QStringList {u"Session expired. Sign in again."_s};
    }

    void tooltip()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, error);
        QFETCH(bool, updated);
        QFETCH(QStringList, expected);
        StatusLine line;
        line.lines = lines;
        if (!error.isEmpty())
            line.error = error;
        if (updated)
            line.updatedAt = QDateTime(QDate(2024, 5, 1), QTime(9, 5));
        QCOMPARE(line.tooltip(), expected.join(u'\n'));
    }

    // One line of JSON whatever the texts hold, readable back to the same values.
    void jsonIsOneLine_data()
    {
        QTest::addColumn<QString>("title");
        QTest::newRow("plain") << u"$2.4k ($310/8) 3.2x"_s;
        QTest::newRow("quotes and backslash") << u"a \"b\" \\ c"_s;
        QTest::newRow("line break from the server") << u"one\ntwo\r\n"_s;
        QTest::newRow("emoji and flag") << u"\U0001F1E9\U0001F1EA 👍🏽 …"_s;
        QTest::newRow("empty") << QString();
    }

    void jsonIsOneLine()
    {
        QFETCH(QString, title);
        StatusLine line;
        line.title = title;
        line.connected = true;
        line.lines = {title};
        line.error = u"bad \"thing\"\nhappened"_s;
        const QByteArray json = line.json();
        QVERIFY(!json.contains('\n'));
        const QJsonObject object = QJsonDocument::fromJson(json).object();
        QCOMPARE(object.keys(), (QStringList {u"class"_s, u"text"_s, u"tooltip"_s}));
        QCOMPARE(object.value("text"_L1).toString(), title);
        QCOMPARE(object.value("tooltip"_L1).toString(), line.tooltip());
        QCOMPARE(object.value("class"_L1).toString(), u"error"_s);
    }

    void plainIsOneLine_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << u"$2.4k 3.2x"_s << u"$2.4k 3.2x"_s;
        QTest::newRow("lf") << u"a\nb"_s << u"a b"_s;
        QTest::newRow("crlf") << u"a\r\nb"_s << u"a b"_s;
        QTest::newRow("cr and separators") << u"a\rb\u2028c\u2029d"_s << u"a b c d"_s;
    }

    void plainIsOneLine()
    {
        QFETCH(QString, title);
        QFETCH(QString, expected);
        StatusLine line;
        line.title = title;
        QCOMPARE(line.plain(), expected);
    }
};

QTEST_GUILESS_MAIN(TestStatusLine)
#include "tst_statusline.moc"
