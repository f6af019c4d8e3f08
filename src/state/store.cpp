#include "state/store.h"

#include "net/api.h"
#include "platform/defaults.h"
#include "platform/services.h"

#include <QTimer>
#include <QVariantMap>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

std::optional<Store::Services> &sharedServices()
{
    static std::optional<Store::Services> services;
    return services;
}

} // namespace

Store::Store(Services services, QObject *parent) : QObject(parent), m_services(services), m_timer(new QTimer(this))
{
    Q_ASSERT(services.defaults && services.api && services.snapshots && services.keychain && services.browser
        && services.clock && services.loginItem);
    m_timer->setSingleShot(false);
    m_timer->setTimerType(Qt::CoarseTimer);
    QObject::connect(m_timer, &QTimer::timeout, this, &Store::startRefresh);
    if (m_services.wake)
        QObject::connect(m_services.wake, &WakeMonitor::woke, this, &Store::startRefresh);
    // Restore once the caller has had the chance to connect to our signals.
    QMetaObject::invokeMethod(
        this, [this] { auto task = restore(); }, Qt::QueuedConnection);
}

Store::~Store() = default;

void Store::setSharedServices(Services services)
{
    sharedServices() = services;
}

Store &Store::shared()
{
    static Store *instance = [] {
        if (!sharedServices())
            qFatal("Store::shared() used before Store::setSharedServices()");
        return new Store(*sharedServices());
    }();
    return *instance;
}

QUrl Store::defaultServerOrigin()
{
    return QUrl(u"https://app.quillmere.com"_s);
}

QUrl Store::serverBase() const
{
    if (m_serverOverride)
        return *m_serverOverride;
    // Only an absolute web address counts: a mistyped setting must never make
    // the program read local files or talk some other protocol.
    const QUrl url(serverURL().trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (url.isValid() && (scheme == "http"_L1 || scheme == "https"_L1) && !url.host().isEmpty())
        return url;
    return defaultServerOrigin();
}

void Store::overrideServer(const QUrl &origin)
{
    m_serverOverride = origin;
}

const QList<Store::LineTemplate> &Store::lineTemplates()
{
    static const QList<LineTemplate> rows = {
        {u"sales"_s, u"Sales"_s, u"$2.4k ($310/8) 3.2x"_s, u"{spend} ({cac}/{sales}) {roas.1}x"_s},
        {u"leads_sales"_s, u"Leads & sales"_s, u"$2.4k ($41/58•$310/8) 3.2x"_s,
            u"{spend} ({cpl.0}/{leads}•{cac}/{sales}) {roas.1}x"_s},
        {u"fe_sales"_s, u"Sales · FE ROAS"_s, u"$2.4k ($310/8) 2.1x"_s, u"{spend} ({cac}/{sales}) {roas@fe.1}x"_s},
        {u"leads_appts"_s, u"Leads & appointments"_s, u"$2.4k ($41/58•$175/14) 3.2x"_s,
            u"{spend} ({cpl.0}/{leads}•{cpa}/{appts}) {roas.1}x"_s},
        {u"lead_gen"_s, u"Lead gen"_s, u"$2.4k → 58 @ $41"_s, u"{spend} → {leads} @ {cpl.0}"_s},
        {u"profit"_s, u"Profit"_s, u"$7.7k rev · $5.3k profit"_s, u"{revenue} rev · {profit} profit"_s},
        {u"web"_s, u"From "_s + defaultServerOrigin().host(), u"Settings → Embed phone widget"_s, std::nullopt},
    };
    return rows;
}

const QList<Store::PeriodChoice> &Store::periods()
{
    static const QList<PeriodChoice> rows = {
        {u"today"_s, u"Today"_s},
        {u"yesterday"_s, u"Yesterday"_s},
        {u"last_7"_s, u"Last 7 days"_s},
        {u"last_14"_s, u"Last 14 days"_s},
        {u"last_30"_s, u"Last 30 days"_s},
        {u"this_month"_s, u"This month"_s},
        {u"last_month"_s, u"Last month"_s},
    };
    return rows;
}

// ---- settings --------------------------------------------------------------

QString Store::serverURL() const
{
    return m_services.defaults->string(Keys::serverURL, defaultServerOrigin().toString());
}
QString Store::embedLink() const
{
    return m_services.defaults->string(Keys::embedLink, QString());
}
QString Store::workspaceId() const
{
    return m_services.defaults->string(Keys::workspaceId, QString());
}
QString Store::period() const
{
    return m_services.defaults->string(Keys::period, u"today"_s);
}
QString Store::accountIds() const
{
    return m_services.defaults->string(Keys::accountIds, QString());
}
QString Store::platformIds() const
{
    return m_services.defaults->string(Keys::platformIds, QString());
}
QString Store::lineTemplate() const
{
    return m_services.defaults->string(Keys::lineTemplate, u"sales"_s);
}
qint64 Store::refreshMinutes() const
{
    return m_services.defaults->integer(Keys::refreshMinutes, 5);
}
qint64 Store::lineIndex() const
{
    return m_services.defaults->integer(Keys::lineIndex, 0);
}
qint64 Store::maxLength() const
{
    return m_services.defaults->integer(Keys::maxLength, 40);
}
bool Store::showIcon() const
{
    return m_services.defaults->boolean(Keys::showIcon, true);
}

void Store::writeString(const QString &key, const QString &value)
{
    Q_EMIT objectWillChange();
    m_services.defaults->setString(key, value);
    Q_EMIT changed();
}

void Store::writeInteger(const QString &key, qint64 value)
{
    Q_EMIT objectWillChange();
    m_services.defaults->setInteger(key, value);
    Q_EMIT changed();
}

void Store::writeBoolean(const QString &key, bool value)
{
    Q_EMIT objectWillChange();
    m_services.defaults->setBoolean(key, value);
    Q_EMIT changed();
}

// The address is used from the next operation on; nothing shown depends on it.
void Store::setServerURL(const QString &value)
{
    m_services.defaults->setString(Keys::serverURL, value);
}
void Store::setEmbedLink(const QString &value)
{
    writeString(Keys::embedLink, value);
}

void Store::setWorkspaceId(const QString &value)
{
    const QString old = workspaceId();
    writeString(Keys::workspaceId, value);
    if (workspaceId() != old)
        startRefresh();
}

void Store::setPeriod(const QString &value)
{
    writeString(Keys::period, value);
}
void Store::setAccountIds(const QString &value)
{
    writeString(Keys::accountIds, value);
}
void Store::setPlatformIds(const QString &value)
{
    writeString(Keys::platformIds, value);
}
void Store::setLineTemplate(const QString &value)
{
    writeString(Keys::lineTemplate, value);
}

void Store::setRefreshMinutes(qint64 value)
{
    writeInteger(Keys::refreshMinutes, value);
    schedule();
}

void Store::setLineIndex(qint64 value)
{
    writeInteger(Keys::lineIndex, value);
}
void Store::setMaxLength(qint64 value)
{
    writeInteger(Keys::maxLength, value);
}
void Store::setShowIcon(bool value)
{
    writeBoolean(Keys::showIcon, value);
}

void Store::setTimeframe(const std::optional<QString> &timeframe)
{
    assign(m_timeframe, timeframe);
}

void Store::setTimeframeText(const QString &timeframe)
{
    setTimeframe(timeframe.isEmpty() ? std::nullopt : std::optional<QString>(timeframe));
}

// ---- derived reads ---------------------------------------------------------

bool Store::connected() const
{
    return m_user.has_value() || !embedLink().isEmpty();
}

QStringList Store::linesOf(const std::optional<Payload> &payload)
{
    if (!payload)
        return {};
    if (!payload->lines.isEmpty())
        return payload->lines;
    if (payload->text)
        return {*payload->text};
    return {};
}

QStringList Store::lines() const
{
    return linesOf(m_payload);
}

QSet<QString> Store::idSet(const QString &joined)
{
    QSet<QString> ids;
    for (const QString &piece : joined.split(u',', Qt::SkipEmptyParts))
        ids.insert(piece);
    return ids;
}

QString Store::joinIds(const QSet<QString> &ids)
{
    QStringList sorted(ids.begin(), ids.end());
    // QString's operator< compares UTF-16 code units; compare code points.
    std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
        const QList<uint> ua = a.toUcs4(), ub = b.toUcs4();
        return std::lexicographical_compare(ua.begin(), ua.end(), ub.begin(), ub.end());
    });
    return sorted.join(u',');
}

QSet<QString> Store::selectedAccounts() const
{
    return idSet(accountIds());
}
QSet<QString> Store::selectedPlatforms() const
{
    return idSet(platformIds());
}

std::optional<QString> Store::templateFor(const QString &lineTemplateId)
{
    const auto &rows = lineTemplates();
    for (const LineTemplate &row : rows) {
        if (row.id == lineTemplateId)
            return row.templ;
    }
    return rows.first().templ;
}

std::optional<QString> Store::effectiveTemplate() const
{
    return templateFor(lineTemplate());
}

bool Store::launchAtLogin() const
{
    m_launchAtLoginSeen = m_services.loginItem->enabled();
    return *m_launchAtLoginSeen;
}

void Store::recheckLaunchAtLogin()
{
    const std::optional<bool> seen = m_launchAtLoginSeen;
    if (seen && *seen == m_services.loginItem->enabled())
        return;
    Q_EMIT objectWillChange();
    Q_EMIT changed();
}

void Store::setLaunchAtLogin(bool enabled)
{
    if (const std::optional<QString> failure = m_services.loginItem->setEnabled(enabled))
        assign(m_error, std::optional<QString>(*failure));
    // The registration changed outside our fields; let the views read it again.
    Q_EMIT objectWillChange();
    Q_EMIT changed();
}

// ---- QML forms ---------------------------------------------------------------

namespace {

QVariantMap accountMap(const AdAccount &a)
{
    return {{u"id"_s, a.id}, {u"name"_s, a.name}, {u"platform"_s, a.platform}, {u"platformLabel"_s, a.platformLabel}};
}

} // namespace

QVariantList Store::workspaceList() const
{
    QVariantList list;
    for (const Workspace &w : m_workspaces)
        list.append(QVariantMap {{u"workspaceId"_s, w.workspaceId}, {u"name"_s, w.name}, {u"role"_s, w.role}});
    return list;
}

QVariantList Store::accountList() const
{
    QVariantList list;
    for (const AdAccount &a : m_accounts)
        list.append(accountMap(a));
    return list;
}

QVariantList Store::workspaceOptionList() const
{
    QVariantList list;
    for (const WorkspaceOption &o : workspaceOptions())
        list.append(QVariantMap {{u"id"_s, o.id}, {u"name"_s, o.name}});
    return list;
}

QVariantList Store::platformGroupList() const
{
    QVariantList list;
    for (const PlatformGroup &g : platformGroups()) {
        QVariantList accounts;
        for (const AdAccount &a : g.accounts)
            accounts.append(accountMap(a));
        list.append(QVariantMap {{u"id"_s, g.id}, {u"label"_s, g.label}, {u"accounts"_s, accounts}});
    }
    return list;
}

QVariantList Store::lineTemplateList()
{
    QVariantList list;
    for (const LineTemplate &row : lineTemplates())
        list.append(QVariantMap {{u"id"_s, row.id}, {u"label"_s, row.label}, {u"sample"_s, row.sample}});
    return list;
}

QStringList Store::selectedAccountList() const
{
    return Store::joinIds(selectedAccounts()).split(u',', Qt::SkipEmptyParts);
}

QStringList Store::selectedPlatformList() const
{
    return Store::joinIds(selectedPlatforms()).split(u',', Qt::SkipEmptyParts);
}

QVariantList Store::periodList()
{
    QVariantList list;
    for (const PeriodChoice &row : periods())
        list.append(QVariantMap {{u"key"_s, row.key}, {u"label"_s, row.label}});
    return list;
}

// ---- background starts -------------------------------------------------------
// A dropped QCoro::Task keeps running and frees itself when done; the
// operations never throw and stop when the Store goes away meanwhile.

void Store::startRefresh()
{
    auto task = refresh();
}
void Store::startRefreshIfStale()
{
    auto task = refreshIfStale();
}
void Store::startConnect(const QString &link, const QString &password)
{
    auto task = connect(link, password);
}
void Store::startDisconnect()
{
    auto task = disconnect();
}

void Store::startToggleAccount(const QString &id)
{
    auto task = toggleAccount(id.isEmpty() ? std::nullopt : std::optional<QString>(id));
}

void Store::startTogglePlatform(const QString &key)
{
    auto task = togglePlatform(key);
}
void Store::startSelectLineTemplate(const QString &id)
{
    auto task = selectLineTemplate(id);
}
