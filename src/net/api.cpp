#include "net/api.h"

#include "net/apierror.h"
#include "net/cookiejar.h"
#include "net/network.h"
#include "net/snapshotclient.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>

API::API(QNetworkAccessManager *nam, SnapshotClient *snapshots, QObject *parent)
    : QObject(parent), m_nam(nam), m_snapshots(snapshots)
{ }

API::~API() = default;

API &API::shared()
{
    static API instance(network::manager(), &SnapshotClient::shared());
    return instance;
}

QJsonObject API::params(const QString &timeframe, const QString &accounts, const std::optional<QString> &templ)
{
    QJsonObject p;
    p.insert(QLatin1StringView("include"), QStringLiteral("dashboard"));
    p.insert(QLatin1StringView("timeframe"), timeframe);
    if (!accounts.isEmpty())
        p.insert(QLatin1StringView("accounts"), accounts);
    if (templ)
        p.insert(QLatin1StringView("template"), *templ);
    return p;
}

QUrl API::endpoint(const QUrl &base, const QString &relativePath)
{
    return network::appendPath(base, relativePath);
}

namespace {

// One query item, percent-encoded so that only unreserved characters stay as
// they are ("+" and "&" in a template arrive as themselves).
QByteArray queryItem(const QString &name, const QString &value)
{
    return QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
}

QUrl withQuery(QUrl url, const QByteArray &query)
{
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

} // namespace

QUrl API::embedAccountsUrl(const QUrl &link)
{
    return withQuery(link, queryItem(QStringLiteral("include"), QStringLiteral("accounts")));
}

QUrl API::embedPayloadUrl(
    const QUrl &link, const QString &timeframe, const QString &accounts, const std::optional<QString> &templ)
{
    QByteArrayList items;
    if (link.hasQuery())
        items.append(link.query(QUrl::FullyEncoded).toLatin1());
    items.append(queryItem(QStringLiteral("timeframe"), timeframe));
    items.append(queryItem(QStringLiteral("dashboardTimeframe"), timeframe));
    if (!accounts.isEmpty())
        items.append(queryItem(QStringLiteral("accounts"), accounts));
    if (templ)
        items.append(queryItem(QStringLiteral("template"), *templ));
    return withQuery(link, items.join('&'));
}

QNetworkRequest API::embedRequest(const QUrl &url, const std::optional<QString> &password)
{
    QNetworkRequest request(url);
    if (password && !password->isEmpty())
        request.setRawHeader("X-Embed-Password", password->toUtf8());
    return request;
}

template<class T> QCoro::Task<T> API::send(QNetworkRequest request, QByteArray verb, QByteArray body)
{
    if (!request.url().isValid()
        || (request.url().scheme() != QLatin1StringView("http")
            && request.url().scheme() != QLatin1StringView("https")))
        throw TransportError(QStringLiteral("The server address is not a valid http or https address."));
    const HttpReply reply = co_await network::perform(m_nam, request, verb, body);
    if (reply.status >= 200 && reply.status <= 299)
        co_return decodeJson<T>(reply.body);
    throw APIError(APIError::messageFor(reply.status, reply.body), reply.status);
}

namespace {

QNetworkRequest jsonPost(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    return request;
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

template<class T> QCoro::Task<T> API::rpc(QUrl base, QString op, QJsonObject args)
{
    QJsonObject body;
    body.insert(QLatin1StringView("op"), op);
    body.insert(QLatin1StringView("args"), args);
    const Envelope<T> envelope
        = co_await send<Envelope<T>>(jsonPost(endpoint(base, QStringLiteral("api/native/rpc"))), "POST", compact(body));
    co_return envelope.data;
}

QCoro::Task<User> API::exchange(QUrl base, QString code, QString verifier)
{
    QJsonObject body;
    body.insert(QLatin1StringView("code"), code);
    body.insert(QLatin1StringView("verifier"), verifier);
    const MeResponse me = co_await send<MeResponse>(
        jsonPost(endpoint(base, QStringLiteral("api/auth/native/token"))), "POST", compact(body));
    co_return me.user;
}

QCoro::Task<User> API::me(QUrl base)
{
    const MeResponse me
        = co_await send<MeResponse>(QNetworkRequest(endpoint(base, QStringLiteral("api/auth/me"))), "GET", {});
    co_return me.user;
}

QCoro::Task<> API::logout(QUrl base)
{
    try {
        co_await send<Empty>(
            jsonPost(endpoint(base, QStringLiteral("api/auth/logout"))), "POST", QByteArrayLiteral("{}"));
    } catch (...) {
        // The sign-out is local whatever the server said.
    }
    if (QNetworkCookieJar *jar = m_nam->cookieJar()) {
        if (auto *persistent = qobject_cast<PersistentCookieJar *>(jar)) {
            persistent->deleteCookiesFor(base);
        } else {
            for (const QNetworkCookie &cookie : jar->cookiesForUrl(base))
                jar->deleteCookie(cookie);
        }
    }
    m_snapshots->clear();
}

QCoro::Task<WorkspaceList> API::workspaces(QUrl base)
{
    co_return co_await rpc<WorkspaceList>(base, QStringLiteral("workspaces.list"), {});
}

QCoro::Task<QList<AdAccount>> API::accounts(QUrl base)
{
    const AdAccountList list = co_await rpc<AdAccountList>(base, QStringLiteral("widget.accounts"), {});
    co_return list.accounts;
}

QCoro::Task<QList<AdAccount>> API::accounts(QUrl link, std::optional<QString> password)
{
    const AdAccountList list = co_await send<AdAccountList>(embedRequest(embedAccountsUrl(link), password), "GET", {});
    co_return list.accounts;
}

QCoro::Task<Payload> API::payload(
    QUrl link, std::optional<QString> password, QString timeframe, QString accounts, std::optional<QString> templ)
{
    co_return co_await send<Payload>(
        embedRequest(embedPayloadUrl(link, timeframe, accounts, templ), password), "GET", {});
}

namespace {

std::optional<Payload> decodeHeld(const QByteArray &data)
{
    try {
        return decodeJson<Payload>(data);
    } catch (const DecodingError &) {
        return std::nullopt;
    }
}

} // namespace

QCoro::Task<Payload> API::payload(QUrl base, std::optional<QString> workspaceId,
    std::optional<QString> activeWorkspaceId, QString timeframe, QString accounts, std::optional<QString> templ)
{
    const bool active = !workspaceId || (activeWorkspaceId && *workspaceId == *activeWorkspaceId);
    bool fallback = false;
    if (active) {
        const QString name = QStringLiteral("widget.line");
        const QJsonObject p = params(timeframe, accounts, templ);
        try {
            const QByteArray data = co_await m_snapshots->revalidate(base, name, p);
            if (std::optional<Payload> payload = decodeHeld(data))
                co_return std::move(*payload);
            // Bytes that cannot be read, such as a damaged cache file whose
            // version the server confirms with 304, would fail every refresh
            // until the server's data changes: drop them and ask once in full.
            m_snapshots->forget(name, p);
            co_return decodeJson<Payload>(co_await m_snapshots->revalidate(base, name, p));
        } catch (const SnapshotError &e) {
            if (e.kind() != SnapshotError::Kind::NotFound)
                throw;
            fallback = true;
        }
    }
    QJsonObject args = params(timeframe, fallback ? accounts : QString(), templ);
    if (workspaceId)
        args.insert(QLatin1StringView("workspaceId"), *workspaceId);
    co_return co_await rpc<Payload>(base, QStringLiteral("widget.line"), args);
}

QCoro::Task<std::optional<Payload>> API::cachedPayload(
    QString timeframe, QString accounts, std::optional<QString> templ)
{
    m_snapshots->restoreScope();
    const std::optional<QByteArray> data
        = m_snapshots->cached(QStringLiteral("widget.line"), params(timeframe, accounts, templ));
    if (!data)
        co_return std::nullopt;
    try {
        co_return decodeJson<Payload>(*data);
    } catch (const std::exception &) {
        co_return std::nullopt;
    }
}
