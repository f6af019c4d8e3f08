import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Window
import Quillmere.Ui

// The panel icon's actions as a menu window of ours, for panels that hand
// the icon's clicks to the program. The host sets entries ({id, text,
// enabled, separator}), places and shows the window and hides it on
// dismissRequested; chosen(id) tells which entry was picked.
Window {
    id: window

    property var entries: []
    signal chosen(int id)
    signal dismissRequested

    // Not the popover's title: scripts and window rules tell them apart.
    title: "Quillmere menu"
    flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint
    color: "transparent"
    width: menu.implicitWidth
    height: menu.implicitHeight

    onVisibleChanged: {
        if (visible)
            menu.open()
        else
            menu.close()
    }

    PopoverMenu {
        id: menu
        margins: 0
        closePolicy: Popup.CloseOnEscape
        entries: window.entries.map(entry => entry.separator ? { type: "divider" }
                                                             : { type: "item", id: entry.id, text: entry.text,
                                                                 enabled: entry.enabled })
        onChosen: entry => window.chosen(entry.id)
        onClosed: window.dismissRequested()
    }
}
