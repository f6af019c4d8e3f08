#include "model/jsonreader.h"

#include <QJsonDocument>

namespace json {

QString Path::toString() const
{
    QList<const Path *> chain;
    for (const Path *p = this; p; p = p->parent)
        chain.prepend(p);
    QString out;
    for (const Path *p : chain) {
        if (!p->key.isEmpty()) {
            if (!out.isEmpty())
                out += QLatin1Char('.');
            out += p->key;
        } else if (p->index >= 0) {
            out += QLatin1Char('[') + QString::number(p->index) + QLatin1Char(']');
        }
    }
    return out;
}

QString typeName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("a boolean");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("nothing");
}

void fail(const Path &path, const QString &problem)
{
    throw DecodingError(path.toString(), problem);
}

void failType(const Path &path, const char *expected, const QJsonValue &found)
{
    fail(path, QStringLiteral("expected %1, found %2").arg(QLatin1StringView(expected), typeName(found)));
}

QJsonObject parseObject(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        if (bytes.trimmed().isEmpty())
            throw DecodingError(QString(), QStringLiteral("the answer is empty, expected a JSON object"));
        throw DecodingError(QString(), QStringLiteral("the answer is not valid JSON (%1 at offset %2)")
                                           .arg(error.errorString())
                                           .arg(error.offset));
    }
    if (!doc.isObject())
        throw DecodingError(QString(), QStringLiteral("expected a JSON object, found an array"));
    return doc.object();
}

ObjectReader::ObjectReader(const QJsonValue &value, const Path &path) : m_path(path)
{
    if (!value.isObject())
        failType(path, "an object", value);
    m_object = value.toObject();
}

QJsonValue ObjectReader::required(QLatin1StringView key, const Path &at) const
{
    const QJsonValue v = m_object.value(key);
    if (v.isUndefined())
        fail(at, QStringLiteral("required value is missing"));
    if (v.isNull())
        fail(at, QStringLiteral("required value is null"));
    return v;
}

QString ObjectReader::string(QLatin1StringView key) const
{
    const Path at = m_path.member(key);
    const QJsonValue v = required(key, at);
    if (!v.isString())
        failType(at, "a string", v);
    return v.toString();
}

std::optional<QString> ObjectReader::optionalString(QLatin1StringView key) const
{
    const QJsonValue v = m_object.value(key);
    if (v.isUndefined() || v.isNull())
        return std::nullopt;
    if (!v.isString())
        failType(m_path.member(key), "a string", v);
    return v.toString();
}

bool ObjectReader::boolean(QLatin1StringView key) const
{
    const Path at = m_path.member(key);
    const QJsonValue v = required(key, at);
    if (!v.isBool())
        failType(at, "a boolean", v);
    return v.toBool();
}

QStringList ObjectReader::strings(QLatin1StringView key) const
{
    const Path at = m_path.member(key);
    const QJsonValue v = required(key, at);
    if (!v.isArray())
        failType(at, "an array", v);
    const QJsonArray array = v.toArray();
    QStringList out;
    out.reserve(array.size());
    qsizetype i = 0;
    for (const QJsonValue element : array) {
        if (!element.isString())
            failType(at.element(i), "a string", element);
        out.append(element.toString());
        ++i;
    }
    return out;
}

} // namespace json
