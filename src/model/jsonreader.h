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
#include <memory>
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

// Short strings of one decoded document share larger allocations instead of
// taking one each: a decode creates tens of thousands of strings, and their
// separate allocation and release dominate its cost. Each string holds a
// reference to its block, so any string (and any copy of it) stays valid
// after the arena and the records are gone; a block is released with the
// last string in it. A string that is changed later detaches as usual, or
// grows in place when it is the block's only user.
class TextArena {
public:
    TextArena() = default;
    ~TextArena();
    TextArena(const TextArena &) = delete;
    TextArena &operator=(const TextArena &) = delete;

    // A string equal to `text`, placed in the current block when short.
    QString share(QString &&text);

    static constexpr qsizetype BlockSize = 8192; // UTF-16 units per block
    static constexpr qsizetype LongText = 256; // longer strings keep their own allocation

private:
    // A block's references for all the strings it can hold (each takes at
    // least two units) are taken at once when it is made, and the ones not
    // handed out are given back when it is full, instead of one atomic
    // increment per string.
    static constexpr int Reserved = int(BlockSize / 2);

    void closeBlock();
    // Frees a string's text when nothing else holds it.
    static void release(QString &text);

    QStringPrivate m_block; // one reference to the current block; size counts the units used
    int m_unused = 0; // references reserved for strings not yet placed
};

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
    ObjectReader(const QJsonObject &object, const Path &path);
    // A member or element of the document another reader reads; `type` is
    // the value's type, known to the caller.
    ObjectReader(QCborValueConstRef value, QCborValue::Type type, const Path &path, TextArena &text);

    const QCborMap &map() const { return m_map; }
    const Path &path() const { return m_path; }

    QString string(QLatin1StringView key) const;
    std::optional<QString> optionalString(QLatin1StringView key) const;
    bool boolean(QLatin1StringView key) const;
    QStringList strings(QLatin1StringView key) const;

    template<class T> T record(QLatin1StringView key) const
    {
        const Path at = m_path.member(key);
        return decode<T>(required(key, at), at, m_text);
    }

    template<class T> std::optional<T> optionalRecord(QLatin1StringView key) const
    {
        const auto v = optional(key);
        if (!v)
            return std::nullopt;
        return decode<T>(*v, m_path.member(key), m_text);
    }

    template<class T> QList<T> records(QLatin1StringView key) const
    {
        const Path at = m_path.member(key);
        return decodeArray<T>(required(key, at), at, m_text);
    }

    template<class T> std::optional<QList<T>> optionalRecords(QLatin1StringView key) const
    {
        const auto v = optional(key);
        if (!v)
            return std::nullopt;
        return decodeArray<T>(*v, m_path.member(key), m_text);
    }

private:
    // A value in the document with its type, read once.
    struct Value {
        QCborValueConstRef ref;
        QCborValue::Type type;
    };

    // The value of a present, non-null key; throws otherwise. The reference
    // points into this reader's map.
    Value required(QLatin1StringView key, const Path &at) const;
    // The value of a present, non-null key, or nothing.
    std::optional<Value> optional(QLatin1StringView key) const;

    template<class T> static T decode(Value value, const Path &at, TextArena &text)
    {
        if constexpr (ReadableRecord<T>)
            return T::read(ObjectReader(value.ref, value.type, at, text));
        else
            return T::fromJson(QCborValue(value.ref).toJsonValue(), at);
    }

    template<class T> static QList<T> decodeArray(Value value, const Path &at, TextArena &text)
    {
        if (value.type != QCborValue::Array)
            failType(at, "an array", value.type);
        const QCborArray array = value.ref.toArray();
        QList<T> out;
        out.reserve(array.size());
        qsizetype i = 0;
        for (auto it = array.constBegin(), end = array.constEnd(); it != end; ++it, ++i) {
            const QCborValueConstRef element = *it;
            const Path elementPath = at.element(i);
            out.emplaceBack(Decoded<T> {Value {element, element.type()}, elementPath, text});
        }
        return out;
    }

    // Decodes where the list constructs its element, so a record is built in
    // place instead of being built and then moved.
    template<class T> struct Decoded {
        Value value;
        const Path &at;
        TextArena &text;
        operator T() const { return decode<T>(value, at, text); }
    };

    // Finds a member, remembering which members were found. Once every
    // member of the object has been found, any other key is known to be
    // absent without a search, so records read their required members
    // first and their optional ones after.
    QCborMap::ConstIterator find(QLatin1StringView key) const;

    QString text(QCborValueConstRef value) const;

    QCborMap m_map;
    QCborMap::ConstIterator m_end;
    const Path &m_path;
    std::unique_ptr<TextArena> m_ownText; // set in a reader of a whole document
    TextArena &m_text;
    qsizetype m_size = 0;
    mutable quint64 m_found = 0; // members found, by position (the first 64)
    mutable qsizetype m_foundCount = 0;
};

} // namespace json
