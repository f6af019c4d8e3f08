#pragma once

#include <QString>

// One row of the panel item's menu, shared by every way the menu is shown
// (the exported menu, the tray fallback's QMenu, the XApp icon's menu). Ids
// are positive; 0 is the menu itself.
struct MenuEntry {
    int id = 0;
    QString label; // shown as is (no mnemonics)
    bool enabled = true;
    bool separator = false;
};
