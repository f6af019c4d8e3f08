#include "connector.h"

#include "state/store.h"

#include <QCoro/QCoroTask>

Connector::Connector(QObject *parent) : QObject(parent) { }

void Connector::setStore(Store *store)
{
    if (m_store == store)
        return;
    m_store = store;
    Q_EMIT storeChanged();
}

void Connector::start(const QString &link, const QString &password)
{
    if (m_running || !m_store)
        return;
    m_running = true;
    Q_EMIT runningChanged();
    // The Store's operation never throws; this object may go first (the
    // view is replaced once connected), hence the guard.
    QPointer<Connector> self(this);
    m_store->connect(link, password).then([self] {
        if (!self)
            return;
        self->m_running = false;
        Q_EMIT self->runningChanged();
        Q_EMIT self->finished();
    });
}
