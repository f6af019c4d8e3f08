#include "faults.h"

#include <QJsonDocument>

#include <limits>

using namespace Qt::StringLiterals;

namespace devserver {

namespace {
const QList<std::pair<QString, FaultMode>> &modes()
{
    static const QList<std::pair<QString, FaultMode>> list {{u"status"_s, FaultMode::Status},
        {u"hang"_s, FaultMode::Hang}, {u"slow"_s, FaultMode::Slow}, {u"truncate"_s, FaultMode::Truncate},
        {u"malformed"_s, FaultMode::Malformed}, {u"oversize"_s, FaultMode::Oversize}, {u"patch"_s, FaultMode::Patch}};
    return list;
}
} // namespace

const QStringList &hostilePatches()
{
    static const QStringList names {u"operations"_s, u"depth"_s, u"growth"_s};
    return names;
}

QByteArray hostilePatch(const QString &kind, const QJsonObject &document)
{
    // Written as text: tens of thousands of JSON values would be slow to
    // build one by one, above all in a sanitizer build.
    if (kind == "operations"_L1) {
        // One more than a client should ever apply, each harmless on its own.
        QByteArray ops = "[";
        for (int i = 0; i <= 10'000; ++i)
            ops += (i ? ",{\"p\":[\"hostile\"],\"v\":" : "{\"p\":[\"hostile\"],\"v\":") + QByteArray::number(i) + '}';
        return ops + ']';
    }
    if (kind == "depth"_L1) {
        QByteArray path = "\"d\"";
        path.reserve(4 * 10'000);
        for (int i = 1; i < 10'000; ++i)
            path += ",\"d\"";
        return "[{\"p\":[" + path + "],\"v\":1}]";
    }
    // An element far beyond the end of the document's first array: applied
    // blindly, billions of nulls.
    QString array = u"hostile"_s;
    for (auto it = document.begin(); it != document.end(); ++it)
        if (it.value().isArray()) {
            array = it.key();
            break;
        }
    return QJsonDocument(QJsonArray {QJsonObject {{u"p"_s, QJsonArray {array, 2'000'000'000}}, {u"v"_s, 1}}})
        .toJson(QJsonDocument::Compact);
}

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
        return u"\"mode\" must be one of status, hang, slow, truncate, malformed, oversize, patch."_s;
    // Whole numbers from min to max; absent keys keep their defaults.
    const auto readInt = [&spec](QLatin1StringView key, int min, int max, int &into) {
        const QJsonValue value = spec.value(key);
        if (value.isUndefined())
            return true;
        const int n = value.toInt(min - 1); // not a whole number: below min
        if (!value.isDouble() || n < min || n > max)
            return false;
        into = n;
        return true;
    };
    constexpr int any = std::numeric_limits<int>::max();
    if (!readInt("count"_L1, 1, any, f.remaining))
        return u"\"count\" must be a positive integer."_s;
    if (!readInt("status"_L1, 100, 599, f.status))
        return u"\"status\" must be an HTTP status from 100 to 599."_s;
    if (!readInt("ms"_L1, 0, any, f.ms))
        return u"\"ms\" must be a non-negative number of milliseconds."_s;
    if (!readInt("retryAfter"_L1, 0, any, f.retryAfter))
        return u"\"retryAfter\" must be a non-negative number of seconds."_s;
    const QJsonValue bytes = spec.value(u"bytes"_s);
    if (!bytes.isUndefined()) {
        if (!bytes.isDouble() || bytes.toDouble() < 1 || bytes.toDouble() > double(256 << 20))
            return u"\"bytes\" must be a size from 1 byte to 256 MiB."_s;
        f.bytes = qint64(bytes.toDouble());
    }
    const QJsonValue patch = spec.value(u"patch"_s);
    if (!patch.isUndefined()) {
        if (!hostilePatches().contains(patch.toString()))
            return u"\"patch\" must be one of operations, depth, growth."_s;
        f.patch = patch.toString();
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
            {u"status"_s, f.status}, {u"ms"_s, f.ms}, {u"retryAfter"_s, f.retryAfter}, {u"bytes"_s, f.bytes},
            {u"patch"_s, f.patch}});
    return list;
}

} // namespace devserver
