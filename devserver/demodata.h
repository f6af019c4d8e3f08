#pragma once

#include "clock.h"
#include "metrics.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace devserver {

struct UserInfo {
    QString id;
    QString email;
    QString name;
    QString role;
    QStringList workspaceIds; // in display order
    QString currentWorkspaceId; // the one the server treats as active
    QHash<QString, QString> workspaceRoles;
};

struct AccountInfo {
    QString id;
    QString name;
    QString platform;
    QString platformLabel;
    bool synced = true; // false: figures are missing, totals are partial
};

struct CampaignInfo {
    QString id;
    QString name;
    QString accountId;
    QStringList adGroups; // names of the ad groups (ad sets) under it
};

// A node of the non-paid part of the traffic-sources tree. Leaves carry
// figures of their own (an entity), inner nodes sum their children.
struct SourceNode {
    QString id;
    QString name;
    QString kind;
    QString channel; // top level only
    bool rest = false;
    QList<SourceNode> children;
};

struct WorkspaceInfo {
    QString id;
    QString name;
    QString asset; // heading of the rows table
    QString defaultTemplate; // used when the client sends none
    bool rowsByAccount = false;
    bool hasSources = false;
    QList<AccountInfo> accounts;
    QList<CampaignInfo> campaigns;
    QList<SourceNode> organic; // top-level non-paid channels
};

struct EmbedLinkInfo {
    QString key;
    QString workspaceId;
    QString password; // empty: no password
    QString title;
};

struct Period {
    QString key;
    QString label;
};

// The date ranges, in display order.
const QList<Period> &periods();
std::optional<Period> periodFor(const QString &key);

// The demo world: users, workspaces, accounts, campaigns, sources and embed
// links, with figures drawn from the seed. Past days are a pure function of
// the seed; today's figures accumulate tick by tick, so every generation of
// the data (one per tick of the clock) is reproducible from seed and clock.
class DemoData {
public:
    DemoData(quint64 seed, const Clock *clock, qint64 tickMs);

    const QList<UserInfo> &users() const { return m_users; }
    const QList<WorkspaceInfo> &workspaces() const { return m_workspaces; }
    const QList<EmbedLinkInfo> &embedLinks() const { return m_links; }
    const UserInfo *user(const QString &id) const;
    const WorkspaceInfo *workspace(const QString &id) const;
    const EmbedLinkInfo *embedLink(const QString &key) const;

    // Brings today's figures up to the clock. Cheap when nothing changed.
    void sync();
    // Moves the data on by n ticks without waiting for the clock.
    void advance(int ticks);
    qint64 generation() const { return m_generation; }

    bool campaignActive(const QString &campaignId) const;
    // Figures of a campaign, an ad group ("campaignId/groupIndex") or an
    // organic source leaf over a date range.
    Metrics campaignFigures(const QString &campaignId, const QString &periodKey) const;
    Metrics adGroupFigures(const CampaignInfo &c, int group, const QString &periodKey) const;
    Metrics leafFigures(const QString &leafId, const QString &periodKey) const;
    bool isLeaf(const QString &id) const { return m_leafBase.contains(id); }

    QDate today() const;

private:
    struct DayRange {
        QDate from; // first past day included (invalid: none)
        QDate to; // last past day included
        bool withToday; // today's running figures included
    };
    DayRange rangeFor(const QString &periodKey) const;
    Metrics dayFigures(const QString &entity, const Metrics &base, QDate day) const;
    Metrics entityFigures(const QString &entity, const Metrics &base, const QString &periodKey) const;
    void step();
    void startDay();
    void build();

    quint64 m_seed;
    const Clock *m_clock;
    qint64 m_tickMs;
    qint64 m_startMs;
    qint64 m_generation = 0;
    qint64 m_manualTicks = 0;
    QDate m_day; // the day today's figures belong to

    QList<UserInfo> m_users;
    QList<WorkspaceInfo> m_workspaces;
    QList<EmbedLinkInfo> m_links;
    QHash<QString, Metrics> m_campaignBase; // expected figures of a whole day
    QHash<QString, Metrics> m_leafBase;
    QHash<QString, Metrics> m_today; // running figures of today per entity
    QHash<QString, bool> m_active;
    mutable QHash<QString, Metrics> m_dayMemo; // past days never change
};

} // namespace devserver
