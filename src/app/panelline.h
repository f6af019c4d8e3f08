#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

// The line a panel widget shows, as `--line --json --next` prints it: one
// line of JSON {"text", "tooltip", "icon", "class", "running", "state"}.
// "state" names everything else, so that a widget can hand it back with
// --since and learn of any change it has not seen.
struct PanelLine {
    QString text;
    QString tooltip;
    bool icon = true;
    QString cssClass;
    bool running = false;

    // What a panel shows while no instance runs.
    static PanelLine notRunning();
    // From the properties of the instance's menu-bar interface: Title,
    // ToolTip and IconShown, with Status for the class (and for the tooltip
    // of an instance without ToolTip).
    static PanelLine fromProperties(const QVariantMap &properties);

    // Sixteen hexadecimal digits, the same for equal lines.
    QString state() const;
    QByteArray json() const;

    bool operator==(const PanelLine &) const = default;
};
