#pragma once

#include "platform/services.h"

// The machine's wall clock.
class SystemClock : public Clock {
public:
    QDateTime now() const override;
};
