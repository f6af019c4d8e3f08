#include "statusline.h"

#include "state/store.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

using namespace Qt::StringLiterals;

StatusLine StatusLine::of(const Store &store)
{
    StatusLine line;
    line.title = store.title();
    line.connected = store.connected();
    line.restoring = store.restoring();
    line.loading = store.loading();
    line.error = store.error();
    line.updatedAt = store.updatedAt();
    line.lines = store.lines();
    return line;
}

QString StatusLine::cssClass() const
{
    if (error)
        return u"error"_s;
    if (restoring || loading)
        return u"loading"_s;
    if (!connected)
        return u"disconnected"_s;
    return u"ok"_s;
}

QString StatusLine::tooltip() const
{
    QStringList parts;
    if (!lines.isEmpty())
        parts << lines.first();
    if (error)
        parts << *error;
    if (updatedAt && updatedAt->isValid())
        parts << u"Updated "_s + QLocale::system().toString(updatedAt->toLocalTime().time(), QLocale::ShortFormat);
    return parts.join(u'\n');
}

QByteArray StatusLine::json() const
{
    const QJsonObject object {
        {u"text"_s, title},
        {u"tooltip"_s, tooltip()},
        {u"class"_s, cssClass()},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
