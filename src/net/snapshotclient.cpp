#include "net/snapshotclient.h"

#include "net/apierror.h"
#include "net/network.h"
#include "platform/defaults.h"
#include "platform/paths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkRequest>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

// SnapshotError

SnapshotError::SnapshotError(Kind kind, int status, QString message)
    : Error(std::move(message)), m_kind(kind), m_status(status)
{ }

SnapshotError SnapshotError::http(int status)
{
    return SnapshotError(Kind::Http, status, QStringLiteral("The server's snapshot answer failed (%1).").arg(status));
}

SnapshotError SnapshotError::notFound()
{
    return SnapshotError(Kind::NotFound, 404, QStringLiteral("The server has no snapshot for this request."));
}

SnapshotError SnapshotError::badBody()
{
    return SnapshotError(Kind::BadBody, 0, QStringLiteral("The server's snapshot answer could not be read."));
}

SnapshotError SnapshotError::noScope()
{
    return SnapshotError(Kind::NoScope, 0, QStringLiteral("No account is selected for the snapshot cache."));
}

// Patches

namespace {

struct OutOfBounds { };

struct Budget {
    qsizetype padding = 0; // nulls appended so far by the whole patch
};

// An integer as JSON gives it (also an integral number written with a fraction).
std::optional<qint64> integerOf(const QJsonValue &v)
{
    if (!v.isDouble())
        return std::nullopt;
    const QVariant variant = v.toVariant();
    if (variant.userType() == QMetaType::LongLong)
        return variant.toLongLong();
    const double d = v.toDouble();
    if (std::isfinite(d) && std::trunc(d) == d && std::fabs(d) <= 9007199254740992.0)
        return static_cast<qint64>(d);
    return std::nullopt;
}

QString memberName(const QJsonValue &head)
{
    if (head.isString())
        return head.toString();
    if (const auto i = integerOf(head))
        return QString::number(*i);
    switch (head.type()) {
    case QJsonValue::Bool:
        return head.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Double:
        return QString::number(head.toDouble(), 'g', 17);
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(head.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(head.toObject()).toJson(QJsonDocument::Compact));
    default:
        return QString();
    }
}

QJsonValue orNull(const QJsonValue &v)
{
    return v.isUndefined() ? QJsonValue(QJsonValue::Null) : v;
}

// Containers along the path are changed in place where node is their only
// holder: each level takes its container out of node and its child out of the
// container before recursing, so no level keeps a second reference that
// would make the next level copy itself.
QJsonValue setInImpl(
    QJsonValue node, const QJsonArray &path, qsizetype from, const QJsonValue &value, bool remove, Budget *budget)
{
    const QJsonValue head = path.at(from);
    const bool last = from == path.size() - 1;
    const std::optional<qint64> index = integerOf(head);

    if (node.isArray() && index && *index >= 0) {
        QJsonArray array = node.toArray();
        node = QJsonValue();
        if (last && remove)
            return array;
        if (budget) {
            // Compared before adding one: an index near the largest integer
            // must not overflow into a small (or negative) growth.
            if (*index - array.size() >= SnapshotClient::maxArrayGrowth)
                throw OutOfBounds {};
            const qint64 growth = *index + 1 - array.size();
            if (growth > 0) {
                budget->padding += growth;
                // Nothing beyond what a document within the size bound could hold ("null," each).
                if (budget->padding > SnapshotClient::maxDocumentBytes / 5)
                    throw OutOfBounds {};
            }
        }
        while (array.size() <= *index)
            array.append(QJsonValue(QJsonValue::Null));
        const qsizetype i = static_cast<qsizetype>(*index);
        if (last) {
            array.replace(i, orNull(value));
        } else {
            QJsonValue child = array.at(i);
            array.replace(i, QJsonValue()); // drop our reference so the child is modified in place
            array.replace(i, setInImpl(std::move(child), path, from + 1, value, remove, budget));
        }
        return array;
    }

    QJsonObject object = node.isObject() ? node.toObject() : QJsonObject();
    node = QJsonValue();
    const QString name = memberName(head);
    if (!last) {
        QJsonValue child = object.value(name);
        if (!child.isUndefined())
            object.insert(name, QJsonValue());
        object.insert(name, setInImpl(std::move(child), path, from + 1, value, remove, budget));
    } else if (remove) {
        object.remove(name);
    } else {
        object.insert(name, orNull(value));
    }
    return object;
}

QJsonValue applyPatchImpl(QJsonValue document, const QJsonArray &operations, Budget *budget)
{
    if (budget && operations.size() > SnapshotClient::maxOperations)
        throw OutOfBounds {};
    QJsonValue current = std::move(document);
    for (const QJsonValue &entry : operations) {
        const QJsonObject op = entry.toObject();
        const QJsonValue p = op.value(QLatin1StringView("p"));
        if (!p.isArray())
            continue;
        const QJsonArray path = p.toArray();
        if (budget && path.size() > SnapshotClient::maxPathDepth)
            throw OutOfBounds {};
        const std::optional<qint64> d = integerOf(op.value(QLatin1StringView("d")));
        const bool remove = d && *d == 1;
        const QJsonValue v = op.value(QLatin1StringView("v"));
        if (path.isEmpty()) {
            current = v;
            continue;
        }
        const QJsonValue value = remove ? QJsonValue(QJsonValue::Undefined) : orNull(v);
        QJsonValue node = std::move(current);
        current = QJsonValue(); // let setIn modify the document in place
        current = setInImpl(std::move(node), path, 0, value, remove, budget);
    }
    return orNull(current);
}

} // namespace

// Compact text with a layout: offsets of a container's children in its text,
// relative to the container's opening bracket, separators excluded; a child
// that is itself a large container has a layout of its own.
struct SnapshotTextLayout {
    struct Child {
        qsizetype begin = 0;
        qsizetype end = 0;
        qsizetype innerAt = 0; // where inner's container text starts
        std::shared_ptr<const SnapshotTextLayout> inner;
    };
    QList<Child> children;
};

namespace {

constexpr qsizetype layoutThreshold = 64; // children for a container to get a layout

bool hasLayout(const QJsonValue &v)
{
    return (v.isArray() && v.toArray().size() >= layoutThreshold)
        || (v.isObject() && v.toObject().size() >= layoutThreshold);
}

// Pieces of text cut from the compact writer's own output, so that the whole
// is byte for byte what it writes for the whole document.
QByteArray elementText(const QJsonValue &v)
{
    QByteArray text = QJsonDocument(QJsonArray {v}).toJson(QJsonDocument::Compact);
    return text.sliced(1, text.size() - 2); // [v]
}

QByteArray memberPrefix(const QString &key)
{
    QByteArray text = QJsonDocument(QJsonObject {{key, QJsonValue(QJsonValue::Null)}}).toJson(QJsonDocument::Compact);
    return text.sliced(1, text.size() - 6); // {"key":null}
}

QByteArray memberText(const QString &key, const QJsonValue &v)
{
    QByteArray text = QJsonDocument(QJsonObject {{key, v}}).toJson(QJsonDocument::Compact);
    return text.sliced(1, text.size() - 2); // {"key":v}
}

// A child of a container: its member name (objects) and value.
struct ChildRef {
    QString key;
    QJsonValue value;
};

ChildRef childAt(const QJsonValue &container, qsizetype k)
{
    if (container.isObject()) {
        const QJsonObject o = container.toObject();
        const auto it = o.constBegin() + k;
        return {it.key(), it.value()};
    }
    return {QString(), container.toArray().at(k)};
}

qsizetype childCount(const QJsonValue &container)
{
    return container.isObject() ? container.toObject().size() : container.toArray().size();
}

std::shared_ptr<const SnapshotTextLayout> writeContainer(const QJsonValue &container, QByteArray &out);

// Writes child k of container fresh.
SnapshotTextLayout::Child writeChild(const QJsonValue &container, qsizetype k, qsizetype start, QByteArray &out)
{
    const ChildRef child = childAt(container, k);
    SnapshotTextLayout::Child c;
    c.begin = out.size() - start;
    if (hasLayout(child.value)) {
        if (container.isObject())
            out += memberPrefix(child.key);
        c.innerAt = out.size() - start;
        c.inner = writeContainer(child.value, out);
    } else {
        out += container.isObject() ? memberText(child.key, child.value) : elementText(child.value);
    }
    c.end = out.size() - start;
    return c;
}

// Writes container's brackets and separators around its children, each of
// which write(k, start) appends to out, and returns their layout.
template<class WriteChild>
std::shared_ptr<const SnapshotTextLayout> writeChildren(const QJsonValue &container, QByteArray &out, WriteChild write)
{
    auto layout = std::make_shared<SnapshotTextLayout>();
    const qsizetype start = out.size();
    const qsizetype n = childCount(container);
    layout->children.reserve(n);
    out += container.isObject() ? '{' : '[';
    for (qsizetype k = 0; k < n; ++k) {
        if (k > 0)
            out += ',';
        layout->children.append(write(k, start));
    }
    out += container.isObject() ? '}' : ']';
    return layout;
}

std::shared_ptr<const SnapshotTextLayout> writeContainer(const QJsonValue &container, QByteArray &out)
{
    return writeChildren(
        container, out, [&](qsizetype k, qsizetype start) { return writeChild(container, k, start, out); });
}

// What a patch changed, per child index of a container with a layout: the
// whole child (no inner marks) or places inside its own layout.
struct Marks {
    QMap<qsizetype, std::optional<Marks>> children; // nullopt: rewrite the whole child
};

// Marks where the operations change the document, judged on the document
// before the patch. False where the patch may change a container's set of
// children (a member added or removed, an array grown, a type changed on the
// way): then the layout cannot be reused.
bool markChanges(
    const QJsonValue &document, const SnapshotTextLayout &layout, const QJsonArray &operations, Marks &marks)
{
    if (!document.isObject() && !document.isArray())
        return false;
    for (const QJsonValue &entry : operations) {
        const QJsonObject op = entry.toObject();
        const QJsonValue p = op.value(QLatin1StringView("p"));
        if (!p.isArray())
            continue; // skipped by the patch too
        const QJsonArray path = p.toArray();
        if (path.isEmpty())
            return false;
        const std::optional<qint64> d = integerOf(op.value(QLatin1StringView("d")));
        const bool remove = d && *d == 1;
        QJsonValue node = document;
        const SnapshotTextLayout *level = &layout;
        Marks *at = &marks;
        for (qsizetype from = 0; from < path.size(); ++from) {
            const QJsonValue head = path.at(from);
            qsizetype k = -1;
            if (node.isArray()) {
                const std::optional<qint64> index = integerOf(head);
                if (!index || *index < 0 || *index >= node.toArray().size())
                    return false;
                k = static_cast<qsizetype>(*index);
            } else {
                const QJsonObject object = node.toObject();
                const auto it = object.constFind(memberName(head));
                if (it == object.constEnd())
                    return false;
                k = it - object.constBegin();
            }
            const bool last = from == path.size() - 1;
            if (last && remove)
                return false;
            auto mark = at->children.find(k);
            if (mark != at->children.end() && !mark->has_value())
                break; // already rewritten whole
            const SnapshotTextLayout::Child &child = level->children.at(k);
            if (last || !child.inner) {
                at->children.insert(k, std::nullopt);
                break;
            }
            if (mark == at->children.end())
                mark = at->children.insert(k, Marks {});
            at = &**mark;
            level = child.inner.get();
            node = childAt(node, k).value;
            if (!node.isObject() && !node.isArray())
                return false;
        }
    }
    return true;
}

// Writes container (the patched document or a part of it) reusing the old
// text of every child that marks leave alone.
std::shared_ptr<const SnapshotTextLayout> rewriteContainer(const QJsonValue &container, const SnapshotTextLayout &old,
    const char *oldText, const Marks &marks, QByteArray &out)
{
    return writeChildren(container, out, [&](qsizetype k, qsizetype start) {
        const SnapshotTextLayout::Child &was = old.children.at(k);
        const auto mark = marks.children.constFind(k);
        if (mark == marks.children.constEnd()) {
            SnapshotTextLayout::Child c = was;
            c.begin = out.size() - start;
            c.innerAt = c.begin + (was.innerAt - was.begin);
            out.append(oldText + was.begin, was.end - was.begin);
            c.end = out.size() - start;
            return c;
        }
        if (mark->has_value() && was.inner) {
            SnapshotTextLayout::Child c;
            c.begin = out.size() - start;
            out.append(oldText + was.begin, was.innerAt - was.begin); // the member name
            c.innerAt = out.size() - start;
            c.inner = rewriteContainer(childAt(container, k).value, *was.inner, oldText + was.innerAt, **mark, out);
            c.end = out.size() - start;
            return c;
        }
        return writeChild(container, k, start, out);
    });
}

// Takes the document, so that where the caller gave up every other reference
// the patch changes it in place.
std::optional<QJsonValue> applyPatchWithin(QJsonValue document, const QJsonArray &operations)
{
    try {
        Budget budget;
        return applyPatchImpl(std::move(document), operations, &budget);
    } catch (const OutOfBounds &) {
        return std::nullopt;
    }
}

} // namespace

QJsonValue SnapshotClient::setIn(
    const QJsonValue &node, const QJsonArray &path, qsizetype from, const QJsonValue &value, bool remove)
{
    return setInImpl(node, path, from, value, remove, nullptr);
}

QJsonValue SnapshotClient::applyPatch(const QJsonValue &document, const QJsonArray &operations)
{
    return applyPatchImpl(document, operations, nullptr);
}

std::optional<QJsonValue> SnapshotClient::applyPatchBounded(const QJsonValue &document, const QJsonArray &operations)
{
    return applyPatchWithin(document, operations);
}

// Keys, files, addresses

QByteArray SnapshotClient::canonicalParams(const QJsonObject &params)
{
    // QJsonObject keeps its members sorted by key and the compact writer adds no
    // whitespace and leaves "/" alone.
    const QByteArray text = QJsonDocument(params).toJson(QJsonDocument::Compact);
    if (text.isEmpty())
        return QByteArrayLiteral("{}");
    return text;
}

QString SnapshotClient::cacheKey(const QString &scope, const QString &name, const QJsonObject &params)
{
    return scope + QChar(u'\0') + name + QLatin1Char(':') + QString::fromUtf8(canonicalParams(params));
}

QString SnapshotClient::fileName(const QString &key)
{
    return QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex())
        + QStringLiteral(".json");
}

QUrl SnapshotClient::snapshotUrl(
    const QUrl &base, const QString &name, const QJsonObject &params, std::optional<qint64> have)
{
    QUrl url = network::appendPath(base, QStringLiteral("api/snapshot/") + name);
    QByteArray query = "p=" + QUrl::toPercentEncoding(QString::fromUtf8(canonicalParams(params)));
    if (have)
        query += "&have=" + QByteArray::number(*have);
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    url.setFragment(QString());
    return url;
}

// The client

SnapshotClient::SnapshotClient(QNetworkAccessManager *nam, Defaults *defaults, QString directory, QObject *parent)
    : QObject(parent), m_nam(nam), m_defaults(defaults), m_directory(std::move(directory))
{ }

SnapshotClient::~SnapshotClient() = default;

SnapshotClient &SnapshotClient::shared()
{
    static SnapshotClient instance(network::manager(), &Defaults::shared(), paths::snapshotsDir());
    return instance;
}

void SnapshotClient::restoreScope()
{
    if (!m_scope)
        m_scope = m_defaults->optionalString(scopeKey);
}

void SnapshotClient::setScope(const std::optional<QString> &scope)
{
    m_scope = scope;
    // Every signed-in refresh sets the scope, nearly always to the one held:
    // the settings file is written only when it changes.
    if (m_defaults->optionalString(scopeKey) == scope)
        return;
    if (scope)
        m_defaults->setString(scopeKey, *scope);
    else
        m_defaults->remove(scopeKey);
}

void SnapshotClient::clear()
{
    m_scope.reset();
    m_knownBuild.reset();
    m_memory.clear();
    m_defaults->remove(scopeKey);
    QDir(m_directory).removeRecursively();
}

void SnapshotClient::forget(const QString &name, const QJsonObject &params)
{
    if (!m_scope)
        return;
    const QString key = cacheKey(*m_scope, name, params);
    m_memory.remove(key);
    QFile::remove(filePath(key));
}

std::optional<QByteArray> SnapshotClient::cached(const QString &name, const QJsonObject &params)
{
    if (!m_scope)
        return std::nullopt;
    const Entry *entry = load(cacheKey(*m_scope, name, params));
    if (!entry)
        return std::nullopt;
    return entry->data;
}

const SnapshotClient::Entry *SnapshotClient::load(const QString &key)
{
    if (const auto it = m_memory.constFind(key); it != m_memory.constEnd())
        return &*it;

    QFile file(filePath(key));
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    // A stored document is at most 16 MiB, which Base64 makes 4/3 of that.
    if (file.size() > maxDocumentBytes * 3 / 2)
        return nullptr;
    const QByteArray bytes = file.readAll();
    ++m_counters.fileReads;
    ++m_counters.documentParses;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    if (!doc.isObject())
        return nullptr;
    const QJsonObject o = doc.object();
    const QJsonValue k = o.value(QLatin1StringView("key"));
    const QJsonValue version = o.value(QLatin1StringView("version"));
    const QJsonValue build = o.value(QLatin1StringView("build"));
    const QJsonValue computedAt = o.value(QLatin1StringView("computedAt"));
    const QJsonValue data = o.value(QLatin1StringView("data"));
    const std::optional<qint64> v = integerOf(version);
    if (!k.isString() || !v || !build.isString() || !computedAt.isDouble() || !data.isString())
        return nullptr;
    const auto decoded
        = QByteArray::fromBase64Encoding(data.toString().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return nullptr;
    if (k.toString() != key)
        return nullptr;
    if (m_knownBuild && build.toString() != *m_knownBuild)
        return nullptr;
    Entry entry {key, *v, build.toString(), computedAt.toDouble(), *decoded, std::nullopt, nullptr};
    return &*m_memory.insert(key, std::move(entry));
}

void SnapshotClient::save(const Entry &entry)
{
    paths::makePrivateDir(m_directory);
    // The five members, written directly: the Base64 text of a large document
    // need not pass through a QString and the JSON writer, nor be held whole:
    // it is encoded and written in pieces of whole Base64 quanta, which
    // concatenate to the encoding of the whole.
    QJsonObject head;
    head.insert(QLatin1StringView("key"), entry.key);
    head.insert(QLatin1StringView("version"), entry.version);
    head.insert(QLatin1StringView("build"), entry.build);
    head.insert(QLatin1StringView("computedAt"), entry.computedAt);
    QByteArray opening = QJsonDocument(head).toJson(QJsonDocument::Compact);
    opening.chop(1); // the closing brace
    opening += ",\"data\":\"";

    QSaveFile file(filePath(entry.key));
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    auto put = [&file](const QByteArray &bytes) { return file.write(bytes) == bytes.size(); };
    bool written = put(opening);
    constexpr qsizetype piece = 3 * 16 * 1024;
    for (qsizetype at = 0; written && at < entry.data.size(); at += piece) {
        const qsizetype length = std::min(piece, entry.data.size() - at);
        written = put(QByteArray::fromRawData(entry.data.constData() + at, length).toBase64());
    }
    if (!written || !put(QByteArrayLiteral("\"}"))) {
        file.cancelWriting();
        return;
    }
    if (file.commit())
        ++m_counters.fileWrites;
}

QCoro::Task<SnapshotClient::Fetched> SnapshotClient::fetch(
    QUrl base, QString name, QJsonObject params, std::optional<qint64> have)
{
    if (!base.isValid() || (base.scheme() != QLatin1StringView("http") && base.scheme() != QLatin1StringView("https")))
        throw TransportError(QStringLiteral("The server address is not a valid http or https address."));
    QNetworkRequest request(snapshotUrl(base, name, params, have));
    request.setRawHeader("Accept", "application/json");
    ++m_counters.requests;
    const HttpReply reply = co_await network::perform(m_nam, request, "GET");
    m_counters.answerBytes += reply.body.size();
    co_return Fetched {reply.status, reply.body};
}

namespace {

QJsonObject parseAnswer(const QByteArray &body)
{
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(QString(), QStringLiteral("the snapshot answer is not JSON (%1)").arg(error.errorString()));
    if (!doc.isObject())
        throw SnapshotError::http(200);
    return doc.object();
}

} // namespace

QCoro::Task<QByteArray> SnapshotClient::revalidate(QUrl base, QString name, QJsonObject params)
{
    if (!m_scope)
        throw SnapshotError::noScope();
    const QString key = cacheKey(*m_scope, name, params);
    std::optional<Entry> entry;
    if (const Entry *found = load(key))
        entry = *found;

    Fetched first = co_await fetch(base, name, params, entry ? std::optional(entry->version) : std::nullopt);
    switch (first.status) {
    case 304:
        if (entry)
            co_return entry->data;
        throw SnapshotError::http(304);
    case 401:
        throw APIError(QStringLiteral("Not signed in"), 401);
    case 200:
        break;
    case 404:
        throw SnapshotError::notFound();
    default:
        throw SnapshotError::http(first.status);
    }

    ++m_counters.documentParses;
    QJsonObject answer = parseAnswer(first.body);
    first.body.clear();
    QJsonValue document;
    std::optional<QByteArray> serialised;
    std::shared_ptr<const SnapshotTextLayout> layout; // of serialised, when a delta made it
    bool refetch = false;

    if (answer.value(QLatin1StringView("kind")) == QLatin1StringView("delta")) {
        refetch = true;
        const std::optional<qint64> baseVersion = integerOf(answer.value(QLatin1StringView("baseVersion")));
        const QJsonValue patch = answer.value(QLatin1StringView("patch"));
        if (entry && baseVersion && *baseVersion == entry->version && patch.isArray()) {
            const QJsonArray operations = patch.toArray();
            const bool allObjects
                = std::all_of(operations.begin(), operations.end(), [](const QJsonValue &op) { return op.isObject(); });
            std::optional<QJsonValue> held = entry->document;
            if (!held) {
                ++m_counters.documentParses;
                const QJsonDocument doc = QJsonDocument::fromJson(entry->data);
                if (doc.isObject())
                    held = QJsonValue(doc.object());
                else if (doc.isArray())
                    held = QJsonValue(doc.array());
            }
            // The held text's layout, and the places the patch changes, let the
            // new text reuse the old wherever the patch leaves it alone.
            std::shared_ptr<const SnapshotTextLayout> oldLayout = entry->document ? entry->layout : nullptr;
            std::optional<Marks> marks;
            if (allObjects && held && oldLayout) {
                marks.emplace();
                if (!markChanges(*held, *oldLayout, operations, *marks))
                    marks.reset();
            }
            if (allObjects && held) {
                // The held entry's document is shared with memory; drop our copies so
                // the patch can change it in place where nothing else holds it.
                entry->document.reset();
                if (auto it = m_memory.find(key); it != m_memory.end() && it->version == entry->version)
                    it->document.reset();
                QJsonValue start = std::move(*held);
                held.reset();
                if (std::optional<QJsonValue> patched = applyPatchWithin(std::move(start), operations)) {
                    document = std::move(*patched);
                    if (document.isObject() || document.isArray()) {
                        serialised.emplace();
                        serialised->reserve(entry->data.size() + 1024);
                        if (marks && document.isObject() == entry->data.startsWith('{'))
                            layout
                                = rewriteContainer(document, *oldLayout, entry->data.constData(), *marks, *serialised);
                        else
                            layout = writeContainer(document, *serialised);
                        refetch = serialised->size() > maxDocumentBytes;
                    } else {
                        refetch = false; // commit reports the bad document
                    }
                }
            }
        }
    } else {
        document = answer.value(QLatin1StringView("data"));
    }

    if (refetch) {
        serialised.reset();
        layout.reset();
        Fetched second = co_await fetch(base, name, params, std::nullopt);
        if (second.status != 200)
            throw SnapshotError::http(second.status);
        ++m_counters.documentParses;
        answer = parseAnswer(second.body);
        second.body.clear();
        document = answer.value(QLatin1StringView("data"));
    }

    // Commit.
    if (!document.isObject() && !document.isArray())
        throw SnapshotError::badBody();
    if (!serialised)
        serialised = document.isObject() ? QJsonDocument(document.toObject()).toJson(QJsonDocument::Compact)
                                         : QJsonDocument(document.toArray()).toJson(QJsonDocument::Compact);
    const std::optional<qint64> version = integerOf(answer.value(QLatin1StringView("version")));
    if (!version)
        throw SnapshotError::badBody();
    const QJsonValue buildValue = answer.value(QLatin1StringView("build"));
    const QJsonValue computedValue = answer.value(QLatin1StringView("computedAt"));
    Entry committed {key, *version, buildValue.isString() ? buildValue.toString() : QString(),
        computedValue.isDouble() ? computedValue.toDouble() : 0.0, *serialised, document, layout};
    m_knownBuild = committed.build;
    m_memory.insert(key, committed);
    save(committed);
    co_return committed.data;
}
