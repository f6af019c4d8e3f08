// The Store against a scripted server: sign-in, refresh in both modes and its
// failures, staleness, the timer, connecting and disconnecting, commands.
#include "storerig.h"
#include "testenv.h"

#include "net/signin.h"

#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString plainLink = u"https://q.example/embed/k9"_s;

// An embed link on the scripted server.
QString serverLink(Rig &rig)
{
    return rig.backend.server.url(u"/embed/k9"_s).toString();
}

} // namespace

class TestStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_xdg.isValid());
        useTemporaryXdg(m_xdg);
    }

    void signInAddressAndStateCheck()
    {
        Rig rig;
        Store &store = rig.start();
        QCOMPARE(rig.backend.count(u"me"_s), 1);
        store.signIn();
        const QUrl first = rig.browser.opened.last();
        store.signIn();
        const QUrl second = rig.browser.opened.last();
        QCOMPARE(second.path(), u"/native-auth"_s);
        const QUrlQuery query(second);
        const auto items = query.queryItems();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0].first, u"redirect_uri"_s);
        QCOMPARE(items[0].second, u"quillmere-menubar://auth"_s);
        QCOMPARE(items[1].first, u"challenge"_s);
        QCOMPARE(items[2].first, u"state"_s);
        const QString state1 = QUrlQuery(first).queryItemValue(u"state"_s);
        const QString state2 = query.queryItemValue(u"state"_s);
        QVERIFY(state1 != state2);

        // The first sign-in's state no longer counts; a callback without a code neither.
        Rig::run(store.handleCallback(QUrl(u"quillmere-menubar://auth?code=c1&state="_s + state1)));
        Rig::run(store.handleCallback(QUrl(u"quillmere-menubar://auth?state="_s + state2)));
        Rig::run(store.handleCallback(QUrl(u"quillmere-menubar://auth?code=&state="_s + state2)));
        QCOMPARE(rig.backend.count(u"token"_s), 0);
        QVERIFY(!store.user());

        // The matching callback, even with another scheme and path, signs in.
        Rig::run(store.handleCallback(QUrl(u"other://x/y?state="_s + state2 + u"&code=c2"_s)));
        const auto exchanges = rig.backend.requests(u"token"_s);
        QCOMPARE(exchanges.size(), 1);
        QCOMPARE(exchanges[0].json().value("code"_L1).toString(), u"c2"_s);
        // The verifier sent belongs to the challenge the browser was given.
        QCOMPARE(signin::challenge(exchanges[0].json().value("verifier"_L1).toString()),
            query.queryItemValue(u"challenge"_s));
        QCOMPARE(store.user()->email, u"ann@example.com"_s);
        QVERIFY(store.connected());
        QCOMPARE(store.lines().first(), u"$2.4k ($310/8) 3.2x"_s);
        QCOMPARE(store.title(), u"$2.4k ($310/8) 3.2x"_s);
        QVERIFY(store.timer()->isActive());
    }

    void callbackDeliveredTwice()
    {
        Rig rig;
        Store &store = rig.start();
        rig.backend.delayMs = 100;
        store.signIn();
        QUrl callback(u"quillmere-menubar://auth"_s);
        callback.setQuery(u"code=c1&state="_s + QUrlQuery(rig.browser.opened.last()).queryItemValue(u"state"_s));
        auto firstTask = store.handleCallback(callback);
        auto secondTask = store.handleCallback(callback);
        Rig::run(std::move(secondTask));
        Rig::run(std::move(firstTask));
        Rig::run(store.handleCallback(callback));
        QCOMPARE(rig.backend.count(u"token"_s), 1);
        QVERIFY(store.user());
    }

    void exchangeFailureShowsMessage()
    {
        Rig rig;
        Store &store = rig.start();
        rig.backend.failures[u"token"_s] = 400;
        QVERIFY(!rig.signIn());
        QCOMPARE(store.error(), std::optional<QString>(u"token refused (400)"_s));
        QVERIFY(!store.timer()->isActive());
    }

    void restoreSignedInShowsCachedLine()
    {
        Rig rig;
        rig.start();
        QVERIFY(rig.signIn());
        const int snapshotsBefore = rig.backend.count(u"snapshot"_s);
        QVERIFY(snapshotsBefore >= 1);
        rig.store.reset();

        // A new Store on the same session and cache: the cached line shows before
        // any request, then the refresh runs through the snapshot again.
        rig.backend.delayMs = 200;
        rig.store = std::make_unique<Store>(rig.services());
        QTRY_VERIFY(rig.store->payload().has_value());
        QVERIFY(rig.store->restoring());
        QTRY_VERIFY(!rig.store->restoring());
        QVERIFY(rig.store->user());
        QCOMPARE(rig.backend.count(u"snapshot"_s), snapshotsBefore + 1);
    }

    void expiredSession()
    {
        Rig rig;
        Store &store = rig.start();
        QVERIFY(rig.signIn());
        QVERIFY(store.timer()->isActive());
        rig.backend.failures[u"workspaces.list"_s] = 401;
        Rig::run(store.refresh());
        QVERIFY(!store.user());
        QVERIFY(!store.payload());
        QCOMPARE(store.error(), std::optional<QString>(Store::sessionExpiredMessage));
        QVERIFY(!store.timer()->isActive());
        QCOMPARE(store.title(), u"Quillmere"_s);
        QCOMPARE(rig.backend.count(u"widget.accounts"_s), 1); // none after the failed list
    }

    void signedIn429KeepsEverything()
    {
        Rig rig;
        Store &store = rig.start();
        rig.backend.snapshots = false; // the payload goes through the remote procedure
        QVERIFY(rig.signIn());
        const QDateTime updated = *store.updatedAt();
        rig.clock.time = rig.clock.time.addSecs(60);
        rig.backend.failures[u"widget.line"_s] = 429;
        Rig::run(store.refresh());
        QCOMPARE(store.error(), std::optional<QString>(u"widget.line refused (429)"_s));
        QVERIFY(store.user());
        QVERIFY(store.payload());
        QCOMPARE(*store.updatedAt(), updated);
        QVERIFY(store.timer()->isActive());
        QCOMPARE(store.title(), u"$2.4k ($310/8) 3.2x"_s); // the last good line stays

        rig.backend.failures[u"widget.line"_s] = 500;
        Rig::run(store.refresh());
        QCOMPARE(store.error(), std::optional<QString>(u"widget.line refused (500)"_s));
        QCOMPARE(*store.updatedAt(), updated);
        QVERIFY(store.payload());
    }

    void embedRefused_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("401") << 401;
        QTest::newRow("429") << 429;
    }
    void embedRefused()
    {
        QFETCH(int, status);
        Rig rig;
        Store &store = rig.start();
        Rig::run(store.connect(serverLink(rig), u"pw"_s));
        QVERIFY(store.payload());
        QVERIFY(store.timer()->isActive());
        rig.backend.failures[u"embed.dashboard"_s] = status;
        Rig::run(store.refresh());
        QCOMPARE(store.rejectedLink(), std::optional<QString>(serverLink(rig)));
        QCOMPARE(store.embedLink(), QString());
        QVERIFY(!store.payload());
        QCOMPARE(store.error(), std::optional<QString>(u"embed.dashboard refused (%1)"_s.arg(status)));
        QVERIFY(!store.timer()->isActive());
        QVERIFY(!store.connected());
        QCOMPARE(store.title(), u"Quillmere"_s);
    }

    void embedRefusedWhileSignedIn()
    {
        Rig rig;
        Store &store = rig.start();
        QVERIFY(rig.signIn());
        rig.backend.failures[u"embed.dashboard"_s] = 429;
        Rig::run(store.connect(serverLink(rig), QString()));
        // The link decided the refresh; a signed-in user stays signed in.
        QCOMPARE(store.embedLink(), QString());
        QCOMPARE(store.rejectedLink(), std::optional<QString>(serverLink(rig)));
        QVERIFY(store.user());
        QVERIFY(store.connected());
    }

    void missingWorkspaceFallsBack()
    {
        Rig rig;
        Store &store = rig.start();
        QVERIFY(rig.signIn());
        store.setAccountIds(u"g1"_s);
        rig.defaults->setString(Store::Keys::workspaceId, u"w9"_s);
        rig.backend.server.clearRequests();
        Rig::run(store.refresh());
        QCOMPARE(store.workspaceId(), QString());
        // The payload of the same refresh went out without a workspace: through the
        // snapshot of the active workspace, with the account filter.
        const auto snapshots = rig.backend.requests(u"snapshot"_s);
        QCOMPARE(snapshots.size(), 1);
        const QJsonObject params
            = QJsonDocument::fromJson(snapshots[0].queryValue(u"p"_s).value_or(QString()).toUtf8()).object();
        QCOMPARE(params.value("accounts"_L1).toString(), u"g1"_s);
        QVERIFY(!params.contains("workspaceId"_L1));
        QCOMPARE(rig.backend.count(u"widget.line"_s), 0);
        // The setter's own refresh found this one running and sent nothing.
        QTest::qWait(100);
        QCOMPARE(rig.backend.count(u"workspaces.list"_s), 1);
        QCOMPARE(rig.snapshots->scope(), std::optional<QString>(u"u1:w1"_s));
    }

    void otherWorkspaceDropsAccountFilter()
    {
        Rig rig;
        Store &store = rig.start();
        QVERIFY(rig.signIn());
        store.setAccountIds(u"g1"_s);
        rig.backend.server.clearRequests();
        store.setWorkspaceId(u"w2"_s); // starts a refresh by itself
        QTRY_COMPARE(rig.backend.count(u"widget.line"_s), 1);
        QTRY_VERIFY(!store.loading());
        const QJsonObject args = rig.backend.requests(u"widget.line"_s)[0].json().value("args"_L1).toObject();
        QCOMPARE(args.value("workspaceId"_L1).toString(), u"w2"_s);
        QVERIFY(!args.contains("accounts"_L1));
        QCOMPARE(rig.backend.count(u"snapshot"_s), 0);

        // Writing the same value again starts nothing.
        rig.backend.server.clearRequests();
        store.setWorkspaceId(u"w2"_s);
        QTest::qWait(100);
        QCOMPARE(rig.backend.server.requests().size(), 0);
    }

    void noWorkspaceCurrent()
    {
        Rig rig;
        rig.backend.current.reset();
        Store &store = rig.start();
        QVERIFY(rig.signIn());
        QCOMPARE(rig.snapshots->scope(), std::optional<QString>(u"u1:-"_s));
        QCOMPARE(store.workspaceOptions().first().name, u"Active workspace"_s);
        QCOMPARE(store.workspaceOptions().size(), 3);
    }

    void refreshAskedTwice()
    {
        Rig rig;
        Store &store = rig.start();
        QVERIFY(rig.signIn());
        rig.backend.server.clearRequests();
        rig.backend.delayMs = 100;
        auto first = store.refresh();
        QVERIFY(store.loading());
        auto second = store.refresh();
        QVERIFY(second.isReady()); // returned at once
        Rig::run(std::move(first));
        QCOMPARE(rig.backend.count(u"workspaces.list"_s), 1);
        QCOMPARE(rig.backend.count(u"widget.accounts"_s), 1);
        QCOMPARE(rig.backend.count(u"snapshot"_s), 1);
    }

    void notConnectedRefreshChangesNothing()
    {
        Rig rig;
        Store &store = rig.start();
        rig.backend.server.clearRequests();
        int notices = 0;
        QObject::connect(&store, &Store::objectWillChange, &store, [&] { ++notices; });
        Rig::run(store.refresh());
        QCOMPARE(notices, 0);
        QVERIFY(rig.backend.server.requests().isEmpty());
        store.setRefreshMinutes(2);
        QVERIFY(!store.timer()->isActive());
    }

    void refreshIfStale()
    {
        Rig rig;
        Store &store = rig.start();
        Rig::run(store.connect(serverLink(rig), QString()));
        QVERIFY(store.updatedAt());
        const int before = rig.backend.count(u"embed.dashboard"_s);
        rig.clock.time = rig.clock.time.addSecs(29);
        Rig::run(store.refreshIfStale());
        QCOMPARE(rig.backend.count(u"embed.dashboard"_s), before);
        rig.clock.time = rig.clock.time.addSecs(1);
        Rig::run(store.refreshIfStale());
        QCOMPARE(rig.backend.count(u"embed.dashboard"_s), before + 1);
        QCOMPARE(*store.updatedAt(), rig.clock.time);

        // Without an update time it always refreshes.
        Rig rig2;
        Store &other = rig2.start();
        rig2.backend.failures[u"embed.dashboard"_s] = 500;
        Rig::run(other.connect(serverLink(rig2), QString()));
        QVERIFY(!other.updatedAt());
        rig2.defaults->setString(Store::Keys::embedLink, serverLink(rig2));
        const int count = rig2.backend.count(u"embed.dashboard"_s);
        Rig::run(other.refreshIfStale());
        QCOMPARE(rig2.backend.count(u"embed.dashboard"_s), count + 1);
    }

    void timerInterval_data()
    {
        QTest::addColumn<qint64>("minutes");
        QTest::addColumn<int>("ms");
        QTest::newRow("0") << qint64(0) << 60'000;
        QTest::newRow("-3") << qint64(-3) << 60'000;
        QTest::newRow("5") << qint64(5) << 300'000;
    }
    void timerInterval()
    {
        QFETCH(qint64, minutes);
        QFETCH(int, ms);
        Rig rig;
        Store &store = rig.start();
        Rig::run(store.connect(serverLink(rig), QString()));
        store.setRefreshMinutes(minutes);
        QVERIFY(store.timer()->isActive());
        QCOMPARE(store.timer()->interval(), ms);
        store.setRefreshMinutes(std::numeric_limits<qint64>::max() / 2);
        QVERIFY(store.timer()->isActive());
        QVERIFY(store.timer()->interval() >= 60'000);
    }

    void wakeRefreshes()
    {
        Rig rig;
        Store &store = rig.start();
        Rig::run(store.connect(serverLink(rig), QString()));
        const int before = rig.backend.count(u"embed.dashboard"_s);
        Q_EMIT rig.wake.woke();
        QTRY_COMPARE(rig.backend.count(u"embed.dashboard"_s), before + 1);
        QTRY_VERIFY(!store.loading());
    }

    void connectKeepsLink()
    {
        Rig rig;
        Store &store = rig.start();
        Rig::run(store.connect(u"  "_s + serverLink(rig) + u" \n"_s, u" secret "_s));
        QCOMPARE(store.embedLink(), serverLink(rig));
        QCOMPARE(rig.keychain.get(Store::passwordAccount), std::optional<QString>(u" secret "_s));
        const auto requests = rig.backend.requests(u"embed.dashboard"_s);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].path, u"/embed/k9/widget"_s);
        // (HTTP drops the spaces around a header value; the keychain keeps them.)
        QCOMPARE(requests[0].header("X-Embed-Password").value_or(QByteArray()).trimmed(), QByteArray("secret"));
        QCOMPARE(rig.backend.count(u"embed.accounts"_s), 1);
        QCOMPARE(store.accounts().size(), 3);
        QVERIFY(store.timer()->isActive());
        QVERIFY(!store.error());
        QCOMPARE(store.lines().size(), 2);
    }

    void connectDropsLink()
    {
        Rig rig;
        Store &store = rig.start();
        rig.backend.failures[u"embed.dashboard"_s] = 500;
        Rig::run(store.connect(serverLink(rig), u"pw"_s));
        QCOMPARE(store.embedLink(), QString());
        QCOMPARE(store.error(), std::optional<QString>(u"embed.dashboard refused (500)"_s));
        QVERIFY(!store.timer()->isActive());
        QVERIFY(!store.rejectedLink()); // only a refusal moves it there
        QCOMPARE(rig.keychain.get(Store::passwordAccount), std::optional<QString>(u"pw"_s));

        // Not an embed link: only the message.
        rig.backend.server.clearRequests();
        Rig::run(store.connect(u"https://q.example/dashboard/k9"_s, u"pw2"_s));
        QCOMPARE(store.error(), std::optional<QString>(Store::notAnEmbedLinkMessage));
        QVERIFY(rig.backend.server.requests().isEmpty());
        QCOMPARE(rig.keychain.get(Store::passwordAccount), std::optional<QString>(u"pw"_s));
    }

    void disconnectKeepsOtherSettings_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("embed link") << false;
        QTest::newRow("signed in") << true;
    }
    void disconnectKeepsOtherSettings()
    {
        QFETCH(bool, signedIn);
        Rig rig;
        Store &store = rig.start();
        if (signedIn)
            QVERIFY(rig.signIn());
        else
            Rig::run(store.connect(serverLink(rig), u"pw"_s));
        store.setWorkspaceId(u"w1"_s);
        QTRY_VERIFY(!store.loading());
        store.setAccountIds(u"g1"_s);
        store.setLineTemplate(u"profit"_s);
        store.setPeriod(u"last_7"_s);
        store.setTimeframe(u"last_7"_s);
        Rig::run(store.disconnect());

        QCOMPARE(rig.backend.count(u"logout"_s), signedIn ? 1 : 0);
        QVERIFY(!store.connected());
        QVERIFY(!store.user());
        QVERIFY(!store.payload());
        QVERIFY(!store.updatedAt());
        QVERIFY(!store.timeframe());
        QVERIFY(store.accounts().isEmpty());
        QVERIFY(store.workspaces().isEmpty());
        QVERIFY(!store.timer()->isActive());
        QCOMPARE(rig.keychain.get(Store::passwordAccount), std::nullopt);
        QCOMPARE(store.workspaceId(), u"w1"_s);
        QCOMPARE(store.accountIds(), u"g1"_s);
        QCOMPARE(store.lineTemplate(), u"profit"_s);
        QCOMPARE(store.period(), u"last_7"_s);
        QCOMPARE(store.title(), u"Quillmere"_s);
    }

    void selectLineTemplateResetsIndex()
    {
        Rig rig;
        Store &store = rig.start();
        Rig::run(store.connect(serverLink(rig), QString()));
        store.setLineIndex(3);
        const int before = rig.backend.count(u"embed.dashboard"_s);
        Rig::run(store.selectLineTemplate(u"profit"_s));
        QCOMPARE(store.lineIndex(), 0);
        QCOMPARE(store.lineTemplate(), u"profit"_s);
        const auto requests = rig.backend.requests(u"embed.dashboard"_s);
        QCOMPARE(requests.size(), before + 1);
        QCOMPARE(
            requests.last().queryValue(u"template"_s), std::optional<QString>(u"{revenue} rev · {profit} profit"_s));

        Rig::run(store.selectLineTemplate(u"web"_s));
        QVERIFY(!rig.backend.requests(u"embed.dashboard"_s).last().queryValue(u"template"_s));
    }

    void toggles()
    {
        Rig rig;
        Store &store = rig.start();
        Rig::run(store.connect(serverLink(rig), QString()));
        Rig::run(store.toggleAccount(u"m1"_s));
        Rig::run(store.toggleAccount(u"g2"_s));
        QCOMPARE(store.accountIds(), u"g2,m1"_s);
        QCOMPARE(rig.backend.requests(u"embed.dashboard"_s).last().queryValue(u"accounts"_s),
            std::optional<QString>(u"g2,m1"_s));
        Rig::run(store.togglePlatform(u"google"_s));
        QCOMPARE(store.platformIds(), u"google"_s);
        QCOMPARE(store.accountIds(), u"g2,m1"_s); // picking keeps them
        Rig::run(store.togglePlatform(u"google"_s));
        QCOMPARE(store.platformIds(), QString());
        QCOMPARE(store.accountIds(), u"m1"_s); // unpicking drops its accounts

        Rig::run(store.togglePlatform(u"meta"_s));
        const int before = rig.backend.count(u"embed.dashboard"_s);
        Rig::run(store.toggleAccount(std::nullopt));
        QCOMPARE(store.accountIds(), QString());
        QCOMPARE(store.platformIds(), QString());
        QCOMPARE(rig.backend.count(u"embed.dashboard"_s), before + 1);
        QCOMPARE(store.accountsLabel(), u"All accounts"_s);
    }

    void pruneAccounts()
    {
        Rig rig;
        Store &store = rig.start();
        store.setAccountIds(u"g1,gone"_s);
        store.setPlatformIds(u"tiktok"_s);
        Rig::run(store.connect(serverLink(rig), QString()));
        // Pruned before the payload request of the same refresh.
        QCOMPARE(store.accountIds(), u"g1"_s);
        QCOMPARE(store.platformIds(), u"tiktok"_s);
        QCOMPARE(rig.backend.requests(u"embed.dashboard"_s).last().queryValue(u"accounts"_s),
            std::optional<QString>(u"g1"_s));
    }

    void openDashboard()
    {
        Rig rig;
        Store &store = rig.start();
        store.openDashboard();
        QCOMPARE(rig.browser.opened.last(), rig.backend.server.url(u"/dashboard"_s));
        rig.defaults->setString(Store::Keys::embedLink, u"file:///etc/passwd"_s);
        store.openDashboard();
        QCOMPARE(rig.browser.opened.last(), rig.backend.server.url(u"/dashboard"_s));
        rig.defaults->setString(Store::Keys::embedLink, plainLink);
        store.openDashboard();
        QCOMPARE(rig.browser.opened.last(), QUrl(plainLink));
        rig.defaults->setString(Store::Keys::embedLink, QString());
    }

    void restoreWithSavedLink()
    {
        Rig rig;
        rig.defaults->setString(Store::Keys::embedLink, serverLink(rig));
        Store &store = rig.start();
        QVERIFY(store.payload());
        QCOMPARE(rig.backend.count(u"me"_s), 0);
        QVERIFY(store.timer()->isActive());
        QCOMPARE(store.title(), u"$2.4k ($310/8) 3.2x"_s);
    }

private:
    QTemporaryDir m_xdg;
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
