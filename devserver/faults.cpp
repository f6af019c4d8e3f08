#include "faults.h"

using namespace Qt::StringLiterals;

namespace devserver {

namespace {
const QList<std::pair<QString, FaultMode>> &modes()
{
    static const QList<std::pair<QString, FaultMode>> list {{u"status"_s, FaultMode::Status},
        {u"hang"_s, FaultMode::Hang}, {u"slow"_s, FaultMode::Slow}, {u"truncate"_s, FaultMode::Truncate},
        {u"malformed"_s, FaultMode::Malformed}};
    return list;
}
} // namespace

QString modeName(FaultMode mode)
{
    for (const auto &[name, m] : modes())
        if (m == mode)
            return name;
    return {};
}

std::variant<Fault, QString> FaultPlan::parse(const QJsonObject &spec)
{
    Fault f;
    const QJsonValue route = spec.value(u"route"_s);
    if (!route.isString() || route.toString().isEmpty())
        return u"\"route\" must be a route name such as \"rpc\", \"snapshot\" or \"*\"."_s;
    f.route = route.toString();
    const QString mode = spec.value(u"mode"_s).toString(u"status"_s);
    bool known = false;
    for (const auto &[name, m] : modes())
        if (name == mode) {
            f.mode = m;
            known = true;
        }
    if (!known)
        return u"\"mode\" must be one of status, hang, slow, truncate, malformed."_s;
    const QJsonValue count = spec.value(u"count"_s);
    if (!count.isUndefined()) {
        if (!count.isDouble() || count.toInt(-1) < 1)
            return u"\"count\" must be a positive integer."_s;
        f.remaining = count.toInt();
    }
    const QJsonValue status = spec.value(u"status"_s);
    if (!status.isUndefined()) {
        if (!status.isDouble() || status.toInt() < 100 || status.toInt() > 599)
            return u"\"status\" must be an HTTP status from 100 to 599."_s;
        f.status = status.toInt();
    }
    const QJsonValue ms = spec.value(u"ms"_s);
    if (!ms.isUndefined()) {
        if (!ms.isDouble() || ms.toInt(-1) < 0)
            return u"\"ms\" must be a non-negative number of milliseconds."_s;
        f.ms = ms.toInt();
    }
    f.message = spec.value(u"message"_s).toString();
    return f;
}

std::optional<Fault> FaultPlan::take(const QStringList &routeNames)
{
    for (qsizetype i = 0; i < m_faults.size(); ++i) {
        Fault &f = m_faults[i];
        if (f.route != "*"_L1 && !routeNames.contains(f.route))
            continue;
        const Fault taken = f;
        if (--f.remaining <= 0)
            m_faults.removeAt(i);
        return taken;
    }
    return std::nullopt;
}

QJsonArray FaultPlan::describe() const
{
    QJsonArray list;
    for (const Fault &f : m_faults)
        list.append(QJsonObject {{u"route"_s, f.route}, {u"mode"_s, modeName(f.mode)}, {u"remaining"_s, f.remaining},
            {u"status"_s, f.status}, {u"ms"_s, f.ms}});
    return list;
}

} // namespace devserver
