import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Quillmere.Ui
import QtQuick.Window

// The popover's screen while not connected: browser sign-in, or a pasted
// dashboard embed link with its optional password. The outcome comes back
// through the Store (connected, or its error shown under the title).
ColumnLayout {
    id: view

    property var toggleSettings: function () {}

    readonly property var store: App.store
    readonly property alias link: linkField.text
    readonly property alias password: passwordField.text
    // From a click on "Connect" until that connection has returned,
    // whatever its outcome.
    property bool connecting: false

    // A link the server refused is offered again in an empty field.
    function offerRejectedLink() {
        if (linkField.text.length === 0 && store.rejectedLink.length > 0)
            linkField.text = store.rejectedLink
    }

    function connectLink() {
        if (!connectButton.enabled)
            return
        // Exactly as typed: spaces and an empty password included.
        connecting = true
        StoreTasks.connectLink(store, linkField.text, passwordField.text, view, function () {
            view.connecting = false
        })
    }

    implicitWidth: 368
    spacing: 16

    Connections {
        target: view.Window.window
        function onVisibleChanged() {
            if (view.Window.window.visible)
                view.offerRejectedLink()
        }
    }

    RowLayout {
        spacing: 8
        Logo {}
        Text {
            text: "Quillmere"
            font.pixelSize: 13
            font.weight: Font.DemiBold
            color: Theme.foreground
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
    }

    Text {
        objectName: "error"
        visible: view.store.hasError
        Layout.fillWidth: true
        text: view.store.error
        font.pixelSize: 12
        color: Theme.red
        wrapMode: Text.Wrap
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }

    Card {
        objectName: "browserCard"
        Layout.fillWidth: true
        contentItem: ColumnLayout {
            spacing: 8
            Text {
                text: "Your account"
                font.pixelSize: 12
                font.weight: Font.Medium
                color: Theme.foreground
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            Text {
                Layout.fillWidth: true
                text: "Pick any organization you belong to."
                font.pixelSize: 11
                color: Theme.muted
                wrapMode: Text.Wrap
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            PillButton {
                objectName: "signIn"
                Layout.fillWidth: true
                prominent: true
                text: "Sign in with browser"
                onClicked: view.store.startSignIn()
            }
        }
    }

    Card {
        objectName: "linkCard"
        Layout.fillWidth: true
        contentItem: ColumnLayout {
            spacing: 8
            Text {
                text: "Or paste a dashboard link"
                font.pixelSize: 12
                font.weight: Font.Medium
                color: Theme.foreground
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            Text {
                Layout.fillWidth: true
                text: "No login needed. From Dashboard \u2192 Embed."
                font.pixelSize: 11
                color: Theme.muted
                wrapMode: Text.Wrap
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }
            PopoverTextField {
                id: linkField
                objectName: "linkField"
                Layout.fillWidth: true
                placeholderText: App.defaultServerOrigin + "/embed/\u2026"
                accessibleName: "Dashboard link"
                inputMethodHints: Qt.ImhUrlCharactersOnly | Qt.ImhNoAutoUppercase
                Component.onCompleted: view.offerRejectedLink()
            }
            PopoverTextField {
                id: passwordField
                objectName: "passwordField"
                Layout.fillWidth: true
                placeholderText: "Password (only if the link has one)"
                echoMode: TextInput.Password
                inputMethodHints: Qt.ImhSensitiveData | Qt.ImhNoPredictiveText
            }
            RowLayout {
                Item {
                    Layout.fillWidth: true
                }
                BusyIndicator {
                    id: spinner
                    objectName: "spinner"
                    visible: view.connecting
                    // Spins only while shown.
                    running: visible && view.Window.window !== null && view.Window.window.visible
                    implicitWidth: 16
                    implicitHeight: 16
                    padding: 0
                    palette.dark: Theme.muted
                    Accessible.name: "Connecting"
                }
                PillButton {
                    id: connectButton
                    objectName: "connect"
                    text: "Connect"
                    enabled: linkField.text.length > 0 && !view.connecting
                    onClicked: view.connectLink()
                }
            }
        }
    }

    RowLayout {
        objectName: "bottomRow"
        Item {
            Layout.fillWidth: true
        }
        SettingsButton {
            objectName: "settings"
            text: "Settings"
            toggle: view.toggleSettings
        }
        PillButton {
            objectName: "quit"
            text: "Quit"
            onClicked: App.quit()
        }
    }
}
