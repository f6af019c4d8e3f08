#include "scriptedserver.h"

#include <QJsonDocument>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// ScriptedResponse

ScriptedResponse ScriptedResponse::json(const QByteArray &body, int status)
{
    ScriptedResponse r;
    r.status = status;
    r.body = body;
    r.headers.append({QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")});
    return r;
}

ScriptedResponse ScriptedResponse::json(const QJsonObject &body, int status)
{
    return json(QJsonDocument(body).toJson(QJsonDocument::Compact), status);
}

ScriptedResponse ScriptedResponse::empty(int status)
{
    ScriptedResponse r;
    r.status = status;
    return r;
}

ScriptedResponse &&ScriptedResponse::header(const QByteArray &name, const QByteArray &value) &&
{
    headers.append({name, value});
    return std::move(*this);
}

ScriptedResponse &&ScriptedResponse::after(int ms) &&
{
    delayMs = ms;
    return std::move(*this);
}

// RecordedRequest

std::optional<QByteArray> RecordedRequest::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return std::nullopt;
}

std::optional<QString> RecordedRequest::queryValue(const QString &name) const
{
    for (const auto &[key, value] : query)
        if (key == name)
            return value;
    return std::nullopt;
}

QStringList RecordedRequest::queryNames() const
{
    QStringList names;
    for (const auto &item : query)
        names.append(item.first);
    return names;
}

QJsonObject RecordedRequest::json() const
{
    return QJsonDocument::fromJson(body).object();
}

// ScriptedServer

struct ScriptedServer::Connection {
    QByteArray buffer;
    bool busy = false; // an answer is pending (delayed or hanging)
};

ScriptedServer::ScriptedServer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &ScriptedServer::onNewConnection);
    m_server->listen(QHostAddress::LocalHost, 0);
}

ScriptedServer::~ScriptedServer()
{
    close();
}

bool ScriptedServer::isListening() const
{
    return m_server->isListening();
}
quint16 ScriptedServer::port() const
{
    return m_server->serverPort();
}

QUrl ScriptedServer::url(const QString &path) const
{
    QUrl u;
    u.setScheme(QStringLiteral("http"));
    u.setHost(QStringLiteral("127.0.0.1"));
    u.setPort(port());
    u.setPath(path);
    return u;
}

void ScriptedServer::close()
{
    m_server->close();
    const auto sockets = m_state.keys();
    for (QTcpSocket *socket : sockets) {
        delete m_state.take(socket);
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void ScriptedServer::enqueue(const QString &path, ScriptedResponse response)
{
    m_queues[path].append(std::move(response));
}

void ScriptedServer::setRoute(const QString &path, ScriptedResponse response)
{
    m_routes.insert(path, response);
}
void ScriptedServer::setHandler(Handler handler)
{
    m_handler = std::move(handler);
}

QList<RecordedRequest> ScriptedServer::requests(const QString &path) const
{
    QList<RecordedRequest> out;
    for (const RecordedRequest &r : m_requests)
        if (r.path == path)
            out.append(r);
    return out;
}

void ScriptedServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        ++m_connections;
        m_state.insert(socket, new Connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { process(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            delete m_state.take(socket);
            socket->deleteLater();
        });
    }
}

static QString decode(const QByteArray &part)
{
    return QUrl::fromPercentEncoding(part);
}

void ScriptedServer::process(QTcpSocket *socket)
{
    Connection *c = m_state.value(socket);
    if (!c)
        return;
    c->buffer += socket->readAll();
    while (!c->busy) {
        const qsizetype end = c->buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = c->buffer.left(end).split('\n');
        RecordedRequest request;
        const QList<QByteArray> start = lines.value(0).trimmed().split(' ');
        request.method = start.value(0);
        const QByteArray target = start.value(1);
        qsizetype contentLength = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon).trimmed();
            const QByteArray value = line.mid(colon + 1).trimmed();
            request.headers.append({name, value});
            if (name.compare("content-length", Qt::CaseInsensitive) == 0)
                contentLength = value.toLongLong();
        }
        if (c->buffer.size() < end + 4 + contentLength)
            return;
        request.body = c->buffer.mid(end + 4, contentLength);
        c->buffer.remove(0, end + 4 + contentLength);

        const qsizetype question = target.indexOf('?');
        request.rawPath = question < 0 ? target : target.left(question);
        request.hasQuery = question >= 0;
        request.rawQuery = question < 0 ? QByteArray() : target.mid(question + 1);
        request.path = decode(request.rawPath);
        if (request.hasQuery && !request.rawQuery.isEmpty()) {
            for (const QByteArray &item : request.rawQuery.split('&')) {
                const qsizetype eq = item.indexOf('=');
                request.query.append(
                    {decode(eq < 0 ? item : item.left(eq)), eq < 0 ? QString() : decode(item.mid(eq + 1))});
            }
        }
        m_requests.append(request);
        Q_EMIT requestReceived(request);

        const ScriptedResponse response = answerFor(request);
        if (response.hang) {
            c->busy = true;
            return;
        }
        if (response.delayMs > 0) {
            c->busy = true;
            QPointer<QTcpSocket> guard(socket);
            QTimer::singleShot(response.delayMs, this, [this, guard, response] {
                if (!guard || !m_state.contains(guard.data()))
                    return;
                m_state.value(guard.data())->busy = false;
                respond(guard.data(), response);
                process(guard.data());
            });
            return;
        }
        respond(socket, response);
    }
}

ScriptedResponse ScriptedServer::answerFor(const RecordedRequest &request)
{
    if (m_handler)
        if (std::optional<ScriptedResponse> r = m_handler(request))
            return *r;
    auto queue = m_queues.find(request.path);
    if (queue != m_queues.end() && !queue->isEmpty())
        return queue->takeFirst();
    if (const auto route = m_routes.constFind(request.path); route != m_routes.constEnd())
        return *route;
    return ScriptedResponse::json(QByteArrayLiteral(R"({"error":"no script"})"), 404);
}

static QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 304:
        return "Not Modified";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

void ScriptedServer::respond(QTcpSocket *socket, const ScriptedResponse &response)
{
    const bool noBody = response.status == 204 || response.status == 304 || response.status < 200;
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reason(response.status) + "\r\n";
    for (const auto &[name, value] : response.headers)
        out += name + ": " + value + "\r\n";
    if (noBody) {
        out += "\r\n";
        socket->write(out);
        return;
    }
    if (response.chunked) {
        out += "Transfer-Encoding: chunked\r\n\r\n";
        socket->write(out);
        constexpr qsizetype piece = 64 * 1024;
        for (qsizetype at = 0; at < response.body.size(); at += piece) {
            const QByteArray chunk = response.body.mid(at, piece);
            socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
        }
        socket->write("0\r\n\r\n");
        return;
    }
    out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n\r\n";
    socket->write(out);
    socket->write(response.body);
}
