#pragma once

#include "state/store.h"

#include <QJSValue>
#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

// The Store's asynchronous operations for the views, as the QML singleton
// StoreTasks. Each call starts the operation at once and, once it has
// finished, calls `then` (when it is a function), but only while `context`
// (usually the calling view) still exists: a view that went away meanwhile is
// not called back.
//
//     StoreTasks.disconnect(store, panel, function () { panel.close() })
class StoreTasks : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    Q_INVOKABLE void disconnect(Store *store, QObject *context = nullptr, const QJSValue &then = QJSValue());
    Q_INVOKABLE void refresh(Store *store, QObject *context = nullptr, const QJSValue &then = QJSValue());
    // The date range picked in a settings view: timeframe first, then the
    // persisted period, then a refresh.
    Q_INVOKABLE void choosePeriod(
        Store *store, const QString &key, QObject *context = nullptr, const QJSValue &then = QJSValue());
    // The empty id means all accounts.
    Q_INVOKABLE void toggleAccount(
        Store *store, const QString &id, QObject *context = nullptr, const QJSValue &then = QJSValue());
    Q_INVOKABLE void togglePlatform(
        Store *store, const QString &key, QObject *context = nullptr, const QJSValue &then = QJSValue());
    Q_INVOKABLE void selectLineTemplate(
        Store *store, const QString &id, QObject *context = nullptr, const QJSValue &then = QJSValue());

    static QCoro::Task<> pickPeriod(Store &store, QString key);
};
