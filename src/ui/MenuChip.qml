import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import Quillmere.Ui

// A chip that opens a menu: the label, and a small chevron when `menu` is
// set; dimmed to 0.6 while `busy`, still usable. Without a menu it is a plain
// chip that opens nothing and is never dimmed.
T.Button {
    id: chip

    property PopoverMenu menu: null
    property bool busy: false
    property color textColor: Theme.muted
    // The name for assistive technology; the label when empty.
    property string accessibleName
    readonly property bool opensMenu: menu !== null

    font.pixelSize: 11
    font.weight: Font.Medium
    leftPadding: 8
    rightPadding: 8
    topPadding: 3
    bottomPadding: 3
    implicitWidth: implicitContentWidth + leftPadding + rightPadding
    implicitHeight: implicitContentHeight + topPadding + bottomPadding
    opacity: busy && opensMenu ? 0.6 : 1
    focusPolicy: opensMenu ? Qt.TabFocus : Qt.NoFocus

    contentItem: Item {
        implicitWidth: label.implicitWidth + (chip.opensMenu ? 4 + 8 : 0)
        implicitHeight: label.implicitHeight
        Text {
            id: label
            anchors.verticalCenter: parent.verticalCenter
            width: Math.min(implicitWidth, parent.width - (chip.opensMenu ? 12 : 0))
            text: chip.text
            font: chip.font
            color: chip.textColor
            elide: Text.ElideRight
            maximumLineCount: 1
            Accessible.ignored: true
        }
        Symbol {
            objectName: "chevron"
            x: label.width + 4
            anchors.verticalCenter: parent.verticalCenter
            visible: chip.opensMenu
            name: "chevron.down"
            size: 8
            color: chip.textColor
        }
    }

    background: Rectangle {
        radius: 6
        color: chip.down && chip.opensMenu ? Qt.rgba(1, 1, 1, 0.08) : Theme.secondary
        border.color: Theme.border
        border.width: 1
    }

    function openMenu() {
        if (!menu)
            return
        menu.parent = chip
        menu.x = Math.min(0, chip.width - menu.width)
        menu.y = chip.height + 4
        menu.open()
    }
    onClicked: openMenu()

    Accessible.role: opensMenu ? Accessible.ButtonMenu : Accessible.StaticText
    Accessible.name: accessibleName.length > 0 ? accessibleName : chip.text
    Accessible.description: accessibleName.length > 0 ? chip.text : ""
    Accessible.onPressAction: openMenu()
}
