#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace devserver {

// Versions of snapshot documents, per key (user, workspace, request name and
// canonical parameters). A new version is made only when the document
// changes. The last few versions of each key are kept so that a client
// holding one of them gets a patch instead of the whole document.
class SnapshotStore {
public:
    // firstVersion: where version numbers start; a server started later
    // starts higher, so a version a client kept from an earlier run never
    // matches by accident.
    explicit SnapshotStore(qint64 firstVersion, int keep = 8);

    struct Version {
        qint64 version = 0;
        qint64 computedAtMs = 0;
        QJsonObject document;
    };

    // Records the current document for key and returns its version (the old
    // one when nothing changed).
    const Version &update(const QString &key, const QJsonObject &document, qint64 nowMs);
    // A kept version of key, if it is still held.
    std::optional<Version> find(const QString &key, qint64 version) const;
    // Forgets every kept version (a new build); versions keep counting up.
    void clear();
    int keptVersions(const QString &key) const;

private:
    qint64 m_next;
    int m_keep;
    QHash<QString, QList<Version>> m_history; // oldest first
};

} // namespace devserver
