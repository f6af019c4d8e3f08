import QtQuick
import QtQuick.Controls.Fusion
import QtQuick.Layouts
import Quillmere.Ui

// The settings window's row for GNOME's top bar: shown while our GNOME Shell
// extension is not running. Where the shell can enable it now, an "Enable"
// button does; otherwise one sentence says what will.
ColumnLayout {
    id: row

    property GnomeShellExtension extension: GnomeShellExtension { }
    readonly property bool offered: extension.state === GnomeShellExtension.Disabled

    visible: offered || extension.advice.length > 0
    Layout.fillWidth: true
    spacing: 4

    RowLayout {
        Layout.fillWidth: true
        spacing: 12
        Label {
            Layout.fillWidth: true
            text: "Top bar extension"
            Accessible.ignored: true
        }
        Button {
            objectName: "enableGnomeExtension"
            visible: row.offered
            text: "Enable"
            onClicked: row.extension.enable()
            Accessible.name: "Enable the top bar extension"
            Accessible.onPressAction: clicked()
        }
    }
    Label {
        objectName: "gnomeExtensionAdvice"
        Layout.fillWidth: true
        visible: text.length > 0
        text: row.offered ? "Shows the line in GNOME's top bar, with the popover right below it."
                          : row.extension.advice
        wrapMode: Text.WordWrap
        opacity: 0.7
        Accessible.role: Accessible.StaticText
        Accessible.name: text
    }
}
