import QtQuick
import QtQuick.Controls.Basic
import Quillmere.Ui

// The popover's dark checkbox. It shows `value` (the Store's state) and never
// a state of its own: a click only reports flipped(), and the box changes
// when the Store does. medium sets the title in medium weight; indent moves
// the whole toggle right.
CheckBox {
    id: control

    property bool value
    property bool medium: false
    property real indent: 0
    signal flipped()

    checkable: false
    checked: value
    onClicked: control.flipped()

    font.pixelSize: 12
    font.weight: medium ? Font.Medium : Font.Normal
    leftPadding: indent
    topPadding: 1
    bottomPadding: 1
    spacing: 6

    indicator: Rectangle {
        implicitWidth: 14
        implicitHeight: 14
        x: control.leftPadding
        y: (control.height - height) / 2
        radius: 4
        color: control.checked ? Theme.accent : (control.down ? Qt.rgba(1, 1, 1, 0.1) : Qt.rgba(1, 1, 1, 0.06))
        border.color: control.checked ? Theme.accent : (control.visualFocus ? Theme.accent : Qt.rgba(1, 1, 1, 0.25))
        border.width: 1
        Symbol {
            anchors.centerIn: parent
            visible: control.checked
            name: "checkmark"
            color: Theme.background
            size: 10
        }
    }

    contentItem: Text {
        leftPadding: control.indicator.width + control.spacing
        text: control.text
        font: control.font
        color: Theme.foreground
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
        Accessible.ignored: true
    }

    Accessible.role: Accessible.CheckBox
    Accessible.name: control.text
    Accessible.checkable: true
    Accessible.checked: control.checked
    Accessible.onPressAction: control.clicked()
    Accessible.onToggleAction: control.clicked()
}
