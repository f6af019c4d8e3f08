// Figures and line templates as the development server renders them.

#include "render.h"

#include <QTest>

using namespace devserver;
using namespace Qt::StringLiterals;

class TestDevRender : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void money_data()
    {
        QTest::addColumn<double>("dollars");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero") << 0.0 << -1 << u"$0"_s;
        QTest::newRow("cents below ten") << 4.567 << -1 << u"$4.57"_s;
        QTest::newRow("whole dollars") << 310.4 << -1 << u"$310"_s;
        QTest::newRow("just below a thousand") << 999.4 << -1 << u"$999"_s;
        QTest::newRow("rounds up into k") << 999.6 << -1 << u"$1.0k"_s;
        QTest::newRow("k one decimal") << 2400.0 << -1 << u"$2.4k"_s;
        QTest::newRow("k rounds to hundred") << 99960.0 << -1 << u"$100k"_s;
        QTest::newRow("k no decimals") << 240000.0 << -1 << u"$240k"_s;
        QTest::newRow("rounds up into M") << 999999.0 << -1 << u"$1.0M"_s;
        QTest::newRow("M") << 1234567.0 << -1 << u"$1.2M"_s;
        QTest::newRow("negative") << -85.0 << -1 << u"-$85"_s;
        QTest::newRow("negative k") << -5280.0 << -1 << u"-$5.3k"_s;
        QTest::newRow("forced decimals small") << 41.379 << 2 << u"$41.38"_s;
        QTest::newRow("forced zero decimals") << 41.379 << 0 << u"$41"_s;
        QTest::newRow("forced decimals k") << 2400.0 << 2 << u"$2.40k"_s;
        QTest::newRow("forced zero decimals k") << 2450.0 << 0 << u"$2k"_s;
    }
    void money()
    {
        QFETCH(double, dollars);
        QFETCH(int, decimals);
        QFETCH(QString, expected);
        QCOMPARE(format::money(dollars, decimals), expected);
    }

    void counts_data()
    {
        QTest::addColumn<qint64>("n");
        QTest::addColumn<QString>("expected");
        QTest::newRow("small") << qint64(8) << u"8"_s;
        QTest::newRow("below ten thousand") << qint64(9999) << u"9999"_s;
        QTest::newRow("k") << qint64(12345) << u"12.3k"_s;
        QTest::newRow("M") << qint64(1500000) << u"1.5M"_s;
    }
    void counts()
    {
        QFETCH(qint64, n);
        QFETCH(QString, expected);
        QCOMPARE(format::count(n), expected);
    }

    // The seven presets over one set of figures: spend $2,400, revenue
    // $7,680 (front-end $5,040), 58 leads, 14 appointments, 8 sales.
    void presets_data()
    {
        QTest::addColumn<QString>("tpl");
        QTest::addColumn<QString>("expected");
        QTest::newRow("sales") << u"{spend} ({cac}/{sales}) {roas.1}x"_s << u"$2.4k ($300/8) 3.2x"_s;
        QTest::newRow("leads_sales") << u"{spend} ({cpl.0}/{leads}\u2022{cac}/{sales}) {roas.1}x"_s
                                     << u"$2.4k ($41/58\u2022$300/8) 3.2x"_s;
        QTest::newRow("fe_sales") << u"{spend} ({cac}/{sales}) {roas@fe.1}x"_s << u"$2.4k ($300/8) 2.1x"_s;
        QTest::newRow("leads_appts") << u"{spend} ({cpl.0}/{leads}\u2022{cpa}/{appts}) {roas.1}x"_s
                                     << u"$2.4k ($41/58\u2022$171/14) 3.2x"_s;
        QTest::newRow("lead_gen") << u"{spend} \u2192 {leads} @ {cpl.0}"_s << u"$2.4k \u2192 58 @ $41"_s;
        QTest::newRow("profit") << u"{revenue} rev \u00b7 {profit} profit"_s << u"$7.7k rev \u00b7 $5.3k profit"_s;
        QTest::newRow("roas default decimals") << u"{roas}"_s << u"3.20"_s;
        QTest::newRow("front-end revenue and profit") << u"{revenue@fe} {profit@fe}"_s << u"$5.0k $2.6k"_s;
        QTest::newRow("unknown name stays") << u"{bogus} {spend}"_s << u"{bogus} $2.4k"_s;
        QTest::newRow("front-end of spend is unknown") << u"{spend@fe}"_s << u"{spend@fe}"_s;
        QTest::newRow("unknown variant") << u"{roas@xx.1}"_s << u"{roas@xx.1}"_s;
        QTest::newRow("unclosed brace") << u"{spend"_s << u"{spend"_s;
        QTest::newRow("doubled braces") << u"{{spend}}"_s << u"{$2.4k}"_s;
        QTest::newRow("no placeholders") << u"plain text"_s << u"plain text"_s;
        QTest::newRow("empty") << QString() << QString();
    }
    void presets()
    {
        QFETCH(QString, tpl);
        QFETCH(QString, expected);
        Metrics m;
        m.spendCents = 240000;
        m.revenueCents = 768000;
        m.feRevenueCents = 504000;
        m.leads = 58;
        m.appts = 14;
        m.sales = 8;
        m.clicks = 1600;
        QCOMPARE(renderTemplate(tpl, m), expected);
    }

    // Nothing to divide by: the figure is shown as unavailable, never as inf or nan.
    void divisionByZero_data()
    {
        QTest::addColumn<QString>("tpl");
        QTest::newRow("cac") << u"{cac}"_s;
        QTest::newRow("cpl") << u"{cpl.0}"_s;
        QTest::newRow("cpa") << u"{cpa}"_s;
        QTest::newRow("roas") << u"{roas.1}"_s;
        QTest::newRow("roas fe") << u"{roas@fe.1}"_s;
    }
    void divisionByZero()
    {
        QFETCH(QString, tpl);
        const QString out = renderTemplate(tpl, Metrics {});
        QCOMPARE(out, format::unavailable());
    }
};

QTEST_GUILESS_MAIN(TestDevRender)
#include "tst_devrender.moc"
