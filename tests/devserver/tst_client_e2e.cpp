// The program's own server client, snapshot cache and Store end to end against
// the development server, in-process on 127.0.0.1 on a clock the test moves.
// Every client part is the real one, on a fresh network manager with the
// program's cookie jar, settings file and snapshot folder in a temporary XDG
// tree; only the desktop services (browser, clock, login item, keychain) are
// doubles. The browser double does what a browser does with the sign-in page:
// it loads it, submits its form and hands the redirect back.

#include "awaittask.h"
#include "devtest.h"
#include "net/api.h"
#include "net/apierror.h"
#include "net/cookiejar.h"
#include "net/keychain.h"
#include "net/network.h"
#include "net/signin.h"
#include "net/snapshotclient.h"
#include "platform/defaults.h"
#include "platform/paths.h"
#include "platform/services.h"
#include "signinform.h"
#include "state/store.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString adaEmail = u"ada@demo.quillmere.test"_s;
const QString benEmail = u"ben@demo.quillmere.test"_s;
const QString northwindKey = u"nw-7Hq2XbLk"_s;
const QString harborKey = u"hb-Rm4pT9sQ"_s;
const QString harborPassword = u"harbor-smile"_s;
const QString salesTemplate = u"{spend} ({cac}/{sales}) {roas.1}x"_s;

// ---- the program's parts on the temporary XDG tree -----------------------------

// The network manager, cookie jar, settings, snapshot cache and API the program
// builds at start, on the files paths:: names (so on the test's XDG folders).
class App {
public:
    App()
        : nam(network::makeManager(new PersistentCookieJar(paths::cookieFile()), nullptr)),
          snapshots(std::make_unique<SnapshotClient>(nam.get(), &defaults, paths::snapshotsDir())),
          api(std::make_unique<API>(nam.get(), snapshots.get()))
    { }

    // A new snapshot cache and API on the same folders, as at the next start.
    void restartCache()
    {
        api.reset();
        snapshots = std::make_unique<SnapshotClient>(nam.get(), &defaults, paths::snapshotsDir());
        api = std::make_unique<API>(nam.get(), snapshots.get());
    }

    PersistentCookieJar *jar() const { return static_cast<PersistentCookieJar *>(nam->cookieJar()); }

    std::optional<QNetworkCookie> sessionCookie(const QUrl &base) const
    {
        for (const QNetworkCookie &c : jar()->cookiesForUrl(base))
            if (c.name() == "quillmere_session")
                return c;
        return std::nullopt;
    }

    std::unique_ptr<QNetworkAccessManager> nam;
    Defaults defaults; // the program's settings file
    std::unique_ptr<SnapshotClient> snapshots;
    std::unique_ptr<API> api;
};

// A server request on a manager, outside the client code, for comparisons.
HttpReply raw(QNetworkAccessManager *nam, const QUrl &url, const QByteArray &verb = "GET", const QByteArray &body = {})
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (verb == "POST")
        request.setHeader(QNetworkRequest::ContentTypeHeader,
            body.startsWith('{') ? QByteArrayLiteral("application/json")
                                 : QByteArrayLiteral("application/x-www-form-urlencoded"));
    return awaitTask(network::perform(nam, request, verb, body));
}

QByteArray headerOf(const HttpReply &reply, const QByteArray &name)
{
    for (const auto &[k, v] : reply.headers)
        if (k.compare(name, Qt::CaseInsensitive) == 0)
            return v;
    return {};
}

// The "data" of a remote procedure answer, called directly on the session of nam.
QJsonObject rpcData(QNetworkAccessManager *nam, const QUrl &base, const QString &op, const QJsonObject &args)
{
    const QJsonObject body {{u"op"_s, op}, {u"args"_s, args}};
    const HttpReply reply = raw(
        nam, API::endpoint(base, u"api/native/rpc"_s), "POST", QJsonDocument(body).toJson(QJsonDocument::Compact));
    if (reply.status != 200)
        qWarning() << "rpc" << op << reply.status << reply.body;
    return QJsonDocument::fromJson(reply.body).object().value(u"data"_s).toObject();
}

// What a payload shows, flattened so two payloads can be compared as a whole.
QStringList summary(const Payload &p)
{
    QStringList out {u"text="_s + p.text.value_or(u"<none>"_s), u"lines="_s + p.lines.join(u'|')};
    if (const auto &d = p.dashboard) {
        out << u"workspace="_s + d->workspaceName << u"timeframe="_s + d->timeframe
            << u"partial="_s + QString::number(d->partial) << u"asset="_s + d->asset;
        for (const auto &t : d->tiles)
            out << t.key + u'=' + t.value + u'/' + t.caption.value_or(QString()) + (t.accent ? u"!"_s : QString());
        for (const auto &r : d->rows)
            out << r.id + u':' + r.name + u':' + r.spend + u':' + r.revenue + u':' + r.roas
                    + (r.active ? u"+"_s : u"-"_s);
        if (d->sources) {
            out << u"totals="_s + d->sources->totals.join(u'|');
            for (const auto &r : d->sources->rows)
                out << u"source:"_s + r.id + u':' + r.values.join(u'|');
        }
    }
    return out;
}

Payload decoded(const QJsonObject &data)
{
    return decodeJson<Payload>(QJsonDocument(data).toJson(QJsonDocument::Compact));
}

QStringList summaryOf(const QJsonObject &data)
{
    return summary(decoded(data));
}

// ---- the browser's half of the sign-in -----------------------------------------

// Loads the sign-in page at address in a browser with its own cookies, submits
// its form with the button of the account with this email and returns the
// address the server redirects to. On failure returns an empty URL and says why.
QUrl browserSignIn(const QUrl &address, const QString &email, QString *why = nullptr)
{
    QString ignored;
    QString &reason = why ? *why : ignored;
    QNetworkAccessManager browser;
    browser.setCookieJar(new QNetworkCookieJar(&browser));
    const HttpReply page = raw(&browser, address);
    if (page.status != 200) {
        reason = u"sign-in page: %1"_s.arg(page.status);
        return {};
    }
    const signinform::Submission form = signinform::submit(address, QString::fromUtf8(page.body), email);
    if (!form.error.isEmpty()) {
        reason = form.error;
        return {};
    }
    const HttpReply answer = raw(&browser, form.action, "POST", form.body);
    if (answer.status != 302) {
        reason = u"form answer: %1 %2"_s.arg(answer.status).arg(QString::fromUtf8(answer.body.left(200)));
        return {};
    }
    return QUrl::fromEncoded(headerOf(answer, "Location"));
}

// ---- the Store's desktop services ------------------------------------------------

class CapturingBrowser : public Browser {
public:
    QCoro::Task<bool> open(const QUrl &url) override
    {
        opened.append(url);
        co_return true;
    }
    QList<QUrl> opened;
};

class StepClock : public Clock {
public:
    QDateTime now() const override { return time; }
    QDateTime time = QDateTime::currentDateTimeUtc();
};

class NoLoginItem : public LoginItem {
public:
    bool enabled() const override { return false; }
    std::optional<QString> setEnabled(bool) override { return u"not in this test"_s; }
};

// A Store on the App's parts, talking to the development server.
struct StoreRig {
    explicit StoreRig(App &app, const QUrl &base)
    {
        app.defaults.setString(Store::Keys::serverURL, base.toString());
        store = std::make_unique<Store>(Store::Services {
            &app.defaults, app.api.get(), app.snapshots.get(), &keychain, &browser, &clock, &wake, &login});
        (void)QTest::qWaitFor([this] { return !store->restoring(); }, 10'000);
    }
    ~StoreRig()
    {
        (void)QTest::qWaitFor([this] { return !store->loading(); }, 5'000);
    }

    // The whole browser sign-in through the Store; true when it signed in.
    bool signIn(const QString &email)
    {
        store->signIn();
        if (browser.opened.isEmpty())
            return false;
        QString why;
        const QUrl callback = browserSignIn(browser.opened.last(), email, &why);
        if (callback.isEmpty()) {
            qWarning() << "sign-in:" << why;
            return false;
        }
        awaitTask(store->handleCallback(callback));
        return store->signedIn();
    }

    MemoryKeychain keychain;
    CapturingBrowser browser;
    StepClock clock;
    WakeMonitor wake;
    NoLoginItem login;
    std::unique_ptr<Store> store;
};

devserver::ServerOptions withFaults(devserver::ServerOptions options)
{
    options.faults = true;
    return options;
}

// The development server with its fault control on.
struct Server {
    explicit Server(const devserver::ServerOptions &options = {}) : rig(withFaults(options)) { }
    QUrl base() const { return rig.base(); }
    void tick(int ticks = 1) { rig.clock.advance(rig.server->options().tickMs * ticks); }
    // POSTs to the server's fault-control endpoint.
    int control(const QString &what, const QJsonObject &body = {})
    {
        devtest::Client c(base());
        return c.postJson(u"_dev/"_s + what, body).status;
    }
    devtest::Rig rig;
};

QJsonObject lineParams(const std::optional<QString> &templ = salesTemplate, const QString &timeframe = u"today"_s)
{
    return API::params(timeframe, QString(), templ);
}

// Money as the server renders it, a count, a ratio with one decimal; "–" when
// a figure cannot be computed.
const QString money = u"(?:-?\\$[0-9]+(?:\\.[0-9]+)?[kM]?|–)"_s;
const QString number = u"(?:[0-9]+(?:\\.[0-9]+)?[kM]?|–)"_s;
const QString ratio1 = u"(?:[0-9]+\\.[0-9]|–)"_s;

} // namespace

class TestClientE2E : public QObject {
    Q_OBJECT

    QTemporaryDir m_xdg;

    void wipe()
    {
        for (const char *leaf : {"config", "data", "cache"}) {
            QDir dir(m_xdg.filePath(QString::fromLatin1(leaf)));
            dir.removeRecursively();
            QVERIFY(dir.mkpath(u"."_s));
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_xdg.isValid());
        useTemporaryXdg(m_xdg);
        // A hung answer must not hold the suite for the default minute.
        network::limits().idleTimeoutMs = 3'000;
        network::limits().overallTimeoutMs = 5'000;
    }

    void init() { wipe(); }

    // Browser sign-in on the wire, the session in the jar, the remote
    // procedures, the snapshot cache through unchanged/moved data, another
    // workspace, the cache across a restart, and sign-out.
    void signedInOnTheWire()
    {
        Server server;
        const QUrl base = server.base();
        App app;

        // The sign-in page the program sends the browser to.
        const QString verifier = signin::makeVerifier();
        const QString state = signin::makeState();
        const QUrl address = signin::address(base, signin::challenge(verifier), state);
        QString why;
        const QUrl redirect = browserSignIn(address, adaEmail, &why);
        QVERIFY2(redirect.isValid() && !redirect.isEmpty(), qPrintable(why));
        QCOMPARE(redirect.scheme(), u"quillmere-menubar"_s);
        QCOMPARE(redirect.host(), u"auth"_s);
        const QUrlQuery callback(redirect);
        QCOMPARE(callback.queryItemValue(u"state"_s), state);
        const QString code = callback.queryItemValue(u"code"_s, QUrl::FullyDecoded);
        QVERIFY(!code.isEmpty());

        // The browser's cookies are not the program's.
        QVERIFY(!app.sessionCookie(base));

        const User user = awaitTask(app.api->exchange(base, code, verifier));
        QCOMPARE(user.email, adaEmail);
        QVERIFY(!user.id.isEmpty());

        // The session cookie is in the program's jar, HttpOnly, with an expiry,
        // and on disk so that it survives a restart.
        const std::optional<QNetworkCookie> cookie = app.sessionCookie(base);
        QVERIFY(cookie);
        QVERIFY(cookie->isHttpOnly());
        QVERIFY(!cookie->isSessionCookie());
        QVERIFY(cookie->expirationDate() > QDateTime::currentDateTimeUtc().addDays(29));
        QFile cookieFile(paths::cookieFile());
        QVERIFY(cookieFile.open(QIODevice::ReadOnly));
        QVERIFY(cookieFile.readAll().contains(cookie->value()));

        // The code was good once.
        try {
            awaitTask(app.api->exchange(base, code, verifier));
            QFAIL("a used code was accepted");
        } catch (const APIError &e) {
            QCOMPARE(e.status(), 400);
            QVERIFY2(!e.message().startsWith(u"Request failed"_s), qPrintable(e.message()));
        }

        QCOMPARE(awaitTask(app.api->me(base)), user);
        {
            // A second program start reads the cookie file and is still signed in.
            QNetworkAccessManager *again = network::makeManager(new PersistentCookieJar(paths::cookieFile()), nullptr);
            std::unique_ptr<QNetworkAccessManager> owner(again);
            API api2(again, app.snapshots.get());
            QCOMPARE(awaitTask(api2.me(base)), user);
        }

        const WorkspaceList list = awaitTask(app.api->workspaces(base));
        QCOMPARE(list.workspaces.size(), 2);
        QVERIFY(list.currentWorkspaceId);
        const QString active = *list.currentWorkspaceId;
        QString other;
        for (const Workspace &w : list.workspaces)
            if (w.workspaceId != active)
                other = w.workspaceId;
        QVERIFY(!other.isEmpty());

        const QList<AdAccount> accounts = awaitTask(app.api->accounts(base));
        QSet<QString> platforms;
        for (const AdAccount &a : accounts)
            platforms.insert(a.platform);
        QVERIFY2(platforms.size() >= 4, qPrintable(QStringList(platforms.values()).join(u',')));

        // The active workspace through the snapshot cache.
        SnapshotClient &cache = *app.snapshots;
        cache.setScope(user.id + u':' + active);
        const QJsonObject params = lineParams();
        auto viaCache = [&] {
            return awaitTask(app.api->payload(base, std::nullopt, active, u"today"_s, QString(), salesTemplate));
        };
        auto storedVersion = [&] {
            QFile f(cache.filePath(SnapshotClient::cacheKey(*cache.scope(), u"widget.line"_s, params)));
            if (!f.open(QIODevice::ReadOnly))
                return qint64(-1);
            return QJsonDocument::fromJson(f.readAll()).object().value(u"version"_s).toInteger(-1);
        };
        // The cached document equals a direct "widget.line" call for the same
        // arguments, and so does what the API decoded from it.
        auto checkAgainstDirect = [&](const Payload &got, const char *when) {
            const QJsonObject direct = rpcData(app.nam.get(), base, u"widget.line"_s, params);
            QVERIFY2(!direct.isEmpty(), when);
            const std::optional<QByteArray> held = cache.cached(u"widget.line"_s, params);
            QVERIFY2(held, when);
            QVERIFY2(QJsonDocument::fromJson(*held) == QJsonDocument(direct), when);
            QCOMPARE(summary(got), summaryOf(direct));
        };

        SnapshotClient::Counters before = cache.counters();
        const Payload first = viaCache();
        QCOMPARE(cache.counters().requests, before.requests + 1);
        QCOMPARE(cache.counters().fileWrites, before.fileWrites + 1);
        QVERIFY(!first.lines.isEmpty());
        QVERIFY(first.dashboard);
        checkAgainstDirect(first, "first, full");
        if (QTest::currentTestFailed())
            return;
        const qint64 v1 = storedVersion();
        QVERIFY(v1 > 0);
        const QString build = cache.knownBuild().value_or(QString());
        QVERIFY(!build.isEmpty());

        // Unchanged data: one request, answered 304, nothing parsed or written.
        before = cache.counters();
        QCOMPARE(summary(viaCache()), summary(first));
        QCOMPARE(cache.counters().requests, before.requests + 1);
        QCOMPARE(cache.counters().fileWrites, before.fileWrites);
        QCOMPARE(cache.counters().documentParses, before.documentParses);
        QCOMPARE(storedVersion(), v1);

        // The data moves: one request each time (a delta that applies needs no
        // second, full request), a new version, and the same document as asked
        // for directly. The server answers a patch only when it is smaller than
        // the document, which a tick that adds many rows at once may not give:
        // at least three ticks, and more until one has come as a delta.
        int deltas = 0;
        qint64 held = v1;
        for (int i = 0; i < 3 || (deltas == 0 && i < 12); ++i) {
            server.tick();
            before = cache.counters();
            const Payload moved = viaCache();
            QCOMPARE(cache.counters().requests, before.requests + 1);
            QCOMPARE(cache.counters().fileWrites, before.fileWrites + 1);
            const qint64 now = storedVersion();
            QVERIFY(now > held);
            checkAgainstDirect(moved, "after a tick");
            if (QTest::currentTestFailed())
                return;
            // What the server answers for the version held before.
            const HttpReply answer
                = raw(app.nam.get(), SnapshotClient::snapshotUrl(base, u"widget.line"_s, params, held));
            QCOMPARE(answer.status, 200);
            const QJsonObject o = QJsonDocument::fromJson(answer.body).object();
            if (o.value(u"kind"_s) == "delta"_L1) {
                ++deltas;
                QCOMPARE(o.value(u"baseVersion"_s).toInteger(), held);
                QCOMPARE(o.value(u"version"_s).toInteger(), now);
            }
            held = now;
        }
        QVERIFY(deltas > 0);

        // A new server build forgets the held versions: a full answer.
        QCOMPARE(server.control(u"build"_s, {{u"build"_s, u"e2e-build-2"_s}}), 200);
        before = cache.counters();
        checkAgainstDirect(viaCache(), "after a new build");
        QCOMPARE(cache.counters().requests, before.requests + 1);
        QCOMPARE(cache.knownBuild(), std::optional(u"e2e-build-2"_s));

        // Another workspace is asked for directly, not through the cache.
        before = cache.counters();
        const Payload harbor = awaitTask(app.api->payload(base, other, active, u"today"_s, QString(), salesTemplate));
        QCOMPARE(cache.counters().requests, before.requests);
        QJsonObject otherArgs = params;
        otherArgs.insert(u"workspaceId"_s, other);
        QCOMPARE(summary(harbor), summaryOf(rpcData(app.nam.get(), base, u"widget.line"_s, otherArgs)));
        QVERIFY(harbor.dashboard);
        QVERIFY(harbor.dashboard->workspaceName != first.dashboard->workspaceName);

        // The next start shows the last document without asking the server.
        const QByteArray lastHeld = *cache.cached(u"widget.line"_s, params);
        app.restartCache();
        const std::optional<Payload> cached = awaitTask(app.api->cachedPayload(u"today"_s, QString(), salesTemplate));
        QVERIFY(cached);
        QCOMPARE(summary(*cached), summary(decodeJson<Payload>(lastHeld)));
        QCOMPARE(app.snapshots->counters().requests, 0);
        QCOMPARE(app.snapshots->counters().fileReads, 1);
        QVERIFY(!awaitTask(app.api->cachedPayload(u"yesterday"_s, QString(), salesTemplate)));
        // And revalidates it with the version it held.
        before = app.snapshots->counters();
        awaitTask(app.api->payload(base, std::nullopt, active, u"today"_s, QString(), salesTemplate));
        QCOMPARE(app.snapshots->counters().requests, before.requests + 1);
        QCOMPARE(app.snapshots->counters().fileWrites, before.fileWrites);

        // Sign-out ends the session on the server, not only in the jar.
        const QNetworkCookie old = *app.sessionCookie(base);
        awaitTask(app.api->logout(base));
        QVERIFY(!app.sessionCookie(base));
        QVERIFY(!QDir(paths::snapshotsDir()).exists());
        QVERIFY(!app.snapshots->scope());
        try {
            awaitTask(app.api->me(base));
            QFAIL("me answered after logout");
        } catch (const APIError &e) {
            QCOMPARE(e.status(), 401);
        }
        QNetworkAccessManager replay;
        replay.cookieJar()->insertCookie(old);
        QCOMPARE(raw(&replay, API::endpoint(base, u"api/auth/me"_s)).status, 401);
    }

    void embedLinks_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<std::optional<QString>>("password");
        QTest::addColumn<int>("status"); // 0: answered
        QTest::addColumn<QString>("message");

        QTest::newRow("open link") << northwindKey << std::optional<QString>() << 0 << QString();
        QTest::newRow("open link, a password sent anyway")
            << northwindKey << std::optional(u"anything"_s) << 0 << QString();
        QTest::newRow("right password") << harborKey << std::optional(harborPassword) << 0 << QString();
        QTest::newRow("wrong password") << harborKey << std::optional(u"harbor-smile!"_s) << 401
                                        << u"Wrong password for this dashboard link."_s;
        QTest::newRow("no password") << harborKey << std::optional<QString>() << 401
                                     << u"This dashboard link needs a password."_s;
        QTest::newRow("empty password") << harborKey << std::optional(QString()) << 401
                                        << u"This dashboard link needs a password."_s;
        QTest::newRow("unknown link") << u"zz-nothing"_s << std::optional<QString>() << 404
                                      << u"This dashboard link doesn't exist or was revoked."_s;
    }

    void embedLinks()
    {
        QFETCH(QString, key);
        QFETCH(std::optional<QString>, password);
        QFETCH(int, status);
        QFETCH(QString, message);

        Server server;
        App app;
        const std::optional<QUrl> widget = Store::widgetURL(server.base().toString() + u"/embed/"_s + key);
        QVERIFY(widget);

        auto expectRefusal = [&](auto task) {
            try {
                awaitTask(std::move(task));
                QFAIL("the link was answered");
            } catch (const APIError &e) {
                QCOMPARE(e.status(), status);
                QCOMPARE(e.message(), message);
            }
        };
        if (status != 0) {
            expectRefusal(app.api->accounts(*widget, password));
            expectRefusal(app.api->payload(*widget, password, u"today"_s, QString(), salesTemplate));
            return;
        }

        const QList<AdAccount> accounts = awaitTask(app.api->accounts(*widget, password));
        QVERIFY(!accounts.isEmpty());
        const Payload all = awaitTask(app.api->payload(*widget, password, u"last_7"_s, QString(), salesTemplate));
        QVERIFY(all.dashboard);
        QCOMPARE(all.dashboard->timeframeKey, std::optional(u"last_7"_s));
        QVERIFY(!all.lines.isEmpty());
        QVERIFY2(QRegularExpression(u"^%1 \\(%1/%2\\) %3x$"_s.arg(money, number, ratio1))
                     .match(all.lines.first())
                     .hasMatch(),
            qPrintable(all.lines.first()));

        // The account filter reaches the server: one account's line is its own.
        const Payload one
            = awaitTask(app.api->payload(*widget, password, u"last_7"_s, accounts.first().id, salesTemplate));
        QVERIFY(one.dashboard);
        QVERIFY(summary(one) != summary(all));
        QVERIFY(!app.sessionCookie(server.base())); // an embed link needs no session
    }

    // The per-link limit: the answer after the last allowed one is 429 with the
    // server's message, other links are not affected, and a minute later the link works again.
    void embedRateLimit()
    {
        devserver::ServerOptions options;
        options.embedRequestsPerMinute = 5;
        Server server(options);
        App app;
        const QUrl northwind = *Store::widgetURL(server.base().toString() + u"/embed/"_s + northwindKey);
        const QUrl harbor = *Store::widgetURL(server.base().toString() + u"/embed/"_s + harborKey);

        for (int i = 0; i < 5; ++i)
            QVERIFY(!awaitTask(app.api->accounts(northwind, std::nullopt)).isEmpty());
        try {
            awaitTask(app.api->payload(northwind, std::nullopt, u"today"_s, QString(), salesTemplate));
            QFAIL("the sixth request in a minute was answered");
        } catch (const APIError &e) {
            QCOMPARE(e.status(), 429);
            QVERIFY2(e.message().startsWith(u"Too many requests for this dashboard link."_s), qPrintable(e.message()));
        }
        QVERIFY(!awaitTask(app.api->accounts(harbor, harborPassword)).isEmpty());

        // A Store connecting to the limited link is refused and offers it again.
        StoreRig rig(app, server.base());
        const QString link = server.base().toString() + u"/embed/"_s + northwindKey;
        awaitTask(rig.store->connect(link, QString()));
        QVERIFY(!rig.store->connected());
        QCOMPARE(rig.store->rejectedLink(), std::optional(link));
        QVERIFY2(rig.store->errorText().startsWith(u"Too many requests"_s), qPrintable(rig.store->errorText()));

        server.rig.clock.advance(61'000);
        awaitTask(rig.store->connect(link, QString()));
        QVERIFY(rig.store->connected());
        QVERIFY(!rig.store->error());
        QVERIFY(!rig.store->title().isEmpty());
    }

    // The Store on the real parts: the demo link, then a browser sign-in, the
    // line presets, moving data, a restart and sign-out.
    void storeEndToEnd()
    {
        Server server;
        const QUrl base = server.base();
        App app;
        auto rig = std::make_unique<StoreRig>(app, base);
        Store &store = *rig->store;
        QVERIFY(!store.connected());
        QVERIFY(!store.signedIn());
        QCOMPARE(store.title(), u"Quillmere"_s);

        // The demo embed link.
        const QString link = base.toString() + u"/embed/"_s + northwindKey;
        awaitTask(store.connect(link, QString()));
        QVERIFY2(!store.error(), qPrintable(store.errorText()));
        QVERIFY(store.connected());
        QCOMPARE(store.embedLink(), link);
        QVERIFY(store.payload());
        QVERIFY(!store.accounts().isEmpty());
        {
            devtest::Client web(base);
            QUrlQuery q;
            q.addQueryItem(u"include"_s, u"dashboard"_s);
            q.addQueryItem(u"timeframe"_s, store.period());
            q.addQueryItem(u"dashboardTimeframe"_s, store.period());
            q.addQueryItem(u"template"_s, salesTemplate);
            const devtest::Answer a = web.get(u"embed/"_s + northwindKey + u"/widget"_s, q);
            QCOMPARE(a.status, 200);
            QCOMPARE(store.lines(), decodeJson<Payload>(a.body).lines);
        }
        QCOMPARE(store.title(), store.lines().first());
        QVERIFY(store.timer()->isActive());

        // Browser sign-in through the Store replaces the link.
        QVERIFY(rig->signIn(adaEmail));
        const QUrl opened = rig->browser.opened.last();
        QCOMPARE(opened.path(), u"/native-auth"_s);
        QCOMPARE(opened.host(), base.host());
        QCOMPARE(opened.port(), base.port());
        QCOMPARE(store.userEmail(), adaEmail);
        QVERIFY(store.embedLink().isEmpty());
        QVERIFY2(!store.error(), qPrintable(store.errorText()));
        QCOMPARE(store.workspaces().size(), 2);
        QVERIFY(store.activeWorkspaceId());
        QCOMPARE(app.snapshots->scope(), std::optional(store.user()->id + u':' + *store.activeWorkspaceId()));
        const QJsonObject direct = rpcData(app.nam.get(), base, u"widget.line"_s,
            API::params(store.period(), store.effectiveAccounts(), store.effectiveTemplate()));
        QCOMPARE(store.lines(), decoded(direct).lines);
        QCOMPARE(store.title(), store.lines().first());
        QVERIFY(store.payload()->dashboard);
        QCOMPARE(store.payload()->dashboard->workspaceName, u"Northwind Outfitters"_s);

        // Each preset gives the line its own shape.
        struct Shape {
            QString id;
            QString pattern;
        };
        const QList<Shape> shapes {
            {u"sales"_s, u"^%1 \\(%1/%2\\) %3x$"_s.arg(money, number, ratio1)},
            {u"leads_sales"_s, u"^%1 \\(%1/%2•%1/%2\\) %3x$"_s.arg(money, number, ratio1)},
            {u"fe_sales"_s, u"^%1 \\(%1/%2\\) %3x$"_s.arg(money, number, ratio1)},
            {u"leads_appts"_s, u"^%1 \\(%1/%2•%1/%2\\) %3x$"_s.arg(money, number, ratio1)},
            {u"lead_gen"_s, u"^%1 → %2 @ %1$"_s.arg(money, number)},
            {u"profit"_s, u"^%1 rev · %1 profit$"_s.arg(money)},
        };
        QHash<QString, QString> titles;
        for (const Shape &s : shapes) {
            awaitTask(store.selectLineTemplate(s.id));
            QVERIFY2(!store.error(), qPrintable(s.id + u": "_s + store.errorText()));
            QCOMPARE(store.lineTemplate(), s.id);
            QVERIFY2(QRegularExpression(s.pattern).match(store.title()).hasMatch(),
                qPrintable(s.id + u": "_s + store.title()));
            titles.insert(s.id, store.title());
        }
        QVERIFY(titles.value(u"sales"_s) != titles.value(u"fe_sales"_s)); // front-end ROAS differs
        awaitTask(store.selectLineTemplate(u"web"_s)); // the workspace's own template
        QVERIFY2(!store.error(), qPrintable(store.errorText()));
        QVERIFY(!store.title().isEmpty());
        QVERIFY(store.title() != u"–"_s);

        // Moving data reaches the line through the cache, every time as the
        // server has it now, and the line visibly moves within a few ticks.
        awaitTask(store.selectLineTemplate(u"sales"_s));
        const QString beforeTicks = store.title();
        bool movedOn = false;
        for (int i = 0; i < 8; ++i) {
            server.tick();
            awaitTask(store.refresh());
            QVERIFY2(!store.error(), qPrintable(store.errorText()));
            const QJsonObject moved = rpcData(app.nam.get(), base, u"widget.line"_s,
                API::params(store.period(), store.effectiveAccounts(), store.effectiveTemplate()));
            QCOMPARE(store.lines(), decoded(moved).lines);
            movedOn = movedOn || store.title() != beforeTicks;
        }
        QVERIFY2(movedOn, qPrintable(beforeTicks));

        // Another workspace, asked for directly.
        QString other;
        for (const Workspace &w : store.workspaces())
            if (w.workspaceId != *store.activeWorkspaceId())
                other = w.workspaceId;
        store.setWorkspaceId(other);
        QTRY_VERIFY(!store.loading());
        QVERIFY2(!store.error(), qPrintable(store.errorText()));
        QCOMPARE(store.payload()->dashboard->workspaceName, u"Harbor Dental Group"_s);
        store.setWorkspaceId(QString());
        QTRY_VERIFY(!store.loading());
        const QString signedInTitle = store.title();

        // The next start: the cookie file and the cached line are picked up.
        rig.reset();
        app.restartCache();
        rig = std::make_unique<StoreRig>(app, base);
        Store &again = *rig->store;
        QVERIFY(again.signedIn());
        QCOMPARE(again.userEmail(), adaEmail);
        QCOMPARE(again.title(), signedInTitle);
        // The held document was read from its file and revalidated (304).
        QCOMPARE(app.snapshots->counters().fileReads, 1);
        QCOMPARE(app.snapshots->counters().requests, 1);
        QCOMPARE(app.snapshots->counters().fileWrites, 0);
        const QNetworkCookie session = *app.sessionCookie(base);

        // Sign-out: nothing shown, the session gone on the server.
        awaitTask(again.disconnect());
        QVERIFY(!again.connected());
        QVERIFY(!again.payload());
        QCOMPARE(again.title(), u"Quillmere"_s);
        QVERIFY(!again.timer()->isActive());
        QVERIFY(!app.sessionCookie(base));
        QNetworkAccessManager replay;
        replay.cookieJar()->insertCookie(session);
        QCOMPARE(raw(&replay, API::endpoint(base, u"api/auth/me"_s)).status, 401);
    }

    // Injected faults on a signed-in Store: the last good line stays, the
    // message reads well, and the next good answer clears it.
    void faults_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expected"); // a regular expression for error()

        QTest::newRow("snapshot 500") << u"snapshot"_s << u"status"_s << 500 << QString()
                                      << u"^The server's snapshot answer failed \\(500\\)\\.$"_s;
        QTest::newRow("snapshot 502 with a message")
            << u"snapshot:widget.line"_s << u"status"_s << 502 << u"Upstream gone"_s << u"\\(502\\)"_s;
        QTest::newRow("snapshot malformed")
            << u"snapshot"_s << u"malformed"_s << 200 << QString() << u"^the snapshot answer is not JSON \\("_s;
        QTest::newRow("snapshot truncated") << u"snapshot"_s << u"truncate"_s << 200 << QString() << u"(?i)closed"_s;
        QTest::newRow("workspaces 500 with a message")
            << u"rpc:workspaces.list"_s << u"status"_s << 500 << u"Database is resting"_s << u"^Database is resting$"_s;
        QTest::newRow("workspaces 503 without a body")
            << u"rpc:workspaces.list"_s << u"status"_s << 503 << QString() << u"503"_s;
        QTest::newRow("workspaces malformed")
            << u"rpc:workspaces.list"_s << u"malformed"_s << 200 << QString() << u"^the answer is not valid JSON \\("_s;
    }

    void faults()
    {
        QFETCH(QString, route);
        QFETCH(QString, mode);
        QFETCH(int, status);
        QFETCH(QString, message);
        QFETCH(QString, expected);

        Server server;
        App app;
        StoreRig rig(app, server.base());
        Store &store = *rig.store;
        QVERIFY(rig.signIn(adaEmail));
        QVERIFY2(!store.error(), qPrintable(store.errorText()));
        const QStringList good = store.lines();
        QVERIFY(!good.isEmpty());
        const std::optional<QByteArray> heldBefore = app.snapshots->cached(
            u"widget.line"_s, API::params(store.period(), store.effectiveAccounts(), store.effectiveTemplate()));
        QVERIFY(heldBefore);

        QJsonObject fault {{u"route"_s, route}, {u"mode"_s, mode}, {u"status"_s, status}};
        if (!message.isEmpty())
            fault.insert(u"message"_s, message);
        QCOMPARE(server.control(u"faults"_s, fault), 200);
        server.tick();
        awaitTask(store.refresh());

        QVERIFY(store.error());
        QVERIFY2(QRegularExpression(expected).match(store.errorText()).hasMatch(), qPrintable(store.errorText()));
        QVERIFY2(!store.errorText().contains(u"<!--"_s), qPrintable(store.errorText())); // no raw body
        QVERIFY(store.signedIn());
        QCOMPARE(store.lines(), good);
        QCOMPARE(store.title(), good.first());
        QCOMPARE(app.snapshots->cached(u"widget.line"_s,
                     API::params(store.period(), store.effectiveAccounts(), store.effectiveTemplate())),
            heldBefore);

        // The fault was used up: the next refresh is good again and current.
        awaitTask(store.refresh());
        QVERIFY2(!store.error(), qPrintable(store.errorText()));
        const QJsonObject direct = rpcData(app.nam.get(), server.base(), u"widget.line"_s,
            API::params(store.period(), store.effectiveAccounts(), store.effectiveTemplate()));
        QCOMPARE(store.lines(), decoded(direct).lines);
    }

    void sessionExpiry_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("every session ended") << u"expire"_s;
        QTest::newRow("snapshot answered 401") << u"snapshot401"_s;
        QTest::newRow("session lifetime over") << u"lifetime"_s;
    }

    // The server no longer knows the session: the Store says so and signs out.
    void sessionExpiry()
    {
        QFETCH(QString, how);
        devserver::ServerOptions options;
        options.sessionLifetimeMs = 3'600'000;
        Server server(options);
        App app;
        StoreRig rig(app, server.base());
        Store &store = *rig.store;
        QVERIFY(rig.signIn(adaEmail));
        QVERIFY(store.payload());

        if (how == "expire"_L1)
            QCOMPARE(server.control(u"expire-sessions"_s), 200);
        else if (how == "snapshot401"_L1)
            QCOMPARE(server.control(u"faults"_s, {{u"route"_s, u"snapshot"_s}, {u"status"_s, 401}}), 200);
        else
            server.rig.clock.advance(options.sessionLifetimeMs + 1000);
        awaitTask(store.refresh());

        QCOMPARE(store.errorText(), Store::sessionExpiredMessage);
        QVERIFY(!store.signedIn());
        QVERIFY(!store.connected());
        QVERIFY(!store.payload());
        QVERIFY(!store.timer()->isActive());

        // Signing in again works.
        QVERIFY(rig.signIn(adaEmail));
        QVERIFY2(!store.error(), qPrintable(store.errorText()));
        QVERIFY(store.payload());
    }
};

QTEST_GUILESS_MAIN(TestClientE2E)
#include "tst_client_e2e.moc"
