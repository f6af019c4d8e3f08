import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Quillmere.Ui
import "settingslogic.js" as Logic

// The popover's settings panel. Every control shows a Store value and writes
// it back or calls a Store operation; the panel keeps no state of its own.
// close is the popover's settings switch: "Back", Escape and "Done" call it,
// and "Sign out"/"Forget link" call it once the Store has disconnected, so
// the connect view shows.
ColumnLayout {
    id: panel

    property var store: App.store
    property var toggleSettings: function () {}
    function close() {
        ++closings
        toggleSettings()
    }
    // How often this panel has asked to close: a disconnect that finishes
    // after the user already went back must not toggle the panel open again.
    property int closings: 0
    function disconnectThenClose() {
        const before = closings
        StoreTasks.disconnectStore(store, panel, function () {
            if (panel.closings === before)
                panel.close()
        })
    }

    readonly property string source: Logic.sourceState(store.signedIn, store.embedLink)

    // A card with a title (12 medium) above its content.
    component Section: Card {
        id: section
        property string title
        default property alias content: body.data
        Layout.fillWidth: true
        contentItem: ColumnLayout {
            spacing: 10
            Text {
                text: section.title
                font.pixelSize: 12
                font.weight: Font.Medium
                color: Theme.foreground
                Accessible.role: Accessible.Heading
                Accessible.name: text
            }
            ColumnLayout {
                id: body
                spacing: 8
                Layout.fillWidth: true
            }
        }
    }
    // A label (12), at least 12 of space, then the row's control.
    component SettingRow: RowLayout {
        id: row
        property string label
        Layout.fillWidth: true
        Text {
            text: row.label
            font.pixelSize: 12
            color: Theme.foreground
            Accessible.ignored: true
        }
        Item { Layout.fillWidth: true; Layout.minimumWidth: 12 }
        // The row's control follows.
    }
    // A muted one-line value, elided in the middle, for the rows that show one.
    component ValueText: Text {
        font.pixelSize: 12
        color: Theme.muted
        elide: Text.ElideMiddle
        maximumLineCount: 1
        horizontalAlignment: Text.AlignRight
        Layout.fillWidth: true
        Layout.maximumWidth: implicitWidth
        Accessible.role: Accessible.StaticText
    }

    implicitWidth: 368
    spacing: 16

    // The registration may have been switched outside the program.
    Component.onCompleted: store.recheckLaunchAtLogin()
    onVisibleChanged: if (visible) store.recheckLaunchAtLogin()

    Shortcut {
        sequence: "Escape"
        enabled: panel.visible
        onActivated: panel.close()
    }

    RowLayout {
        spacing: 8
        Layout.fillWidth: true
        PillButton {
            objectName: "back"
            symbol: "chevron.left"
            toolTip: "Back"
            onClicked: panel.close()
        }
        Text {
            text: "Settings"
            font.pixelSize: 13
            font.weight: Font.DemiBold
            color: Theme.foreground
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
        Item { Layout.fillWidth: true }
    }

    Section {
        objectName: "source"
        title: "Source"

        SettingRow {
            objectName: "signedInAs"
            visible: panel.source === "signedIn"
            label: "Signed in as"
            ValueText {
                objectName: "email"
                text: panel.store.userEmail
                Accessible.name: "Signed in as " + text
            }
        }
        SettingRow {
            objectName: "organizationRow"
            visible: panel.source === "signedIn" && panel.store.workspaces.length >= 2
            label: "Organization"
            PopoverComboBox {
                objectName: "organization"
                accessibleName: "Organization"
                items: Logic.workspaceItems(panel.store.workspaceOptions)
                value: panel.store.workspaceId
                maxWidth: 220
                onChosen: function (id) { panel.store.workspaceId = id }
            }
        }
        SettingRow {
            objectName: "dashboardLink"
            visible: panel.source === "embed"
            label: "Dashboard link"
            ValueText {
                text: panel.store.embedLink
                Accessible.name: "Dashboard link " + text
            }
        }
        Text {
            objectName: "notConnected"
            visible: panel.source === "none"
            text: "Not connected yet."
            font.pixelSize: 12
            color: Theme.muted
        }
        SettingRow {
            objectName: "serverRow"
            visible: panel.source === "none"
            label: "Server"
            PopoverTextField {
                objectName: "server"
                accessibleName: "Server"
                Layout.preferredWidth: 200
                text: panel.store.serverURL
                // Any text may be typed; the Store decides which addresses it uses.
                onTextEdited: panel.store.serverURL = text
            }
        }
        RowLayout {
            visible: panel.store.connected
            Layout.fillWidth: true
            Item { Layout.fillWidth: true }
            PillButton {
                objectName: "disconnect"
                text: panel.store.signedIn ? "Sign out" : "Forget link"
                onClicked: panel.disconnectThenClose()
            }
        }
    }

    Section {
        objectName: "filters"
        title: "Filters"
        visible: panel.store.connected

        SettingRow {
            label: "Date range"
            PopoverComboBox {
                objectName: "dateRange"
                accessibleName: "Date range"
                items: Logic.periodItems(panel.store.periods)
                value: panel.store.period
                onChosen: function (key) { StoreTasks.choosePeriod(panel.store, key, panel, null) }
            }
        }
        Text {
            visible: panel.store.accounts.length > 0
            text: "Platforms and ad accounts"
            font.pixelSize: 12
            color: Theme.foreground
        }
        ScopePicker {
            objectName: "scope"
            visible: panel.store.accounts.length > 0
            store: panel.store
            Layout.fillWidth: true
        }
    }

    Section {
        objectName: "menuBar"
        title: "Menu bar"

        SettingRow {
            label: "Line template"
            PopoverComboBox {
                objectName: "lineTemplate"
                accessibleName: "Line template"
                items: Logic.templateItems(panel.store.lineTemplates)
                value: panel.store.lineTemplate
                maxWidth: 220
                onChosen: function (id) { StoreTasks.selectLineTemplate(panel.store, id, panel, null) }
            }
        }
        SettingRow {
            objectName: "lineRow"
            visible: panel.store.lines.length >= 2
            label: "Line"
            PopoverComboBox {
                objectName: "line"
                accessibleName: "Line"
                items: Logic.lineItems(panel.store.lines)
                value: panel.store.lineIndex
                maxWidth: 200
                onChosen: function (index) { panel.store.lineIndex = index }
            }
        }
        SettingRow {
            label: "Refresh every"
            PopoverComboBox {
                objectName: "refreshEvery"
                accessibleName: "Refresh every"
                items: Logic.refreshItems()
                value: panel.store.refreshMinutes
                onChosen: function (minutes) { panel.store.refreshMinutes = minutes }
            }
        }
        SettingRow {
            label: "Max length"
            Stepper {
                objectName: "maxLength"
                accessibleName: "Max length"
                value: panel.store.maxLength
                from: 10
                to: 120
                step: 5
                onStepped: function (v) { panel.store.maxLength = v }
            }
        }
        SettingRow {
            label: "Show icon"
            PopoverSwitch {
                objectName: "showIcon"
                accessibleName: "Show icon"
                value: panel.store.showIcon
                onFlipped: panel.store.showIcon = !value
            }
        }
        SettingRow {
            label: "Launch at login"
            PopoverSwitch {
                objectName: "launchAtLogin"
                accessibleName: "Launch at login"
                value: panel.store.launchAtLogin
                onFlipped: panel.store.launchAtLogin = !value
            }
        }
    }

    Text {
        text: "Line template applies to the menu bar line; date range and ad accounts apply to the line and the popup."
        font.pixelSize: 11
        color: Theme.muted
        wrapMode: Text.WordWrap
        Layout.fillWidth: true
    }

    RowLayout {
        Layout.fillWidth: true
        Item { Layout.fillWidth: true }
        PillButton {
            objectName: "quit"
            text: "Quit"
            onClicked: App.quit()
        }
        PillButton {
            objectName: "done"
            text: "Done"
            prominent: true
            onClicked: panel.close()
        }
    }
}
