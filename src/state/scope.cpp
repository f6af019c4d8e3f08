#include "state/store.h"

#include <QUrl>

using namespace Qt::StringLiterals;

QList<Store::PlatformGroup> Store::groupsOf(const QList<AdAccount> &accounts)
{
    QList<PlatformGroup> groups;
    for (const AdAccount &account : accounts) {
        auto group = std::find_if(
            groups.begin(), groups.end(), [&](const PlatformGroup &g) { return g.id == account.platform; });
        if (group == groups.end()) {
            groups.append(PlatformGroup {account.platform, account.platformLabel, {}});
            group = groups.end() - 1;
        }
        group->accounts.append(account);
    }
    return groups;
}

QString Store::effectiveAccountsOf(
    const QList<AdAccount> &accounts, const QSet<QString> &selectedAccounts, const QSet<QString> &selectedPlatforms)
{
    QSet<QString> ids = selectedAccounts;
    for (const PlatformGroup &group : groupsOf(accounts)) {
        if (!selectedPlatforms.contains(group.id))
            continue;
        // Accounts picked one by one inside a picked platform narrow it to them.
        const bool narrowed = std::any_of(
            group.accounts.begin(), group.accounts.end(), [&](const AdAccount &a) { return ids.contains(a.id); });
        if (narrowed)
            continue;
        for (const AdAccount &a : group.accounts)
            ids.insert(a.id);
    }
    return joinIds(ids);
}

QString Store::accountsLabelOf(
    const QList<AdAccount> &accounts, const QSet<QString> &selectedAccounts, const QSet<QString> &selectedPlatforms)
{
    QList<AdAccount> picked;
    for (const AdAccount &a : accounts) {
        if (selectedAccounts.contains(a.id))
            picked.append(a);
    }
    if (picked.isEmpty()) {
        if (selectedPlatforms.isEmpty())
            return u"All accounts"_s;
        QStringList labels;
        for (const PlatformGroup &group : groupsOf(accounts)) {
            if (selectedPlatforms.contains(group.id))
                labels.append(group.label);
        }
        return labels.join(" + "_L1);
    }
    const QString sent = effectiveAccountsOf(accounts, selectedAccounts, selectedPlatforms);
    const qsizetype n = sent.split(u',').size();
    if (n == 1)
        return picked.first().name;
    return QString::number(n) + " accounts"_L1;
}

QList<Store::WorkspaceOption> Store::workspaceOptionsOf(
    const QList<Workspace> &workspaces, const std::optional<QString> &activeWorkspaceId)
{
    const Workspace *active = nullptr;
    if (activeWorkspaceId) {
        for (const Workspace &w : workspaces) {
            if (w.workspaceId == *activeWorkspaceId) {
                active = &w;
                break;
            }
        }
    }
    QList<WorkspaceOption> options;
    options.append({QString(), active ? active->name + " (active)"_L1 : u"Active workspace"_s});
    for (const Workspace &w : workspaces) {
        if (activeWorkspaceId && w.workspaceId == *activeWorkspaceId)
            continue;
        options.append({w.workspaceId, w.name});
    }
    return options;
}

QList<Store::PlatformGroup> Store::platformGroups() const
{
    return groupsOf(m_accounts);
}

QString Store::effectiveAccounts() const
{
    return effectiveAccountsOf(m_accounts, selectedAccounts(), selectedPlatforms());
}

QString Store::accountsLabel() const
{
    return accountsLabelOf(m_accounts, selectedAccounts(), selectedPlatforms());
}

QList<Store::WorkspaceOption> Store::workspaceOptions() const
{
    return workspaceOptionsOf(m_workspaces, m_activeWorkspaceId);
}

void Store::keepAccounts(const QList<AdAccount> &list)
{
    assign(m_accounts, list);
    const QSet<QString> selected = selectedAccounts();
    QSet<QString> kept;
    for (const AdAccount &a : list) {
        if (selected.contains(a.id))
            kept.insert(a.id);
    }
    // Only a dropped id is written; platformIds is never pruned.
    if (kept.size() < selected.size())
        writeString(Keys::accountIds, joinIds(kept));
}

std::optional<QUrl> Store::widgetURL(const QString &link)
{
    const QString text = link.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    // The scheme must be exactly http or https as typed (QUrl lower-cases it).
    const QString typedScheme = text.section(u':', 0, 0);
    if (typedScheme != "http"_L1 && typedScheme != "https"_L1)
        return std::nullopt;

    const QStringList pieces = url.path(QUrl::FullyEncoded).split(u'/', Qt::SkipEmptyParts);
    const qsizetype at = pieces.indexOf("embed"_L1);
    if (at < 0 || at + 1 >= pieces.size())
        return std::nullopt;

    QUrl widget = url;
    widget.setPath("/embed/"_L1 + pieces.at(at + 1) + "/widget"_L1, QUrl::TolerantMode);
    widget.setQuery(u"include=dashboard"_s);
    return widget;
}
