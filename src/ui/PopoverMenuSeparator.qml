import QtQuick
import QtQuick.Controls.Basic
import Quillmere.Ui

// A divider line between groups of a PopoverMenu.
MenuSeparator {
    topPadding: 4
    bottomPadding: 4
    leftPadding: 8
    rightPadding: 8
    contentItem: Rectangle {
        implicitWidth: 100
        implicitHeight: 1
        color: Qt.rgba(1, 1, 1, 0.1)
    }
    Accessible.role: Accessible.Separator
    Accessible.name: "Divider"
}
