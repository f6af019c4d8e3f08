#pragma once

#include <QByteArray>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QString>

// The program's cookie jar. QNetworkCookieJar applies the cookie rules (domain,
// path, expiry, Secure); this adds persistence: cookies with an expiry are
// loaded from file at construction and written back atomically (QSaveFile,
// file 0600 in a 0700 folder) whenever the set of them changes. Cookies
// without an expiry live in memory until the process ends.
class PersistentCookieJar : public QNetworkCookieJar {
    Q_OBJECT
public:
    // An empty file name keeps everything in memory.
    explicit PersistentCookieJar(const QString &file, QObject *parent = nullptr);
    ~PersistentCookieJar() override;

    QString fileName() const { return m_file; }

    bool setCookiesFromUrl(const QList<QNetworkCookie> &cookieList, const QUrl &url) override;
    bool insertCookie(const QNetworkCookie &cookie) override;
    bool updateCookie(const QNetworkCookie &cookie) override;
    bool deleteCookie(const QNetworkCookie &cookie) override;

    // Deletes every cookie that would be sent to url; cookies of other servers stay.
    void deleteCookiesFor(const QUrl &url);

    int fileWrites() const { return m_writes; }

private:
    void load();
    void persist();
    QByteArray serialise() const;

    QString m_file;
    QByteArray m_written; // what the file holds now
    int m_batch = 0;
    int m_writes = 0;
};
