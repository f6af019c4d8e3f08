#pragma once

#include "model/error.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <concepts>
#include <optional>

// Strict, typed reading of server JSON. Every record decodes through
// ObjectReader: a missing required key, a null in a required key or a value of
// the wrong type throws DecodingError naming the path of the offending value;
// missing or null optional keys read as absent; unknown keys are ignored.
//
// A parsed QJsonDocument and its QCborMap/QCborArray views share one
// container (QCborMap::fromJsonObject and QCborArray::fromJsonArray only take
// a reference), so the reader walks the document through the CBOR API: its
// member search suits small records better than QJsonObject's, and its
// element references read the container in place, without the QJsonValue
// temporaries (and their reference counting) of the JSON API.
namespace json {

// One step of the location inside a document. Paths live on the stack of the
// decoder and are only turned into text when a decode fails.
struct Path {
    const Path *parent = nullptr;
    QLatin1StringView key; // member name, or empty for an array element
    qsizetype index = -1; // array index when key is empty

    Path member(QLatin1StringView name) const { return Path {this, name, -1}; }
    Path element(qsizetype i) const { return Path {this, {}, i}; }
    QString toString() const;
};

// How an error names the type of a value of a parsed JSON document.
QString typeName(QCborValue::Type type);

[[noreturn]] void fail(const Path &path, const QString &problem);
[[noreturn]] void failType(const Path &path, const char *expected, QCborValue::Type found);

// Parses bytes as one JSON object (anything else is a DecodingError).
QJsonObject parseObject(const QByteArray &bytes);

class ObjectReader;

// A record type T decodes with `static T read(const json::ObjectReader &)`;
// one without it is decoded through its `fromJson(const QJsonValue &, const Path &)`.
template<class T>
concept ReadableRecord = requires(const ObjectReader &r)
{
    {
        T::read(r)
        } -> std::same_as<T>;
};

class ObjectReader {
public:
    ObjectReader(const QJsonValue &value, const Path &path);
    ObjectReader(QCborValueConstRef value, const Path &path);
    ObjectReader(const QJsonObject &object, const Path &path);

    const QCborMap &map() const { return m_map; }
    const Path &path() const { return m_path; }

    QString string(QLatin1StringView key) const;
    std::optional<QString> optionalString(QLatin1StringView key) const;
    bool boolean(QLatin1StringView key) const;
    QStringList strings(QLatin1StringView key) const;

    template<class T> T record(QLatin1StringView key) const
    {
        const Path at = m_path.member(key);
        return decode<T>(required(key, at), at);
    }

    template<class T> std::optional<T> optionalRecord(QLatin1StringView key) const
    {
        const auto v = optional(key);
        if (!v)
            return std::nullopt;
        return decode<T>(*v, m_path.member(key));
    }

    template<class T> QList<T> records(QLatin1StringView key) const
    {
        const Path at = m_path.member(key);
        return decodeArray<T>(required(key, at), at);
    }

    template<class T> std::optional<QList<T>> optionalRecords(QLatin1StringView key) const
    {
        const auto v = optional(key);
        if (!v)
            return std::nullopt;
        return decodeArray<T>(*v, m_path.member(key));
    }

private:
    // The value of a present, non-null key; throws otherwise. The reference
    // points into this reader's map.
    QCborValueConstRef required(QLatin1StringView key, const Path &at) const;
    // The value of a present, non-null key, or nothing.
    std::optional<QCborValueConstRef> optional(QLatin1StringView key) const;

    template<class T> static T decode(QCborValueConstRef value, const Path &at)
    {
        if constexpr (ReadableRecord<T>)
            return T::read(ObjectReader(value, at));
        else
            return T::fromJson(QCborValue(value).toJsonValue(), at);
    }

    template<class T> static QList<T> decodeArray(QCborValueConstRef value, const Path &at)
    {
        if (value.type() != QCborValue::Array)
            failType(at, "an array", value.type());
        const QCborArray array = value.toArray();
        QList<T> out;
        out.reserve(array.size());
        qsizetype i = 0;
        for (auto it = array.constBegin(), end = array.constEnd(); it != end; ++it, ++i)
            out.emplaceBack(decode<T>(*it, at.element(i)));
        return out;
    }

    QCborMap m_map;
    const Path &m_path;
};

} // namespace json
