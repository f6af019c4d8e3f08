import QtQuick
import QtQuick.Controls.Basic
import Quillmere.Ui

// The popover's small dark switch. Like PopoverCheckBox it shows `value`
// (the Store's state) and only reports flipped() when clicked.
Switch {
    id: control

    property bool value
    property string accessibleName
    signal flipped()

    checkable: false
    checked: value
    onClicked: control.flipped()
    padding: 0
    implicitWidth: implicitIndicatorWidth + leftPadding + rightPadding
    implicitHeight: implicitIndicatorHeight + topPadding + bottomPadding

    indicator: Rectangle {
        implicitWidth: 26
        implicitHeight: 15
        x: control.leftPadding
        y: (control.height - height) / 2
        radius: height / 2
        color: control.checked ? Theme.accent : Qt.rgba(1, 1, 1, 0.14)
        border.color: control.visualFocus ? Theme.foreground : Theme.border
        border.width: 1
        Rectangle {
            width: 13
            height: 13
            radius: 6.5
            y: 1
            x: control.checked ? parent.width - width - 1 : 1
            color: control.down ? "#d0d0d0" : "#ffffff"
            Behavior on x { NumberAnimation { duration: 120 } }
        }
    }
    contentItem: Item {}

    Accessible.role: Accessible.CheckBox
    Accessible.name: control.accessibleName
    Accessible.checkable: true
    Accessible.checked: control.checked
    Accessible.onPressAction: control.clicked()
    Accessible.onToggleAction: control.clicked()
}
