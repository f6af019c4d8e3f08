import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import "settingslogic.js" as Logic
import Quillmere.Ui

// The popover's stepper: a label (by default the plain number, in digits of
// equal width) and two small arrow buttons. It shows `value` (the Store's)
// and asks for the next one with stepped(newValue), one step at a time and
// never outside from..to; an arrow at its bound is disabled.
RowLayout {
    id: control

    property int value
    property int from: 0
    property int to: 100
    property int step: 1
    property string label: String(value)
    property string accessibleName
    signal stepped(int value)

    function increase() { move(1) }
    function decrease() { move(-1) }
    function move(delta) {
        const next = Logic.stepped(value, delta, step, from, to)
        if (next !== value)
            stepped(next)
    }

    spacing: 6
    activeFocusOnTab: true
    Keys.onUpPressed: increase()
    Keys.onDownPressed: decrease()

    Text {
        text: control.label
        font.pixelSize: 12
        font.family: Theme.digitsFamily
        color: Theme.foreground
        Accessible.ignored: true
    }

    Rectangle {
        implicitWidth: 16
        implicitHeight: 22
        radius: 5
        color: Theme.secondary
        border.color: control.activeFocus ? Theme.accent : Theme.border
        border.width: 1

        Column {
            anchors.fill: parent
            Repeater {
                model: [1, -1]
                delegate: AbstractButton {
                    id: arrow
                    required property int modelData
                    width: 16
                    height: 11
                    enabled: modelData > 0 ? control.value < control.to : control.value > control.from
                    focusPolicy: Qt.NoFocus
                    onClicked: control.move(modelData)
                    contentItem: Text {
                        text: arrow.modelData > 0 ? "\u25B4" : "\u25BE"
                        font.pixelSize: 10
                        color: arrow.enabled ? Theme.foreground : Theme.muted
                        opacity: arrow.down ? 0.6 : 1
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                    }
                    background: null
                    Accessible.role: Accessible.Button
                    Accessible.name: (modelData > 0 ? "Increase " : "Decrease ") + control.accessibleName
                    Accessible.onPressAction: control.move(modelData)
                }
            }
        }
    }

    Accessible.role: Accessible.SpinBox
    Accessible.name: control.accessibleName
    Accessible.description: control.label
    Accessible.onIncreaseAction: control.increase()
    Accessible.onDecreaseAction: control.decrease()
}
