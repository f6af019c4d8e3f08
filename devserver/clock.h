#pragma once

#include <QDateTime>

namespace devserver {

// Time source of the server. Everything that depends on time (code and
// session expiry, the data tick, the embed rate limit, computedAt) asks it, so
// tests can run the server on a clock they move by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 nowMs() const = 0;
    QDateTime now() const { return QDateTime::fromMSecsSinceEpoch(nowMs(), Qt::UTC); }
};

class SystemClock final : public Clock {
public:
    qint64 nowMs() const override { return QDateTime::currentMSecsSinceEpoch(); }
};

class ManualClock final : public Clock {
public:
    explicit ManualClock(qint64 startMs) : m_ms(startMs) { }
    qint64 nowMs() const override { return m_ms; }
    void advance(qint64 ms) { m_ms += ms; }
    void set(qint64 ms) { m_ms = ms; }

private:
    qint64 m_ms;
};

} // namespace devserver
