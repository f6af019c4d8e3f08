#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace devserver {

// Ways an answer can go wrong on purpose.
enum class FaultMode {
    Status, // answer with the given status (and Retry-After) and a JSON error body
    Hang, // never answer; the connection stays open
    Slow, // the real answer, trickled out over `ms` milliseconds
    Truncate, // the real headers, half the body, then the connection closes
    Malformed, // the real status, a body that is not valid JSON
    Oversize, // the real answer padded with blanks to `bytes` (still valid JSON)
    Patch, // a snapshot answered with a hostile delta (`patch`: operations, depth or growth)
};

struct Fault {
    QString route; // a route name ("rpc", "rpc:widget.line", "snapshot", ...) or "*"
    FaultMode mode = FaultMode::Status;
    int remaining = 1;
    int status = 500;
    int ms = 3000;
    int retryAfter = 0; // seconds for a Retry-After header on a status answer; 0: none
    qint64 bytes = 17 << 20;
    QString patch = QStringLiteral("operations");
    QString message;
};

// Faults queued through the control endpoint, consumed by matching answers.
class FaultPlan {
public:
    // Parses a control request; on failure the reason.
    static std::variant<Fault, QString> parse(const QJsonObject &spec);

    void add(const Fault &fault) { m_faults.append(fault); }
    void clear() { m_faults.clear(); }
    // The first queued fault for any of the names (most specific first),
    // used up by one; nullopt when none applies.
    std::optional<Fault> take(const QStringList &routeNames);
    QJsonArray describe() const;

private:
    QList<Fault> m_faults;
};

QString modeName(FaultMode mode);

// Names of the hostile patches the Patch mode sends.
const QStringList &hostilePatches();
// Patch operations of that kind, aimed at document (the snapshot's data),
// as compact JSON text.
QByteArray hostilePatch(const QString &kind, const QJsonObject &document);

} // namespace devserver
