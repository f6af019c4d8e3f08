#include "plasmaoffer.h"

#include "plasmapanel.h"
#include "plasmawidgetoffer.h"

#include <QDBusConnection>

void offerPlasmaWidget()
{
    PlasmaWidgetOffer::instance()->setHost([] { return plasmapanel::shouldOffer(QDBusConnection::sessionBus()); },
        []() -> QCoro::Task<PlasmaWidgetOffer::Outcome> {
            QString error;
            const plasmapanel::AddResult result = co_await plasmapanel::add(QDBusConnection::sessionBus(), &error);
            const bool inPanel = result == plasmapanel::AddResult::Added || result == plasmapanel::AddResult::Present;
            co_return PlasmaWidgetOffer::Outcome {inPanel, error.isEmpty() ? plasmapanel::describe(result) : error};
        });
}
