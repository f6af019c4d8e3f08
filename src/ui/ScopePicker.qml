import QtQuick
import QtQuick.Layouts
import Quillmere.Ui
import "settingslogic.js" as Logic

// The account scope checklist: "All platforms and accounts", then per
// platform group a toggle (medium weight) followed by its accounts (indented
// 20). Each toggle shows the Store's selection and each click runs the
// matching Store command; "All" runs toggleAccount with no id even when it is
// already on.
//
// toggle is the component drawn per row (the popover's checkbox by default;
// the settings window passes its own switch). It needs the properties text,
// value, medium and indent and the signal flipped().
ColumnLayout {
    id: picker

    property var store: App.store
    property Component toggle: PopoverCheckBox {}

    // The rows change only when the accounts do, not at every Store notice,
    // so the toggles (and their focus) survive a refresh.
    property var rows: []
    readonly property var groups: store ? store.platformGroups : []
    function syncRows() {
        const next = Logic.scopeRows(groups)
        if (!Logic.sameItems(rows, next))
            rows = next
    }
    onGroupsChanged: syncRows()
    Component.onCompleted: syncRows()

    function activate(row) {
        if (row.kind === "platform")
            StoreTasks.togglePlatform(store, row.id, picker, null)
        else
            StoreTasks.toggleAccount(store, row.id, picker, null) // "" for all
    }

    spacing: 6

    Repeater {
        model: picker.rows
        delegate: Loader {
            id: slot
            required property var modelData
            objectName: "scope:" + modelData.kind + ":" + modelData.id
            sourceComponent: picker.toggle
            Layout.fillWidth: true

            Binding { target: slot.item; property: "text"; value: slot.modelData.text }
            Binding { target: slot.item; property: "medium"; value: slot.modelData.kind === "platform" }
            Binding { target: slot.item; property: "indent"; value: slot.modelData.kind === "account" ? 20 : 0 }
            Binding {
                target: slot.item
                property: "value"
                value: picker.store ? Logic.scopeOn(slot.modelData, picker.store.selectedAccounts,
                                                    picker.store.selectedPlatforms) : false
            }
            Connections {
                target: slot.item
                function onFlipped() { picker.activate(slot.modelData) }
            }
        }
    }
}
