#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <optional>

// The desktop services the Store relies on, as small interfaces so that the
// Store can be built on test doubles. The Linux implementations live next to
// this file; the app hands them to Store::setSharedServices.

// Opens an address in the user's default browser. The task ends with whether
// something took the address; callers that can do nothing about a failure
// may drop it.
class Browser {
public:
    virtual ~Browser() = default;
    virtual QCoro::Task<bool> open(const QUrl &url) = 0;
};

// The wall clock, so that staleness checks can be tested.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

// Tells when the machine has resumed from sleep and the network is back.
// The base class never emits by itself; an implementation (or a test) does.
class WakeMonitor : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

Q_SIGNALS:
    void woke();
};

// Registration to start the program at login.
class LoginItem {
public:
    virtual ~LoginItem() = default;
    virtual bool enabled() const = 0;
    // Switches the registration; returns a readable description of the failure,
    // or nothing when it worked.
    virtual std::optional<QString> setEnabled(bool enabled) = 0;
};
