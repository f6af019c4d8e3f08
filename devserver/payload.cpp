#include "payload.h"

#include "render.h"

#include <QJsonArray>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace devserver {

namespace {

QString money(qint64 cents)
{
    return format::money(double(cents) / 100.0);
}

QString roas(const Metrics &m)
{
    return *renderPlaceholder(u"roas.2", m) + (m.spendCents > 0 ? u"x"_s : QString());
}

bool inScope(const AccountInfo &a, const LineRequest &req)
{
    return req.accountIds.isEmpty() || req.accountIds.contains(a.id);
}

// One row of the sources tree before it becomes JSON.
struct Node {
    QString id;
    QString name;
    QString kind;
    QString channel;
    bool rest = false;
    Metrics m;
    QList<Node> children;
};

QJsonArray sourceValues(const Metrics &m)
{
    return QJsonArray {format::count(m.clicks), m.spendCents > 0 ? money(m.spendCents) : format::unavailable(),
        format::count(m.sales), money(m.revenueCents), roas(m)};
}

// Remainder rows go last; the others by visits, biggest first. Rows without
// visits in the range are left out, so the tree changes size over the day.
void arrange(QList<Node> &nodes)
{
    nodes.removeIf([](const Node &n) { return n.m.clicks <= 0 && n.m.spendCents <= 0; });
    std::stable_sort(nodes.begin(), nodes.end(), [](const Node &a, const Node &b) {
        if (a.rest != b.rest)
            return !a.rest;
        return a.m.clicks > b.m.clicks;
    });
    for (Node &n : nodes)
        arrange(n.children);
}

QJsonObject nodeJson(const Node &n)
{
    QJsonObject o {{u"id"_s, n.id}, {u"name"_s, n.name}, {u"rest"_s, n.rest}, {u"values"_s, sourceValues(n.m)}};
    if (!n.kind.isEmpty())
        o.insert(u"kind"_s, n.kind);
    if (!n.channel.isEmpty())
        o.insert(u"channel"_s, n.channel);
    if (!n.children.isEmpty()) {
        QJsonArray kids;
        for (const Node &c : n.children)
            kids.append(nodeJson(c));
        o.insert(u"children"_s, kids);
    }
    return o;
}

Node organicNode(const DemoData &data, const SourceNode &s, const QString &period)
{
    Node n {s.id, s.name, s.kind, s.channel, s.rest, {}, {}};
    if (s.children.isEmpty()) {
        n.m = data.leafFigures(s.id, period);
        return n;
    }
    for (const SourceNode &c : s.children) {
        n.children.append(organicNode(data, c, period));
        n.m += n.children.last().m;
    }
    return n;
}

QJsonObject sourcesJson(const DemoData &data, const WorkspaceInfo &w, const LineRequest &req, const QString &period)
{
    QList<Node> top;
    // Paid channels: platform, then campaign, then ad group.
    for (const AccountInfo &a : w.accounts) {
        if (!inScope(a, req) || !a.synced)
            continue;
        auto it = std::find_if(top.begin(), top.end(), [&](const Node &n) { return n.channel == a.platform; });
        if (it == top.end()) {
            top.append(Node {w.id + u'/' + a.platform, a.platformLabel, u"Paid"_s, a.platform, false, {}, {}});
            it = top.end() - 1;
        }
        for (const CampaignInfo &c : w.campaigns) {
            if (c.accountId != a.id)
                continue;
            Node cn {it->id + u'/' + c.id, c.name, u"Campaign"_s, {}, false, data.campaignFigures(c.id, period), {}};
            for (int g = 0; g < c.adGroups.size(); ++g)
                cn.children.append(Node {cn.id + u"/g"_s + QString::number(g), c.adGroups.at(g), u"Ad group"_s, {},
                    false, data.adGroupFigures(c, g, period), {}});
            it->m += cn.m;
            it->children.append(cn);
        }
    }
    for (const SourceNode &s : w.organic)
        top.append(organicNode(data, s, period));
    arrange(top);

    Metrics total;
    QJsonArray rows;
    for (const Node &n : std::as_const(top)) {
        total += n.m;
        rows.append(nodeJson(n));
    }
    QJsonArray columns;
    for (const auto &[key, label] :
        {std::pair {u"visits"_s, u"Visits"_s}, std::pair {u"spend"_s, u"Spend"_s}, std::pair {u"sales"_s, u"Sales"_s},
            std::pair {u"revenue"_s, u"Revenue"_s}, std::pair {u"roas"_s, u"ROAS"_s}})
        columns.append(QJsonObject {{u"key"_s, key}, {u"label"_s, label}});
    return QJsonObject {{u"columns"_s, columns}, {u"rows"_s, rows}, {u"totals"_s, sourceValues(total)}};
}

QJsonObject tile(const QString &key, const QString &label, const QString &value, const QString &caption, bool accent)
{
    QJsonObject t {{u"key"_s, key}, {u"label"_s, label}, {u"value"_s, value}, {u"accent"_s, accent}};
    t.insert(u"caption"_s, caption.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(caption));
    return t;
}

QJsonObject dashboardJson(const DemoData &data, const WorkspaceInfo &w, const LineRequest &req)
{
    const QString period = req.dashboardTimeframe.isEmpty() ? req.timeframe : req.dashboardTimeframe;
    Metrics total;
    bool partial = false;
    struct RowData {
        QString id;
        QString name;
        bool active;
        Metrics m;
    };
    QList<RowData> rows;
    for (const AccountInfo &a : w.accounts) {
        if (!inScope(a, req))
            continue;
        if (!a.synced) {
            partial = true;
            continue;
        }
        Metrics accountTotal;
        bool anyActive = false;
        for (const CampaignInfo &c : w.campaigns) {
            if (c.accountId != a.id)
                continue;
            const Metrics m = data.campaignFigures(c.id, period);
            accountTotal += m;
            anyActive = anyActive || data.campaignActive(c.id);
            if (!w.rowsByAccount)
                rows.append(RowData {c.id, c.name, data.campaignActive(c.id), m});
        }
        if (w.rowsByAccount)
            rows.append(RowData {a.id, a.name, anyActive, accountTotal});
        total += accountTotal;
    }
    std::stable_sort(
        rows.begin(), rows.end(), [](const RowData &x, const RowData &y) { return x.m.spendCents > y.m.spendCents; });
    QJsonArray rowArray;
    for (const RowData &r : std::as_const(rows))
        rowArray.append(QJsonObject {{u"id"_s, r.id}, {u"name"_s, r.name}, {u"active"_s, r.active},
            {u"spend"_s, money(r.m.spendCents)}, {u"revenue"_s, money(r.m.revenueCents)}, {u"roas"_s, roas(r.m)}});

    auto ph = [&total](const char16_t *spec) { return *renderPlaceholder(QStringView(spec), total); };
    QJsonArray tiles {
        tile(u"spend"_s, u"Spend"_s, ph(u"spend"), QString(), false),
        tile(u"revenue"_s, u"Revenue"_s, ph(u"revenue"), ph(u"revenue@fe") + u" front-end"_s, false),
        tile(u"roas"_s, u"ROAS"_s, roas(total), u"FE "_s + ph(u"roas@fe.1") + u'x', true),
    };
    if (w.rowsByAccount) {
        tiles.append(tile(u"leads"_s, u"Leads"_s, ph(u"leads"), ph(u"cpl.0") + u" per lead"_s, false));
        tiles.append(tile(u"appts"_s, u"Appointments"_s, ph(u"appts"), ph(u"cpa") + u" each"_s, false));
    } else {
        tiles.append(tile(u"sales"_s, u"Sales"_s, ph(u"sales"), ph(u"cac") + u" per sale"_s, false));
        tiles.append(tile(u"profit"_s, u"Profit"_s, ph(u"profit"), QString(), total.revenueCents > total.spendCents));
    }

    QJsonArray timeframes;
    for (const Period &p : periods())
        timeframes.append(QJsonObject {{u"key"_s, p.key}, {u"label"_s, p.label}});
    QJsonObject d {{u"workspaceName"_s, w.name},
        {u"timeframe"_s, periodFor(period).value_or(Period {period, period}).label}, {u"timeframeKey"_s, period},
        {u"timeframes"_s, timeframes}, {u"asset"_s, w.asset}, {u"partial"_s, partial}, {u"tiles"_s, tiles},
        {u"rows"_s, rowArray}};
    if (w.hasSources)
        d.insert(u"sources"_s, sourcesJson(data, w, req, period));
    return d;
}

} // namespace

std::optional<RequestError> checkTimeframe(const QString &key)
{
    if (periodFor(key))
        return std::nullopt;
    return RequestError {400, u"Unknown date range \""_s + key + u"\"."_s};
}

QJsonObject accountJson(const AccountInfo &a)
{
    return QJsonObject {
        {u"id"_s, a.id}, {u"name"_s, a.name}, {u"platform"_s, a.platform}, {u"platformLabel"_s, a.platformLabel}};
}

QJsonObject accountListJson(const WorkspaceInfo &w)
{
    QJsonArray list;
    for (const AccountInfo &a : w.accounts)
        list.append(accountJson(a));
    return QJsonObject {{u"accounts"_s, list}};
}

QJsonObject buildPayload(const DemoData &data, const WorkspaceInfo &w, const LineRequest &req)
{
    // An empty template is treated like none: the workspace's own applies.
    const QString tpl = req.lineTemplate && !req.lineTemplate->isEmpty() ? *req.lineTemplate : w.defaultTemplate;
    Metrics total;
    QList<std::pair<QString, Metrics>> byPlatform;
    for (const AccountInfo &a : w.accounts) {
        if (!inScope(a, req) || !a.synced)
            continue;
        Metrics m;
        for (const CampaignInfo &c : w.campaigns)
            if (c.accountId == a.id)
                m += data.campaignFigures(c.id, req.timeframe);
        total += m;
        auto it = std::find_if(
            byPlatform.begin(), byPlatform.end(), [&](const auto &p) { return p.first == a.platformLabel; });
        if (it == byPlatform.end())
            byPlatform.append({a.platformLabel, m});
        else
            it->second += m;
    }
    const QString first = renderTemplate(tpl, total);
    QJsonArray lines {first};
    // One more line per platform, when there is more than one.
    if (byPlatform.size() > 1)
        for (const auto &[label, m] : std::as_const(byPlatform))
            lines.append(label + u": "_s + renderTemplate(tpl, m));
    QJsonObject payload {{u"text"_s, first}, {u"lines"_s, lines}};
    if (req.includeDashboard)
        payload.insert(u"dashboard"_s, dashboardJson(data, w, req));
    return payload;
}

} // namespace devserver

namespace devserver {

std::variant<LineRequest, RequestError> parseLineRequest(const QHash<QString, QString> &args)
{
    LineRequest req;
    req.timeframe = args.value(u"timeframe"_s, u"today"_s);
    if (auto bad = checkTimeframe(req.timeframe))
        return *bad;
    req.dashboardTimeframe = args.value(u"dashboardTimeframe"_s);
    if (!req.dashboardTimeframe.isEmpty())
        if (auto bad = checkTimeframe(req.dashboardTimeframe))
            return *bad;
    req.accountIds = args.value(u"accounts"_s).split(u',', Qt::SkipEmptyParts);
    if (args.contains(u"template"_s))
        req.lineTemplate = args.value(u"template"_s);
    req.includeDashboard = args.value(u"include"_s) == "dashboard"_L1;
    return req;
}

} // namespace devserver
