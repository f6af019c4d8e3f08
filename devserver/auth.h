#pragma once

#include "clock.h"

#include <QHash>
#include <QString>

#include <deque>
#include <optional>
#include <variant>

namespace devserver {

// S256 challenge of a verifier: unpadded URL-safe Base64 of its SHA-256.
QString pkceChallenge(const QString &verifier);

// One-time sign-in codes and the sessions they turn into.
class AuthService {
public:
    static constexpr qint64 codeLifetimeMs = 60'000;

    AuthService(const Clock *clock, qint64 sessionLifetimeMs);

    // A fresh code for a user who signed in on the web page with the given
    // challenge. The code is good for one exchange within codeLifetimeMs.
    QString issueCode(const QString &userId, const QString &challenge);

    struct Failure {
        int status;
        QString error; // short machine word, e.g. "invalid_grant"
        QString message;
    };
    // Checks code and verifier; on success the code's user. The code is used
    // up by every attempt, also a failed one.
    std::variant<QString, Failure> redeem(const QString &code, const QString &verifier);

    struct Session {
        QString token;
        QString userId;
        qint64 expiresMs = 0;
    };
    Session startSession(const QString &userId);
    // The live session of a token; expired ones are dropped.
    std::optional<Session> session(const QString &token);
    void endSession(const QString &token);
    void expireAllSessions();
    int liveSessions();
    qint64 sessionLifetimeMs() const { return m_sessionLifetimeMs; }

private:
    struct Code {
        QString userId;
        QString challenge;
        qint64 issuedMs = 0;
    };
    static QString randomToken();

    const Clock *m_clock;
    qint64 m_sessionLifetimeMs;
    QHash<QString, Code> m_codes;
    QHash<QString, Session> m_sessions;
};

// Requests per embed link within a sliding minute.
class RateLimiter {
public:
    RateLimiter(const Clock *clock, int perMinute);
    // Counts one request for key; false when it is over the limit.
    bool allow(const QString &key);
    // Seconds until the next request for key would be allowed.
    int retryAfterSeconds(const QString &key) const;
    int perMinute() const { return m_perMinute; }

private:
    const Clock *m_clock;
    int m_perMinute;
    QHash<QString, std::deque<qint64>> m_hits;
};

} // namespace devserver
