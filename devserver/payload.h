#pragma once

#include "demodata.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <QHash>

#include <optional>
#include <variant>

namespace devserver {

// What one "widget.line" answer is asked for, from the remote-procedure
// arguments, the snapshot parameters or the embed query.
struct LineRequest {
    QString timeframe = QStringLiteral("today");
    QString dashboardTimeframe; // empty: the same as timeframe
    QStringList accountIds; // empty: every account of the workspace
    std::optional<QString> lineTemplate;
    bool includeDashboard = false;
};

// A request problem the client should see as-is (HTTP status + message).
struct RequestError {
    int status;
    QString message;
};

// Checks a date-range key; returns an error for unknown keys.
std::optional<RequestError> checkTimeframe(const QString &key);

QJsonObject accountJson(const AccountInfo &a);
QJsonObject accountListJson(const WorkspaceInfo &w);

// The payload (menu-bar lines and, when asked, the dashboard) of a workspace.
QJsonObject buildPayload(const DemoData &data, const WorkspaceInfo &w, const LineRequest &req);

} // namespace devserver

namespace devserver {

// Reads the "widget.line" arguments (remote procedure, snapshot parameters or
// embed query, all string maps).
std::variant<LineRequest, RequestError> parseLineRequest(const QHash<QString, QString> &args);

} // namespace devserver
