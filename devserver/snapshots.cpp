#include "snapshots.h"

namespace devserver {

SnapshotStore::SnapshotStore(qint64 firstVersion, int keep) : m_next(firstVersion), m_keep(qMax(1, keep)) { }

const SnapshotStore::Version &SnapshotStore::update(const QString &key, const QJsonObject &document, qint64 nowMs)
{
    QList<Version> &list = m_history[key];
    if (list.isEmpty() || list.last().document != document) {
        list.append(Version {m_next++, nowMs, document});
        while (list.size() > m_keep)
            list.removeFirst();
    }
    return list.last();
}

std::optional<SnapshotStore::Version> SnapshotStore::find(const QString &key, qint64 version) const
{
    const auto it = m_history.constFind(key);
    if (it == m_history.cend())
        return std::nullopt;
    for (const Version &v : *it)
        if (v.version == version)
            return v;
    return std::nullopt;
}

void SnapshotStore::clear()
{
    m_history.clear();
}

int SnapshotStore::keptVersions(const QString &key) const
{
    return int(m_history.value(key).size());
}

} // namespace devserver
