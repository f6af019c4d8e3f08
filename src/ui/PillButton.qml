import QtQuick
import QtQuick.Controls.Basic as Basic
import QtQuick.Templates as T

// The popover's small text button: 12 medium text, 10/4 padding, a rounded
// pill filled per prominent and pressed (see fillColor), with a hairline
// outline. With a symbol instead of text it shows only the symbol and uses
// toolTip as its tooltip and accessible name.
T.Button {
    id: control

    property bool prominent: false
    property string symbol
    property string toolTip

    // The pill's fill: foreground (at 0.8 while pressed) when prominent,
    // else the secondary white (twice as strong while pressed).
    function fillColor(prominent, pressed) {
        if (prominent)
            return pressed ? Qt.rgba(Theme.foreground.r, Theme.foreground.g, Theme.foreground.b, 0.8) : Theme.foreground;
        return pressed ? Qt.rgba(1, 1, 1, Theme.secondary.a * 2) : Theme.secondary;
    }

    readonly property color textColor: prominent ? Theme.background : Theme.foreground

    leftPadding: 10
    rightPadding: 10
    topPadding: 4
    bottomPadding: 4
    implicitWidth: implicitContentWidth + leftPadding + rightPadding
    implicitHeight: implicitContentHeight + topPadding + bottomPadding
    opacity: enabled ? 1 : 0.45
    focusPolicy: Qt.TabFocus
    hoverEnabled: true

    font.pixelSize: 12
    font.weight: Font.Medium

    contentItem: Item {
        implicitWidth: control.symbol.length > 0 ? symbolItem.width : label.implicitWidth
        implicitHeight: Math.max(label.implicitHeight, symbolItem.height)
        Text {
            id: label
            visible: control.symbol.length === 0
            anchors.centerIn: parent
            text: control.text
            font: control.font
            color: control.textColor
            elide: Text.ElideRight
            Accessible.ignored: true
        }
        Symbol {
            id: symbolItem
            visible: control.symbol.length > 0
            anchors.centerIn: parent
            name: control.symbol
            color: control.textColor
            size: 12
        }
    }

    background: Rectangle {
        radius: 8
        color: control.fillColor(control.prominent, control.down)
        border.color: Theme.border
        border.width: 1
    }

    Basic.ToolTip.visible: control.toolTip.length > 0 && control.hovered
    Basic.ToolTip.text: control.toolTip
    Basic.ToolTip.delay: 600

    Accessible.role: Accessible.Button
    Accessible.name: control.symbol.length > 0 ? control.toolTip : control.text
    Accessible.onPressAction: control.clicked()
}
