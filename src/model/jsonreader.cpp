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

QString typeName(QCborValue::Type type)
{
    // A JSON document holds only these; its numbers are Integer or Double.
    switch (type) {
    case QCborValue::Null:
        return QStringLiteral("null");
    case QCborValue::False:
    case QCborValue::True:
        return QStringLiteral("a boolean");
    case QCborValue::Integer:
    case QCborValue::Double:
        return QStringLiteral("a number");
    case QCborValue::String:
        return QStringLiteral("a string");
    case QCborValue::Array:
        return QStringLiteral("an array");
    case QCborValue::Map:
        return QStringLiteral("an object");
    default:
        break;
    }
    return QStringLiteral("nothing");
}

void fail(const Path &path, const QString &problem)
{
    throw DecodingError(path.toString(), problem);
}

void failType(const Path &path, const char *expected, QCborValue::Type found)
{
    fail(path, QStringLiteral("expected %1, found %2").arg(QLatin1StringView(expected), typeName(found)));
}

QJsonObject parseObject(const QByteArray &bytes)
{
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        if (bytes.trimmed().isEmpty())
            throw DecodingError(QString(), QStringLiteral("the answer is empty, expected a JSON object"));
        throw DecodingError(QString(),
            QStringLiteral("the answer is not valid JSON (%1 at offset %2)")
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
        failType(path, "an object", QCborValue::fromJsonValue(value).type());
    m_map = QCborMap::fromJsonObject(value.toObject());
}

ObjectReader::ObjectReader(QCborValueConstRef value, const Path &path) : m_path(path)
{
    const QCborValue::Type type = value.type();
    if (type != QCborValue::Map)
        failType(path, "an object", type);
    m_map = value.toMap();
}

ObjectReader::ObjectReader(const QJsonObject &object, const Path &path)
    : m_map(QCborMap::fromJsonObject(object)), m_path(path)
{ }

QCborValueConstRef ObjectReader::required(QLatin1StringView key, const Path &at) const
{
    const auto found = m_map.constFind(key);
    if (found == m_map.constEnd())
        fail(at, QStringLiteral("required value is missing"));
    const QCborValueConstRef v = found.value();
    const QCborValue::Type type = v.type();
    if (type == QCborValue::Undefined)
        fail(at, QStringLiteral("required value is missing"));
    if (type == QCborValue::Null)
        fail(at, QStringLiteral("required value is null"));
    return v;
}

std::optional<QCborValueConstRef> ObjectReader::optional(QLatin1StringView key) const
{
    const auto found = m_map.constFind(key);
    if (found == m_map.constEnd())
        return std::nullopt;
    const QCborValueConstRef v = found.value();
    const QCborValue::Type type = v.type();
    if (type == QCborValue::Undefined || type == QCborValue::Null)
        return std::nullopt;
    return v;
}

QString ObjectReader::string(QLatin1StringView key) const
{
    const Path at = m_path.member(key);
    const QCborValueConstRef v = required(key, at);
    if (v.type() != QCborValue::String)
        failType(at, "a string", v.type());
    return v.toString();
}

std::optional<QString> ObjectReader::optionalString(QLatin1StringView key) const
{
    const auto v = optional(key);
    if (!v)
        return std::nullopt;
    if (v->type() != QCborValue::String)
        failType(m_path.member(key), "a string", v->type());
    return v->toString();
}

bool ObjectReader::boolean(QLatin1StringView key) const
{
    const Path at = m_path.member(key);
    const QCborValue::Type type = required(key, at).type();
    if (type != QCborValue::True && type != QCborValue::False)
        failType(at, "a boolean", type);
    return type == QCborValue::True;
}

QStringList ObjectReader::strings(QLatin1StringView key) const
{
    const Path at = m_path.member(key);
    const QCborValueConstRef v = required(key, at);
    if (v.type() != QCborValue::Array)
        failType(at, "an array", v.type());
    const QCborArray array = v.toArray();
    QStringList out;
    out.reserve(array.size());
    qsizetype i = 0;
    for (auto it = array.constBegin(), end = array.constEnd(); it != end; ++it, ++i) {
        const QCborValueConstRef element = *it;
        if (element.type() != QCborValue::String)
            failType(at.element(i), "a string", element.type());
        out.append(element.toString());
    }
    return out;
}

} // namespace json
