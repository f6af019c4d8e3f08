import QtQuick
import QtQuick.Controls.Fusion
import QtQuick.Layouts
import "settingslogic.js" as Logic
import Quillmere.Ui

// The settings window's picker, in the desktop style. items are {text,
// value}; it shows the item whose value is `value` (the Store's) and reports
// a pick with chosen(value), keeping on showing `value` until the Store
// changes.
ComboBox {
    id: control

    property var items: []
    property var value
    property string accessibleName
    // The widest the picker may be in its row; it gives way (down to 80)
    // when the row's label needs the room.
    property real maxWidth: Infinity
    signal chosen(var value)

    Layout.fillWidth: true
    Layout.minimumWidth: Math.min(implicitWidth, 80)
    Layout.maximumWidth: Math.min(implicitWidth, maxWidth)

    function sync() {
        if (!Logic.sameItems(model, items))
            model = items
    }
    onItemsChanged: sync()
    Component.onCompleted: sync()

    model: []
    textRole: "text"
    valueRole: "value"
    currentIndex: Logic.indexOfValue(model, value)
    // As wide as its widest item, unless its row caps it.
    FontMetrics { id: metrics; font: control.font }
    readonly property real widestText: {
        let widest = 0
        for (let i = 0; i < items.length; ++i)
            widest = Math.max(widest, metrics.advanceWidth(items[i].text))
        return Math.ceil(widest) + 8
    }
    implicitWidth: Math.max(implicitBackgroundWidth, widestText + leftPadding + rightPadding)

    onActivated: function (index) {
        const picked = model[index].value
        currentIndex = Qt.binding(function () { return Logic.indexOfValue(control.model, control.value) })
        control.chosen(picked)
    }

    // The list's rows show the items' texts as they are: a row's label would
    // take "&" for a mnemonic sign ("Leads & sales" drawn as "Leads _sales").
    delegate: ItemDelegate {
        required property var modelData
        required property int index
        width: ListView.view ? ListView.view.width : implicitWidth
        text: String(modelData.text).replace(/&/g, "&&")
        highlighted: control.highlightedIndex === index
        font.weight: control.currentIndex === index ? Font.DemiBold : Font.Normal
        Accessible.name: modelData.text
    }

    Accessible.name: control.accessibleName
    Accessible.description: control.displayText
    Accessible.onPressAction: control.popup.open()
}
