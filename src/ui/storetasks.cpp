#include "storetasks.h"

namespace {

// Awaits the operation, then calls back if the caller is still there. A
// caller that gave no context is always called back.
QCoro::Task<> settle(QCoro::Task<> operation, QPointer<QObject> context, bool hasContext, QJSValue then)
{
    co_await std::move(operation);
    if (hasContext && !context)
        co_return;
    if (then.isCallable())
        (void)then.call();
}

void start(QCoro::Task<> operation, QObject *context, const QJSValue &then)
{
    auto task = settle(std::move(operation), context, context != nullptr, then);
}

} // namespace

QCoro::Task<> StoreTasks::pickPeriod(Store &store, QString key)
{
    store.setTimeframeText(key);
    store.setPeriod(key);
    co_await store.refresh();
}

void StoreTasks::connectLink(
    QObject *object, const QString &link, const QString &password, QObject *context, const QJSValue &then)
{
    if (auto *store = qobject_cast<Store *>(object))
        start(store->connect(link, password), context, then);
}

void StoreTasks::disconnectStore(QObject *object, QObject *context, const QJSValue &then)
{
    if (auto *store = qobject_cast<Store *>(object))
        start(store->disconnect(), context, then);
}

void StoreTasks::refresh(QObject *object, QObject *context, const QJSValue &then)
{
    if (auto *store = qobject_cast<Store *>(object))
        start(store->refresh(), context, then);
}

void StoreTasks::choosePeriod(QObject *object, const QString &key, QObject *context, const QJSValue &then)
{
    if (auto *store = qobject_cast<Store *>(object))
        start(pickPeriod(*store, key), context, then);
}

void StoreTasks::toggleAccount(QObject *object, const QString &id, QObject *context, const QJSValue &then)
{
    if (auto *store = qobject_cast<Store *>(object))
        start(store->toggleAccount(id.isEmpty() ? std::nullopt : std::optional<QString>(id)), context, then);
}

void StoreTasks::togglePlatform(QObject *object, const QString &key, QObject *context, const QJSValue &then)
{
    if (auto *store = qobject_cast<Store *>(object))
        start(store->togglePlatform(key), context, then);
}

void StoreTasks::selectLineTemplate(QObject *object, const QString &id, QObject *context, const QJSValue &then)
{
    if (auto *store = qobject_cast<Store *>(object))
        start(store->selectLineTemplate(id), context, then);
}
