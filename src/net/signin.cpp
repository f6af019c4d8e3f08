#include "net/signin.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QUrlQuery>
#include <QUuid>

#include <array>

namespace signin {

QString base64Url(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString makeVerifier()
{
    std::array<quint32, 8> words {};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    return base64Url(QByteArray(reinterpret_cast<const char *>(words.data()), sizeof(words)));
}

QString makeState()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString challenge(const QString &verifier)
{
    return base64Url(QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256));
}

QUrl address(const QUrl &base, const QString &challenge, const QString &state)
{
    QUrl url = base;
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    url.setPath(path + QStringLiteral("native-auth"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("redirect_uri"), QString::fromLatin1(redirectUri));
    query.addQueryItem(QStringLiteral("challenge"), challenge);
    query.addQueryItem(QStringLiteral("state"), state);
    url.setQuery(query);
    return url;
}

} // namespace signin
