import QtQuick
import QtQuick.Controls.Basic
import Quillmere.Ui

// A dark single-line text field for the settings panel (12, rounded border,
// no placeholder).
TextField {
    id: field

    property string accessibleName

    font.pixelSize: 12
    color: Theme.foreground
    selectionColor: Theme.accent
    selectedTextColor: Theme.background
    placeholderText: ""
    leftPadding: 6
    rightPadding: 6
    topPadding: 3
    bottomPadding: 3
    selectByMouse: true

    background: Rectangle {
        implicitHeight: 22
        radius: 5
        color: Qt.rgba(1, 1, 1, 0.05)
        border.color: field.activeFocus ? Theme.accent : Qt.rgba(1, 1, 1, 0.14)
        border.width: 1
    }

    Accessible.name: field.accessibleName
    Accessible.onPressAction: field.forceActiveFocus()
}
