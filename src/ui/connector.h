#pragma once

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

class Store;

// Runs the Store's embed-link connection for the connect view and tells when
// it is over: running is true from start() until that connection returns,
// whatever its outcome. A start() while one runs does nothing.
class Connector : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(Store *store READ store WRITE setStore NOTIFY storeChanged)
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)

public:
    explicit Connector(QObject *parent = nullptr);

    Store *store() const { return m_store; }
    void setStore(Store *store);
    bool running() const { return m_running; }

    // Connects with link and password exactly as given.
    Q_INVOKABLE void start(const QString &link, const QString &password);

Q_SIGNALS:
    void storeChanged();
    void runningChanged();
    void finished();

private:
    QPointer<Store> m_store;
    bool m_running = false;
};
