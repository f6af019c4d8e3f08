#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QTcpServer;
class QTcpSocket;

// A scripted HTTP/1.1 server on 127.0.0.1 for wire-level tests.
//
//   ScriptedServer server;                       // listens on a random port at once
//   server.enqueue(u"/api/auth/me"_s, ScriptedResponse::json(R"({"user":...})", 200));
//   server.setRoute(u"/api/native/rpc"_s, ScriptedResponse::json(...));   // answers every time
//   server.setHandler([](const RecordedRequest &r) -> std::optional<ScriptedResponse> { ... });
//   ... api.me(server.url()) ...
//   QCOMPARE(server.requests().size(), 1);
//   QCOMPARE(server.requests().first().header("cookie"), "sid=1");
//
// Answers are chosen per request: the handler first (when it returns a
// response), then the queue of the request's path (each entry used once, in
// order), then the path's route, else 404 {"error":"no script"}. Paths are
// compared decoded and without the query. Connections are kept alive.
struct ScriptedResponse {
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers; // e.g. {"Set-Cookie", "sid=1; Path=/"}
    QByteArray body;
    int delayMs = 0; // wait this long before answering
    bool hang = false; // never answer (the connection stays open)
    bool chunked = false; // send the body chunked, without Content-Length

    static ScriptedResponse json(const QByteArray &body, int status = 200);
    static ScriptedResponse json(const QJsonObject &body, int status = 200);
    static ScriptedResponse empty(int status);
    ScriptedResponse &&header(const QByteArray &name, const QByteArray &value) &&;
    ScriptedResponse &&after(int ms) &&;
};

struct RecordedRequest {
    QByteArray method;
    QString path; // decoded, without the query
    QByteArray rawPath; // as sent
    QByteArray rawQuery; // as sent, without "?"; empty when none
    bool hasQuery = false; // a "?" was sent
    QList<QPair<QString, QString>> query; // decoded items in order ("+" stays "+")
    QList<QPair<QByteArray, QByteArray>> headers; // in order, names as sent
    QByteArray body;

    // First header with this name (case-insensitive), or nullopt.
    std::optional<QByteArray> header(const QByteArray &name) const;
    bool hasHeader(const QByteArray &name) const { return header(name).has_value(); }
    // First query item with this name, or nullopt.
    std::optional<QString> queryValue(const QString &name) const;
    QStringList queryNames() const;
    // The body parsed as a JSON object (empty when it is none).
    QJsonObject json() const;
};

class ScriptedServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<std::optional<ScriptedResponse>(const RecordedRequest &)>;

    explicit ScriptedServer(QObject *parent = nullptr);
    ~ScriptedServer() override;

    bool isListening() const;
    quint16 port() const;
    // http://127.0.0.1:<port> followed by path (empty path: no trailing slash).
    QUrl url(const QString &path = QString()) const;
    // Stops listening and drops every connection; the port then refuses.
    void close();

    void enqueue(const QString &path, ScriptedResponse response);
    void setRoute(const QString &path, ScriptedResponse response);
    void setHandler(Handler handler);

    QList<RecordedRequest> requests() const { return m_requests; }
    QList<RecordedRequest> requests(const QString &path) const;
    void clearRequests() { m_requests.clear(); }
    int connectionCount() const { return m_connections; }

Q_SIGNALS:
    void requestReceived(const RecordedRequest &request);

private:
    struct Connection;
    void onNewConnection();
    void process(QTcpSocket *socket);
    ScriptedResponse answerFor(const RecordedRequest &request);
    void respond(QTcpSocket *socket, const ScriptedResponse &response);

    QTcpServer *m_server;
    QHash<QString, QList<ScriptedResponse>> m_queues;
    QHash<QString, ScriptedResponse> m_routes;
    Handler m_handler;
    QList<RecordedRequest> m_requests;
    QHash<QTcpSocket *, Connection *> m_state;
    int m_connections = 0;
};
