#pragma once

// A Store on real parts (API, SnapshotClient, INI defaults in a temporary
// folder, a fresh network manager) talking to a scripted server on 127.0.0.1
// that plays the Quillmere server, with test doubles for the desktop services.

#include "net/api.h"
#include "net/keychain.h"
#include "net/snapshotclient.h"
#include "platform/defaults.h"
#include "platform/services.h"
#include "scriptedserver.h"
#include "state/store.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUrlQuery>

#include <functional>
#include <memory>

class FakeBrowser : public Browser {
public:
    QCoro::Task<bool> open(const QUrl &url) override
    {
        opened.append(url);
        co_return true;
    }
    QList<QUrl> opened;
};

class FakeClock : public Clock {
public:
    QDateTime now() const override { return time; }
    QDateTime time {QDate(2024, 5, 1), QTime(12, 0), Qt::UTC};
};

class FakeLoginItem : public LoginItem {
public:
    bool enabled() const override { return on; }
    std::optional<QString> setEnabled(bool enabled) override
    {
        if (failure)
            return failure;
        on = enabled;
        return std::nullopt;
    }
    bool on = false;
    std::optional<QString> failure;
};

// The server side: answers like the real server, from a little state the test
// changes. A failure is scripted per operation name:
//   "me", "token", "logout", "workspaces.list", "widget.accounts", "widget.line",
//   "snapshot", "embed.accounts", "embed.dashboard".
class Backend {
public:
    Backend()
    {
        server.setHandler([this](const RecordedRequest &r) { return answer(r); });
    }

    ScriptedServer server;
    QJsonObject user {{QStringLiteral("id"), QStringLiteral("u1")},
        {QStringLiteral("email"), QStringLiteral("ann@example.com")},
        {QStringLiteral("role"), QStringLiteral("owner")}};
    QJsonArray workspaces {
        QJsonObject {{QStringLiteral("workspaceId"), QStringLiteral("w1")},
            {QStringLiteral("name"), QStringLiteral("Alpha")}, {QStringLiteral("role"), QStringLiteral("owner")}},
        QJsonObject {{QStringLiteral("workspaceId"), QStringLiteral("w2")},
            {QStringLiteral("name"), QStringLiteral("Beta")}, {QStringLiteral("role"), QStringLiteral("member")}}};
    std::optional<QString> current = QStringLiteral("w1");
    QJsonArray accounts {account(QStringLiteral("g1"), QStringLiteral("google")),
        account(QStringLiteral("g2"), QStringLiteral("google")), account(QStringLiteral("m1"), QStringLiteral("meta"))};
    QStringList lines {QStringLiteral("$2.4k ($310/8) 3.2x"), QStringLiteral("second line")};
    bool snapshots = true; // false: the snapshot endpoint answers 404
    QHash<QString, int> failures;
    int delayMs = 0;
    qint64 version = 0;

    static QJsonObject account(const QString &id, const QString &platform)
    {
        return {{QStringLiteral("id"), id}, {QStringLiteral("name"), QStringLiteral("Account ") + id},
            {QStringLiteral("platform"), platform},
            {QStringLiteral("platformLabel"),
                platform == QLatin1StringView("google") ? QStringLiteral("Google Ads") : QStringLiteral("Meta")}};
    }

    QJsonObject extra; // members added to every payload, e.g. a "dashboard"

    QJsonObject payload() const
    {
        QJsonObject body = extra;
        body.insert(QStringLiteral("lines"), QJsonArray::fromStringList(lines));
        return body;
    }

    // Requests of one kind, by the names above.
    QList<RecordedRequest> requests(const QString &kind) const
    {
        QList<RecordedRequest> found;
        for (const RecordedRequest &r : server.requests()) {
            if (kindOf(r) == kind)
                found.append(r);
        }
        return found;
    }
    int count(const QString &kind) const { return int(requests(kind).size()); }

    static QString kindOf(const RecordedRequest &r)
    {
        if (r.path == QLatin1StringView("/api/auth/me"))
            return QStringLiteral("me");
        if (r.path == QLatin1StringView("/api/auth/native/token"))
            return QStringLiteral("token");
        if (r.path == QLatin1StringView("/api/auth/logout"))
            return QStringLiteral("logout");
        if (r.path == QLatin1StringView("/api/native/rpc"))
            return r.json().value(QLatin1StringView("op")).toString();
        if (r.path.startsWith(QLatin1StringView("/api/snapshot/")))
            return QStringLiteral("snapshot");
        if (r.path.startsWith(QLatin1StringView("/embed/")))
            return r.queryValue(QStringLiteral("include")) == QStringLiteral("accounts")
                ? QStringLiteral("embed.accounts")
                : QStringLiteral("embed.dashboard");
        return QString();
    }

private:
    std::optional<ScriptedResponse> answer(const RecordedRequest &r)
    {
        const QString kind = kindOf(r);
        ScriptedResponse response = respond(r, kind);
        response.delayMs = delayMs;
        return response;
    }

    ScriptedResponse respond(const RecordedRequest &r, const QString &kind)
    {
        if (const int status = failures.value(kind); status != 0)
            return ScriptedResponse::json(
                QJsonObject {{QStringLiteral("message"), QStringLiteral("%1 refused (%2)").arg(kind).arg(status)}},
                status);
        auto data = [](const QJsonValue &v) { return QJsonObject {{QStringLiteral("data"), v}}; };
        if (kind == QLatin1StringView("me")) {
            if (!r.header("cookie").value_or(QByteArray()).contains("sid="))
                return ScriptedResponse::json(
                    QJsonObject {{QStringLiteral("error"), QStringLiteral("Not signed in")}}, 401);
            return ScriptedResponse::json(QJsonObject {{QStringLiteral("user"), user}});
        }
        if (kind == QLatin1StringView("token"))
            return std::move(ScriptedResponse::json(QJsonObject {{QStringLiteral("user"), user}}))
                .header("Set-Cookie", "sid=s1; Path=/; HttpOnly");
        if (kind == QLatin1StringView("logout"))
            return ScriptedResponse::json(QJsonObject {});
        if (kind == QLatin1StringView("workspaces.list")) {
            QJsonObject list {{QStringLiteral("workspaces"), workspaces}};
            if (current)
                list.insert(QStringLiteral("currentWorkspaceId"), *current);
            return ScriptedResponse::json(data(list));
        }
        if (kind == QLatin1StringView("widget.accounts"))
            return ScriptedResponse::json(data(QJsonObject {{QStringLiteral("accounts"), accounts}}));
        if (kind == QLatin1StringView("widget.line"))
            return ScriptedResponse::json(data(payload()));
        if (kind == QLatin1StringView("snapshot")) {
            if (!snapshots)
                return ScriptedResponse::json(
                    QJsonObject {{QStringLiteral("error"), QStringLiteral("no snapshot")}}, 404);
            return ScriptedResponse::json(
                QJsonObject {{QStringLiteral("version"), ++version}, {QStringLiteral("data"), payload()}});
        }
        if (kind == QLatin1StringView("embed.accounts"))
            return ScriptedResponse::json(QJsonObject {{QStringLiteral("accounts"), accounts}});
        if (kind == QLatin1StringView("embed.dashboard"))
            return ScriptedResponse::json(payload());
        return ScriptedResponse::json(QJsonObject {{QStringLiteral("error"), QStringLiteral("no script")}}, 404);
    }
};

class Rig {
public:
    Rig()
    {
        defaults = std::make_unique<Defaults>(dir.filePath(QStringLiteral("settings.ini")));
        snapshots = std::make_unique<SnapshotClient>(&nam, defaults.get(), dir.filePath(QStringLiteral("snapshots")));
        api = std::make_unique<API>(&nam, snapshots.get());
        defaults->setString(Store::Keys::serverURL, backend.server.url().toString());
    }
    ~Rig()
    {
        // Let running operations finish before their parts go away.
        if (store)
            (void)QTest::qWaitFor([this] { return !store->loading(); }, 5000);
        store.reset();
    }

    Store::Services services()
    {
        return {defaults.get(), api.get(), snapshots.get(), &keychain, &browser, &clock, &wake, &login};
    }

    // Builds the Store and waits for its start-up restore to end.
    Store &start()
    {
        store = std::make_unique<Store>(services());
        (void)QTest::qWaitFor([this] { return !store->restoring(); }, 10000);
        return *store;
    }

    // The same, for a settings file that may not name the scripted server:
    // the start-up check still goes there (the default origin is a real
    // server), and nothing is written to the settings.
    Store &startOnScriptedServer()
    {
        store = std::make_unique<Store>(services());
        store->overrideServer(backend.server.url());
        (void)QTest::qWaitFor([this] { return !store->restoring(); }, 10000);
        return *store;
    }

    // Browser sign-in through the scripted server; the session cookie stays in nam.
    bool signIn()
    {
        store->signIn();
        const QUrlQuery query(browser.opened.last());
        QUrl callback(QStringLiteral("quillmere-menubar://auth"));
        callback.setQuery(QStringLiteral("code=c1&state=") + query.queryItemValue(QStringLiteral("state")));
        QCoro::waitFor(store->handleCallback(callback));
        return store->user().has_value();
    }

    template<class T> static T run(QCoro::Task<T> task) { return QCoro::waitFor(std::move(task)); }

    QTemporaryDir dir;
    Backend backend;
    std::unique_ptr<Defaults> defaults;
    QNetworkAccessManager nam;
    std::unique_ptr<SnapshotClient> snapshots;
    std::unique_ptr<API> api;
    MemoryKeychain keychain;
    FakeBrowser browser;
    FakeClock clock;
    WakeMonitor wake;
    FakeLoginItem login;
    std::unique_ptr<Store> store;
};
