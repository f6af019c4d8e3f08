#pragma once

#include "model/jsonreader.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The records the server sends. They are decoded only, never encoded; every
// figure in them is display text rendered by the server. fromJson decodes a
// value at a path; read decodes the object an ObjectReader has checked.

struct User {
    QString id;
    QString email;
    QString role;

    static User fromJson(const QJsonValue &value, const json::Path &path);
    static User read(const json::ObjectReader &r);
    friend bool operator==(const User &, const User &) = default;
};

struct Workspace {
    QString workspaceId;
    QString name;
    QString role;

    const QString &id() const { return workspaceId; }
    static Workspace fromJson(const QJsonValue &value, const json::Path &path);
    static Workspace read(const json::ObjectReader &r);
    friend bool operator==(const Workspace &, const Workspace &) = default;
};
size_t qHash(const Workspace &w, size_t seed = 0) noexcept;

struct WorkspaceList {
    QList<Workspace> workspaces;
    std::optional<QString> currentWorkspaceId;

    static WorkspaceList fromJson(const QJsonValue &value, const json::Path &path);
    static WorkspaceList read(const json::ObjectReader &r);
};

struct AdAccount {
    QString id;
    QString name;
    QString platform;
    QString platformLabel;

    static AdAccount fromJson(const QJsonValue &value, const json::Path &path);
    static AdAccount read(const json::ObjectReader &r);
    friend bool operator==(const AdAccount &, const AdAccount &) = default;
};
size_t qHash(const AdAccount &a, size_t seed = 0) noexcept;

struct AdAccountList {
    QList<AdAccount> accounts;

    static AdAccountList fromJson(const QJsonValue &value, const json::Path &path);
    static AdAccountList read(const json::ObjectReader &r);
};

struct Payload {
    struct Period {
        QString key;
        QString label;

        const QString &id() const { return key; }
        static Period fromJson(const QJsonValue &value, const json::Path &path);
        static Period read(const json::ObjectReader &r);
        friend bool operator==(const Period &, const Period &) = default;
    };

    struct Tile {
        QString key;
        QString label;
        QString value;
        std::optional<QString> caption;
        bool accent = false;

        const QString &id() const { return key; }
        static Tile fromJson(const QJsonValue &value, const json::Path &path);
        static Tile read(const json::ObjectReader &r);
        friend bool operator==(const Tile &, const Tile &) = default;
    };

    struct Row {
        QString id;
        QString name;
        bool active = false;
        QString spend;
        QString revenue;
        QString roas;

        static Row fromJson(const QJsonValue &value, const json::Path &path);
        static Row read(const json::ObjectReader &r);
        friend bool operator==(const Row &, const Row &) = default;
    };

    struct Column {
        QString key;
        QString label;

        const QString &id() const { return key; }
        static Column fromJson(const QJsonValue &value, const json::Path &path);
        static Column read(const json::ObjectReader &r);
        friend bool operator==(const Column &, const Column &) = default;
    };

    struct SourceRow {
        QString id;
        QString name;
        std::optional<QString> kind;
        std::optional<QString> channel;
        bool rest = false;
        QStringList values;
        std::optional<QList<SourceRow>> children;

        static SourceRow fromJson(const QJsonValue &value, const json::Path &path);
        static SourceRow read(const json::ObjectReader &r);
        // Written out: the list of children is of this very type.
        friend bool operator==(const SourceRow &, const SourceRow &);
    };

    struct Sources {
        QList<Column> columns;
        QList<SourceRow> rows;
        QStringList totals;

        static Sources fromJson(const QJsonValue &value, const json::Path &path);
        static Sources read(const json::ObjectReader &r);
        friend bool operator==(const Sources &, const Sources &) = default;
    };

    struct Dashboard {
        QString workspaceName;
        QString timeframe;
        std::optional<QString> timeframeKey;
        std::optional<QList<Period>> timeframes;
        QString asset;
        bool partial = false;
        QList<Tile> tiles;
        QList<Row> rows;
        std::optional<Sources> sources;

        static Dashboard fromJson(const QJsonValue &value, const json::Path &path);
        static Dashboard read(const json::ObjectReader &r);
        friend bool operator==(const Dashboard &, const Dashboard &) = default;
    };

    std::optional<QString> text;
    QStringList lines;
    std::optional<Dashboard> dashboard;

    static Payload fromJson(const QJsonValue &value, const json::Path &path);
    static Payload read(const json::ObjectReader &r);
};

// Wrappers private to the server client.
struct ApiMeResponse {
    User user;
    static ApiMeResponse fromJson(const QJsonValue &value, const json::Path &path);
    static ApiMeResponse read(const json::ObjectReader &r);
};

template<class T> struct ApiEnvelope {
    T data;
    static ApiEnvelope fromJson(const QJsonValue &value, const json::Path &path)
    {
        return read(json::ObjectReader(value, path));
    }
    static ApiEnvelope read(const json::ObjectReader &r)
    {
        return ApiEnvelope {r.record<T>(QLatin1StringView("data"))};
    }
};

// Any well-formed JSON decodes to it; the content is not inspected.
struct ApiEmpty { };

// Decodes a whole answer body as the record T.
template<class T> T decodeJson(const QByteArray &bytes)
{
    const QJsonObject object = json::parseObject(bytes);
    const json::Path root;
    if constexpr (json::ReadableRecord<T>)
        return T::read(json::ObjectReader(object, root));
    else
        return T::fromJson(QJsonValue(object), root);
}

template<> ApiEmpty decodeJson<ApiEmpty>(const QByteArray &bytes);
