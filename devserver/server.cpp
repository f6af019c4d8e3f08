#include "server.h"

#include "jsondiff.h"
#include "pages.h"
#include "payload.h"

#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

#include <memory>

using namespace Qt::StringLiterals;

namespace devserver {

namespace {

constexpr auto sessionCookieName = "quillmere_session";

QByteArray compact(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

Reply json(int status, const QJsonObject &o)
{
    return Reply {status, "application/json", compact(o), {}};
}

// Error bodies carry "message" (what the user reads) and, for API callers,
// a short "error" word.
Reply failure(int status, const QString &message, const QString &error = QString())
{
    QJsonObject o {{u"message"_s, message}};
    if (!error.isEmpty())
        o.insert(u"error"_s, error);
    return json(status, o);
}

Reply html(int status, const QByteArray &body)
{
    return Reply {status, "text/html; charset=utf-8", body, {}};
}

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status";
    }
}

bool bodyless(int status)
{
    return status == 204 || status == 304 || (status >= 100 && status < 200);
}

QByteArray methodName(QHttpServerRequest::Method m)
{
    switch (m) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    default:
        return "OTHER";
    }
}

QString httpDate(const QDateTime &t)
{
    return QLocale::c().toString(t.toUTC(), u"ddd, dd MMM yyyy hh:mm:ss 'GMT'"_s);
}

QJsonObject userJson(const UserInfo &u)
{
    return QJsonObject {{u"id"_s, u.id}, {u"email"_s, u.email}, {u"role"_s, u.role}};
}

Reply methodNotAllowed(const QByteArray &allow)
{
    Reply r = failure(405, u"Method not allowed."_s, u"method_not_allowed"_s);
    r.headers.emplace_back("Allow", allow);
    return r;
}

// The request's query as a map; a repeated item keeps its last value.
QHash<QString, QString> queryMap(const QUrlQuery &q)
{
    QHash<QString, QString> map;
    for (const auto &[k, v] : q.queryItems(QUrl::FullyDecoded))
        map.insert(k, v);
    return map;
}

} // namespace

struct DevServer::Incoming {
    QByteArray method;
    QString path;
    QUrlQuery query;
    QByteArray body;
    QList<std::pair<QByteArray, QByteArray>> headers;

    QByteArray header(const QByteArray &name) const
    {
        for (const auto &[k, v] : headers)
            if (k.compare(name, Qt::CaseInsensitive) == 0)
                return v;
        return {};
    }
    QString cookie(const QByteArray &name) const
    {
        for (const auto &[k, v] : headers) {
            if (k.compare("cookie", Qt::CaseInsensitive) != 0)
                continue;
            for (const QByteArray &part : v.split(';')) {
                const QByteArray p = part.trimmed();
                if (p.startsWith(name + '='))
                    return QString::fromLatin1(p.mid(name.size() + 1));
            }
        }
        return {};
    }
    QJsonObject jsonBody(bool *ok) const
    {
        QJsonParseError err {};
        const QJsonDocument doc = QJsonDocument::fromJson(body, &err);
        *ok = err.error == QJsonParseError::NoError && doc.isObject();
        return doc.object();
    }
};

DevServer::DevServer(const ServerOptions &options, const Clock *clock, QObject *parent)
    : QAbstractHttpServer(parent), m_options(options), m_clock(clock), m_data(options.seed, clock, options.tickMs),
      m_auth(clock, options.sessionLifetimeMs), m_embedLimit(clock, options.embedRequestsPerMinute),
      m_snapshots(clock->nowMs()), m_build(u"devserver-%1-1"_s.arg(options.seed))
{ }

DevServer::~DevServer()
{
    for (const QPointer<QTcpSocket> &s : std::as_const(m_held))
        if (s)
            s->abort();
}

quint16 DevServer::start(const QHostAddress &address, quint16 port)
{
    const quint16 bound = listen(address, port);
    if (bound) {
        m_base.setScheme(u"http"_s);
        m_base.setHost(address.toString());
        m_base.setPort(bound);
    }
    return bound;
}

void DevServer::setBuildId(const QString &build)
{
    m_build = build;
    m_snapshots.clear();
}

int DevServer::openAnswers() const
{
    int n = 0;
    for (const QPointer<QTcpSocket> &s : m_held)
        n += s ? 1 : 0;
    return n;
}

void DevServer::missingHandler(const QHttpServerRequest &, QTcpSocket *socket)
{
    send(socket, failure(404, u"Not found."_s, u"not_found"_s), false);
}

bool DevServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    Incoming in;
    in.method = methodName(request.method());
    in.path = request.url().path();
    in.query = request.query();
    in.body = request.body();
    in.headers = request.headers();
    const bool close = in.header("connection").compare("close", Qt::CaseInsensitive) == 0;

    m_data.sync();
    std::optional<Fault> fault;
    if (m_options.faults && !in.path.startsWith("/_dev/"_L1))
        fault = m_faults.take(routeNames(in));
    // A failing status stands for a server that broke before doing anything;
    // the other faults spoil the real answer.
    if (fault && fault->mode == FaultMode::Status) {
        sendFaulty(socket, Reply {}, *fault, close);
        return true;
    }
    Reply reply = route(in);
    if (fault && fault->mode == FaultMode::Patch)
        reply = hostileDelta(in, std::move(reply), fault->patch);
    if (fault)
        sendFaulty(socket, std::move(reply), *fault, close);
    else
        send(socket, reply, close);
    return true;
}

QStringList DevServer::routeNames(const Incoming &in) const
{
    const QString &path = in.path;
    if (path == "/"_L1)
        return {u"index"_s};
    if (path == "/native-auth"_L1 || path == "/dashboard"_L1)
        return {path.mid(1)};
    if (path == "/api/auth/native/token"_L1)
        return {u"auth.token"_s};
    if (path == "/api/auth/me"_L1)
        return {u"auth.me"_s};
    if (path == "/api/auth/logout"_L1)
        return {u"auth.logout"_s};
    if (path == "/api/native/rpc"_L1) {
        bool ok = false;
        const QString op = in.jsonBody(&ok).value(u"op"_s).toString();
        return op.isEmpty() ? QStringList {u"rpc"_s} : QStringList {u"rpc:"_s + op, u"rpc"_s};
    }
    if (path.startsWith("/api/snapshot/"_L1))
        return {u"snapshot:"_s + path.mid(14), u"snapshot"_s};
    if (path.startsWith("/embed/"_L1)) {
        if (!path.endsWith("/widget"_L1))
            return {u"embed.page"_s};
        const QString include = queryMap(in.query).value(u"include"_s);
        return include.isEmpty() ? QStringList {u"embed"_s} : QStringList {u"embed:"_s + include, u"embed"_s};
    }
    return {path};
}

Reply DevServer::route(const Incoming &in)
{
    const QString &path = in.path;
    if (path == "/"_L1) {
        return indexPage(in);
    }
    if (path == "/native-auth"_L1) {
        if (in.method == "GET")
            return nativeAuthPage(in);
        if (in.method == "POST")
            return nativeAuthSubmit(in);
        return methodNotAllowed("GET, POST");
    }
    if (path == "/api/auth/native/token"_L1) {
        return in.method == "POST" ? token(in) : methodNotAllowed("POST");
    }
    if (path == "/api/auth/me"_L1) {
        return in.method == "GET" ? me(in) : methodNotAllowed("GET");
    }
    if (path == "/api/auth/logout"_L1) {
        return in.method == "POST" ? logout(in) : methodNotAllowed("POST");
    }
    if (path == "/api/native/rpc"_L1) {
        return in.method == "POST" ? rpc(in) : methodNotAllowed("POST");
    }
    if (path.startsWith("/api/snapshot/"_L1)) {
        const QString name = path.mid(14);
        return in.method == "GET" ? snapshot(in, name) : methodNotAllowed("GET");
    }
    if (path.startsWith("/embed/"_L1)) {
        const QStringList parts = path.mid(7).split(u'/');
        if (in.method != "GET")
            return methodNotAllowed("GET");
        if (parts.size() == 1 && !parts[0].isEmpty()) {
            return embedPage(in, parts[0]);
        }
        if (parts.size() == 2 && parts[1] == "widget"_L1 && !parts[0].isEmpty())
            return embedWidget(in, parts[0]);
        return failure(404, u"Not found."_s, u"not_found"_s);
    }
    if (path == "/dashboard"_L1) {
        return dashboardPage(in);
    }
    if (m_options.faults && path.startsWith("/_dev/"_L1))
        return control(in, path.mid(6));
    return failure(404, u"Not found."_s, u"not_found"_s);
}

// --- sign-in -------------------------------------------------------------

Reply DevServer::nativeAuthPage(const Incoming &in)
{
    const QString redirect = in.query.queryItemValue(u"redirect_uri"_s, QUrl::FullyDecoded);
    const QString challenge = in.query.queryItemValue(u"challenge"_s, QUrl::FullyDecoded);
    const QString state = in.query.queryItemValue(u"state"_s, QUrl::FullyDecoded);
    if (QUrl(redirect).scheme() != "quillmere-menubar"_L1)
        return html(400,
            pages::problem(
                u"Sign-in failed"_s, u"The sign-in link has no valid redirect address (quillmere-menubar://auth)."_s));
    if (challenge.size() != 43)
        return html(400, pages::problem(u"Sign-in failed"_s, u"The sign-in link has no valid S256 challenge."_s));
    return html(200, pages::signIn(m_data, redirect, challenge, state));
}

Reply DevServer::nativeAuthSubmit(const Incoming &in)
{
    const QUrlQuery form(QString::fromUtf8(in.body).replace(u'+', u' '));
    const QString redirect = form.queryItemValue(u"redirect_uri"_s, QUrl::FullyDecoded);
    const QString challenge = form.queryItemValue(u"challenge"_s, QUrl::FullyDecoded);
    const QString state = form.queryItemValue(u"state"_s, QUrl::FullyDecoded);
    const UserInfo *user = m_data.user(form.queryItemValue(u"user"_s, QUrl::FullyDecoded));
    QUrl target(redirect);
    if (target.scheme() != "quillmere-menubar"_L1 || challenge.size() != 43)
        return html(400, pages::problem(u"Sign-in failed"_s, u"The sign-in request is incomplete. Start again."_s));
    if (!user)
        return html(400, pages::problem(u"Sign-in failed"_s, u"Unknown account."_s));
    QUrlQuery q;
    q.addQueryItem(u"code"_s, m_auth.issueCode(user->id, challenge));
    q.addQueryItem(u"state"_s, state);
    target.setQuery(q);
    Reply r = html(302, pages::problem(u"Signed in"_s, u"Return to Quillmere Menu Bar."_s));
    r.headers.emplace_back("Location", target.toEncoded());
    // The browser gets a session of its own, for the web dashboard.
    r.headers.emplace_back("Set-Cookie", sessionCookie(m_auth.startSession(user->id)));
    return r;
}

QByteArray DevServer::sessionCookie(const AuthService::Session &s) const
{
    const qint64 seconds = qMax<qint64>(0, (s.expiresMs - m_clock->nowMs()) / 1000);
    return QByteArray(sessionCookieName) + '=' + s.token.toLatin1()
        + "; Path=/; HttpOnly; SameSite=Lax; Max-Age=" + QByteArray::number(seconds)
        + "; Expires=" + httpDate(QDateTime::fromMSecsSinceEpoch(s.expiresMs, Qt::UTC)).toLatin1();
}

Reply DevServer::token(const Incoming &in)
{
    bool ok = false;
    const QJsonObject body = in.jsonBody(&ok);
    const QJsonValue code = body.value(u"code"_s);
    const QJsonValue verifier = body.value(u"verifier"_s);
    if (!ok || !code.isString() || !verifier.isString())
        return failure(400, u"Send a JSON object with \"code\" and \"verifier\"."_s, u"invalid_request"_s);
    const auto result = m_auth.redeem(code.toString(), verifier.toString());
    if (const auto *f = std::get_if<AuthService::Failure>(&result))
        return failure(f->status, f->message, f->error);
    const UserInfo *user = m_data.user(std::get<QString>(result));
    if (!user)
        return failure(400, u"This account no longer exists."_s, u"invalid_grant"_s);
    Reply r = json(200, QJsonObject {{u"user"_s, userJson(*user)}});
    r.headers.emplace_back("Set-Cookie", sessionCookie(m_auth.startSession(user->id)));
    r.headers.emplace_back("Cache-Control", "no-store");
    return r;
}

const UserInfo *DevServer::signedInUser(const Incoming &in)
{
    const QString token = in.cookie(sessionCookieName);
    if (token.isEmpty())
        return nullptr;
    const auto s = m_auth.session(token);
    return s ? m_data.user(s->userId) : nullptr;
}

Reply DevServer::me(const Incoming &in)
{
    const UserInfo *user = signedInUser(in);
    if (!user)
        return failure(401, u"Not signed in."_s, u"unauthorized"_s);
    return json(200, QJsonObject {{u"user"_s, userJson(*user)}});
}

Reply DevServer::logout(const Incoming &in)
{
    const QString token = in.cookie(sessionCookieName);
    if (!token.isEmpty())
        m_auth.endSession(token);
    Reply r = json(200, QJsonObject {});
    r.headers.emplace_back("Set-Cookie",
        QByteArray(sessionCookieName)
            + "=; Path=/; HttpOnly; SameSite=Lax; Max-Age=0; "
              "Expires=Thu, 01 Jan 1970 00:00:00 GMT");
    return r;
}

// --- remote procedures and snapshots --------------------------------------

namespace {

// The workspace a request is about: the named one, or the user's current.
std::variant<const WorkspaceInfo *, Reply> workspaceFor(
    const DemoData &data, const UserInfo &user, const QString &requested)
{
    const QString id = requested.isEmpty() ? user.currentWorkspaceId : requested;
    const WorkspaceInfo *w = data.workspace(id);
    if (!w || !user.workspaceIds.contains(id))
        return failure(403, u"You are not a member of this workspace."_s, u"forbidden"_s);
    return w;
}

// A JSON object whose members are all strings, as a map.
std::variant<QHash<QString, QString>, Reply> stringMap(const QJsonObject &o, const QString &what)
{
    QHash<QString, QString> map;
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (!it.value().isString())
            return failure(400, what + u" \""_s + it.key() + u"\" must be a string."_s, u"invalid_request"_s);
        map.insert(it.key(), it.value().toString());
    }
    return map;
}

} // namespace

Reply DevServer::rpc(const Incoming &in)
{
    bool ok = false;
    const QJsonObject body = in.jsonBody(&ok);
    const QString op = body.value(u"op"_s).toString();
    const UserInfo *user = signedInUser(in);
    if (!user)
        return failure(401, u"Not signed in."_s, u"unauthorized"_s);
    if (!ok)
        return failure(400, u"The request body must be a JSON object."_s, u"invalid_request"_s);
    if (!body.value(u"op"_s).isString())
        return failure(400, u"\"op\" must be a string."_s, u"invalid_request"_s);
    const QJsonValue argsValue = body.value(u"args"_s);
    if (!argsValue.isUndefined() && !argsValue.isNull() && !argsValue.isObject())
        return failure(400, u"\"args\" must be an object."_s, u"invalid_request"_s);
    const auto parsed = stringMap(argsValue.toObject(), u"Argument"_s);
    if (const Reply *bad = std::get_if<Reply>(&parsed))
        return *bad;
    const QHash<QString, QString> &args = std::get<QHash<QString, QString>>(parsed);

    if (op == "workspaces.list"_L1) {
        QJsonArray list;
        for (const QString &id : user->workspaceIds)
            if (const WorkspaceInfo *w = m_data.workspace(id))
                list.append(QJsonObject {
                    {u"workspaceId"_s, w->id}, {u"name"_s, w->name}, {u"role"_s, user->workspaceRoles.value(id)}});
        return json(200,
            QJsonObject {{u"data"_s,
                QJsonObject {{u"workspaces"_s, list}, {u"currentWorkspaceId"_s, user->currentWorkspaceId}}}});
    }
    if (op == "widget.accounts"_L1 || op == "widget.line"_L1) {
        const auto ws = workspaceFor(m_data, *user, args.value(u"workspaceId"_s));
        if (const Reply *bad = std::get_if<Reply>(&ws))
            return *bad;
        const WorkspaceInfo *w = std::get<const WorkspaceInfo *>(ws);
        if (op == "widget.accounts"_L1)
            return json(200, QJsonObject {{u"data"_s, accountListJson(*w)}});
        const auto req = parseLineRequest(args);
        if (const RequestError *bad = std::get_if<RequestError>(&req))
            return failure(bad->status, bad->message, u"invalid_request"_s);
        return json(200, QJsonObject {{u"data"_s, buildPayload(m_data, *w, std::get<LineRequest>(req))}});
    }
    return json(400, QJsonObject {{u"error"_s, u"Unknown operation \""_s + op + u"\"."_s}});
}

Reply DevServer::snapshot(const Incoming &in, const QString &name)
{
    const UserInfo *user = signedInUser(in);
    if (!user)
        return json(401, QJsonObject {{u"error"_s, u"Not signed in."_s}});
    if (name != "widget.line"_L1)
        return json(404, QJsonObject {{u"error"_s, u"Unknown snapshot \""_s + name + u"\"."_s}});

    QJsonObject params;
    if (in.query.hasQueryItem(u"p"_s)) {
        QJsonParseError err {};
        const QJsonDocument doc
            = QJsonDocument::fromJson(in.query.queryItemValue(u"p"_s, QUrl::FullyDecoded).toUtf8(), &err);
        if (err.error != QJsonParseError::NoError || !doc.isObject())
            return json(400, QJsonObject {{u"error"_s, u"\"p\" must be a JSON object."_s}});
        params = doc.object();
    }
    const auto parsed = stringMap(params, u"Parameter"_s);
    if (const Reply *bad = std::get_if<Reply>(&parsed))
        return *bad;
    const QHash<QString, QString> &args = std::get<QHash<QString, QString>>(parsed);
    std::optional<qint64> have;
    if (in.query.hasQueryItem(u"have"_s)) {
        bool ok = false;
        have = in.query.queryItemValue(u"have"_s).toLongLong(&ok);
        if (!ok)
            return json(400, QJsonObject {{u"error"_s, u"\"have\" must be a version number."_s}});
    }
    const auto ws = workspaceFor(m_data, *user, args.value(u"workspaceId"_s));
    if (const Reply *bad = std::get_if<Reply>(&ws))
        return *bad;
    const WorkspaceInfo *w = std::get<const WorkspaceInfo *>(ws);
    const auto req = parseLineRequest(args);
    if (const RequestError *bad = std::get_if<RequestError>(&req))
        return json(bad->status, QJsonObject {{u"error"_s, bad->message}});

    // QJsonObject keeps its keys sorted, so this is the canonical text.
    const QString key = user->id + u'\x1f' + w->id + u'\x1f' + name + u'\x1f' + QString::fromUtf8(compact(params));
    const QJsonObject document = buildPayload(m_data, *w, std::get<LineRequest>(req));
    const SnapshotStore::Version current = m_snapshots.update(key, document, m_clock->nowMs());
    const double computedAt = double(current.computedAtMs) / 1000.0;

    if (have && *have == current.version) {
        Reply r {304, {}, {}, {}};
        r.headers.emplace_back("Cache-Control", "no-store");
        return r;
    }
    const QJsonObject full {{u"version"_s, current.version}, {u"build"_s, m_build}, {u"computedAt"_s, computedAt},
        {u"data"_s, current.document}};
    Reply r = json(200, full);
    r.headers.emplace_back("Cache-Control", "no-store");
    if (have) {
        if (const auto old = m_snapshots.find(key, *have)) {
            const QJsonObject delta {{u"kind"_s, u"delta"_s}, {u"baseVersion"_s, old->version},
                {u"patch"_s, diffJson(old->document, current.document)}, {u"version"_s, current.version},
                {u"build"_s, m_build}, {u"computedAt"_s, computedAt}};
            const QByteArray bytes = compact(delta);
            // A patch bigger than the document itself is not worth it.
            if (bytes.size() < r.body.size())
                r.body = bytes;
        }
    }
    return r;
}

// --- embed links ----------------------------------------------------------

Reply DevServer::embedWidget(const Incoming &in, const QString &key)
{
    const QHash<QString, QString> query = queryMap(in.query);
    const QString include = query.value(u"include"_s);
    const EmbedLinkInfo *link = m_data.embedLink(key);
    if (!link)
        return failure(404, u"This dashboard link doesn't exist or was revoked."_s, u"not_found"_s);
    if (!m_embedLimit.allow(key)) {
        const int wait = m_embedLimit.retryAfterSeconds(key);
        Reply r = failure(
            429, u"Too many requests for this dashboard link. Try again in %1 s."_s.arg(wait), u"rate_limited"_s);
        r.headers.emplace_back("Retry-After", QByteArray::number(wait));
        return r;
    }
    if (!link->password.isEmpty()) {
        const QString given = QString::fromUtf8(in.header("x-embed-password"));
        if (given.isEmpty())
            return failure(401, u"This dashboard link needs a password."_s, u"password_required"_s);
        if (given != link->password)
            return failure(401, u"Wrong password for this dashboard link."_s, u"wrong_password"_s);
    }
    const WorkspaceInfo *w = m_data.workspace(link->workspaceId);
    if (include == "accounts"_L1)
        return json(200, accountListJson(*w));
    const auto req = parseLineRequest(query);
    if (const RequestError *bad = std::get_if<RequestError>(&req))
        return failure(bad->status, bad->message, u"invalid_request"_s);
    return json(200, buildPayload(m_data, *w, std::get<LineRequest>(req)));
}

Reply DevServer::embedPage(const Incoming &in, const QString &key)
{
    const EmbedLinkInfo *link = m_data.embedLink(key);
    if (!link)
        return html(404, pages::problem(u"Link not found"_s, u"This dashboard link doesn't exist or was revoked."_s));
    if (!m_embedLimit.allow(key))
        return html(429, pages::problem(u"Slow down"_s, u"Too many requests for this dashboard link."_s));
    if (!link->password.isEmpty()) {
        const QString given = in.query.queryItemValue(u"password"_s, QUrl::FullyDecoded);
        if (given != link->password)
            return html(given.isEmpty() ? 200 : 401, pages::embedPassword(link->title, !given.isEmpty()));
    }
    LineRequest req;
    req.timeframe = in.query.queryItemValue(u"timeframe"_s);
    if (!periodFor(req.timeframe))
        req.timeframe = u"today"_s;
    req.includeDashboard = true;
    const QString note = u"Paste this page's address into Quillmere Menu Bar to show it in the menu bar."_s;
    return html(200,
        pages::dashboard(
            link->title, buildPayload(m_data, *m_data.workspace(link->workspaceId), req), note.toHtmlEscaped()));
}

// --- web pages -------------------------------------------------------------

Reply DevServer::dashboardPage(const Incoming &in)
{
    const UserInfo *user = signedInUser(in);
    if (!user)
        return html(200, pages::index(m_data, m_base, m_options.faults));
    const auto ws = workspaceFor(m_data, *user, in.query.queryItemValue(u"workspace"_s));
    if (std::holds_alternative<Reply>(ws))
        return html(403, pages::problem(u"No access"_s, u"You are not a member of this workspace."_s));
    LineRequest req;
    req.timeframe = in.query.queryItemValue(u"timeframe"_s);
    if (!periodFor(req.timeframe))
        req.timeframe = u"today"_s;
    req.includeDashboard = true;
    const WorkspaceInfo *w = std::get<const WorkspaceInfo *>(ws);
    return html(200,
        pages::dashboard(w->name, buildPayload(m_data, *w, req), (u"Signed in as "_s + user->email).toHtmlEscaped()));
}

Reply DevServer::indexPage(const Incoming &)
{
    return html(200, pages::index(m_data, m_base, m_options.faults));
}

// --- fault control ----------------------------------------------------------

Reply DevServer::control(const Incoming &in, const QString &what)
{
    bool ok = true;
    const QJsonObject body = in.body.trimmed().isEmpty() ? QJsonObject {} : in.jsonBody(&ok);
    if (!ok)
        return failure(400, u"The request body must be a JSON object."_s, u"invalid_request"_s);
    if (what == "state"_L1 && in.method == "GET")
        return json(200,
            QJsonObject {{u"build"_s, m_build}, {u"generation"_s, m_data.generation()},
                {u"sessions"_s, m_auth.liveSessions()}, {u"faults"_s, m_faults.describe()}});
    if (in.method != "POST")
        return methodNotAllowed("POST");
    if (what == "faults"_L1) {
        const auto parsed = FaultPlan::parse(body);
        if (const QString *bad = std::get_if<QString>(&parsed))
            return failure(400, *bad, u"invalid_request"_s);
        m_faults.add(std::get<Fault>(parsed));
        return json(200, QJsonObject {{u"faults"_s, m_faults.describe()}});
    }
    if (what == "faults/clear"_L1) {
        m_faults.clear();
        return json(200, QJsonObject {{u"faults"_s, QJsonArray {}}});
    }
    if (what == "expire-sessions"_L1) {
        const int n = m_auth.liveSessions();
        m_auth.expireAllSessions();
        return json(200, QJsonObject {{u"expired"_s, n}});
    }
    if (what == "build"_L1) {
        QString build = body.value(u"build"_s).toString();
        if (build.isEmpty() || build == m_build)
            build = u"devserver-%1-%2"_s.arg(m_options.seed).arg(m_clock->nowMs());
        setBuildId(build);
        return json(200, QJsonObject {{u"build"_s, m_build}});
    }
    if (what == "advance"_L1) {
        const int ticks = body.value(u"ticks"_s).toInt(1);
        if (ticks < 1)
            return failure(400, u"\"ticks\" must be a positive integer."_s, u"invalid_request"_s);
        m_data.advance(ticks);
        return json(200, QJsonObject {{u"generation"_s, m_data.generation()}});
    }
    return failure(404, u"Unknown control \""_s + what + u"\"."_s, u"not_found"_s);
}

// A snapshot answer turned into a delta on the version the client holds,
// with a patch no client should apply. Other answers pass unchanged.
Reply DevServer::hostileDelta(const Incoming &in, Reply reply, const QString &kind)
{
    if (!in.path.startsWith("/api/snapshot/"_L1) || !in.query.hasQueryItem(u"have"_s)
        || (reply.status != 200 && reply.status != 304))
        return reply;
    Incoming whole = in;
    whole.query.removeAllQueryItems(u"have"_s);
    const QJsonObject full = QJsonDocument::fromJson(route(whole).body).object();
    QByteArray head = compact(QJsonObject {{u"kind"_s, u"delta"_s},
        {u"baseVersion"_s, in.query.queryItemValue(u"have"_s).toLongLong()}, {u"version"_s, full.value(u"version"_s)},
        {u"build"_s, full.value(u"build"_s)}, {u"computedAt"_s, full.value(u"computedAt"_s)}});
    head.chop(1); // the closing brace
    Reply r {
        200, "application/json", head + ",\"patch\":" + hostilePatch(kind, full.value(u"data"_s).toObject()) + '}', {}};
    r.headers.emplace_back("Cache-Control", "no-store");
    return r;
}

// --- writing answers --------------------------------------------------------

namespace {

QByteArray head(const Reply &r, qint64 contentLength, bool close)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + reason(r.status) + "\r\n";
    if (!bodyless(r.status)) {
        out += "Content-Type: " + r.contentType + "\r\n";
        out += "Content-Length: " + QByteArray::number(contentLength) + "\r\n";
    }
    for (const auto &[k, v] : r.headers)
        out += k + ": " + v + "\r\n";
    if (close)
        out += "Connection: close\r\n";
    out += "\r\n";
    return out;
}

} // namespace

void DevServer::send(QTcpSocket *socket, const Reply &reply, bool close)
{
    // One write: the head and the body in separate segments would wait on
    // delayed acknowledgements.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->write(head(reply, reply.body.size(), close) + (bodyless(reply.status) ? QByteArray() : reply.body));
    if (close)
        socket->disconnectFromHost();
}

void DevServer::sendFaulty(QTcpSocket *socket, Reply reply, const Fault &fault, bool close)
{
    switch (fault.mode) {
    case FaultMode::Status: {
        Reply r {fault.status, "application/json", {}, {}};
        if (!fault.message.isEmpty())
            r.body = compact(QJsonObject {{u"message"_s, fault.message}});
        else
            r.contentType = "text/plain";
        if (fault.retryAfter > 0)
            r.headers.emplace_back("Retry-After", QByteArray::number(fault.retryAfter));
        send(socket, r, close);
        return;
    }
    case FaultMode::Hang:
        m_held.append(socket);
        return;
    case FaultMode::Patch:
        send(socket, reply, close);
        return;
    case FaultMode::Oversize:
        if (bodyless(reply.status))
            reply.status = 200;
        if (reply.body.isEmpty())
            reply.body = "{}";
        // Blanks after the document keep it valid JSON, only too large.
        reply.body.append(QByteArray(qMax<qint64>(0, fault.bytes - reply.body.size()), ' '));
        send(socket, reply, close);
        return;
    case FaultMode::Malformed:
        if (bodyless(reply.status))
            reply.status = 200;
        reply.body = reply.body.left(reply.body.size() / 2) + "<!-- not json";
        send(socket, reply, close);
        return;
    case FaultMode::Truncate: {
        const qint64 promised = qMax<qint64>(reply.body.size(), 64);
        if (bodyless(reply.status))
            reply.status = 200;
        socket->write(head(reply, promised, true) + reply.body.left(reply.body.size() / 2));
        socket->disconnectFromHost();
        return;
    }
    case FaultMode::Slow: {
        // Headers at once, then the body in pieces spread over fault.ms.
        m_held.append(socket);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QPointer<QTcpSocket> guard(socket);
        const QByteArray body = bodyless(reply.status) ? QByteArray() : reply.body;
        socket->write(head(reply, body.size(), close));
        const int pieces = int(qBound<qsizetype>(1, body.size(), qsizetype(10)));
        const qsizetype size = (body.size() + pieces - 1) / pieces;
        auto timer = new QTimer(this);
        timer->setInterval(qMax(1, fault.ms / pieces));
        auto sent = std::make_shared<int>(0);
        connect(timer, &QTimer::timeout, this, [this, timer, guard, body, size, pieces, sent, close] {
            if (!guard) {
                timer->deleteLater();
                return;
            }
            guard->write(body.mid(*sent * size, size));
            if (++*sent >= pieces) {
                timer->deleteLater();
                m_held.removeAll(guard);
                if (close)
                    guard->disconnectFromHost();
            }
        });
        timer->start();
        return;
    }
    }
}

} // namespace devserver
