#include "plasmawidgetoffer.h"

#include <QJSEngine>
#include <QPointer>

PlasmaWidgetOffer *PlasmaWidgetOffer::instance()
{
    static PlasmaWidgetOffer offer;
    return &offer;
}

PlasmaWidgetOffer *PlasmaWidgetOffer::create(QQmlEngine *, QJSEngine *)
{
    PlasmaWidgetOffer *offer = instance();
    QJSEngine::setObjectOwnership(offer, QJSEngine::CppOwnership);
    return offer;
}

void PlasmaWidgetOffer::setHost(Check check, Add add)
{
    m_check = std::move(check);
    m_add = std::move(add);
}

void PlasmaWidgetOffer::recheck()
{
    if (m_check && !m_busy)
        runCheck();
}

void PlasmaWidgetOffer::add()
{
    if (m_add && m_offered && !m_busy)
        runAdd();
}

QCoro::Task<> PlasmaWidgetOffer::runCheck()
{
    QPointer<PlasmaWidgetOffer> self(this);
    const bool offer = co_await m_check();
    if (!self || m_busy || offer == m_offered)
        co_return;
    m_offered = offer;
    Q_EMIT changed();
}

QCoro::Task<> PlasmaWidgetOffer::runAdd()
{
    QPointer<PlasmaWidgetOffer> self(this);
    m_busy = true;
    m_message.clear();
    Q_EMIT changed();
    const Outcome outcome = co_await m_add();
    if (!self)
        co_return;
    m_busy = false;
    m_message = outcome.message;
    m_offered = !outcome.inPanel;
    Q_EMIT changed();
}
