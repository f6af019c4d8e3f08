#include "auth.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace devserver {

namespace {
constexpr auto base64url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
}

QString pkceChallenge(const QString &verifier)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256).toBase64(base64url));
}

AuthService::AuthService(const Clock *clock, qint64 sessionLifetimeMs)
    : m_clock(clock), m_sessionLifetimeMs(sessionLifetimeMs)
{ }

QString AuthService::randomToken()
{
    QByteArray bytes(32, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    return QString::fromLatin1(bytes.toBase64(base64url));
}

QString AuthService::issueCode(const QString &userId, const QString &challenge)
{
    const qint64 now = m_clock->nowMs();
    m_codes.removeIf([now](const auto &it) { return now - it.value().issuedMs > codeLifetimeMs; });
    const QString code = randomToken();
    m_codes.insert(code, Code {userId, challenge, now});
    return code;
}

std::variant<QString, AuthService::Failure> AuthService::redeem(const QString &code, const QString &verifier)
{
    const auto it = m_codes.constFind(code);
    if (it == m_codes.cend())
        return Failure {
            400, u"invalid_grant"_s, u"This sign-in code is not valid or was already used. Sign in again."_s};
    const Code c = it.value();
    m_codes.erase(it);
    if (m_clock->nowMs() - c.issuedMs > codeLifetimeMs)
        return Failure {400, u"expired_code"_s, u"This sign-in code has expired. Sign in again."_s};
    static const QRegularExpression shape(u"^[A-Za-z0-9._~-]{43,128}$"_s);
    if (!shape.match(verifier).hasMatch() || pkceChallenge(verifier) != c.challenge)
        return Failure {400, u"invalid_verifier"_s, u"The sign-in could not be verified. Sign in again."_s};
    return c.userId;
}

AuthService::Session AuthService::startSession(const QString &userId)
{
    Session s {randomToken(), userId, m_clock->nowMs() + m_sessionLifetimeMs};
    m_sessions.insert(s.token, s);
    return s;
}

std::optional<AuthService::Session> AuthService::session(const QString &token)
{
    const auto it = m_sessions.constFind(token);
    if (it == m_sessions.cend())
        return std::nullopt;
    if (it->expiresMs <= m_clock->nowMs()) {
        m_sessions.erase(it);
        return std::nullopt;
    }
    return *it;
}

void AuthService::endSession(const QString &token)
{
    m_sessions.remove(token);
}

void AuthService::expireAllSessions()
{
    m_sessions.clear();
}

int AuthService::liveSessions()
{
    const qint64 now = m_clock->nowMs();
    m_sessions.removeIf([now](const auto &it) { return it.value().expiresMs <= now; });
    return int(m_sessions.size());
}

RateLimiter::RateLimiter(const Clock *clock, int perMinute) : m_clock(clock), m_perMinute(perMinute) { }

bool RateLimiter::allow(const QString &key)
{
    const qint64 now = m_clock->nowMs();
    std::deque<qint64> &hits = m_hits[key];
    while (!hits.empty() && now - hits.front() >= 60'000)
        hits.pop_front();
    if (m_perMinute > 0 && int(hits.size()) >= m_perMinute)
        return false;
    hits.push_back(now);
    return true;
}

int RateLimiter::retryAfterSeconds(const QString &key) const
{
    const auto it = m_hits.constFind(key);
    if (it == m_hits.cend() || it->empty())
        return 0;
    const qint64 wait = 60'000 - (m_clock->nowMs() - it->front());
    return int(qMax<qint64>(1, (wait + 999) / 1000));
}

} // namespace devserver
