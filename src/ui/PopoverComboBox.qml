import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import QtQuick.Window
import "settingslogic.js" as Logic
import Quillmere.Ui

// The popover's dark picker. items are {text, value}; the box shows the item
// whose value is `value` (the Store's) and reports a pick with chosen(value)
// without taking the pick as its own state: it keeps showing `value`, so a
// pick the Store does not take leaves the real state on screen.
ComboBox {
    id: control

    property var items: []
    property var value
    property string accessibleName
    // The widest the picker may be in its row; it gives way (down to 60)
    // when the row's label needs the room.
    property real maxWidth: Infinity
    signal chosen(var value)

    Layout.fillWidth: true
    Layout.minimumWidth: Math.min(implicitWidth, 60)
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
    // As wide as its widest item (sized to its content), unless its row
    // caps it.
    FontMetrics { id: metrics; font: control.font }
    readonly property real widestText: {
        let widest = 0
        for (let i = 0; i < items.length; ++i)
            widest = Math.max(widest, metrics.advanceWidth(items[i].text))
        return Math.ceil(widest)
    }
    implicitWidth: widestText + leftPadding + rightPadding
    font.pixelSize: 12
    leftPadding: 8
    rightPadding: 8 + indicatorItem.width + 6
    topPadding: 3
    bottomPadding: 3

    onActivated: function (index) {
        const picked = model[index].value
        currentIndex = Qt.binding(function () { return Logic.indexOfValue(control.model, control.value) })
        control.chosen(picked)
    }

    contentItem: Text {
        text: control.displayText
        font: control.font
        color: Theme.foreground
        elide: Text.ElideRight
        verticalAlignment: Text.AlignVCenter
        Accessible.ignored: true
    }

    indicator: Text {
        id: indicatorItem
        x: control.width - width - 8
        y: (control.height - height) / 2
        text: "\u2304"
        font.pixelSize: 12
        color: Theme.muted
        Accessible.ignored: true
    }

    background: Rectangle {
        implicitHeight: 22
        radius: 6
        color: control.down || control.popup.visible ? Qt.rgba(1, 1, 1, 0.08) : Theme.secondary
        border.color: control.visualFocus ? Theme.accent : Theme.border
        border.width: 1
    }

    delegate: ItemDelegate {
        id: row
        required property int index
        required property var modelData
        width: ListView.view ? ListView.view.width : implicitWidth
        highlighted: control.highlightedIndex === index
        leftPadding: 8
        rightPadding: 8
        topPadding: 4
        bottomPadding: 4
        contentItem: Text {
            text: row.modelData.text
            font.pixelSize: 12
            font.weight: row.index === control.currentIndex ? Font.DemiBold : Font.Normal
            color: row.highlighted ? Theme.background : Theme.foreground
            elide: Text.ElideRight
            verticalAlignment: Text.AlignVCenter
        }
        background: Rectangle {
            radius: 4
            color: row.highlighted ? Theme.accent : "transparent"
        }
        Accessible.name: row.modelData.text
    }

    popup: Popup {
        // Never taller than the window the picker is in; the list scrolls.
        y: control.height + 2
        width: Math.min(Math.max(control.width, control.implicitWidth + 16),
                        control.Window.width - leftMargin - rightMargin)
        topMargin: 6
        bottomMargin: 6
        leftMargin: 6
        rightMargin: 6
        padding: 4
        implicitHeight: Math.min(listView.contentHeight + topPadding + bottomPadding,
                                 control.Window.height - topMargin - bottomMargin)
        contentItem: ListView {
            id: listView
            clip: true
            implicitHeight: contentHeight
            model: control.popup.visible ? control.delegateModel : null
            currentIndex: control.highlightedIndex
            boundsBehavior: Flickable.StopAtBounds
            ScrollIndicator.vertical: ScrollIndicator {}
        }
        background: Rectangle {
            color: "#1c1c1e"
            radius: 8
            border.color: Qt.rgba(1, 1, 1, 0.12)
            border.width: 1
        }
    }

    Accessible.role: Accessible.ComboBox
    Accessible.name: control.accessibleName
    Accessible.description: control.displayText
    Accessible.onPressAction: control.popup.open()
}
