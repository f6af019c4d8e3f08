// The cookie file as read at start: the input is the file. The jar built on
// it picks the cookies for the server's requests, takes a new session cookie
// (which writes the file back) and forgets the server's cookies as a sign-out
// does; a second jar then reads what the first one wrote.

#include "fuzzing.h"

#include "net/cookiejar.h"

#include <QNetworkCookie>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString file = fuzz::home() + QStringLiteral("/data/cookies");
    fuzz::writeFile(file, QByteArrayView(data, qsizetype(size)));
    const QUrl server(QStringLiteral("http://127.0.0.1:8787/api/auth/me"));
    qsizetype kept = 0;
    {
        PersistentCookieJar jar(file);
        jar.cookiesForUrl(server);
        jar.cookiesForUrl(QUrl(QStringLiteral("https://app.quillmere.com/api/native/rpc")));
        QNetworkCookie session("quillmere_session", "fresh");
        session.setExpirationDate(QDateTime::currentDateTimeUtc().addDays(30));
        jar.setCookiesFromUrl({session}, server);
        kept = jar.cookiesForUrl(server).size();
        PersistentCookieJar again(file);
        if (again.cookiesForUrl(server).size() != kept) {
            fprintf(stderr, "cookie file: %lld cookies for the server written, %lld read back\n", qint64(kept),
                qint64(again.cookiesForUrl(server).size()));
            std::abort();
        }
        jar.deleteCookiesFor(server);
    }
    fuzz::settle();
    return 0;
}
