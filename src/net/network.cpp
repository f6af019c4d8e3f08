#include "net/network.h"

#include "model/error.h"
#include "net/cookiejar.h"
#include "platform/paths.h"

#include <QCoro/QCoroSignal>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace network {

namespace {

// A positive number of milliseconds from the environment, else fallback.
int millisecondsFrom(const char *variable, int fallback)
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue(variable, &ok);
    return ok && ms > 0 ? ms : fallback;
}

} // namespace

Limits &limits()
{
    static Limits instance {millisecondsFrom("QUILLMERE_IDLE_TIMEOUT_MS", idleTimeoutMs),
        millisecondsFrom("QUILLMERE_REQUEST_TIMEOUT_MS", overallTimeoutMs), maxBodyBytes};
    return instance;
}

QNetworkAccessManager *makeManager(PersistentCookieJar *jar, QObject *parent)
{
    auto *nam = new QNetworkAccessManager(parent);
    nam->setCookieJar(jar); // takes ownership
    nam->setTransferTimeout(limits().idleTimeoutMs);
    return nam;
}

PersistentCookieJar *cookieJar()
{
    return static_cast<PersistentCookieJar *>(manager()->cookieJar());
}

QNetworkAccessManager *manager()
{
    static QNetworkAccessManager *instance = makeManager(new PersistentCookieJar(paths::cookieFile()), nullptr);
    return instance;
}

namespace {

QString mib(qint64 bytes)
{
    return QString::number(bytes / (1024 * 1024));
}

// Why a reply stopped early because of us.
enum class Abort { None, TooLarge, Overall };

} // namespace

QCoro::Task<HttpReply> perform(QNetworkAccessManager *nam, QNetworkRequest request, QByteArray verb, QByteArray body)
{
    const Limits lim = limits();
    request.setTransferTimeout(lim.idleTimeoutMs);

    QNetworkReply *sent = nullptr;
    if (verb == "POST")
        sent = nam->post(request, body);
    else
        sent = nam->sendCustomRequest(request, verb);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(sent, [](QNetworkReply *r) {
        r->disconnect();
        r->deleteLater();
    });

    QByteArray received;
    Abort abort = Abort::None;
    auto stop = [&](Abort why) {
        if (abort == Abort::None) {
            abort = why;
            reply->abort();
        }
    };

    QTimer overall;
    overall.setSingleShot(true);
    QObject::connect(&overall, &QTimer::timeout, reply.get(), [&] { stop(Abort::Overall); });
    overall.start(lim.overallTimeoutMs);

    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, reply.get(), [&] {
        bool ok = false;
        const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
        if (ok && length > lim.maxBodyBytes)
            stop(Abort::TooLarge);
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, reply.get(), [&] {
        if (abort != Abort::None)
            return;
        received += reply->readAll();
        if (received.size() > lim.maxBodyBytes) {
            received.clear();
            stop(Abort::TooLarge);
        }
    });

    if (!reply->isFinished())
        co_await qCoro(reply.get(), &QNetworkReply::finished);
    overall.stop();

    if (abort == Abort::TooLarge)
        throw TransportError(
            QStringLiteral("The server's answer is larger than %1 MiB and was abandoned.").arg(mib(lim.maxBodyBytes)));
    if (abort == Abort::Overall)
        throw TransportError(QStringLiteral("The request timed out."));

    const QVariant statusAttr = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QNetworkReply::NetworkError error = reply->error();
    if (!statusAttr.isValid()) {
        if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
            throw TransportError(QStringLiteral("The request timed out."));
        if (error != QNetworkReply::NoError)
            throw TransportError(reply->errorString());
    } else if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError) {
        // Headers arrived, then the body stalled.
        throw TransportError(QStringLiteral("The request timed out."));
    } else if (error >= QNetworkReply::ConnectionRefusedError && error <= QNetworkReply::UnknownNetworkError) {
        throw TransportError(reply->errorString());
    }

    received += reply->readAll();
    if (received.size() > lim.maxBodyBytes)
        throw TransportError(
            QStringLiteral("The server's answer is larger than %1 MiB and was abandoned.").arg(mib(lim.maxBodyBytes)));

    HttpReply result;
    result.status = statusAttr.isValid() ? statusAttr.toInt() : 0;
    result.body = std::move(received);
    const auto pairs = reply->rawHeaderPairs();
    for (const auto &pair : pairs)
        result.headers.append(pair);
    co_return result;
}

} // namespace network

namespace network {

QUrl appendPath(const QUrl &base, const QString &relativePath)
{
    QUrl url = base;
    QString path = url.path(QUrl::FullyEncoded);
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    url.setPath(path + relativePath, QUrl::TolerantMode);
    return url;
}

} // namespace network
