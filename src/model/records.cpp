#include "model/records.h"

#include <QJsonDocument>

using namespace Qt::StringLiterals;
using json::ObjectReader;

User User::fromJson(const QJsonValue &value, const json::Path &path)
{
    const ObjectReader r(value, path);
    User u;
    u.id = r.string("id"_L1);
    u.email = r.string("email"_L1);
    u.role = r.string("role"_L1);
    return u;
}

Workspace Workspace::fromJson(const QJsonValue &value, const json::Path &path)
{
    const ObjectReader r(value, path);
    Workspace w;
    w.workspaceId = r.string("workspaceId"_L1);
    w.name = r.string("name"_L1);
    w.role = r.string("role"_L1);
    return w;
}

size_t qHash(const Workspace &w, size_t seed) noexcept
{
    return qHashMulti(seed, w.workspaceId, w.name, w.role);
}

WorkspaceList WorkspaceList::fromJson(const QJsonValue &value, const json::Path &path)
{
    const ObjectReader r(value, path);
    WorkspaceList l;
    l.workspaces = r.records<Workspace>("workspaces"_L1);
    l.currentWorkspaceId = r.optionalString("currentWorkspaceId"_L1);
    return l;
}

AdAccount AdAccount::fromJson(const QJsonValue &value, const json::Path &path)
{
    const ObjectReader r(value, path);
    AdAccount a;
    a.id = r.string("id"_L1);
    a.name = r.string("name"_L1);
    a.platform = r.string("platform"_L1);
    a.platformLabel = r.string("platformLabel"_L1);
    return a;
}

size_t qHash(const AdAccount &a, size_t seed) noexcept
{
    return qHashMulti(seed, a.id, a.name, a.platform, a.platformLabel);
}

AdAccountList AdAccountList::fromJson(const QJsonValue &value, const json::Path &path)
{
    const ObjectReader r(value, path);
    return AdAccountList{r.records<AdAccount>("accounts"_L1)};
}

Payload::Period Payload::Period::fromJson(const QJsonValue &value, const json::Path &path)
{
    const ObjectReader r(value, path);
    Period p;
    p.key = r.string("key"_L1);
    p.label = r.string("label"_L1);
    return p;
}

Payload::Tile Payload::Tile::fromJson(const QJsonValue &value, const json::Path &path)
{
    const ObjectReader r(value, path);
    Tile t;
    t.key = r.string("key"_L1);
    t.label = r.string("label"_L1);
    t.value = r.string("value"_L1);
    t.caption = r.optionalString("caption"_L1);
    t.accent = r.boolean("accent"_L1);
    return t;
}

Payload::Row Payload::Row::fromJson(const QJsonValue &value, const json::Path &path)
{
    const ObjectReader r(value, path);
    Row row;
    row.id = r.string("id"_L1);
    row.name = r.string("name"_L1);
    row.active = r.boolean("active"_L1);
    row.spend = r.string("spend"_L1);
    row.revenue = r.string("revenue"_L1);
    row.roas = r.string("roas"_L1);
    return row;
}

Payload::Column Payload::Column::fromJson(const QJsonValue &value, const json::Path &path)
{
    const ObjectReader r(value, path);
    Column c;
    c.key = r.string("key"_L1);
    c.label = r.string("label"_L1);
    return c;
}

Payload::SourceRow Payload::SourceRow::fromJson(const QJsonValue &value, const json::Path &path)
{
    const ObjectReader r(value, path);
    SourceRow s;
    s.id = r.string("id"_L1);
    s.name = r.string("name"_L1);
    s.kind = r.optionalString("kind"_L1);
    s.channel = r.optionalString("channel"_L1);
    s.rest = r.boolean("rest"_L1);
    s.values = r.strings("values"_L1);
    s.children = r.optionalRecords<SourceRow>("children"_L1);
    return s;
}

Payload::Sources Payload::Sources::fromJson(const QJsonValue &value, const json::Path &path)
{
    const ObjectReader r(value, path);
    Sources s;
    s.columns = r.records<Column>("columns"_L1);
    s.rows = r.records<SourceRow>("rows"_L1);
    s.totals = r.strings("totals"_L1);
    return s;
}

Payload::Dashboard Payload::Dashboard::fromJson(const QJsonValue &value, const json::Path &path)
{
    const ObjectReader r(value, path);
    Dashboard d;
    d.workspaceName = r.string("workspaceName"_L1);
    d.timeframe = r.string("timeframe"_L1);
    d.timeframeKey = r.optionalString("timeframeKey"_L1);
    d.timeframes = r.optionalRecords<Period>("timeframes"_L1);
    d.asset = r.string("asset"_L1);
    d.partial = r.boolean("partial"_L1);
    d.tiles = r.records<Tile>("tiles"_L1);
    d.rows = r.records<Row>("rows"_L1);
    d.sources = r.optionalRecord<Sources>("sources"_L1);
    return d;
}

Payload Payload::fromJson(const QJsonValue &value, const json::Path &path)
{
    const ObjectReader r(value, path);
    Payload p;
    p.text = r.optionalString("text"_L1);
    p.lines = r.strings("lines"_L1);
    p.dashboard = r.optionalRecord<Dashboard>("dashboard"_L1);
    return p;
}

ApiMeResponse ApiMeResponse::fromJson(const QJsonValue &value, const json::Path &path)
{
    const ObjectReader r(value, path);
    return ApiMeResponse{r.record<User>("user"_L1)};
}

template<>
ApiEmpty decodeJson<ApiEmpty>(const QByteArray &bytes)
{
    QJsonParseError error{};
    QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(QString(), QStringLiteral("the answer is not valid JSON (%1)").arg(error.errorString()));
    return {};
}
