#include "dashboardmodel.h"

#include "appcontext.h"
#include "state/store.h"

#include <QJSEngine>
#include <QQmlEngine>

using namespace Qt::StringLiterals;

// ---- SourcesData ---------------------------------------------------------

SourcesData::SourcesData(Payload::Sources sources, QObject *parent) : QObject(parent), m_sources(std::move(sources)) { }

QStringList SourcesData::columns() const
{
    QStringList labels;
    for (const Payload::Column &c : m_sources.columns)
        labels.append(c.label);
    return labels;
}

// ---- SourceLines ---------------------------------------------------------

SourceLines::SourceLines(QObject *parent) : QAbstractListModel(parent) { }

void SourceLines::setSources(SourcesData *data)
{
    if (m_data == data)
        return;
    beginResetModel();
    if (m_data)
        disconnect(m_data, nullptr, this, nullptr);
    m_data = data;
    m_lines = m_data ? walk(m_data->sources().rows, m_expanded) : QList<Line>();
    // The lines point into the data: they go with it.
    if (m_data)
        connect(m_data, &QObject::destroyed, this, [this] {
            beginResetModel();
            m_lines.clear();
            endResetModel();
            Q_EMIT sourcesChanged();
            Q_EMIT linesChanged();
        });
    endResetModel();
    Q_EMIT sourcesChanged();
    Q_EMIT linesChanged();
}

QList<SourceLines::Line> SourceLines::walk(const QList<Payload::SourceRow> &rows, const QSet<QString> &expanded)
{
    QList<Line> lines;
    // Depth first, each row followed directly by its shown descendants.
    auto visit = [&](auto &&self, const QList<Payload::SourceRow> &list, int depth) -> void {
        for (const Payload::SourceRow &row : list) {
            lines.append(Line {&row, depth});
            if (row.children && expanded.contains(row.id))
                self(self, *row.children, depth + 1);
        }
    };
    visit(visit, rows, 0);
    return lines;
}

void SourceLines::toggle(const QString &id)
{
    if (!m_data)
        return;
    // Only a row that has children can be expanded.
    const bool expandable = std::any_of(
        m_lines.cbegin(), m_lines.cend(), [&](const Line &l) { return l.row->id == id && hasChildren(*l.row); });
    if (!expandable)
        return;
    if (m_expanded.contains(id))
        m_expanded.remove(id);
    else
        m_expanded.insert(id);
    rebuild();
}

void SourceLines::rebuild()
{
    // One toggle shows or hides one run of lines; everything before and
    // after it stays, so the delegates of those lines live on.
    const QList<Line> next = walk(m_data->sources().rows, m_expanded);
    auto same = [](const Line &a, const Line &b) { return a.row == b.row && a.depth == b.depth; };
    qsizetype head = 0;
    while (head < m_lines.size() && head < next.size() && same(m_lines[head], next[head]))
        ++head;
    qsizetype tail = 0;
    while (tail < m_lines.size() - head && tail < next.size() - head
        && same(m_lines[m_lines.size() - 1 - tail], next[next.size() - 1 - tail]))
        ++tail;
    const qsizetype removed = m_lines.size() - head - tail;
    const qsizetype added = next.size() - head - tail;
    if (removed > 0) {
        beginRemoveRows(QModelIndex(), int(head), int(head + removed - 1));
        m_lines.remove(head, removed);
        endRemoveRows();
    }
    if (added > 0) {
        beginInsertRows(QModelIndex(), int(head), int(head + added - 1));
        for (qsizetype i = 0; i < added; ++i)
            m_lines.insert(head + i, next[head + i]);
        endInsertRows();
    }
    if (!m_lines.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_lines.size()) - 1), {ExpandedRole});
    Q_EMIT linesChanged();
}

QStringList SourceLines::expandedIds() const
{
    QStringList ids(m_expanded.cbegin(), m_expanded.cend());
    ids.sort();
    return ids;
}

QVariantList SourceLines::cells() const
{
    QVariantList cells;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Line &l = m_lines[i];
        for (qsizetype c = 0; c < l.row->values.size(); ++c)
            cells.append(QVariantMap {{u"line"_s, int(i)}, {u"column"_s, int(c)}, {u"text"_s, l.row->values[c]},
                {u"depth"_s, l.depth}, {u"rest"_s, l.row->rest}});
    }
    return cells;
}

int SourceLines::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

QVariant SourceLines::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const Line &l = m_lines[index.row()];
    const Payload::SourceRow &row = *l.row;
    switch (role) {
    case RowIdRole:
        return row.id;
    case Qt::DisplayRole:
    case NameRole:
        return row.name;
    case DepthRole:
        return l.depth;
    case RestRole:
        return row.rest;
    case HasChildrenRole:
        return hasChildren(row);
    case ExpandedRole:
        return m_expanded.contains(row.id);
    case SymbolRole:
        return symbolOf(row.channel);
    case TintRole:
        return tintOf(row.channel);
    case ToolTipRole:
        return toolTipOf(row);
    case ValuesRole:
        return row.values;
    default:
        return QVariant();
    }
}

QHash<int, QByteArray> SourceLines::roleNames() const
{
    return {{RowIdRole, "rowId"}, {NameRole, "name"}, {DepthRole, "depth"}, {RestRole, "rest"},
        {HasChildrenRole, "hasChildren"}, {ExpandedRole, "expanded"}, {SymbolRole, "symbol"}, {TintRole, "tint"},
        {ToolTipRole, "toolTip"}, {ValuesRole, "values"}};
}

QVariantMap SourceLines::line(int i) const
{
    QVariantMap map;
    if (i < 0 || i >= m_lines.size())
        return map;
    const QHash<int, QByteArray> names = roleNames();
    for (auto it = names.cbegin(); it != names.cend(); ++it)
        map.insert(QString::fromLatin1(it.value()), data(index(i), it.key()));
    return map;
}

int SourceLines::lastUnder(int index) const
{
    if (index < 0 || index >= m_lines.size())
        return index;
    int last = index;
    while (last + 1 < m_lines.size() && m_lines[last + 1].depth > m_lines[index].depth)
        ++last;
    return last;
}

QString SourceLines::symbolOf(const std::optional<QString> &channel)
{
    // Exact, case-sensitive channel keys.
    static const QHash<QString, QString> symbols {
        {u"facebook"_s, u"f.square.fill"_s},
        {u"google_ads"_s, u"g.circle.fill"_s},
        {u"tiktok_ads"_s, u"t.square.fill"_s},
        {u"reddit_ads"_s, u"r.circle.fill"_s},
        {u"linkedin_ads"_s, u"megaphone.fill"_s},
        {u"microsoft_ads"_s, u"megaphone.fill"_s},
        {u"x_ads"_s, u"megaphone.fill"_s},
        {u"pinterest_ads"_s, u"megaphone.fill"_s},
        {u"snapchat_ads"_s, u"megaphone.fill"_s},
        {u"other_paid"_s, u"megaphone.fill"_s},
        {u"ai"_s, u"sparkles"_s},
        {u"organic_search"_s, u"magnifyingglass"_s},
        {u"organic_social"_s, u"person.2.fill"_s},
        {u"email"_s, u"envelope.fill"_s},
        {u"referral"_s, u"link"_s},
        {u"direct"_s, u"cursorarrow.rays"_s},
        {u"offline"_s, u"tray.full.fill"_s},
        {u"untracked"_s, u"questionmark.circle"_s},
    };
    return channel ? symbols.value(*channel, u"globe"_s) : u"globe"_s;
}

QColor SourceLines::tintOf(const std::optional<QString> &channel)
{
    if (channel == u"facebook"_s)
        return QColor::fromRgbF(0.09f, 0.47f, 0.95f);
    if (channel == u"google_ads"_s)
        return QColor::fromRgbF(0.98f, 0.74f, 0.02f);
    if (channel == u"reddit_ads"_s)
        return QColor::fromRgbF(1.0f, 0.27f, 0.0f);
    if (channel == u"ai"_s)
        return QColor::fromRgbF(0.37f, 0.92f, 0.83f); // the theme's accent
    return QColor::fromRgbF(0.49f, 0.49f, 0.49f); // the theme's muted grey
}

QString SourceLines::toolTipOf(const Payload::SourceRow &row)
{
    return row.kind ? *row.kind + u": "_s + row.name : row.name;
}

// ---- DashboardModel ------------------------------------------------------

DashboardModel::DashboardModel(Store *store, QObject *parent) : QObject(parent), m_store(store)
{
    if (m_store)
        connect(m_store, &Store::changed, this, &DashboardModel::update);
    update();
}

DashboardModel *DashboardModel::create(QQmlEngine *, QJSEngine *)
{
    AppContext *context = AppContext::current();
    Q_ASSERT_X(context, "DashboardModel::create", "no context set before the views were loaded");
    return new DashboardModel(context ? context->store() : nullptr);
}

QString DashboardModel::timeframeKey() const
{
    return m_dashboard ? m_dashboard->timeframeKey.value_or(QString()) : QString();
}

QVariantList DashboardModel::timeframes() const
{
    QVariantList list;
    if (!m_dashboard || !m_dashboard->timeframes)
        return list;
    for (const Payload::Period &p : *m_dashboard->timeframes)
        list.append(
            QVariantMap {{u"key"_s, p.key}, {u"label"_s, p.label}, {u"checked"_s, m_dashboard->timeframeKey == p.key}});
    return list;
}

QVariantList DashboardModel::tiles() const
{
    QVariantList list;
    if (!m_dashboard)
        return list;
    for (const Payload::Tile &t : m_dashboard->tiles)
        list.append(QVariantMap {{u"key"_s, t.key}, {u"label"_s, t.label}, {u"value"_s, t.value},
            {u"caption"_s, t.caption.value_or(QString())}, {u"hasCaption"_s, t.caption.has_value()},
            {u"accent"_s, t.accent}});
    return list;
}

QVariantList DashboardModel::rows() const
{
    QVariantList list;
    if (!m_dashboard)
        return list;
    for (const Payload::Row &r : m_dashboard->rows)
        list.append(QVariantMap {{u"id"_s, r.id}, {u"name"_s, r.name}, {u"active"_s, r.active}, {u"spend"_s, r.spend},
            {u"revenue"_s, r.revenue}, {u"roas"_s, r.roas}});
    return list;
}

bool DashboardModel::switchingOf(
    bool loading, const std::optional<QString> &timeframe, const std::optional<Payload::Dashboard> &dashboard)
{
    // From choosing a range until the payload for it arrives; a dashboard
    // without its own key never matches.
    return loading && timeframe && (!dashboard || dashboard->timeframeKey != timeframe);
}

QString DashboardModel::rangeNameOf(
    const Payload::Dashboard &dashboard, bool switching, const std::optional<QString> &timeframe)
{
    if (switching && dashboard.timeframes) {
        for (const Payload::Period &p : *dashboard.timeframes) {
            if (p.key == timeframe)
                return p.label;
        }
    }
    return dashboard.timeframe;
}

DashboardModel::LineSlot DashboardModel::lineSlotOf(bool hasPayload, bool loading, bool hasLines)
{
    if (!hasPayload && loading)
        return LineSlot::LineSkeleton;
    return hasLines ? LineSlot::FirstLine : LineSlot::NoLine;
}

DashboardModel::Block DashboardModel::blockOf(bool hasDashboard, bool switching, bool loading)
{
    if (hasDashboard && !switching)
        return Block::Content;
    return loading ? Block::Skeleton : Block::NoBlock;
}

DashboardModel::Table DashboardModel::tableOf(const Payload::Dashboard &dashboard)
{
    // Sources, when present, replace the rows table even when they are empty.
    if (dashboard.sources)
        return dashboard.sources->rows.isEmpty() ? Table::NoTable : Table::SourcesTable;
    return dashboard.rows.isEmpty() ? Table::NoTable : Table::RowsTable;
}

bool DashboardModel::workspacePickerOf(bool signedIn, qsizetype workspaceCount)
{
    return signedIn && workspaceCount > 1;
}

bool DashboardModel::accountMenuOf(
    bool hasAccounts, bool signedIn, const QString &workspaceId, const std::optional<QString> &activeWorkspaceId)
{
    // The account choice belongs to the active workspace: no menu while
    // another one is shown.
    const bool otherWorkspace = signedIn && !workspaceId.isEmpty() && activeWorkspaceId != workspaceId;
    return hasAccounts && !otherWorkspace;
}

QVariantList DashboardModel::accountItemsOf(const Store &store)
{
    const QSet<QString> accounts = store.selectedAccounts();
    const QSet<QString> platforms = store.selectedPlatforms();
    auto item = [](const QString &type, const QString &text, const QString &id, bool checked) {
        return QVariantMap {{u"type"_s, type}, {u"text"_s, text}, {u"id"_s, id}, {u"checked"_s, checked}};
    };
    QVariantList items;
    items.append(item(u"all"_s, u"All accounts"_s, QString(), accounts.isEmpty() && platforms.isEmpty()));
    for (const Store::PlatformGroup &g : store.platformGroups()) {
        items.append(item(u"divider"_s, QString(), QString(), false));
        items.append(item(u"platform"_s, u"All of "_s + g.label, g.id, platforms.contains(g.id)));
        items.append(item(u"section"_s, g.label, g.id, false));
        for (const AdAccount &a : g.accounts)
            items.append(item(u"account"_s, a.name, a.id, accounts.contains(a.id)));
    }
    return items;
}

QString DashboardModel::timeOfDay(const std::optional<QDateTime> &time, const QLocale &locale)
{
    if (!time || !time->isValid())
        return QString();
    // Hours and minutes only, even where the short format names seconds:
    // each "s" or "ss" goes, with one space and one separator before it.
    // (By hand: a regular expression would load and compile PCRE for this.)
    QString format = locale.timeFormat(QLocale::ShortFormat);
    for (qsizetype at = format.indexOf(u's'); at >= 0; at = format.indexOf(u's', at)) {
        qsizetype end = at + 1;
        if (end < format.size() && format[end] == u's')
            ++end;
        if (at > 0 && format[at - 1].isSpace())
            --at;
        if (at > 0 && QStringView(u".:,").contains(format[at - 1]))
            --at;
        format.remove(at, end - at);
    }
    return locale.toString(time->toLocalTime().time(), format.trimmed());
}

void DashboardModel::update()
{
    if (!m_store)
        return;
    const Store &store = *m_store;
    const std::optional<Payload> &payload = store.payload();
    // Compared where it lies, copied only when it changed: this runs at every
    // change of the Store.
    static const std::optional<Payload::Dashboard> none;
    const std::optional<Payload::Dashboard> &dashboard = payload ? payload->dashboard : none;
    if (m_dashboard != dashboard) {
        m_dashboard = dashboard;
        SourcesData *old = m_sources;
        m_sources = m_dashboard && m_dashboard->sources ? new SourcesData(*m_dashboard->sources, this) : nullptr;
        Q_EMIT dashboardChanged();
        if (old)
            old->deleteLater();
    }

    const bool switching = switchingOf(store.loading(), store.timeframe(), m_dashboard);
    const QString rangeName = m_dashboard ? rangeNameOf(*m_dashboard, switching, store.timeframe()) : QString();
    const LineSlot lineSlot = lineSlotOf(payload.has_value(), store.loading(), !store.lines().isEmpty());
    const Block block = blockOf(m_dashboard.has_value(), switching, store.loading());
    const bool picker = workspacePickerOf(store.signedIn(), store.workspaces().size());
    const bool menu
        = accountMenuOf(!store.accounts().isEmpty(), store.signedIn(), store.workspaceId(), store.activeWorkspaceId());
    const QVariantList items = accountItemsOf(store);
    const QString updated = timeOfDay(store.updatedAt(), QLocale::system());
    if (switching == m_switching && rangeName == m_rangeName && lineSlot == m_lineSlot && block == m_block
        && picker == m_workspacePicker && menu == m_accountMenu && items == m_accountItems && updated == m_updatedTime)
        return;
    m_updatedTime = updated;
    m_switching = switching;
    m_rangeName = rangeName;
    m_lineSlot = lineSlot;
    m_block = block;
    m_workspacePicker = picker;
    m_accountMenu = menu;
    m_accountItems = items;
    Q_EMIT stateChanged();
}
