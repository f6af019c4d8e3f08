#pragma once

#include "model/records.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class SnapshotClient;

// The program's client of the server's own endpoints. Every operation is one
// HTTP request on the shared network manager (and its cookie jar, which
// carries the sign-in session); an answer outside 200..299 becomes an
// APIError, transport and decoding failures keep their own error types.
class API : public QObject {
    Q_OBJECT
public:
    using MeResponse = ApiMeResponse;
    using Empty = ApiEmpty;
    template<class T> using Envelope = ApiEnvelope<T>;

    explicit API(QNetworkAccessManager *nam, SnapshotClient *snapshots, QObject *parent = nullptr);
    ~API() override;

    // network::manager() and SnapshotClient::shared().
    static API &shared();

    // The argument map of "widget.line" and of the snapshot cache.
    static QJsonObject params(const QString &timeframe, const QString &accounts, const std::optional<QString> &templ);

    // base with relative path segments appended ("api/native/rpc" to /x gives /x/api/native/rpc).
    static QUrl endpoint(const QUrl &base, const QString &relativePath);
    // The link with its query replaced by include=accounts.
    static QUrl embedAccountsUrl(const QUrl &link);
    // The link's query followed by timeframe, dashboardTimeframe, accounts (when
    // not empty) and template (when present).
    static QUrl embedPayloadUrl(
        const QUrl &link, const QString &timeframe, const QString &accounts, const std::optional<QString> &templ);
    // GET with "X-Embed-Password" when the password is present and not empty.
    static QNetworkRequest embedRequest(const QUrl &url, const std::optional<QString> &password);

    // Browser sign-in (the session cookie comes with the answer of exchange).
    QCoro::Task<User> exchange(QUrl base, QString code, QString verifier);
    QCoro::Task<User> me(QUrl base);
    // Never throws: ends the session on the server if it can, then deletes the
    // cookies of base and clears the snapshot cache.
    QCoro::Task<> logout(QUrl base);

    // Remote procedures.
    QCoro::Task<WorkspaceList> workspaces(QUrl base);
    QCoro::Task<QList<AdAccount>> accounts(QUrl base);

    // Embed link (link is the widget address).
    QCoro::Task<QList<AdAccount>> accounts(QUrl link, std::optional<QString> password);
    QCoro::Task<Payload> payload(
        QUrl link, std::optional<QString> password, QString timeframe, QString accounts, std::optional<QString> templ);

    // Signed in: the active workspace through the snapshot cache, another one directly.
    QCoro::Task<Payload> payload(QUrl base, std::optional<QString> workspaceId,
        std::optional<QString> activeWorkspaceId, QString timeframe, QString accounts, std::optional<QString> templ);
    // The cached "widget.line" answer for these arguments; no request, never throws.
    QCoro::Task<std::optional<Payload>> cachedPayload(
        QString timeframe, QString accounts, std::optional<QString> templ);

private:
    template<class T> QCoro::Task<T> send(QNetworkRequest request, QByteArray verb, QByteArray body);
    template<class T> QCoro::Task<T> rpc(QUrl base, QString op, QJsonObject args);

    QNetworkAccessManager *m_nam;
    SnapshotClient *m_snapshots;
};
