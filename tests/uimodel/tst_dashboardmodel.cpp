// The dashboard's rules and the sources table's lines, without QML.

#include "../state/storerig.h"
#include "dashboardmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

Payload::Dashboard dashboard(const char *extra = "{}")
{
    QJsonObject d = parse(R"({"workspaceName":"Alpha","timeframe":"Last 7 days","timeframeKey":"last_7",
        "timeframes":[{"key":"today","label":"Today"},{"key":"last_30","label":"Last 30 days"}],
        "asset":"Campaigns","partial":false,
        "tiles":[{"key":"spend","label":"Spend","value":"$1","accent":false}],
        "rows":[{"id":"r1","name":"One","active":true,"spend":"$1","revenue":"$2","roas":"2x"}]})");
    const QJsonObject more = parse(extra);
    for (auto it = more.begin(); it != more.end(); ++it) {
        if (it->isNull())
            d.remove(it.key());
        else
            d.insert(it.key(), *it);
    }
    return Payload::Dashboard::fromJson(d, json::Path {});
}

// p (c1 (g1), c2) q, with c1 also appearing under q to check matching by id.
QList<Payload::SourceRow> tree()
{
    const QJsonArray rows = QJsonDocument::fromJson(R"([
        {"id":"p","name":"P","rest":false,"values":[],"children":[
            {"id":"c1","name":"C1","rest":false,"values":[],"children":[{"id":"g1","name":"G1","rest":false,"values":[]}]},
            {"id":"c2","name":"C2","rest":false,"values":[],"children":[]}]},
        {"id":"q","name":"Q","rest":false,"values":[],"children":[
            {"id":"c1","name":"C1 again","rest":false,"values":[]}]}])")
                                .array();
    QList<Payload::SourceRow> list;
    for (const QJsonValue &v : rows)
        list.append(Payload::SourceRow::fromJson(v, json::Path {}));
    return list;
}

QString names(const QList<SourceLines::Line> &lines)
{
    QStringList out;
    for (const SourceLines::Line &l : lines)
        out.append(QString(l.depth, u'.') + l.row->name);
    return out.join(u' ');
}
} // namespace

class TestDashboardModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void switching_data()
    {
        QTest::addColumn<bool>("loading");
        QTest::addColumn<QString>("timeframe"); // empty: absent
        QTest::addColumn<QString>("dashboard"); // "none", or extra members
        QTest::addColumn<bool>("expected");
        QTest::newRow("idle") << false << u"last_30"_s << u"{}"_s << false;
        QTest::newRow("no range chosen") << true << QString() << u"{}"_s << false;
        QTest::newRow("same range") << true << u"last_7"_s << u"{}"_s << false;
        QTest::newRow("other range") << true << u"last_30"_s << u"{}"_s << true;
        QTest::newRow("no dashboard") << true << u"last_30"_s << u"none"_s << true;
        QTest::newRow("dashboard without key") << true << u"last_7"_s << uR"({"timeframeKey":null})"_s << true;
    }
    void switching()
    {
        QFETCH(bool, loading);
        QFETCH(QString, timeframe);
        QFETCH(QString, dashboard);
        QFETCH(bool, expected);
        const std::optional<Payload::Dashboard> d
            = dashboard == u"none"_s ? std::nullopt : std::optional(::dashboard(dashboard.toUtf8().constData()));
        const std::optional<QString> tf = timeframe.isEmpty() ? std::nullopt : std::optional(timeframe);
        QCOMPARE(DashboardModel::switchingOf(loading, tf, d), expected);
    }

    // The content area's state table, with the error shown above any of it.
    void contentStates_data()
    {
        QTest::addColumn<bool>("payload");
        QTest::addColumn<bool>("hasDashboard");
        QTest::addColumn<bool>("loading");
        QTest::addColumn<bool>("switching");
        QTest::addColumn<bool>("lines");
        QTest::addColumn<DashboardModel::LineSlot>("slot");
        QTest::addColumn<DashboardModel::Block>("block");
        using S = DashboardModel::LineSlot;
        using B = DashboardModel::Block;
        QTest::newRow("no payload, loading")
            << false << false << true << false << false << S::LineSkeleton << B::Skeleton;
        QTest::newRow("no payload, idle") << false << false << false << false << false << S::NoLine << B::NoBlock;
        QTest::newRow("dashboard") << true << true << false << false << true << S::FirstLine << B::Content;
        QTest::newRow("dashboard refreshing same range")
            << true << true << true << false << true << S::FirstLine << B::Content;
        QTest::newRow("dashboard, switching") << true << true << true << true << true << S::FirstLine << B::Skeleton;
        QTest::newRow("no dashboard, loading") << true << false << true << true << true << S::FirstLine << B::Skeleton;
        QTest::newRow("no dashboard, idle") << true << false << false << false << true << S::FirstLine << B::NoBlock;
        QTest::newRow("no lines") << true << true << false << false << false << S::NoLine << B::Content;
    }
    void contentStates()
    {
        QFETCH(bool, payload);
        QFETCH(bool, hasDashboard);
        QFETCH(bool, loading);
        QFETCH(bool, switching);
        QFETCH(bool, lines);
        QFETCH(DashboardModel::LineSlot, slot);
        QFETCH(DashboardModel::Block, block);
        QCOMPARE(DashboardModel::lineSlotOf(payload, loading, lines), slot);
        QCOMPARE(DashboardModel::blockOf(hasDashboard, switching, loading), block);
    }

    // Range name, update time (hours and minutes in the locale's way) and picker.
    void smallRules()
    {
        const QDateTime at(QDate(2024, 5, 1), QTime(14, 5, 33));
        QCOMPARE(DashboardModel::timeOfDay(at, QLocale(QLocale::German)), u"14:05"_s);
        QVERIFY(DashboardModel::timeOfDay(at, QLocale(QLocale::English, QLocale::UnitedStates)).startsWith(u"2:05"_s));
        QCOMPARE(DashboardModel::timeOfDay(at, QLocale::c()), u"14:05"_s); // its short format has seconds
        QCOMPARE(DashboardModel::timeOfDay(std::nullopt, QLocale::c()), QString());
        QVERIFY(DashboardModel::workspacePickerOf(true, 2));
        QVERIFY(!DashboardModel::workspacePickerOf(true, 1));
        QVERIFY(!DashboardModel::workspacePickerOf(false, 3));
        const Payload::Dashboard d = dashboard();
        QCOMPARE(DashboardModel::rangeNameOf(d, false, u"last_30"_s), u"Last 7 days"_s);
        QCOMPARE(DashboardModel::rangeNameOf(d, true, u"last_30"_s), u"Last 30 days"_s);
        QCOMPARE(DashboardModel::rangeNameOf(d, true, u"unknown"_s), u"Last 7 days"_s);
        QCOMPARE(DashboardModel::rangeNameOf(dashboard(R"({"timeframes":null})"), true, u"today"_s), u"Last 7 days"_s);
    }

    void table_data()
    {
        QTest::addColumn<QString>("extra");
        QTest::addColumn<DashboardModel::Table>("table");
        using T = DashboardModel::Table;
        const QString sources = uR"({"sources":{"columns":[],"rows":[%1],"totals":[]}})"_s;
        QTest::newRow("rows") << u"{}"_s << T::RowsTable;
        QTest::newRow("nothing") << uR"({"rows":[]})"_s << T::NoTable;
        QTest::newRow("sources without rows, rows present") << sources.arg(QString()) << T::NoTable;
        QTest::newRow("sources") << sources.arg(uR"({"id":"s","name":"S","rest":false,"values":[]})"_s)
                                 << T::SourcesTable;
    }
    void table()
    {
        QFETCH(QString, extra);
        QFETCH(DashboardModel::Table, table);
        QCOMPARE(DashboardModel::tableOf(dashboard(extra.toUtf8().constData())), table);
    }

    void menus_data()
    {
        QTest::addColumn<bool>("accounts");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("workspaceId");
        QTest::addColumn<QString>("active"); // "-": absent
        QTest::addColumn<bool>("menu");
        QTest::newRow("no accounts") << false << false << QString() << u"-"_s << false;
        QTest::newRow("embed link") << true << false << u"w2"_s << u"w1"_s << true;
        QTest::newRow("active workspace") << true << true << QString() << u"w1"_s << true;
        QTest::newRow("picked the active one") << true << true << u"w1"_s << u"w1"_s << true;
        QTest::newRow("another workspace") << true << true << u"w2"_s << u"w1"_s << false;
        QTest::newRow("no active workspace") << true << true << u"w2"_s << u"-"_s << false;
    }
    void menus()
    {
        QFETCH(bool, accounts);
        QFETCH(bool, signedIn);
        QFETCH(QString, workspaceId);
        QFETCH(QString, active);
        QFETCH(bool, menu);
        const std::optional<QString> a = active == u"-"_s ? std::nullopt : std::optional(active);
        QCOMPARE(DashboardModel::accountMenuOf(accounts, signedIn, workspaceId, a), menu);
    }

    void walk()
    {
        const QList<Payload::SourceRow> rows = tree();
        QSet<QString> expanded;
        QCOMPARE(names(SourceLines::walk(rows, expanded)), u"P Q"_s);
        expanded.insert(u"p"_s);
        QCOMPARE(names(SourceLines::walk(rows, expanded)), u"P .C1 .C2 Q"_s);
        expanded.insert(u"c1"_s); // also the id of a row under Q, which has no children
        QCOMPARE(names(SourceLines::walk(rows, expanded)), u"P .C1 ..G1 .C2 Q"_s);
        expanded.remove(u"p"_s);
        QCOMPARE(names(SourceLines::walk(rows, expanded)), u"P Q"_s);
        expanded.insert(u"q"_s);
        QCOMPARE(names(SourceLines::walk(rows, expanded)), u"P Q .C1 again"_s);
        expanded.insert(u"p"_s);
        QCOMPARE(names(SourceLines::walk(rows, expanded)), u"P .C1 ..G1 .C2 Q .C1 again"_s);
    }

    // The model tells its views of each shown and hidden run of lines.
    void toggle()
    {
        Payload::Sources sources;
        sources.rows = tree();
        SourcesData data(sources);
        SourceLines lines;
        QAbstractItemModelTester tester(&lines, QAbstractItemModelTester::FailureReportingMode::QtTest);
        lines.setSources(&data);
        QSignalSpy inserted(&lines, &QAbstractItemModel::rowsInserted);
        QSignalSpy removed(&lines, &QAbstractItemModel::rowsRemoved);
        lines.toggle(u"p"_s);
        QCOMPARE(lines.count(), 4);
        QCOMPARE(inserted.size(), 1);
        QCOMPARE(inserted[0].mid(1), (QVariantList {1, 2})); // first, last
        lines.toggle(u"c1"_s);
        QCOMPARE(lines.line(2).value(u"name"_s).toString(), u"G1"_s);
        QCOMPARE(lines.line(2).value(u"depth"_s).toInt(), 2);
        lines.toggle(u"p"_s);
        QCOMPARE(removed.size(), 1);
        QCOMPARE(removed[0].mid(1), (QVariantList {1, 3}));
        QCOMPARE(lines.expandedIds(), QStringList {u"c1"_s});
        lines.toggle(u"c2"_s); // no children: nothing happens
        QCOMPARE(lines.expandedIds(), QStringList {u"c1"_s});
        QCOMPARE(lines.count(), 2);
        // Lines never outlive the rows they show.
        auto *gone = new SourcesData(sources);
        lines.setSources(gone);
        QCOMPARE(lines.count(), 2);
        delete gone;
        QCOMPARE(lines.count(), 0);
        QCOMPARE(lines.data(lines.index(0), SourceLines::NameRole), QVariant());
    }

    void symbols_data()
    {
        QTest::addColumn<QString>("channel"); // "-": absent
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QColor>("tint");
        const QColor muted = QColor::fromRgbF(0.49f, 0.49f, 0.49f);
        const auto row = [](const char *channel, const char *symbol, const QColor &tint) {
            QTest::newRow(*channel ? channel : "empty")
                << QString::fromUtf8(channel) << QString::fromUtf8(symbol) << tint;
        };
        row("facebook", "f.square.fill", QColor::fromRgbF(0.09f, 0.47f, 0.95f));
        row("google_ads", "g.circle.fill", QColor::fromRgbF(0.98f, 0.74f, 0.02f));
        row("reddit_ads", "r.circle.fill", QColor::fromRgbF(1.0f, 0.27f, 0.0f));
        row("ai", "sparkles", QColor::fromRgbF(0.37f, 0.92f, 0.83f));
        row("tiktok_ads", "t.square.fill", muted);
        for (const char *paid :
            {"linkedin_ads", "microsoft_ads", "x_ads", "pinterest_ads", "snapchat_ads", "other_paid"})
            row(paid, "megaphone.fill", muted);
        const std::pair<const char *, const char *> others[] {{"organic_search", "magnifyingglass"},
            {"organic_social", "person.2.fill"}, {"email", "envelope.fill"}, {"referral", "link"},
            {"direct", "cursorarrow.rays"}, {"offline", "tray.full.fill"}, {"untracked", "questionmark.circle"}};
        for (const auto &[channel, symbol] : others)
            row(channel, symbol, muted);
        // No channel, or one not known (names are matched exactly).
        for (const char *unknown : {"-", "Facebook", "AI", "", "tv"})
            row(unknown, "globe", muted);
    }
    void symbols()
    {
        QFETCH(QString, channel);
        QFETCH(QString, symbol);
        QFETCH(QColor, tint);
        const std::optional<QString> c = channel == u"-"_s ? std::nullopt : std::optional(channel);
        QCOMPARE(SourceLines::symbolOf(c), symbol);
        QCOMPARE(SourceLines::tintOf(c), tint);
    }

    // Parts rebuild only when the dashboard really changed; the flags follow
    // every change of the Store.
    void followsStore()
    {
        Rig rig;
        rig.backend.extra.insert(u"dashboard"_s, parse(R"({"workspaceName":"Alpha","timeframe":"Last 7 days",
            "timeframeKey":"last_7","asset":"Campaigns","partial":false,"tiles":[],"rows":[]})"));
        Store &store = rig.start();
        DashboardModel model(&store);
        QSignalSpy changed(&model, &DashboardModel::dashboardChanged);
        QVERIFY(rig.signIn());
        Rig::run(store.refresh());
        QCOMPARE(changed.size(), 1);
        QVERIFY(model.present());
        QCOMPARE(model.workspaceName(), u"Alpha"_s);
        QCOMPARE(model.block(), DashboardModel::Block::Content);
        Rig::run(store.refresh()); // the same answer
        QCOMPARE(changed.size(), 1);
        rig.backend.extra[u"dashboard"_s] = parse(R"({"workspaceName":"Beta","timeframe":"Today",
            "asset":"Campaigns","partial":true,"tiles":[],"rows":[]})");
        Rig::run(store.refresh());
        QCOMPARE(changed.size(), 2);
        QCOMPARE(model.workspaceName(), u"Beta"_s);

        // Check marks of the account menu.
        QVERIFY(model.accountMenu());
        auto checked = [&model] {
            QStringList marks;
            for (const QVariant &v : model.accountItems()) {
                const QVariantMap item = v.toMap();
                if (item.value(u"checked"_s).toBool())
                    marks.append(item.value(u"type"_s).toString() + u':' + item.value(u"id"_s).toString());
            }
            return marks;
        };
        QCOMPARE(checked(), QStringList {u"all:"_s});
        store.setAccountIds(u"g2"_s);
        QCOMPARE(checked(), QStringList {u"account:g2"_s});
        store.setPlatformIds(u"meta"_s);
        QCOMPARE(checked(), (QStringList {u"account:g2"_s, u"platform:meta"_s}));
        QStringList types;
        for (const QVariant &v : model.accountItems())
            types.append(v.toMap().value(u"type"_s).toString());
        QCOMPARE(types.join(u' '), u"all divider platform section account account divider platform section account"_s);
    }
};

QTEST_GUILESS_MAIN(TestDashboardModel)
#include "tst_dashboardmodel.moc"
