#include "model/records.h"

#include <QJsonDocument>

using namespace Qt::StringLiterals;
using json::ObjectReader;

User User::fromJson(const QJsonValue &value, const json::Path &path)
{
    return read(ObjectReader(value, path));
}

User User::read(const ObjectReader &r)
{
    User u;
    u.id = r.string("id"_L1);
    u.email = r.string("email"_L1);
    u.role = r.string("role"_L1);
    return u;
}

Workspace Workspace::fromJson(const QJsonValue &value, const json::Path &path)
{
    return read(ObjectReader(value, path));
}

Workspace Workspace::read(const ObjectReader &r)
{
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
    return read(ObjectReader(value, path));
}

WorkspaceList WorkspaceList::read(const ObjectReader &r)
{
    WorkspaceList l;
    l.workspaces = r.records<Workspace>("workspaces"_L1);
    l.currentWorkspaceId = r.optionalString("currentWorkspaceId"_L1);
    return l;
}

AdAccount AdAccount::fromJson(const QJsonValue &value, const json::Path &path)
{
    return read(ObjectReader(value, path));
}

AdAccount AdAccount::read(const ObjectReader &r)
{
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
    return read(ObjectReader(value, path));
}

AdAccountList AdAccountList::read(const ObjectReader &r)
{
    return AdAccountList {r.records<AdAccount>("accounts"_L1)};
}

Payload::Period Payload::Period::fromJson(const QJsonValue &value, const json::Path &path)
{
    return read(ObjectReader(value, path));
}

Payload::Period Payload::Period::read(const ObjectReader &r)
{
    Period p;
    p.key = r.string("key"_L1);
    p.label = r.string("label"_L1);
    return p;
}

Payload::Tile Payload::Tile::fromJson(const QJsonValue &value, const json::Path &path)
{
    return read(ObjectReader(value, path));
}

Payload::Tile Payload::Tile::read(const ObjectReader &r)
{
    Tile t;
    t.key = r.string("key"_L1);
    t.label = r.string("label"_L1);
    t.value = r.string("value"_L1);
    t.accent = r.boolean("accent"_L1);
    t.caption = r.optionalString("caption"_L1);
    return t;
}

Payload::Row Payload::Row::fromJson(const QJsonValue &value, const json::Path &path)
{
    return read(ObjectReader(value, path));
}

Payload::Row Payload::Row::read(const ObjectReader &r)
{
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
    return read(ObjectReader(value, path));
}

Payload::Column Payload::Column::read(const ObjectReader &r)
{
    Column c;
    c.key = r.string("key"_L1);
    c.label = r.string("label"_L1);
    return c;
}

Payload::SourceRow Payload::SourceRow::fromJson(const QJsonValue &value, const json::Path &path)
{
    return read(ObjectReader(value, path));
}

Payload::SourceRow Payload::SourceRow::read(const ObjectReader &r)
{
    SourceRow s;
    s.id = r.string("id"_L1);
    s.name = r.string("name"_L1);
    s.rest = r.boolean("rest"_L1);
    s.values = r.strings("values"_L1);
    s.kind = r.optionalString("kind"_L1);
    s.channel = r.optionalString("channel"_L1);
    s.children = r.optionalRecords<SourceRow>("children"_L1);
    return s;
}

Payload::Sources Payload::Sources::fromJson(const QJsonValue &value, const json::Path &path)
{
    return read(ObjectReader(value, path));
}

Payload::Sources Payload::Sources::read(const ObjectReader &r)
{
    Sources s;
    s.columns = r.records<Column>("columns"_L1);
    s.rows = r.records<SourceRow>("rows"_L1);
    s.totals = r.strings("totals"_L1);
    return s;
}

Payload::Dashboard Payload::Dashboard::fromJson(const QJsonValue &value, const json::Path &path)
{
    return read(ObjectReader(value, path));
}

Payload::Dashboard Payload::Dashboard::read(const ObjectReader &r)
{
    Dashboard d;
    d.workspaceName = r.string("workspaceName"_L1);
    d.timeframe = r.string("timeframe"_L1);
    d.asset = r.string("asset"_L1);
    d.partial = r.boolean("partial"_L1);
    d.tiles = r.records<Tile>("tiles"_L1);
    d.rows = r.records<Row>("rows"_L1);
    d.timeframeKey = r.optionalString("timeframeKey"_L1);
    d.timeframes = r.optionalRecords<Period>("timeframes"_L1);
    d.sources = r.optionalRecord<Sources>("sources"_L1);
    return d;
}

Payload Payload::fromJson(const QJsonValue &value, const json::Path &path)
{
    return read(ObjectReader(value, path));
}

Payload Payload::read(const ObjectReader &r)
{
    Payload p;
    p.lines = r.strings("lines"_L1);
    p.text = r.optionalString("text"_L1);
    p.dashboard = r.optionalRecord<Dashboard>("dashboard"_L1);
    return p;
}

ApiMeResponse ApiMeResponse::fromJson(const QJsonValue &value, const json::Path &path)
{
    return read(ObjectReader(value, path));
}

ApiMeResponse ApiMeResponse::read(const ObjectReader &r)
{
    return ApiMeResponse {r.record<User>("user"_L1)};
}

template<> ApiEmpty decodeJson<ApiEmpty>(const QByteArray &bytes)
{
    QJsonParseError error {};
    QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(QString(), QStringLiteral("the answer is not valid JSON (%1)").arg(error.errorString()));
    return {};
}

bool operator==(const Payload::SourceRow &a, const Payload::SourceRow &b)
{
    return a.id == b.id && a.name == b.name && a.kind == b.kind && a.channel == b.channel && a.rest == b.rest
        && a.values == b.values && a.children == b.children;
}
