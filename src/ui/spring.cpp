#include "spring.h"

#include <cmath>
#include <numbers>

namespace {
constexpr double omega = 2 * std::numbers::pi / Spring::response;
constexpr double decay = Spring::dampingRatio * omega;
const double dampedOmega = omega * std::sqrt(1 - Spring::dampingRatio * Spring::dampingRatio);
// Long enough for any leg to come to rest; the animation stops earlier.
constexpr int legMs = 2000;
} // namespace

double Spring::offsetAt(double t, double y0, double v0)
{
    const double b = (v0 + decay * y0) / dampedOmega;
    return std::exp(-decay * t) * (y0 * std::cos(dampedOmega * t) + b * std::sin(dampedOmega * t));
}

double Spring::velocityAt(double t, double y0, double v0)
{
    const double b = (v0 + decay * y0) / dampedOmega;
    const double c = std::cos(dampedOmega * t);
    const double s = std::sin(dampedOmega * t);
    return std::exp(-decay * t) * (-decay * (y0 * c + b * s) + dampedOmega * (-y0 * s + b * c));
}

Spring::Spring(QObject *parent) : QObject(parent)
{
    m_animation.setStartValue(0.0);
    m_animation.setEndValue(1.0);
    m_animation.setDuration(legMs);
    QObject::connect(&m_animation, &QVariantAnimation::valueChanged, this, [this] { tick(); });
    QObject::connect(&m_animation, &QAbstractAnimation::stateChanged, this, &Spring::runningChanged);
    QObject::connect(&m_animation, &QAbstractAnimation::finished, this, [this] { setValue(m_target); });
}

void Spring::setTarget(qreal target)
{
    if (target == m_target)
        return;
    if (!m_enabled) {
        m_target = target;
        Q_EMIT targetChanged();
        jumpTo(target);
        return;
    }
    // Carry the motion so far into a leg towards the new target.
    const double velocity = running() ? velocityAt(m_legTime, m_startOffset, m_startVelocity) : 0.0;
    m_target = target;
    Q_EMIT targetChanged();
    m_startOffset = m_value - m_target;
    m_startVelocity = velocity;
    m_legTime = 0;
    m_animation.stop();
    if (std::abs(m_startOffset) < restDistance && std::abs(velocity) < restSpeed) {
        setValue(m_target);
        return;
    }
    m_animation.start();
}

void Spring::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    Q_EMIT enabledChanged();
    if (!enabled)
        jumpTo(m_target);
}

void Spring::jumpTo(qreal v)
{
    m_animation.stop();
    m_startOffset = 0;
    m_startVelocity = 0;
    m_legTime = 0;
    if (v != m_target) {
        m_target = v;
        Q_EMIT targetChanged();
    }
    setValue(v);
}

void Spring::tick()
{
    m_legTime = m_animation.currentTime() / 1000.0;
    const double offset = offsetAt(m_legTime, m_startOffset, m_startVelocity);
    const double velocity = velocityAt(m_legTime, m_startOffset, m_startVelocity);
    if (std::abs(offset) < restDistance && std::abs(velocity) < restSpeed) {
        m_animation.stop();
        setValue(m_target);
        return;
    }
    setValue(m_target + offset);
}

void Spring::setValue(qreal value)
{
    if (value == m_value)
        return;
    m_value = value;
    Q_EMIT valueChanged();
}
