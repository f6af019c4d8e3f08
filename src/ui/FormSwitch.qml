import QtQuick
import QtQuick.Controls.Fusion
import Quillmere.Ui

// The settings window's switch, in the desktop style. Like the popover's
// toggles it shows `value` (the Store's state) and only reports flipped()
// when clicked, so a click the Store refuses leaves the real state shown.
// text (optional) follows the switch; medium and indent serve the scope
// picker's rows.
Switch {
    id: control

    property bool value
    property bool medium: false
    property real indent: 0
    property string accessibleName: text
    signal flipped()

    checkable: false
    checked: value
    onClicked: control.flipped()
    leftPadding: indent
    font.weight: medium ? Font.Medium : Font.Normal

    Accessible.name: control.accessibleName
    Accessible.checkable: true
    Accessible.checked: control.checked
    Accessible.onPressAction: control.clicked()
    Accessible.onToggleAction: control.clicked()
}
