#pragma once

#include "model/error.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Strict, typed reading of server JSON. Every record decodes through
// ObjectReader: a missing required key, a null in a required key or a value of
// the wrong type throws DecodingError naming the path of the offending value;
// missing or null optional keys read as absent; unknown keys are ignored.
namespace json {

// One step of the location inside a document. Paths live on the stack of the
// decoder and are only turned into text when a decode fails.
struct Path {
    const Path *parent = nullptr;
    QLatin1StringView key; // member name, or empty for an array element
    qsizetype index = -1;  // array index when key is empty

    Path member(QLatin1StringView name) const { return Path{this, name, -1}; }
    Path element(qsizetype i) const { return Path{this, {}, i}; }
    QString toString() const;
};

QString typeName(const QJsonValue &value);

[[noreturn]] void fail(const Path &path, const QString &problem);
[[noreturn]] void failType(const Path &path, const char *expected, const QJsonValue &found);

// Parses bytes as one JSON object (anything else is a DecodingError).
QJsonObject parseObject(const QByteArray &bytes);

class ObjectReader {
public:
    ObjectReader(const QJsonValue &value, const Path &path);

    const QJsonObject &object() const { return m_object; }
    const Path &path() const { return m_path; }

    QString string(QLatin1StringView key) const;
    std::optional<QString> optionalString(QLatin1StringView key) const;
    bool boolean(QLatin1StringView key) const;
    QStringList strings(QLatin1StringView key) const;

    template<class T>
    T record(QLatin1StringView key) const
    {
        const Path at = m_path.member(key);
        return T::fromJson(required(key, at), at);
    }

    template<class T>
    std::optional<T> optionalRecord(QLatin1StringView key) const
    {
        const QJsonValue v = m_object.value(key);
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        return T::fromJson(v, m_path.member(key));
    }

    template<class T>
    QList<T> records(QLatin1StringView key) const
    {
        const Path at = m_path.member(key);
        return decodeArray<T>(required(key, at), at);
    }

    template<class T>
    std::optional<QList<T>> optionalRecords(QLatin1StringView key) const
    {
        const QJsonValue v = m_object.value(key);
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        return decodeArray<T>(v, m_path.member(key));
    }

private:
    QJsonValue required(QLatin1StringView key, const Path &at) const;

    template<class T>
    static QList<T> decodeArray(const QJsonValue &value, const Path &at)
    {
        if (!value.isArray())
            failType(at, "an array", value);
        const QJsonArray array = value.toArray();
        QList<T> out;
        out.reserve(array.size());
        qsizetype i = 0;
        for (const QJsonValue element : array) {
            out.append(T::fromJson(element, at.element(i)));
            ++i;
        }
        return out;
    }

    QJsonObject m_object;
    const Path &m_path;
};

} // namespace json
