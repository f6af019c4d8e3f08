#pragma once

#include "auth.h"
#include "clock.h"
#include "demodata.h"
#include "faults.h"
#include "snapshots.h"

#include <QAbstractHttpServer>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QUrl>

#include <memory>

class QTcpSocket;

namespace devserver {

struct ServerOptions {
    quint64 seed = 1;
    qint64 tickMs = 20'000;
    bool faults = false; // enables the /_dev/ control endpoint
    int embedRequestsPerMinute = 60;
    qint64 sessionLifetimeMs = 30LL * 24 * 3600 * 1000;
};

// One HTTP answer before it goes on the wire.
struct Reply {
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QList<std::pair<QByteArray, QByteArray>> headers;
};

// The development server: every endpoint the client talks to, over the
// seeded demo data. Runs on the thread that creates it.
class DevServer final : public QAbstractHttpServer {
    Q_OBJECT
public:
    // clock must outlive the server.
    DevServer(const ServerOptions &options, const Clock *clock, QObject *parent = nullptr);
    ~DevServer() override;

    // Listens on address:port (0 picks a free port); returns the port, 0 on failure.
    quint16 start(const QHostAddress &address, quint16 port);
    QUrl baseUrl() const { return m_base; }

    DemoData &data() { return m_data; }
    AuthService &auth() { return m_auth; }
    FaultPlan &faults() { return m_faults; }
    const QString &buildId() const { return m_build; }
    void setBuildId(const QString &build);
    const ServerOptions &options() const { return m_options; }

    // Answers still open (hanging or trickling); for tests.
    int openAnswers() const;

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    struct Incoming;
    QStringList routeNames(const Incoming &in) const;
    Reply route(const Incoming &in);
    Reply nativeAuthPage(const Incoming &in);
    Reply nativeAuthSubmit(const Incoming &in);
    Reply token(const Incoming &in);
    Reply me(const Incoming &in);
    Reply logout(const Incoming &in);
    Reply rpc(const Incoming &in);
    Reply snapshot(const Incoming &in, const QString &name);
    Reply embedWidget(const Incoming &in, const QString &key);
    Reply embedPage(const Incoming &in, const QString &key);
    Reply dashboardPage(const Incoming &in);
    Reply indexPage(const Incoming &in);
    Reply control(const Incoming &in, const QString &what);
    Reply hostileDelta(const Incoming &in, Reply reply, const QString &kind);

    const UserInfo *signedInUser(const Incoming &in);
    QByteArray sessionCookie(const AuthService::Session &s) const;

    void send(QTcpSocket *socket, const Reply &reply, bool close);
    void sendFaulty(QTcpSocket *socket, Reply reply, const Fault &fault, bool close);

    ServerOptions m_options;
    const Clock *m_clock;
    DemoData m_data;
    AuthService m_auth;
    RateLimiter m_embedLimit;
    SnapshotStore m_snapshots;
    FaultPlan m_faults;
    QString m_build;
    QUrl m_base;
    QList<QPointer<QTcpSocket>> m_held; // answers that hang or trickle
};

} // namespace devserver
