#pragma once

#include "model/records.h"

#include <QAbstractListModel>
#include <QColor>
#include <QDateTime>
#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <optional>

class QJSEngine;
class QQmlEngine;
class Store;

// The traffic-sources table of one dashboard, as the views read it: column
// labels and totals, and the rows themselves for SourceLines.
class SourcesData : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Made from a dashboard.")
    Q_PROPERTY(QStringList columns READ columns CONSTANT)
    Q_PROPERTY(QStringList totals READ totals CONSTANT)
    Q_PROPERTY(int rowCount READ rowCount CONSTANT)

public:
    explicit SourcesData(Payload::Sources sources, QObject *parent = nullptr);
    const Payload::Sources &sources() const { return m_sources; }
    QStringList columns() const;
    QStringList totals() const { return m_sources.totals; }
    int rowCount() const { return int(m_sources.rows.size()); }

private:
    Payload::Sources m_sources;
};

// The visible lines of a sources table: top-level rows, and below each
// expanded row its children, depth first. Which rows are expanded is this
// model's own state (ids, kept while ancestors collapse), so a new table
// starts collapsed. Each line also carries its name cell's symbol, tint and
// tooltip.
class SourceLines : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(SourcesData *sources READ sources WRITE setSources NOTIFY sourcesChanged)
    Q_PROPERTY(QStringList expanded READ expandedIds NOTIFY linesChanged)
    Q_PROPERTY(int count READ count NOTIFY linesChanged)
    // The value cells of every line, flat: {line, column, text, depth, rest}.
    Q_PROPERTY(QVariantList cells READ cells NOTIFY linesChanged)

public:
    enum Role {
        RowIdRole = Qt::UserRole + 1,
        NameRole,
        DepthRole,
        RestRole,
        HasChildrenRole,
        ExpandedRole,
        SymbolRole,
        TintRole,
        ToolTipRole,
        ValuesRole,
    };
    Q_ENUM(Role)

    struct Line {
        const Payload::SourceRow *row = nullptr;
        int depth = 0;
    };

    explicit SourceLines(QObject *parent = nullptr);

    SourcesData *sources() const { return m_data; }
    void setSources(SourcesData *data);
    QStringList expandedIds() const;
    int count() const { return int(m_lines.size()); }
    QVariantList cells() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Expands or collapses the row with this id; rows without children stay.
    Q_INVOKABLE void toggle(const QString &id);
    Q_INVOKABLE QVariantMap line(int index) const;
    // The last line shown under line index (index itself when none is).
    Q_INVOKABLE int lastUnder(int index) const;

    static QList<Line> walk(const QList<Payload::SourceRow> &rows, const QSet<QString> &expanded);
    static bool hasChildren(const Payload::SourceRow &row) { return row.children && !row.children->isEmpty(); }
    static QString symbolOf(const std::optional<QString> &channel);
    static QColor tintOf(const std::optional<QString> &channel);
    static QString toolTipOf(const Payload::SourceRow &row);

Q_SIGNALS:
    void sourcesChanged();
    void linesChanged();

private:
    void rebuild();

    QPointer<SourcesData> m_data;
    QSet<QString> m_expanded;
    QList<Line> m_lines;
};

// The dashboard of the Store's payload and the view rules around it, as the
// QML singleton DashboardModel. The payload's parts are rebuilt only when
// the dashboard really changed; the derived flags follow every Store change.
class DashboardModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    // From the payload's dashboard.
    Q_PROPERTY(bool present READ present NOTIFY dashboardChanged)
    Q_PROPERTY(QString workspaceName READ workspaceName NOTIFY dashboardChanged)
    Q_PROPERTY(QString timeframe READ timeframe NOTIFY dashboardChanged)
    Q_PROPERTY(QString timeframeKey READ timeframeKey NOTIFY dashboardChanged)
    // {key, label, checked}; checked marks the dashboard's own range.
    Q_PROPERTY(QVariantList timeframes READ timeframes NOTIFY dashboardChanged)
    Q_PROPERTY(QString asset READ asset NOTIFY dashboardChanged)
    Q_PROPERTY(bool partial READ partial NOTIFY dashboardChanged)
    // {key, label, value, caption, hasCaption, accent}
    Q_PROPERTY(QVariantList tiles READ tiles NOTIFY dashboardChanged)
    // {id, name, active, spend, revenue, roas}
    Q_PROPERTY(QVariantList rows READ rows NOTIFY dashboardChanged)
    Q_PROPERTY(SourcesData *sources READ sources NOTIFY dashboardChanged)
    Q_PROPERTY(Table table READ table NOTIFY dashboardChanged)
    // The skeleton's counts: the current dashboard's, else 4 and 4.
    Q_PROPERTY(int skeletonTiles READ skeletonTiles NOTIFY dashboardChanged)
    Q_PROPERTY(int skeletonRows READ skeletonRows NOTIFY dashboardChanged)

    // Rules over the Store and the dashboard.
    Q_PROPERTY(bool switching READ switching NOTIFY stateChanged)
    Q_PROPERTY(QString rangeName READ rangeName NOTIFY stateChanged)
    Q_PROPERTY(LineSlot lineSlot READ lineSlot NOTIFY stateChanged)
    Q_PROPERTY(Block block READ block NOTIFY stateChanged)
    Q_PROPERTY(bool workspacePicker READ workspacePicker NOTIFY stateChanged)
    Q_PROPERTY(bool accountMenu READ accountMenu NOTIFY stateChanged)
    // {type: "all" | "divider" | "platform" | "section" | "account", text, id, checked}
    Q_PROPERTY(QVariantList accountItems READ accountItems NOTIFY stateChanged)
    // The update time of day in the locale's short format; empty when none.
    Q_PROPERTY(QString updatedTime READ updatedTime NOTIFY stateChanged)

public:
    enum class Table { NoTable, SourcesTable, RowsTable };
    Q_ENUM(Table)
    enum class LineSlot { NoLine, LineSkeleton, FirstLine };
    Q_ENUM(LineSlot)
    enum class Block { NoBlock, Content, Skeleton };
    Q_ENUM(Block)

    explicit DashboardModel(Store *store, QObject *parent = nullptr);
    static DashboardModel *create(QQmlEngine *engine, QJSEngine *js);

    bool present() const { return m_dashboard.has_value(); }
    QString workspaceName() const { return m_dashboard ? m_dashboard->workspaceName : QString(); }
    QString timeframe() const { return m_dashboard ? m_dashboard->timeframe : QString(); }
    QString timeframeKey() const;
    QVariantList timeframes() const;
    QString asset() const { return m_dashboard ? m_dashboard->asset : QString(); }
    bool partial() const { return m_dashboard && m_dashboard->partial; }
    QVariantList tiles() const;
    QVariantList rows() const;
    SourcesData *sources() const { return m_sources; }
    Table table() const { return m_dashboard ? tableOf(*m_dashboard) : Table::NoTable; }
    int skeletonTiles() const { return m_dashboard ? int(m_dashboard->tiles.size()) : 4; }
    int skeletonRows() const { return m_dashboard ? int(m_dashboard->rows.size()) : 4; }

    bool switching() const { return m_switching; }
    QString rangeName() const { return m_rangeName; }
    LineSlot lineSlot() const { return m_lineSlot; }
    Block block() const { return m_block; }
    bool workspacePicker() const { return m_workspacePicker; }
    bool accountMenu() const { return m_accountMenu; }
    QVariantList accountItems() const { return m_accountItems; }
    QString updatedTime() const { return m_updatedTime; }

    // The rules, as pure functions.
    static bool switchingOf(
        bool loading, const std::optional<QString> &timeframe, const std::optional<Payload::Dashboard> &dashboard);
    static QString rangeNameOf(
        const Payload::Dashboard &dashboard, bool switching, const std::optional<QString> &timeframe);
    static LineSlot lineSlotOf(bool hasPayload, bool loading, bool hasLines);
    static Block blockOf(bool hasDashboard, bool switching, bool loading);
    static Table tableOf(const Payload::Dashboard &dashboard);
    static bool workspacePickerOf(bool signedIn, qsizetype workspaceCount);
    static bool accountMenuOf(
        bool hasAccounts, bool signedIn, const QString &workspaceId, const std::optional<QString> &activeWorkspaceId);
    static QVariantList accountItemsOf(const Store &store);
    static QString timeOfDay(const std::optional<QDateTime> &time, const QLocale &locale);

Q_SIGNALS:
    void dashboardChanged();
    void stateChanged();

private:
    void update();

    QPointer<Store> m_store;
    std::optional<Payload::Dashboard> m_dashboard;
    SourcesData *m_sources = nullptr;
    bool m_switching = false;
    QString m_rangeName;
    LineSlot m_lineSlot = LineSlot::NoLine;
    Block m_block = Block::NoBlock;
    bool m_workspacePicker = false;
    bool m_accountMenu = false;
    QVariantList m_accountItems;
    QString m_updatedTime;
};
