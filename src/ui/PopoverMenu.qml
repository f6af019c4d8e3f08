import QtQuick
import QtQuick.Controls.Basic
import Quillmere.Ui

// The popover's dark menu. It can hold PopoverMenuItem, PopoverMenuSection
// and PopoverMenuSeparator children directly, or be filled from `entries`:
// {type, text, checked, enabled} with type "divider", "section", or anything
// else for an item (enabled unless enabled is false); choosing an item emits
// chosen(entry). Items made from entries exist while the menu is shown or
// after it was. It is never taller than its window: longer menus scroll.
Menu {
    id: menu

    property var entries: []
    signal chosen(var entry)

    // Rebuilt only when the entries really differ: the Store tells of every
    // change, and an open menu should not lose its items to a copy of them.
    // A closed menu builds its items when it is about to show: the popover's
    // menus are rarely opened, and their items would otherwise sit in memory
    // for nothing.
    readonly property string entriesKey: JSON.stringify(entries)
    property string builtKey: "[]"
    onEntriesKeyChanged: {
        if (visible)
            rebuild()
    }
    onAboutToShow: {
        if (builtKey !== entriesKey)
            rebuild()
    }

    function rebuild() {
        builtKey = entriesKey
        while (menu.count > 0)
            menu.removeItem(menu.itemAt(0))
        for (let i = 0; i < entries.length; ++i) {
            const entry = entries[i]
            let object
            if (entry.type === "divider") {
                object = separatorComponent.createObject(menu.contentItem)
            } else if (entry.type === "section") {
                object = sectionComponent.createObject(menu.contentItem, { text: entry.text })
            } else {
                object = itemComponent.createObject(menu.contentItem, { text: entry.text, checkMark: entry.checked === true,
                                                                      enabled: entry.enabled !== false })
                object.triggered.connect(function () { menu.chosen(entry) })
            }
            menu.addItem(object)
        }
    }

    // Margins keep the menu inside its window: a taller one is cut to fit
    // and its list scrolls.
    margins: 6
    padding: 4
    implicitWidth: Math.max(140, contentItem.implicitWidth + leftPadding + rightPadding)
    implicitHeight: contentItem.implicitHeight + topPadding + bottomPadding

    delegate: PopoverMenuItem {}

    contentItem: ListView {
        implicitWidth: {
            let widest = 0
            for (let i = 0; i < menu.count; ++i) {
                const it = menu.itemAt(i)
                if (it)
                    widest = Math.max(widest, it.implicitWidth)
            }
            return widest
        }
        implicitHeight: contentHeight
        model: menu.contentModel
        interactive: contentHeight > height
        clip: true
        currentIndex: menu.currentIndex
        boundsBehavior: Flickable.StopAtBounds
        ScrollIndicator.vertical: ScrollIndicator {}
    }

    background: Rectangle {
        implicitWidth: 140
        radius: 8
        color: Qt.rgba(0.11, 0.11, 0.12, 1)
        border.color: Qt.rgba(1, 1, 1, 0.12)
        border.width: 1
    }

    Component { id: itemComponent; PopoverMenuItem {} }
    Component { id: sectionComponent; PopoverMenuSection {} }
    Component { id: separatorComponent; PopoverMenuSeparator {} }
}
