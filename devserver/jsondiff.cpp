#include "jsondiff.h"

#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace devserver {

namespace {

void set(QJsonArray &ops, const QJsonArray &path, const QJsonValue &value)
{
    ops.append(QJsonObject {{u"p"_s, path}, {u"v"_s, value}});
}

void diff(const QJsonValue &from, const QJsonValue &to, const QJsonArray &path, QJsonArray &ops)
{
    if (from == to)
        return;
    if (from.isObject() && to.isObject()) {
        const QJsonObject a = from.toObject();
        const QJsonObject b = to.toObject();
        for (auto it = a.begin(); it != a.end(); ++it) {
            if (!b.contains(it.key())) {
                QJsonArray p = path;
                p.append(it.key());
                ops.append(QJsonObject {{u"p"_s, p}, {u"d"_s, 1}});
            }
        }
        for (auto it = b.begin(); it != b.end(); ++it) {
            QJsonArray p = path;
            p.append(it.key());
            const QJsonValue old = a.value(it.key());
            if (old.isUndefined())
                set(ops, p, it.value());
            else
                diff(old, it.value(), p, ops);
        }
        return;
    }
    if (from.isArray() && to.isArray()) {
        const QJsonArray a = from.toArray();
        const QJsonArray b = to.toArray();
        if (b.size() < a.size()) {
            set(ops, path, b);
            return;
        }
        for (qsizetype i = 0; i < b.size(); ++i) {
            QJsonArray p = path;
            p.append(i);
            if (i < a.size())
                diff(a.at(i), b.at(i), p, ops);
            else
                set(ops, p, b.at(i));
        }
        return;
    }
    set(ops, path, to);
}

} // namespace

QJsonArray diffJson(const QJsonValue &from, const QJsonValue &to)
{
    QJsonArray ops;
    diff(from, to, QJsonArray {}, ops);
    return ops;
}

} // namespace devserver
