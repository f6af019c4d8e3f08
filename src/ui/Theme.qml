pragma Singleton
import QtQuick
import Quillmere.Ui

// The popover's colours. It is always dark; there are no light variants.
QtObject {
    readonly property color background: Qt.rgba(0.04, 0.04, 0.04, 1)
    readonly property color card: Qt.rgba(1, 1, 1, 0.03)
    readonly property color border: Qt.rgba(1, 1, 1, 0.06)
    readonly property color foreground: Qt.rgba(0.96, 0.96, 0.96, 1)
    readonly property color muted: Qt.rgba(0.49, 0.49, 0.49, 1)
    readonly property color secondary: Qt.rgba(1, 1, 1, 0.04)
    readonly property color accent: Qt.rgba(0.37, 0.92, 0.83, 1)

    // Plain colours some views name.
    readonly property color red: "#ff453a"
    readonly property color orange: "#ff9f0a"
    readonly property color green: "#32d74b"

    // Figures keep their width from one value to the next: they are set in
    // a font whose digits all have the same advance (the system font's own
    // family where its digits do).
    readonly property string digitsFamily: App.digitsFamily
}
