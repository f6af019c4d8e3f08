#pragma once

#include "commandline.h"
#include "panelline.h"

#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QVariantMap>

// Set in the environment of an instance a command starts in the background.
inline constexpr char startedForCommandVariable[] = "QUILLMERE_STARTED_FOR_COMMAND";

// The side of a later launch: finds the running instance on the session bus
// (starting one when the command needs it) and hands it the command.
class RemoteInstance {
public:
    explicit RemoteInstance(QDBusConnection bus);

    // Whether an instance owns the well-known name.
    QCoro::Task<bool> running();
    // Starts a detached instance unless one runs, and waits until it owns the
    // name. False when none came up.
    QCoro::Task<bool> ensureRunning(std::optional<QUrl> server);

    // The line of the running instance, printed; nothing when no instance
    // runs (the caller then works it out itself).
    QCoro::Task<std::optional<int>> lineIfRunning(bool json);

    // Carries out command against the running instance; returns the exit code.
    QCoro::Task<int> run(Command command, QString password);

private:
    QCoro::Task<QDBusMessage> call(QString interface, QString method, QVariantList arguments, int timeoutMs = -1);
    QCoro::Task<std::optional<QVariantMap>> properties();
    QCoro::Task<int> action(QString name, QVariantList parameter, bool reportError);
    QCoro::Task<int> open(QList<QUrl> urls);
    QCoro::Task<int> quit();
    QCoro::Task<int> line(bool json);
    QCoro::Task<int> follow();
    QCoro::Task<int> next(QString since);
    QCoro::Task<int> popoverAt(QRect anchor, QString edge);
    // The panel's line now: the instance's, or the not-running one.
    QCoro::Task<PanelLine> panelLine();

    QDBusConnection m_bus;
};

// Writes text and a line break to standard output at once.
void printLine(const QByteArray &text);
void printError(const QString &text);
