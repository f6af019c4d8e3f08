#include "net/apierror.h"

#include <QJsonDocument>
#include <QJsonObject>

APIError::APIError(QString message, int status) : Error(std::move(message)), m_status(status) { }

QString APIError::messageFor(int status, const QByteArray &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (doc.isObject()) {
        const QJsonObject object = doc.object();
        QJsonValue taken = object.value(QLatin1StringView("message"));
        if (taken.isUndefined())
            taken = object.value(QLatin1StringView("error"));
        if (taken.isString())
            return taken.toString();
    }
    return QStringLiteral("Request failed (%1)").arg(status);
}
