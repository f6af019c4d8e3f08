import QtQuick
import QtQuick.Controls.Basic
import Quillmere.Ui

// The popover's dark single-line text field with a rounded outline. Its
// accessible name is accessibleName, else the placeholder.
TextField {
    id: field

    property string accessibleName

    font.pixelSize: 12
    color: Theme.foreground
    placeholderTextColor: Theme.muted
    selectionColor: Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.4)
    selectedTextColor: Theme.foreground
    selectByMouse: true
    leftPadding: 8
    rightPadding: 8
    topPadding: 5
    bottomPadding: 5

    background: Rectangle {
        implicitWidth: 120
        implicitHeight: 26
        radius: 6
        color: Qt.rgba(1, 1, 1, 0.05)
        border.width: 1
        border.color: field.activeFocus ? Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.7) : Qt.rgba(1, 1, 1, 0.12)
    }

    Accessible.role: Accessible.EditableText
    Accessible.name: accessibleName.length > 0 ? accessibleName : placeholderText
    Accessible.onPressAction: forceActiveFocus()
}
