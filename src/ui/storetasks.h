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
// not called back. store is the Store (taken as a plain object, which
// compiled bindings pass reliably).
//
//     StoreTasks.disconnectStore(store, panel, function () { panel.close() })
class StoreTasks : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // A pasted embed link and its password, exactly as given.
    Q_INVOKABLE void connectLink(
        QObject *store, const QString &link, const QString &password, QObject *context, const QJSValue &then);
    Q_INVOKABLE void disconnectStore(QObject *store, QObject *context, const QJSValue &then);
    Q_INVOKABLE void refresh(QObject *store, QObject *context, const QJSValue &then);
    // The date range picked in a settings view: timeframe first, then the
    // persisted period, then a refresh.
    Q_INVOKABLE void choosePeriod(QObject *store, const QString &key, QObject *context, const QJSValue &then);
    // The empty id means all accounts.
    Q_INVOKABLE void toggleAccount(QObject *store, const QString &id, QObject *context, const QJSValue &then);
    Q_INVOKABLE void togglePlatform(QObject *store, const QString &key, QObject *context, const QJSValue &then);
    Q_INVOKABLE void selectLineTemplate(QObject *store, const QString &id, QObject *context, const QJSValue &then);

    static QCoro::Task<> pickPeriod(Store &store, QString key);
};
