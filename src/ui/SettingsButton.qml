import QtQuick
import Quillmere.Ui

// The pill that opens the settings panel: text "Settings", or the
// "gearshape" symbol with the tooltip "Settings". Clicking calls toggle, the
// popover's settings switch.
PillButton {
    property var toggle: function () {}
    onClicked: toggle()
}
