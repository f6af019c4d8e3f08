import QtQuick
import QtQuick.Controls.Fusion
import QtQuick.Layouts
import Quillmere.Ui
import QtQuick.Window
import "settingslogic.js" as Logic

// The settings window's content: a grouped form, 440 wide, in the desktop
// style with the system palette. It offers what the popover's settings panel
// offers, plus the server address under "Advanced". Like the panel it only
// shows Store values and calls Store operations; its one state of its own is
// whether "Advanced" is open, which reset() (run each time the window
// appears) closes again.
Pane {
    id: view

    property var store: App.store
    property bool showServer: false
    readonly property string source: Logic.sourceState(store.signedIn, store.embedLink)

    function reset() {
        showServer = false
        store.recheckLaunchAtLogin()
        PlasmaWidget.recheck()
    }

    // A group of rows under an optional heading.
    component Section: ColumnLayout {
        id: section
        property string title
        default property alias content: body.data
        Layout.fillWidth: true
        spacing: 6
        Label {
            visible: section.title.length > 0
            text: section.title
            font.weight: Font.DemiBold
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
        Frame {
            Layout.fillWidth: true
            padding: 10
            ColumnLayout {
                id: body
                anchors.left: parent.left
                anchors.right: parent.right
                spacing: 8
            }
        }
    }
    // A label on the left, the row's control on the right.
    component FormRow: RowLayout {
        id: row
        property string label
        Layout.fillWidth: true
        spacing: 12
        Label {
            text: row.label
            Accessible.ignored: true
        }
        Item { Layout.fillWidth: true }
        // The row's control follows.
    }

    implicitWidth: 440
    padding: 20

    // Dark colours while the desktop says it prefers dark (through the
    // portal); otherwise the system palette as it is.
    property bool dark: DesktopAppearance.prefersDark
    readonly property var darkColors: ({
        "window": "#2b2b2b", "windowText": "#e8e8e8", "base": "#1f1f1f", "alternateBase": "#262626",
        "text": "#e8e8e8", "button": "#363636", "buttonText": "#e8e8e8", "brightText": "#ffffff",
        "highlight": "#3b78c4", "highlightedText": "#ffffff", "placeholderText": "#9a9a9a",
        "light": "#4a4a4a", "midlight": "#3e3e3e", "mid": "#242424", "dark": "#1a1a1a", "shadow": "#000000",
        "toolTipBase": "#3a3a3a", "toolTipText": "#e8e8e8", "link": "#6aa6ff",
        "disabled.text": "#7a7a7a", "disabled.windowText": "#7a7a7a", "disabled.buttonText": "#7a7a7a",
        "disabled.base": "#262626", "disabled.button": "#303030"
    })
    Instantiator {
        model: Object.keys(view.darkColors)
        delegate: Binding {
            required property string modelData
            target: view
            property: "palette." + modelData
            value: view.darkColors[modelData]
            when: view.dark
        }
    }

    Component.onCompleted: reset()
    Connections {
        target: view.Window.window
        ignoreUnknownSignals: true
        function onVisibleChanged() {
            if (view.Window.window.visible)
                view.reset()
        }
        // Back from another program, where the login entry may have changed.
        function onActiveChanged() {
            if (view.Window.window.active)
                view.store.recheckLaunchAtLogin()
        }
    }

    ColumnLayout {
        anchors.left: parent.left
        anchors.right: parent.right
        spacing: 16

        Section {
            objectName: "source"
            title: "Source"

            FormRow {
                objectName: "signedInAs"
                visible: view.source === "signedIn"
                label: "Signed in as"
                Label {
                    text: view.store.userEmail
                    elide: Text.ElideMiddle
                    Layout.maximumWidth: 260
                    Accessible.name: "Signed in as " + text
                }
            }
            FormRow {
                objectName: "organizationRow"
                visible: view.source === "signedIn"
                label: "Organization"
                FormComboBox {
                    objectName: "organization"
                    accessibleName: "Organization"
                    items: Logic.workspaceItems(view.store.workspaceOptions)
                    value: view.store.workspaceId
                    maxWidth: 260
                    onChosen: function (id) { view.store.workspaceId = id }
                }
            }
            FormRow {
                objectName: "dashboardLink"
                visible: view.source === "embed"
                label: "Dashboard link"
                Label {
                    text: view.store.embedLink
                    elide: Text.ElideMiddle
                    Layout.maximumWidth: 260
                    Accessible.name: "Dashboard link " + text
                }
            }
            Label {
                objectName: "notConnected"
                visible: view.source === "none"
                text: "Not connected. Open the menu bar popover to sign in or paste a link."
                wrapMode: Text.WordWrap
                Layout.fillWidth: true
            }
            RowLayout {
                visible: view.store.connected
                Layout.fillWidth: true
                Item { Layout.fillWidth: true }
                Button {
                    objectName: "disconnect"
                    text: view.store.signedIn ? "Sign out" : "Forget link"
                    onClicked: StoreTasks.disconnectStore(view.store, view, null)
                    Accessible.name: text
                    Accessible.onPressAction: clicked()
                }
            }
        }

        Section {
            objectName: "filters"
            title: "Filters"
            visible: view.store.connected

            FormRow {
                label: "Date range"
                FormComboBox {
                    objectName: "dateRange"
                    accessibleName: "Date range"
                    items: Logic.periodItems(view.store.periods)
                    value: view.store.period
                    onChosen: function (key) { StoreTasks.choosePeriod(view.store, key, view, null) }
                }
            }
            ColumnLayout {
                visible: view.store.accounts.length > 0
                Layout.fillWidth: true
                spacing: 6
                Label {
                    text: "Platforms and ad accounts"
                }
                ScopePicker {
                    objectName: "scope"
                    store: view.store
                    toggle: FormSwitch {}
                    Layout.fillWidth: true
                    Layout.leftMargin: 8
                }
            }
        }

        Section {
            objectName: "menuBar"
            title: "Menu bar"

            FormRow {
                label: "Line template"
                FormComboBox {
                    objectName: "lineTemplate"
                    accessibleName: "Line template"
                    items: Logic.templateItems(view.store.lineTemplates)
                    value: view.store.lineTemplate
                    maxWidth: 280
                    onChosen: function (id) { StoreTasks.selectLineTemplate(view.store, id, view, null) }
                }
            }
            FormRow {
                objectName: "lineRow"
                visible: view.store.lines.length >= 2
                label: "Line"
                FormComboBox {
                    objectName: "line"
                    accessibleName: "Line"
                    items: Logic.lineItems(view.store.lines)
                    value: view.store.lineIndex
                    maxWidth: 260
                    onChosen: function (index) { view.store.lineIndex = index }
                }
            }
            FormRow {
                label: "Refresh every"
                FormComboBox {
                    objectName: "refreshEvery"
                    accessibleName: "Refresh every"
                    items: Logic.refreshItems()
                    value: view.store.refreshMinutes
                    onChosen: function (minutes) { view.store.refreshMinutes = minutes }
                }
            }
            RowLayout {
                id: stepper
                objectName: "maxLength"
                Layout.fillWidth: true
                readonly property int value: view.store.maxLength
                readonly property string label: "Max length: " + value
                function move(delta) {
                    const next = Logic.stepped(value, delta, 5, 10, 120)
                    if (next !== value)
                        view.store.maxLength = next
                }
                Label {
                    text: stepper.label
                    Accessible.ignored: true
                }
                Item { Layout.fillWidth: true }
                Button {
                    objectName: "maxLengthDown"
                    text: "\u2212"
                    enabled: stepper.value > 10
                    implicitWidth: 28
                    onClicked: stepper.move(-1)
                    Accessible.name: "Decrease max length"
                    Accessible.onPressAction: clicked()
                }
                Button {
                    objectName: "maxLengthUp"
                    text: "+"
                    enabled: stepper.value < 120
                    implicitWidth: 28
                    onClicked: stepper.move(1)
                    Accessible.name: "Increase max length"
                    Accessible.onPressAction: clicked()
                }
                Accessible.role: Accessible.SpinBox
                Accessible.name: "Max length"
                Accessible.description: label
                Accessible.onIncreaseAction: move(1)
                Accessible.onDecreaseAction: move(-1)
            }
            FormRow {
                label: "Show icon"
                FormSwitch {
                    objectName: "showIcon"
                    accessibleName: "Show icon"
                    value: view.store.showIcon
                    onFlipped: view.store.showIcon = !value
                }
            }
            // On Plasma, while no panel holds the widget that shows the line.
            FormRow {
                objectName: "plasmaWidgetRow"
                visible: PlasmaWidget.offered || PlasmaWidget.message.length > 0
                label: PlasmaWidget.offered ? "Line in the Plasma panel" : PlasmaWidget.message
                Button {
                    objectName: "addToPanel"
                    visible: PlasmaWidget.offered
                    enabled: !PlasmaWidget.busy
                    text: "Add to panel"
                    onClicked: PlasmaWidget.add()
                    Accessible.name: text
                    Accessible.onPressAction: clicked()
                }
            }
            GnomeExtensionRow { }
            FormRow {
                label: "Launch at login"
                FormSwitch {
                    objectName: "launchAtLogin"
                    accessibleName: "Launch at login"
                    value: view.store.launchAtLogin
                    onFlipped: view.store.launchAtLogin = !value
                }
            }
        }

        Section {
            objectName: "advanced"

            AbstractButton {
                id: disclosure
                objectName: "advancedToggle"
                text: "Advanced"
                Layout.fillWidth: true
                checked: view.showServer
                onClicked: view.showServer = !view.showServer
                contentItem: RowLayout {
                    spacing: 6
                    Label {
                        text: view.showServer ? "\u25BE" : "\u25B8"
                        Accessible.ignored: true
                    }
                    Label {
                        text: disclosure.text
                        Layout.fillWidth: true
                        Accessible.ignored: true
                    }
                }
                Accessible.role: Accessible.Button
                Accessible.name: text
                Accessible.checkable: true
                Accessible.checked: view.showServer
                Accessible.onPressAction: clicked()
            }
            FormRow {
                objectName: "serverRow"
                visible: view.showServer
                label: "Server URL"
                TextField {
                    objectName: "serverURL"
                    text: view.store.serverURL
                    enabled: !view.store.connected
                    selectByMouse: true
                    Layout.preferredWidth: 260
                    // Any text may be typed; the Store decides which addresses it uses.
                    onTextEdited: view.store.serverURL = text
                    Accessible.name: "Server URL"
                    Accessible.onPressAction: forceActiveFocus()
                }
            }
        }

        Label {
            objectName: "note"
            text: "Line template applies to the menu bar line; date range and ad accounts apply to the line and the popup."
            wrapMode: Text.WordWrap
            font.pointSize: Math.max(7, Qt.application.font.pointSize - 1.5)
            color: view.palette.placeholderText
            Layout.fillWidth: true
            Layout.topMargin: -10
        }
    }
}
