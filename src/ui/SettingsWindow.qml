import QtQuick
import QtQuick.Controls.Fusion as Fusion
import Quillmere.Ui

// The "Quillmere Settings" window: the settings form in a normal decorated
// window, 440 wide, in the desktop's own style and palette. Each opening
// starts the form afresh (collapsed disclosures and the like).
Fusion.ApplicationWindow {
    id: window

    title: "Quillmere Settings"
    width: 440
    minimumWidth: 440
    maximumWidth: 440
    height: Math.min(form.implicitHeight, Screen.desktopAvailableHeight - 80)
    minimumHeight: Math.min(form.implicitHeight, 240)
    // The form's colours reach the window's edges (a dark desktop's too).
    color: form.palette.window

    onVisibleChanged: {
        if (visible && typeof form.reset === "function")
            form.reset();
    }

    Fusion.ScrollView {
        anchors.fill: parent
        contentWidth: availableWidth

        SettingsView {
            id: form
            width: window.width
        }
    }
}
