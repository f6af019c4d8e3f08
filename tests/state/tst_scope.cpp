// Account scope and workspace choice as pure rules: platform groups, the ids
// sent to the server, the scope label, the organisation options and the embed
// widget address.
#include "state/store.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

AdAccount account(const QString &id, const QString &platform)
{
    static const QHash<QString, QString> labels {
        {u"google"_s, u"Google Ads"_s}, {u"meta"_s, u"Meta"_s}, {u"tiktok"_s, u"TikTok"_s}};
    return AdAccount {id, u"Account "_s + id, platform, labels.value(platform)};
}

// Two platforms, interleaved, so that grouping by first appearance matters.
QList<AdAccount> sample()
{
    return {account(u"m1"_s, u"meta"_s), account(u"g1"_s, u"google"_s), account(u"m2"_s, u"meta"_s),
        account(u"g2"_s, u"google"_s), account(u"t1"_s, u"tiktok"_s)};
}

QSet<QString> set(const QString &joined)
{
    return Store::idSet(joined);
}

} // namespace

class TestScope : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void groups()
    {
        const auto groups = Store::groupsOf(sample());
        QCOMPARE(groups.size(), 3);
        QCOMPARE(groups[0].id, u"meta"_s);
        QCOMPARE(groups[0].label, u"Meta"_s);
        QCOMPARE(groups[0].accounts.size(), 2);
        QCOMPARE(groups[0].accounts[1].id, u"m2"_s);
        QCOMPARE(groups[1].id, u"google"_s);
        QCOMPARE(groups[1].accounts[0].id, u"g1"_s);
        QCOMPARE(groups[2].id, u"tiktok"_s);
        QVERIFY(Store::groupsOf({}).isEmpty());
    }

    void idSets_data()
    {
        QTest::addColumn<QString>("joined");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("empty") << QString() << QStringList();
        QTest::newRow("stray commas") << u",a,,b,"_s << QStringList {u"a"_s, u"b"_s};
        QTest::newRow("not trimmed") << u"a, b"_s << QStringList {u" b"_s, u"a"_s};
        QTest::newRow("duplicates") << u"b,a,b"_s << QStringList {u"a"_s, u"b"_s};
    }
    void idSets()
    {
        QFETCH(QString, joined);
        QFETCH(QStringList, ids);
        const QSet<QString> parsed = Store::idSet(joined);
        QCOMPARE(parsed, QSet<QString>(ids.begin(), ids.end()));
        // Stored form: ascending, comma-joined.
        QCOMPARE(Store::joinIds(parsed), ids.join(u','));
    }

    void joinOrder()
    {
        // Code point order: upper case before lower case, digits first, and a
        // character outside the BMP after one just below its surrogates.
        QCOMPARE(Store::joinIds({u"b"_s, u"B"_s, u"10"_s, u"9"_s}), u"10,9,B,b"_s);
        QCOMPARE(Store::joinIds({u"\U0001F600"_s, u"\uFFFD"_s}), u"\uFFFD,\U0001F600"_s);
    }

    void effectiveAndLabel_data()
    {
        QTest::addColumn<QString>("accountIds");
        QTest::addColumn<QString>("platformIds");
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("label");
        QTest::newRow("nothing picked") << QString() << QString() << QString() << u"All accounts"_s;
        QTest::newRow("one platform") << QString() << u"google"_s << u"g1,g2"_s << u"Google Ads"_s;
        QTest::newRow("platform narrowed to one account") << u"g2"_s << u"google"_s << u"g2"_s << u"Account g2"_s;
        QTest::newRow("two platforms, label in order of appearance")
            << QString() << u"google,meta"_s << u"g1,g2,m1,m2"_s << u"Meta + Google Ads"_s;
        QTest::newRow("three ids sent") << u"g1,m1,t1"_s << QString() << u"g1,m1,t1"_s << u"3 accounts"_s;
        QTest::newRow("account plus another platform") << u"m1"_s << u"google"_s << u"g1,g2,m1"_s << u"3 accounts"_s;
        QTest::newRow("platform without accounts adds nothing") << QString() << u"bing"_s << QString() << QString();
        QTest::newRow("unknown id still sent") << u"gone"_s << QString() << u"gone"_s << u"All accounts"_s;
        QTest::newRow("unknown id next to a known one") << u"gone,m1"_s << QString() << u"gone,m1"_s << u"2 accounts"_s;
        QTest::newRow("one account") << u"t1"_s << QString() << u"t1"_s << u"Account t1"_s;
    }
    void effectiveAndLabel()
    {
        QFETCH(QString, accountIds);
        QFETCH(QString, platformIds);
        QFETCH(QString, sent);
        QFETCH(QString, label);
        QCOMPARE(Store::effectiveAccountsOf(sample(), set(accountIds), set(platformIds)), sent);
        QCOMPARE(Store::accountsLabelOf(sample(), set(accountIds), set(platformIds)), label);
    }

    void workspaceOptions_data()
    {
        QTest::addColumn<QString>("active"); // "<none>" for absent
        QTest::addColumn<QStringList>("expected"); // "id=name"
        QTest::newRow("active present") << u"w2"_s << QStringList {u"=Beta (active)"_s, u"w1=Alpha"_s, u"w3=Gamma"_s};
        QTest::newRow("active absent") << u"<none>"_s
                                       << QStringList {
                                              u"=Active workspace"_s, u"w1=Alpha"_s, u"w2=Beta"_s, u"w3=Gamma"_s};
        QTest::newRow("active not in list")
            << u"w9"_s << QStringList {u"=Active workspace"_s, u"w1=Alpha"_s, u"w2=Beta"_s, u"w3=Gamma"_s};
    }
    void workspaceOptions()
    {
        QFETCH(QString, active);
        QFETCH(QStringList, expected);
        const QList<Workspace> list {
            {u"w1"_s, u"Alpha"_s, u"owner"_s}, {u"w2"_s, u"Beta"_s, u"member"_s}, {u"w3"_s, u"Gamma"_s, u"member"_s}};
        const auto options
            = Store::workspaceOptionsOf(list, active == "<none>"_L1 ? std::nullopt : std::optional<QString>(active));
        QStringList shown;
        for (const auto &o : options)
            shown.append(o.id + u'=' + o.name);
        QCOMPARE(shown, expected);
    }

    void widget_data()
    {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("widget"); // empty for absent
        QTest::newRow("plain") << u"https://q.example/embed/k9"_s
                               << u"https://q.example/embed/k9/widget?include=dashboard"_s;
        QTest::newRow("spaces around") << u"  https://q.example/embed/k9 \n"_s
                                       << u"https://q.example/embed/k9/widget?include=dashboard"_s;
        QTest::newRow("extra path and query dropped") << u"http://q.example:8080/x/embed/k9/extra?a=1"_s
                                                      << u"http://q.example:8080/embed/k9/widget?include=dashboard"_s;
        QTest::newRow("fragment and user kept")
            << u"https://u@q.example/embed/k9#top"_s << u"https://u@q.example/embed/k9/widget?include=dashboard#top"_s;
        QTest::newRow("first embed counts")
            << u"https://q.example/embed/a/embed/b"_s << u"https://q.example/embed/a/widget?include=dashboard"_s;
        QTest::newRow("empty pieces skipped")
            << u"https://q.example//embed//k9"_s << u"https://q.example/embed/k9/widget?include=dashboard"_s;
        QTest::newRow("ftp") << u"ftp://q.example/embed/k9"_s << QString();
        QTest::newRow("file") << u"file:///embed/k9"_s << QString();
        QTest::newRow("no scheme") << u"q.example/embed/k9"_s << QString();
        QTest::newRow("upper-case scheme") << u"HTTPS://q.example/embed/k9"_s << QString();
        QTest::newRow("no embed piece") << u"https://q.example/dash/k9"_s << QString();
        QTest::newRow("embed last") << u"https://q.example/embed"_s << QString();
        QTest::newRow("embed last with slash") << u"https://q.example/embed/"_s << QString();
        QTest::newRow("embed only as a prefix") << u"https://q.example/embedded/k9"_s << QString();
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("space inside") << u"https://q.example/embed/k 9"_s << QString();
    }
    void widget()
    {
        QFETCH(QString, link);
        QFETCH(QString, widget);
        const std::optional<QUrl> url = Store::widgetURL(link);
        if (widget.isEmpty()) {
            QVERIFY2(!url, qPrintable(url ? url->toString() : QString()));
        } else {
            QVERIFY(url);
            QCOMPARE(url->toString(QUrl::FullyEncoded), widget);
        }
    }

    void linesAndTemplates()
    {
        Payload both;
        both.lines = {u"one"_s};
        both.text = u"text"_s;
        QCOMPARE(Store::linesOf(both), QStringList {u"one"_s});
        Payload textOnly;
        textOnly.text = u"text"_s;
        QCOMPARE(Store::linesOf(textOnly), QStringList {u"text"_s});
        QCOMPARE(Store::linesOf(Payload {}), QStringList());
        QCOMPARE(Store::linesOf(std::nullopt), QStringList());

        QCOMPARE(Store::templateFor(u"web"_s), std::nullopt);
        QCOMPARE(Store::templateFor(u"nope"_s), std::optional<QString>(u"{spend} ({cac}/{sales}) {roas.1}x"_s));
        QCOMPARE(Store::templateFor(u"profit"_s), std::optional<QString>(u"{revenue} rev · {profit} profit"_s));
        QCOMPARE(Store::lineTemplates().size(), 7);
        QCOMPARE(Store::lineTemplates().last().label, u"From "_s + Store::defaultServerOrigin().host());
        QCOMPARE(Store::periods().size(), 7);
        QCOMPARE(Store::periods().at(2).key, u"last_7"_s);
    }

    void defaultOrigin()
    {
        const QUrl origin = Store::defaultServerOrigin();
        QCOMPARE(origin.scheme(), u"https"_s);
        QVERIFY(!origin.host().isEmpty());
        QVERIFY(origin.path().isEmpty());
        QVERIFY(!origin.toString().endsWith(u'/'));
    }
};

QTEST_GUILESS_MAIN(TestScope)
#include "tst_scope.moc"
