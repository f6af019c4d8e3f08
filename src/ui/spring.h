#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QVariantAnimation>
#include <QtQml/qqml.h>

// A value that follows its target like a damped spring: response 0.42 s
// (the period of the undamped oscillation, so ω = 2π / 0.42 s) and damping
// ratio 0.88. From rest it settles within 2% of a step in about 0.3 s and
// overshoots by about 0.3%. A new target takes over from the current
// position and velocity, so a change in mid-flight bends the motion instead
// of restarting it. It ticks only while moving.
//
//     Spring { id: grow; target: content.implicitHeight }
//     height: grow.value
class Spring : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(qreal target READ target WRITE setTarget NOTIFY targetChanged)
    Q_PROPERTY(qreal value READ value NOTIFY valueChanged)
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)

public:
    static constexpr double response = 0.42; // seconds
    static constexpr double dampingRatio = 0.88;
    // Closer than this to the target, and slower than this (per second), the
    // motion ends on the target.
    static constexpr double restDistance = 0.01;
    static constexpr double restSpeed = 0.1;

    // Offset from the target t seconds after leaving offset y0 with velocity
    // v0 (the underdamped closed form), and its velocity.
    static double offsetAt(double t, double y0, double v0);
    static double velocityAt(double t, double y0, double v0);

    explicit Spring(QObject *parent = nullptr);

    qreal target() const { return m_target; }
    void setTarget(qreal target);
    qreal value() const { return m_value; }
    bool running() const { return m_animation.state() == QAbstractAnimation::Running; }
    // While disabled a new target is taken at once, without motion.
    bool enabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    // Puts the value on v at rest (and makes v the target).
    Q_INVOKABLE void jumpTo(qreal v);

Q_SIGNALS:
    void targetChanged();
    void valueChanged();
    void runningChanged();
    void enabledChanged();

private:
    void tick();
    void setValue(qreal value);

    qreal m_target = 0;
    qreal m_value = 0;
    bool m_enabled = true;
    // The current leg: offset and velocity when it began.
    double m_startOffset = 0;
    double m_startVelocity = 0;
    double m_legTime = 0; // seconds into the leg at the last tick
    QVariantAnimation m_animation;
};
