#include "model/jsonreader.h"

#include <QJsonDocument>

#include <cstring>

namespace json {

namespace {

// QCborValueConstRef::toString() first copies the element into a QCborValue
// (a reference count up and down on the container); the accessor it shares
// with QCborValueRef reads the element in place.
struct ElementText : QCborValueConstRef {
    static QString of(QCborValueConstRef value) { return concreteString(value, QString()); }
};

} // namespace

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

TextArena::~TextArena()
{
    closeBlock();
}

void TextArena::closeBlock()
{
    if (m_block.d_ptr() && m_unused > 0)
        m_block.d_ptr()->ref_.fetchAndSubRelaxed(m_unused); // the arena's own reference remains
    m_unused = 0;
}

void TextArena::release(QString &text)
{
    // Text handed over with no other owner (as every string just read from a
    // document is) goes back without the atomic decrement of ~QString().
    QStringPrivate &p = text.data_ptr();
    if (p.d && p.d->ref_.loadRelaxed() == 1) {
        QTypedArrayData<char16_t>::deallocate(p.d);
        // Assigning an empty string would release the header a second time.
        p.d = nullptr;
        p.ptr = nullptr;
        p.size = 0;
    }
}

QString TextArena::share(QString &&text)
{
    const qsizetype n = text.size();
    if (n == 0 || n > LongText)
        return std::move(text);
    if (!m_block.d_ptr() || m_block.size + n + 1 > BlockSize) {
        auto [header, begin] = QTypedArrayData<char16_t>::allocate(BlockSize);
        if (!header)
            return std::move(text);
        closeBlock();
        m_block = QStringPrivate(header, begin, 0);
        header->ref_.fetchAndAddRelaxed(Reserved);
        m_unused = Reserved;
    }
    char16_t *at = m_block.data() + m_block.size;
    std::memcpy(at, text.constData(), size_t(n) * sizeof(char16_t));
    at[n] = u'\0'; // a string's text is followed by a terminating zero
    m_block.size += n + 1;
    --m_unused; // never below zero: a string takes at least two of the block's units
    release(text);
    return QString(QStringPrivate(m_block.d_ptr(), at, n));
}

ObjectReader::ObjectReader(const QJsonValue &value, const Path &path)
    : m_path(path), m_ownText(std::make_unique<TextArena>()), m_text(*m_ownText)
{
    if (!value.isObject())
        failType(path, "an object", QCborValue::fromJsonValue(value).type());
    m_map = QCborMap::fromJsonObject(value.toObject());
    m_size = m_map.size();
    m_end = m_map.constBegin() + m_size;
}

ObjectReader::ObjectReader(QCborValueConstRef value, QCborValue::Type type, const Path &path, TextArena &text)
    : m_path(path), m_text(text)
{
    if (type != QCborValue::Map)
        failType(path, "an object", type);
    m_map = value.toMap();
    m_size = m_map.size();
    m_end = m_map.constBegin() + m_size;
}

ObjectReader::ObjectReader(const QJsonObject &object, const Path &path)
    : m_map(QCborMap::fromJsonObject(object)), m_end(m_map.constEnd()), m_path(path),
      m_ownText(std::make_unique<TextArena>()), m_text(*m_ownText), m_size(m_map.size())
{ }

QCborMap::ConstIterator ObjectReader::find(QLatin1StringView key) const
{
    if (m_foundCount == m_size)
        return m_end;
    const auto found = m_map.constFind(key);
    if (found != m_end) {
        // Only members that can be told apart count: a key read twice, or
        // a member past the 64 tracked ones, never ends the search early.
        const qsizetype position = found - m_map.constBegin();
        if (position < 64 && !(m_found & (quint64(1) << position))) {
            m_found |= quint64(1) << position;
            ++m_foundCount;
        }
    }
    return found;
}

ObjectReader::Value ObjectReader::required(QLatin1StringView key, const Path &at) const
{
    const auto found = find(key);
    if (found == m_end)
        fail(at, QStringLiteral("required value is missing"));
    const QCborValueConstRef v = found.value();
    const QCborValue::Type type = v.type();
    if (type == QCborValue::Undefined)
        fail(at, QStringLiteral("required value is missing"));
    if (type == QCborValue::Null)
        fail(at, QStringLiteral("required value is null"));
    return {v, type};
}

std::optional<ObjectReader::Value> ObjectReader::optional(QLatin1StringView key) const
{
    const auto found = find(key);
    if (found == m_end)
        return std::nullopt;
    const QCborValueConstRef v = found.value();
    const QCborValue::Type type = v.type();
    if (type == QCborValue::Undefined || type == QCborValue::Null)
        return std::nullopt;
    return Value {v, type};
}

QString ObjectReader::text(QCborValueConstRef value) const
{
    return m_text.share(ElementText::of(value));
}

QString ObjectReader::string(QLatin1StringView key) const
{
    const Path at = m_path.member(key);
    const Value v = required(key, at);
    if (v.type != QCborValue::String)
        failType(at, "a string", v.type);
    return text(v.ref);
}

std::optional<QString> ObjectReader::optionalString(QLatin1StringView key) const
{
    const auto v = optional(key);
    if (!v)
        return std::nullopt;
    if (v->type != QCborValue::String)
        failType(m_path.member(key), "a string", v->type);
    return text(v->ref);
}

bool ObjectReader::boolean(QLatin1StringView key) const
{
    const Path at = m_path.member(key);
    const QCborValue::Type type = required(key, at).type;
    if (type != QCborValue::True && type != QCborValue::False)
        failType(at, "a boolean", type);
    return type == QCborValue::True;
}

QStringList ObjectReader::strings(QLatin1StringView key) const
{
    const Path at = m_path.member(key);
    const Value v = required(key, at);
    if (v.type != QCborValue::Array)
        failType(at, "an array", v.type);
    const QCborArray array = v.ref.toArray();
    QStringList out;
    out.reserve(array.size());
    qsizetype i = 0;
    for (auto it = array.constBegin(), end = array.constEnd(); it != end; ++it, ++i) {
        const QCborValueConstRef element = *it;
        if (element.type() != QCborValue::String)
            failType(at.element(i), "a string", element.type());
        out.append(text(element));
    }
    return out;
}

} // namespace json
