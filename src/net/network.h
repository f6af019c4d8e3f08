#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QList>
#include <QNetworkRequest>
#include <QPair>
#include <QUrl>

class QNetworkAccessManager;
class PersistentCookieJar;

// One HTTP answer, whole.
struct HttpReply {
    int status = 0; // 0 when the answer was not HTTP
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
};

namespace network {

inline constexpr int idleTimeoutMs = 20'000; // nothing received for this long: give up
inline constexpr int overallTimeoutMs = 60'000; // a whole request may take this long
inline constexpr qint64 maxBodyBytes = 16 << 20; // larger answers are abandoned

// The limits perform() applies; tests shorten the timeouts, in-process or
// (for the whole program) through QUILLMERE_IDLE_TIMEOUT_MS and
// QUILLMERE_REQUEST_TIMEOUT_MS, read at first use.
struct Limits {
    int idleTimeoutMs = network::idleTimeoutMs;
    int overallTimeoutMs = network::overallTimeoutMs;
    qint64 maxBodyBytes = network::maxBodyBytes;
};
Limits &limits();

// The program's one network manager, with the one persistent cookie jar
// ($XDG_DATA_HOME/quillmere-menubar/cookies). Created on first use.
QNetworkAccessManager *manager();
PersistentCookieJar *cookieJar();

// A manager set up like manager() around the given jar (tests, benchmark).
QNetworkAccessManager *makeManager(PersistentCookieJar *jar, QObject *parent);

// Sends one request and waits for the whole answer without blocking the event
// loop. Throws TransportError on connection failures, timeouts and bodies over
// the limit; every HTTP status (also 4xx/5xx) is returned, not thrown.
// verb is "GET" or "POST"; body is sent only for POST.
QCoro::Task<HttpReply> perform(
    QNetworkAccessManager *nam, QNetworkRequest request, QByteArray verb, QByteArray body = {});

} // namespace network

namespace network {
// base with a relative path appended as further segments, one slash between:
// "api/native/rpc" on an empty path gives /api/native/rpc, on /x gives /x/api/native/rpc.
QUrl appendPath(const QUrl &base, const QString &relativePath);
} // namespace network
