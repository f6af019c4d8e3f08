#pragma once

// Shared pieces of the development server's tests: the server on a hand-moved
// clock, on 127.0.0.1 with a free port, and a small blocking HTTP client.

#include "clock.h"
#include "server.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrlQuery>

#include <memory>

namespace devtest {

using namespace Qt::StringLiterals;

struct Answer {
    int status = 0; // 0: no HTTP answer
    QByteArray body;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QList<QNetworkReply::RawHeaderPair> headers;

    QByteArray header(const QByteArray &name) const
    {
        for (const auto &[k, v] : headers)
            if (k.compare(name, Qt::CaseInsensitive) == 0)
                return v;
        return {};
    }
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
};

class Client {
public:
    explicit Client(QUrl base) : m_base(std::move(base)) { }

    Answer get(const QString &path, const QUrlQuery &query = {},
        const QList<std::pair<QByteArray, QByteArray>> &headers = {}, int timeoutMs = 10'000)
    {
        QUrl url = at(path);
        url.setQuery(query);
        return run(request(url, headers), "GET", {}, timeoutMs);
    }
    Answer post(const QString &path, const QByteArray &body, const QByteArray &type = "application/json",
        int timeoutMs = 10'000)
    {
        return run(request(at(path), {{"Content-Type", type}}), "POST", body, timeoutMs);
    }
    Answer postJson(const QString &path, const QJsonObject &body, int timeoutMs = 10'000)
    {
        return post(path, QJsonDocument(body).toJson(QJsonDocument::Compact), "application/json", timeoutMs);
    }
    Answer rpc(const QString &op, const QJsonObject &args = {})
    {
        return postJson(u"api/native/rpc"_s, QJsonObject {{u"op"_s, op}, {u"args"_s, args}});
    }
    Answer snapshot(
        const QJsonObject &params, std::optional<qint64> have = std::nullopt, const QString &name = u"widget.line"_s)
    {
        QUrlQuery q;
        q.addQueryItem(
            u"p"_s, QString::fromUtf8(QJsonDocument(params).toJson(QJsonDocument::Compact)).replace(u'+', u"%2B"_s));
        if (have)
            q.addQueryItem(u"have"_s, QString::number(*have));
        return get(u"api/snapshot/"_s + name, q);
    }
    QNetworkAccessManager &nam() { return m_nam; }

private:
    QUrl at(const QString &path) const
    {
        QUrl u = m_base;
        u.setPath(u"/"_s + path);
        return u;
    }
    static QNetworkRequest request(const QUrl &url, const QList<std::pair<QByteArray, QByteArray>> &headers)
    {
        QNetworkRequest req(url);
        req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        for (const auto &[k, v] : headers)
            req.setRawHeader(k, v);
        return req;
    }
    Answer run(const QNetworkRequest &req, const QByteArray &verb, const QByteArray &body, int timeoutMs)
    {
        QNetworkReply *reply = m_nam.sendCustomRequest(req, verb, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, [reply] { reply->abort(); });
        if (!reply->isFinished())
            loop.exec();
        Answer a;
        a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        a.body = reply->readAll();
        a.error = reply->error();
        a.headers = reply->rawHeaderPairs();
        reply->deleteLater();
        return a;
    }

    QUrl m_base;
    QNetworkAccessManager m_nam;
};

inline QString randomVerifier()
{
    QByteArray bytes(32, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

inline QString challengeOf(const QString &verifier)
{
    return QString::fromLatin1(QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

// Runs the browser half of the sign-in: posts the sign-in form for a user
// and returns the code the redirect carries (empty on failure).
inline QString browserCode(
    Client &browser, const QString &userId, const QString &challenge, const QString &state = u"STATE-1"_s)
{
    QUrlQuery form;
    form.addQueryItem(u"redirect_uri"_s, u"quillmere-menubar://auth"_s);
    form.addQueryItem(u"challenge"_s, challenge);
    form.addQueryItem(u"state"_s, state);
    form.addQueryItem(u"user"_s, userId);
    const Answer a = browser.post(
        u"native-auth"_s, form.toString(QUrl::FullyEncoded).toLatin1(), "application/x-www-form-urlencoded");
    if (a.status != 302)
        return {};
    const QUrl location(QString::fromLatin1(a.header("Location")));
    const QUrlQuery q(location);
    if (q.queryItemValue(u"state"_s) != state)
        return {};
    return q.queryItemValue(u"code"_s, QUrl::FullyDecoded);
}

// The whole sign-in for the program's client: returns the exchange answer.
// The browser has a cookie store of its own, as in real life.
inline Answer signIn(Client &app, const QUrl &base, const QString &userId)
{
    const QString verifier = randomVerifier();
    Client browser(base);
    const QString code = browserCode(browser, userId, challengeOf(verifier));
    return app.postJson(u"api/auth/native/token"_s, QJsonObject {{u"code"_s, code}, {u"verifier"_s, verifier}});
}

// The server on a clock the test moves, listening on 127.0.0.1 with a free port.
struct Rig {
    explicit Rig(devserver::ServerOptions options = {})
        : clock(QDateTime::currentMSecsSinceEpoch()), server(std::make_unique<devserver::DevServer>(options, &clock))
    {
        port = server->start(QHostAddress::LocalHost, 0);
    }
    QUrl base() const { return server->baseUrl(); }

    devserver::ManualClock clock;
    std::unique_ptr<devserver::DevServer> server;
    quint16 port = 0;
};

} // namespace devtest
