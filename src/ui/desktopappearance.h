#pragma once

#include "platform/appearance.h"

#include <QtQml/qqmlregistration.h>

// The desktop's light or dark preference for the views that follow the
// desktop (the settings window), as the QML singleton DesktopAppearance.
class DesktopAppearance : public Appearance {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using Appearance::Appearance;
};
