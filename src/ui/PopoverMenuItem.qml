import QtQuick
import QtQuick.Controls.Basic
import Quillmere.Ui

// An item of a PopoverMenu: its text, with a check mark in front when
// checkMark is true (the column is kept when it is false, so texts line up).
MenuItem {
    id: item

    property bool checkMark: false

    implicitWidth: Math.max(120, leftPadding + implicitContentWidth + rightPadding)
    implicitHeight: implicitContentHeight + topPadding + bottomPadding
    leftPadding: 8 + 16
    rightPadding: 12
    topPadding: 4
    bottomPadding: 4
    font.pixelSize: 12

    indicator: Symbol {
        x: 8
        y: (item.height - height) / 2
        name: "checkmark"
        size: 10
        color: item.highlighted ? Theme.background : Theme.foreground
        visible: item.checkMark
    }
    arrow: null

    contentItem: Text {
        text: item.text
        font: item.font
        color: !item.enabled ? Theme.muted : item.highlighted ? Theme.background : Theme.foreground
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
        Accessible.ignored: true
    }

    background: Rectangle {
        implicitHeight: 22
        x: 4
        width: item.width - 8
        radius: 4
        color: item.highlighted ? Theme.accent : "transparent"
    }

    Accessible.role: Accessible.MenuItem
    Accessible.name: item.text
    Accessible.checkable: true
    Accessible.checked: item.checkMark
    Accessible.onPressAction: item.triggered()
}
