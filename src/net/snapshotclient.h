#pragma once

#include "model/error.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class QNetworkAccessManager;
struct SnapshotTextLayout;
class Defaults;

// A failure of the snapshot cache that is not a transport failure.
class SnapshotError : public Error {
public:
    enum class Kind { Http, NotFound, BadBody, NoScope };

    static SnapshotError http(int status);
    static SnapshotError notFound();
    static SnapshotError badBody();
    static SnapshotError noScope();

    Kind kind() const noexcept { return m_kind; }
    int status() const noexcept { return m_status; } // only for Kind::Http

private:
    SnapshotError(Kind kind, int status, QString message);
    Kind m_kind;
    int m_status;
};

// Per-scope cache of named server answers, in memory and one file per request,
// revalidated by version: 304 keeps the held bytes, a delta answer is patched
// into the held document, a full answer replaces it. Stores and returns raw
// JSON bytes; decoding them is the caller's business.
class SnapshotClient : public QObject {
    Q_OBJECT
public:
    inline static const QString scopeKey = QStringLiteral("quillmere.snapshot.scope");

    // Patch bounds: a delta beyond them is not applied (the caller refetches in full).
    static constexpr qsizetype maxOperations = 10'000;
    static constexpr qsizetype maxPathDepth = 64;
    static constexpr qsizetype maxArrayGrowth = 10'000;
    static constexpr qsizetype maxDocumentBytes = 16 << 20;

    SnapshotClient(QNetworkAccessManager *nam, Defaults *defaults, QString directory, QObject *parent = nullptr);
    ~SnapshotClient() override;

    // network::manager(), Defaults::shared(), paths::snapshotsDir().
    static SnapshotClient &shared();

    std::optional<QString> scope() const { return m_scope; }
    std::optional<QString> knownBuild() const { return m_knownBuild; }
    QString directory() const { return m_directory; }

    void restoreScope();
    void setScope(const std::optional<QString> &scope);
    void clear();

    // Drops the stored document for this request under the current scope,
    // in memory and on disk.
    void forget(const QString &name, const QJsonObject &params);
    // The stored document for this request under the current scope; no network.
    std::optional<QByteArray> cached(const QString &name, const QJsonObject &params);
    // Brings the entry up to date with the server and returns the document bytes.
    // Throws SnapshotError, APIError (401 "Not signed in"), TransportError, DecodingError
    // (a 200 body that is not JSON).
    QCoro::Task<QByteArray> revalidate(QUrl base, QString name, QJsonObject params);

    // Canonical parameter text: keys sorted, compact, "/" unescaped; "{}" on failure.
    static QByteArray canonicalParams(const QJsonObject &params);
    // scope, NUL, name, ":", canonical params.
    static QString cacheKey(const QString &scope, const QString &name, const QJsonObject &params);
    // 64 lowercase hex digits of SHA-256(key) + ".json".
    static QString fileName(const QString &key);
    QString filePath(const QString &key) const { return m_directory + QLatin1Char('/') + fileName(key); }
    // base + "api/snapshot/" + name, query p (and have when given).
    static QUrl snapshotUrl(
        const QUrl &base, const QString &name, const QJsonObject &params, std::optional<qint64> have);

    // Applies patch operations to a parsed document (undefined = absent). The
    // result is JSON null when it ends absent.
    static QJsonValue applyPatch(const QJsonValue &document, const QJsonArray &operations);
    // Sets or deletes path[from...] inside node; path must have an element at from.
    static QJsonValue setIn(
        const QJsonValue &node, const QJsonArray &path, qsizetype from, const QJsonValue &value, bool remove);
    // applyPatch within the bounds above; nullopt when the patch is out of bounds.
    static std::optional<QJsonValue> applyPatchBounded(const QJsonValue &document, const QJsonArray &operations);

    // Work counters, for tests and the benchmark.
    struct Counters {
        int documentParses = 0; // stored/answer documents parsed as JSON
        int fileReads = 0;
        int fileWrites = 0;
        int requests = 0;
        qint64 answerBytes = 0; // answer bodies received
    };
    const Counters &counters() const { return m_counters; }

private:
    struct Entry {
        QString key;
        qint64 version = 0;
        QString build;
        double computedAt = 0;
        QByteArray data;
        std::optional<QJsonValue> document; // data parsed, kept so a delta does not parse again
        // Where the children of document's large containers lie in data, so
        // that a delta re-serialises only what it changed. Null when unknown.
        std::shared_ptr<const SnapshotTextLayout> layout;
    };
    struct Fetched {
        int status = 0;
        QByteArray body;
    };

    const Entry *load(const QString &key);
    void save(const Entry &entry);
    QCoro::Task<Fetched> fetch(QUrl base, QString name, QJsonObject params, std::optional<qint64> have);

    QNetworkAccessManager *m_nam;
    Defaults *m_defaults;
    QString m_directory;
    std::optional<QString> m_scope;
    std::optional<QString> m_knownBuild;
    QHash<QString, Entry> m_memory;
    Counters m_counters;
};
