#include "net/cookiejar.h"

#include "platform/paths.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QNetworkCookie>
#include <QSaveFile>

#include <algorithm>

PersistentCookieJar::PersistentCookieJar(const QString &file, QObject *parent) : QNetworkCookieJar(parent), m_file(file)
{
    load();
}

PersistentCookieJar::~PersistentCookieJar() = default;

void PersistentCookieJar::load()
{
    if (m_file.isEmpty())
        return;
    QFile file(m_file);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // At most 4 MiB; read(n) would set aside all of that even for a small file.
    const QByteArray bytes = file.read(std::min<qint64>(file.size(), 4 << 20));
    m_written = bytes;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<QNetworkCookie> cookies;
    for (const QByteArray &line : bytes.split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        for (const QNetworkCookie &cookie : QNetworkCookie::parseCookies(line)) {
            // Only cookies with an expiry are ever written; an entry without a
            // domain could not be matched to a server.
            if (cookie.isSessionCookie() || cookie.domain().isEmpty() || cookie.expirationDate() <= now)
                continue;
            cookies.append(cookie);
        }
    }
    setAllCookies(cookies);
}

QByteArray PersistentCookieJar::serialise() const
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QByteArray out;
    for (const QNetworkCookie &cookie : allCookies()) {
        if (cookie.isSessionCookie() || cookie.expirationDate() <= now)
            continue;
        out += cookie.toRawForm(QNetworkCookie::Full);
        out += '\n';
    }
    return out;
}

void PersistentCookieJar::persist()
{
    if (m_file.isEmpty() || m_batch > 0)
        return;
    const QByteArray bytes = serialise();
    if (bytes == m_written)
        return;
    if (bytes.isEmpty() && !QFileInfo::exists(m_file)) {
        m_written = bytes;
        return;
    }
    paths::makePrivateDir(QFileInfo(m_file).absolutePath());
    QSaveFile file(m_file);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(bytes);
    if (file.commit()) {
        QFile::setPermissions(m_file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        m_written = bytes;
        ++m_writes;
    }
}

bool PersistentCookieJar::setCookiesFromUrl(const QList<QNetworkCookie> &cookieList, const QUrl &url)
{
    ++m_batch;
    const bool added = QNetworkCookieJar::setCookiesFromUrl(cookieList, url);
    --m_batch;
    persist();
    return added;
}

bool PersistentCookieJar::insertCookie(const QNetworkCookie &cookie)
{
    const bool done = QNetworkCookieJar::insertCookie(cookie);
    persist();
    return done;
}

bool PersistentCookieJar::updateCookie(const QNetworkCookie &cookie)
{
    const bool done = QNetworkCookieJar::updateCookie(cookie);
    persist();
    return done;
}

bool PersistentCookieJar::deleteCookie(const QNetworkCookie &cookie)
{
    const bool done = QNetworkCookieJar::deleteCookie(cookie);
    persist();
    return done;
}

void PersistentCookieJar::deleteCookiesFor(const QUrl &url)
{
    ++m_batch;
    for (const QNetworkCookie &cookie : cookiesForUrl(url))
        QNetworkCookieJar::deleteCookie(cookie);
    --m_batch;
    persist();
}
