import QtQuick
import QtQuick.Controls.Basic as Basic
import QtQuick.Window
import Quillmere.Ui

// The status item's window: a 400-wide dark panel that shows one side at a
// time, the main view (the dashboard when connected, else the connect view)
// or the settings panel, at that side's natural height. Toggling slides and
// fades the sides (settings from the trailing edge, main from the leading
// one) while the height springs from one side's height to the other's.
// The host shows, places and hides the window; dismissRequested asks it to
// close.
Basic.ApplicationWindow {
    id: popover

    signal dismissRequested

    property bool showingSettings: false
    // The last natural height of each side, keyed by showingSettings.
    property var heights: ({})
    readonly property real padding: 16
    readonly property real sideWidth: width - 2 * padding

    // Switches between the main side and the settings panel. The views get it
    // as their toggleSettings.
    function toggleSettings() {
        // The slide first: a running slide keeps the side it leaves loaded,
        // so that the live view leaves (scrolled, expanded, typed into),
        // not a new copy.
        slide.target = showingSettings ? 0 : 1;
        showingSettings = !showingSettings;
        const known = heights[showingSettings];
        if (known !== undefined)
            grow.target = known;
    }

    // A side reports its natural height; the shown side's height drives the
    // window. The very first height is taken at once, and so are those of
    // the first frames after appearing, while the views fill in (the tables
    // come after the first frame); later ones spring.
    function record(settingsSide, height) {
        if (height <= 0)
            return;
        const next = Object.assign({}, heights);
        next[settingsSide] = height;
        heights = next;
        if (settingsSide !== showingSettings)
            return;
        if (!grow.started || framesShown < 3) {
            grow.jumpTo(height);
            grow.started = true;
        } else {
            grow.target = height;
        }
    }

    property int framesShown: 0
    onVisibleChanged: framesShown = 0
    onFrameSwapped: {
        if (framesShown < 3)
            framesShown += 1;
    }

    title: "Quillmere"
    flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint
    width: 400
    // A fixed size: tiling compositors (sway) float such windows instead of
    // tiling them.
    minimumWidth: width
    maximumWidth: width
    // The height follows the shown side; the limits move first, out of the
    // new height's way: a window manager holds a window to the limits it
    // last heard of, and a popover whose height outran them stays short.
    readonly property int wantedHeight: Math.round(stack.height + 2 * padding)
    onWantedHeightChanged: fitHeight()
    Component.onCompleted: fitHeight()
    function fitHeight() {
        if (wantedHeight > maximumHeight) {
            maximumHeight = wantedHeight;
            minimumHeight = wantedHeight;
        } else {
            minimumHeight = wantedHeight;
            maximumHeight = wantedHeight;
        }
        height = wantedHeight;
    }
    color: Theme.background
    font.pixelSize: 13

    // Dark whatever the desktop's scheme: every control that falls back on
    // the palette gets the popover's colours.
    palette.window: Theme.background
    palette.windowText: Theme.foreground
    palette.base: Qt.rgba(1, 1, 1, 0.06)
    palette.alternateBase: Theme.card
    palette.text: Theme.foreground
    palette.button: Qt.rgba(1, 1, 1, 0.06)
    palette.buttonText: Theme.foreground
    palette.brightText: Theme.foreground
    palette.highlight: Theme.accent
    palette.highlightedText: Theme.background
    palette.placeholderText: Theme.muted
    palette.toolTipBase: "#2a2a2a"
    palette.toolTipText: Theme.foreground
    palette.light: Qt.rgba(1, 1, 1, 0.12)
    palette.midlight: Qt.rgba(1, 1, 1, 0.09)
    palette.mid: Qt.rgba(1, 1, 1, 0.06)
    palette.dark: Theme.background
    palette.shadow: "black"

    Shortcut {
        // In the settings panel Escape is the panel's own Back.
        sequence: "Escape"
        enabled: !popover.showingSettings
        onActivated: popover.dismissRequested()
    }

    Spring {
        id: slide // 0: the main side, 1: the settings panel
    }
    Spring {
        id: grow
        property bool started: false
    }

    Item {
        id: stack
        objectName: "stack"
        x: popover.padding
        y: popover.padding
        width: popover.sideWidth
        // No taller than the screen leaves room for.
        readonly property real maxHeight: Math.max(120, Screen.desktopAvailableHeight - 2 * popover.padding - 12)
        height: Math.min(maxHeight, grow.started ? grow.value : (popover.showingSettings ? settingsSide : mainSide).naturalHeight)
        clip: true

        // Each side at its natural height; one taller than the screen allows
        // scrolls within the popover.
        Flickable {
            id: mainFlick
            width: parent.width
            height: parent.height
            x: -width * slide.value
            opacity: Math.max(0, Math.min(1, 1 - slide.value))
            visible: opacity > 0 && mainSide.active
            contentHeight: mainSide.naturalHeight
            interactive: contentHeight > height + 0.5
            boundsBehavior: Flickable.StopAtBounds
            Basic.ScrollBar.vertical: Basic.ScrollBar {
                policy: mainFlick.interactive ? Basic.ScrollBar.AsNeeded : Basic.ScrollBar.AlwaysOff
            }

            Loader {
                id: mainSide
                objectName: "mainSide"
                readonly property real naturalHeight: item ? item.implicitHeight : 0
                width: mainFlick.width
                active: !popover.showingSettings || slide.running
                source: App.store.connected ? "DashboardView.qml" : "ConnectView.qml"
                onLoaded: item.toggleSettings = popover.toggleSettings
                onNaturalHeightChanged: popover.record(false, naturalHeight)
            }
        }
        Flickable {
            id: settingsFlick
            width: parent.width
            height: parent.height
            x: width * (1 - slide.value)
            opacity: Math.max(0, Math.min(1, slide.value))
            visible: opacity > 0 && settingsSide.active
            contentHeight: settingsSide.naturalHeight
            interactive: contentHeight > height + 0.5
            boundsBehavior: Flickable.StopAtBounds
            Basic.ScrollBar.vertical: Basic.ScrollBar {
                policy: settingsFlick.interactive ? Basic.ScrollBar.AsNeeded : Basic.ScrollBar.AlwaysOff
            }

            Loader {
                id: settingsSide
                objectName: "settingsSide"
                readonly property real naturalHeight: item ? item.implicitHeight : 0
                width: settingsFlick.width
                active: popover.showingSettings || slide.running
                source: "SettingsPanel.qml"
                onLoaded: item.toggleSettings = popover.toggleSettings
                onNaturalHeightChanged: popover.record(true, naturalHeight)
            }
        }
    }
}
