// Browser sign-in against the development server: the sign-in page, the
// one-time code with its S256 check, the session cookie, me and logout.

#include "devtest.h"
#include "model/records.h"

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QTest>

using namespace devtest;
using namespace Qt::StringLiterals;

class TestDevAuth : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void signInPageListsAccounts()
    {
        Rig rig;
        QVERIFY(rig.port);
        Client browser(rig.base());
        QUrlQuery q;
        q.addQueryItem(u"redirect_uri"_s, u"quillmere-menubar://auth"_s);
        q.addQueryItem(u"challenge"_s, challengeOf(randomVerifier()));
        q.addQueryItem(u"state"_s, u"S-1"_s);
        const Answer page = browser.get(u"native-auth"_s, q);
        QCOMPARE(page.status, 200);
        QVERIFY(page.header("Content-Type").startsWith("text/html"));
        for (const auto &user : rig.server->data().users())
            QVERIFY2(page.body.contains(user.email.toUtf8()), qPrintable(user.email));
        QVERIFY(page.body.contains("value=\"S-1\""));
    }

    void signInPageRefusesBadLinks_data()
    {
        QTest::addColumn<QString>("redirect");
        QTest::addColumn<QString>("challenge");
        const QString good = challengeOf(randomVerifier());
        QTest::newRow("web redirect") << u"https://evil.example/steal"_s << good;
        QTest::newRow("no redirect") << QString() << good;
        QTest::newRow("no challenge") << u"quillmere-menubar://auth"_s << QString();
        QTest::newRow("short challenge") << u"quillmere-menubar://auth"_s << good.left(20);
    }
    void signInPageRefusesBadLinks()
    {
        QFETCH(QString, redirect);
        QFETCH(QString, challenge);
        Rig rig;
        Client browser(rig.base());
        QUrlQuery q;
        q.addQueryItem(u"redirect_uri"_s, redirect);
        q.addQueryItem(u"challenge"_s, challenge);
        q.addQueryItem(u"state"_s, u"S"_s);
        QCOMPARE(browser.get(u"native-auth"_s, q).status, 400);
        // The form itself is checked the same way: no code is handed out.
        QUrlQuery form(q);
        form.addQueryItem(u"user"_s, u"usr_ada"_s);
        const Answer posted = browser.post(
            u"native-auth"_s, form.toString(QUrl::FullyEncoded).toLatin1(), "application/x-www-form-urlencoded");
        QCOMPARE(posted.status, 400);
        QVERIFY(posted.header("Location").isEmpty());
    }

    void redirectCarriesCodeAndState()
    {
        Rig rig;
        Client browser(rig.base());
        const QString code = browserCode(browser, u"usr_ben"_s, challengeOf(randomVerifier()), u"ABC-123"_s);
        QVERIFY(!code.isEmpty());
        // Unknown accounts get no code.
        QVERIFY(browserCode(browser, u"usr_nobody"_s, challengeOf(randomVerifier())).isEmpty());
    }

    // One code, one exchange: each row is a way to present it.
    void exchange_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<qint64>("waitMs");
        QTest::addColumn<int>("status");
        QTest::newRow("right verifier") << u"right"_s << qint64(0) << 200;
        QTest::newRow("right verifier at 59 s") << u"right"_s << qint64(59'000) << 200;
        QTest::newRow("expired at 61 s") << u"right"_s << qint64(61'000) << 400;
        QTest::newRow("wrong verifier") << u"wrong"_s << qint64(0) << 400;
        QTest::newRow("challenge used as verifier") << u"challenge"_s << qint64(0) << 400;
        QTest::newRow("unknown code") << u"unknown"_s << qint64(0) << 400;
        QTest::newRow("body without verifier") << u"noverifier"_s << qint64(0) << 400;
        QTest::newRow("verifier not a string") << u"numberverifier"_s << qint64(0) << 400;
        QTest::newRow("body not JSON") << u"garbage"_s << qint64(0) << 400;
    }
    void exchange()
    {
        QFETCH(QString, how);
        QFETCH(qint64, waitMs);
        QFETCH(int, status);
        Rig rig;
        Client browser(rig.base());
        Client app(rig.base());
        const QString verifier = randomVerifier();
        QString code = browserCode(browser, u"usr_ada"_s, challengeOf(verifier));
        QVERIFY(!code.isEmpty());
        rig.clock.advance(waitMs);
        QJsonObject body {{u"code"_s, code}, {u"verifier"_s, verifier}};
        if (how == "wrong"_L1)
            body[u"verifier"_s] = randomVerifier();
        else if (how == "challenge"_L1)
            body[u"verifier"_s] = challengeOf(verifier);
        else if (how == "unknown"_L1)
            body[u"code"_s] = code + u'x';
        else if (how == "noverifier"_L1)
            body.remove(u"verifier"_s);
        else if (how == "numberverifier"_L1)
            body[u"verifier"_s] = 42;
        const Answer a = how == "garbage"_L1 ? app.post(u"api/auth/native/token"_s, "{code:")
                                             : app.postJson(u"api/auth/native/token"_s, body);
        QCOMPARE(a.status, status);
        if (status == 200) {
            const ApiMeResponse me = decodeJson<ApiMeResponse>(a.body);
            QCOMPARE(me.user.id, u"usr_ada"_s);
            QCOMPARE(me.user.email, u"ada@demo.quillmere.test"_s);
            const QByteArray cookie = a.header("Set-Cookie");
            QVERIFY2(cookie.contains("HttpOnly"), cookie.constData());
            QVERIFY(cookie.contains("Expires="));
            QVERIFY(cookie.contains("Max-Age="));
            QCOMPARE(app.get(u"api/auth/me"_s).status, 200);
        } else {
            // A refused exchange explains itself and signs nobody in.
            QVERIFY(!a.json().value(u"message"_s).toString().isEmpty());
            QVERIFY(a.header("Set-Cookie").isEmpty());
            QCOMPARE(app.get(u"api/auth/me"_s).status, 401);
        }
    }

    // Every attempt uses the code up, a failed one too.
    void codeWorksOnce()
    {
        Rig rig;
        Client browser(rig.base());
        Client app(rig.base());
        const QString verifier = randomVerifier();
        const QString code = browserCode(browser, u"usr_ada"_s, challengeOf(verifier));
        const QJsonObject body {{u"code"_s, code}, {u"verifier"_s, verifier}};
        QCOMPARE(app.postJson(u"api/auth/native/token"_s, body).status, 200);
        const Answer again = app.postJson(u"api/auth/native/token"_s, body);
        QCOMPARE(again.status, 400);
        QVERIFY(again.json().value(u"message"_s).toString().contains(u"already used"_s));

        const QString verifier2 = randomVerifier();
        const QString code2 = browserCode(browser, u"usr_ada"_s, challengeOf(verifier2));
        QCOMPARE(app.postJson(u"api/auth/native/token"_s, QJsonObject {{u"code"_s, code2}, {u"verifier"_s, verifier}})
                     .status,
            400);
        QCOMPARE(app.postJson(u"api/auth/native/token"_s, QJsonObject {{u"code"_s, code2}, {u"verifier"_s, verifier2}})
                     .status,
            400);
    }

    void sessionLifecycle()
    {
        devserver::ServerOptions options;
        options.sessionLifetimeMs = 3600'000;
        options.faults = true;
        Rig rig(options);
        Client app(rig.base());
        const Answer noSession = app.get(u"api/auth/me"_s);
        QCOMPARE(noSession.status, 401);
        QCOMPARE(noSession.json().value(u"message"_s).toString(), u"Not signed in."_s);

        QCOMPARE(signIn(app, rig.base(), u"usr_ben"_s).status, 200);
        const Answer me = app.get(u"api/auth/me"_s);
        QCOMPARE(me.status, 200);
        QCOMPARE(decodeJson<ApiMeResponse>(me.body).user.id, u"usr_ben"_s);

        // The session lasts as long as the server said, and no longer.
        rig.clock.advance(3600'000 - 1000);
        QCOMPARE(app.get(u"api/auth/me"_s).status, 200);
        rig.clock.advance(2000);
        QCOMPARE(app.get(u"api/auth/me"_s).status, 401);
        QCOMPARE(app.rpc(u"workspaces.list"_s).status, 401);

        // Logout ends the session on the server, not only the cookie.
        QCOMPARE(signIn(app, rig.base(), u"usr_ada"_s).status, 200);
        const QList<QNetworkCookie> before = app.nam().cookieJar()->cookiesForUrl(rig.base());
        QCOMPARE(before.size(), 1);
        Client replay(rig.base());
        auto withCookie = [&](Client &c) {
            return c.get(
                u"api/auth/me"_s, {}, {{"Cookie", before.first().toRawForm(QNetworkCookie::NameAndValueOnly)}});
        };
        QCOMPARE(withCookie(replay).status, 200);
        const Answer out = app.postJson(u"api/auth/logout"_s, QJsonObject {});
        QCOMPARE(out.status, 200);
        (void)decodeJson<ApiEmpty>(out.body);
        QVERIFY(out.header("Set-Cookie").contains("Max-Age=0"));
        QCOMPARE(withCookie(replay).status, 401);
        QCOMPARE(app.get(u"api/auth/me"_s).status, 401);
        // Logging out twice is harmless.
        QCOMPARE(app.postJson(u"api/auth/logout"_s, QJsonObject {}).status, 200);

        // The control endpoint ends every session at once.
        Client other(rig.base());
        QCOMPARE(signIn(app, rig.base(), u"usr_ada"_s).status, 200);
        QCOMPARE(signIn(other, rig.base(), u"usr_ben"_s).status, 200);
        const Answer expired = app.postJson(u"_dev/expire-sessions"_s, {});
        QCOMPARE(expired.status, 200);
        QVERIFY(expired.json().value(u"expired"_s).toInt() >= 2);
        QCOMPARE(app.get(u"api/auth/me"_s).status, 401);
        QCOMPARE(other.get(u"api/auth/me"_s).status, 401);
    }

    void wrongMethods_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("post");
        QTest::newRow("GET token") << u"api/auth/native/token"_s << false;
        QTest::newRow("POST me") << u"api/auth/me"_s << true;
        QTest::newRow("GET logout") << u"api/auth/logout"_s << false;
        QTest::newRow("GET rpc") << u"api/native/rpc"_s << false;
    }
    void wrongMethods()
    {
        QFETCH(QString, path);
        QFETCH(bool, post);
        Rig rig;
        Client app(rig.base());
        const Answer a = post ? app.postJson(path, {}) : app.get(path);
        QCOMPARE(a.status, 405);
        QVERIFY(!a.header("Allow").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDevAuth)
#include "tst_devauth.moc"
