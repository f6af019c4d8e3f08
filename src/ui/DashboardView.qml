import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Quillmere.Ui

// The popover's main screen while connected: a header with the organisation
// and the account and date-range menus, the scrolling content (error, the
// menu-bar line, tiles and one table, or their skeleton while loading) and
// a footer with the update time and the buttons.
ColumnLayout {
    id: view

    property var toggleSettings: function () {}

    readonly property var store: App.store
    readonly property var board: DashboardModel
    // The content area's height: its content's, up to 560; beyond it scrolls.
    readonly property real contentAreaHeight: Math.min(content.implicitHeight, 560)
    // The tables and the skeleton are built only while the popover is on
    // screen, and anew each time it appears. Each is a layout inside a Card (a
    // control) with rows from a Repeater, and Qt 6.4 brings such a layout's
    // items up to date only in its own polish, which a hidden window never
    // runs: rows that changed while the popover was hidden left the layout
    // holding delegates that are gone, and the outer layout's first pass after
    // showing resized it over them (a crash). Built when the popover appears,
    // a table holds no old delegates. They come after the first frame on
    // screen, which they would only hold up.
    readonly property bool onScreen: !Window.window || (Window.window.visible && drawn)
    property bool drawn: false

    Connections {
        target: view.Window.window
        function onFrameSwapped() {
            if (!view.drawn)
                view.drawn = true
        }
        function onVisibleChanged() {
            if (!view.Window.window.visible)
                view.drawn = false
        }
    }

    implicitWidth: 368
    spacing: 16

    // ---- header -----------------------------------------------------------
    RowLayout {
        objectName: "header"
        Layout.fillWidth: true
        spacing: 8

        // The organisation picker: the chosen workspace, and a menu of all.
        MenuChip {
            objectName: "workspacePicker"
            visible: view.board.workspacePicker
            // Sized to the name; it shrinks, eliding the name, only when the
            // row is full (so does the account chip). A layout shrinks only
            // items that fill.
            Layout.fillWidth: true
            Layout.maximumWidth: Math.ceil(implicitWidth)
            Layout.minimumWidth: Math.min(implicitWidth, 56)
            accessibleName: "Organization"
            text: {
                const options = view.store.workspaceOptions
                for (let i = 0; i < options.length; ++i) {
                    if (options[i].id === view.store.workspaceId)
                        return options[i].name
                }
                return ""
            }
            font.pixelSize: 12
            textColor: Theme.foreground
            menu: PopoverMenu {
                objectName: "workspaceMenu"
                entries: view.store.workspaceOptions.map(function (o) {
                    return { type: "workspace", text: o.name, id: o.id, checked: o.id === view.store.workspaceId }
                })
                onChosen: function (entry) { view.store.workspaceId = entry.id }
            }
        }
        Text {
            objectName: "workspaceName"
            visible: !view.board.workspacePicker
            Layout.fillWidth: true
            text: view.board.present ? view.board.workspaceName : "Quillmere"
            font.pixelSize: 13
            font.weight: Font.DemiBold
            color: Theme.foreground
            elide: Text.ElideRight
            maximumLineCount: 1
            Accessible.role: Accessible.Heading
            Accessible.name: text
        }
        Item {
            visible: view.board.workspacePicker
            Layout.fillWidth: true
        }

        MenuChip {
            id: accountChip
            objectName: "accountMenu"
            visible: view.board.accountMenu
            Layout.fillWidth: true
            Layout.maximumWidth: Math.ceil(implicitWidth)
            Layout.minimumWidth: Math.min(implicitWidth, 56)
            text: view.store.accountsLabel
            busy: view.store.loading
            menu: PopoverMenu {
                id: accountMenu
                objectName: "accountMenuPopup"
                entries: view.board.accountItems
                onChosen: function (entry) {
                    if (entry.type === "platform")
                        view.store.startTogglePlatform(entry.id)
                    else
                        view.store.startToggleAccount(entry.id)
                }
            }
        }

        MenuChip {
            id: rangeChip
            objectName: "rangeMenu"
            visible: view.board.present
            text: view.board.rangeName
            busy: view.store.loading
            menu: view.board.timeframes.length > 0 ? rangeMenu : null
        }
        PopoverMenu {
            id: rangeMenu
            objectName: "rangeMenuPopup"
            entries: view.board.timeframes.map(function (t) {
                return { type: "range", text: t.label, id: t.key, checked: t.checked }
            })
            onChosen: function (entry) {
                // The chosen range first, so the chip and skeleton follow at once.
                StoreTasks.choosePeriod(view.store, entry.id, view, null)
            }
        }
    }

    // ---- content ----------------------------------------------------------
    Flickable {
        id: scroller
        objectName: "content"
        Layout.fillWidth: true
        Layout.preferredHeight: view.contentAreaHeight
        implicitHeight: view.contentAreaHeight
        contentWidth: width
        contentHeight: content.implicitHeight
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        interactive: contentHeight > height

        ColumnLayout {
            id: content
            width: scroller.width
            spacing: 8

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
                objectName: "lineSlot"
                visible: view.board.lineSlot !== DashboardModel.NoLine
                Layout.fillWidth: true
                contentItem: Item {
                    implicitHeight: view.board.lineSlot === DashboardModel.LineSkeleton ? 14 : lineText.implicitHeight
                    SkeletonBar {
                        objectName: "lineSkeleton"
                        visible: view.board.lineSlot === DashboardModel.LineSkeleton
                        width: parent.width
                        barHeight: 14
                    }
                    TextEdit {
                        id: lineText
                        objectName: "line"
                        visible: view.board.lineSlot === DashboardModel.FirstLine
                        width: parent.width
                        text: view.store.lines.length > 0 ? view.store.lines[0] : ""
                        readOnly: true
                        selectByMouse: true
                        wrapMode: TextEdit.Wrap
                        font.pixelSize: 12
                        font.weight: Font.Medium
                        font.family: Theme.digitsFamily
                        color: Theme.foreground
                        selectionColor: Qt.rgba(Theme.accent.r, Theme.accent.g, Theme.accent.b, 0.4)
                        selectedTextColor: Theme.foreground
                        Accessible.role: Accessible.StaticText
                        Accessible.name: text
                    }
                }
            }

            // The dashboard block.
            Text {
                objectName: "partial"
                visible: view.board.block === DashboardModel.Content && view.board.partial
                Layout.fillWidth: true
                text: "Some ad accounts haven't synced; totals are unavailable."
                font.pixelSize: 11
                color: Theme.orange
                wrapMode: Text.Wrap
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            GridLayout {
                objectName: "tiles"
                visible: view.board.block === DashboardModel.Content && view.board.tiles.length > 0
                Layout.fillWidth: true
                columns: 2
                columnSpacing: 8
                rowSpacing: 8

                Repeater {
                    model: view.board.block === DashboardModel.Content ? view.board.tiles : []
                    Card {
                        id: tile
                        objectName: "tile"
                        required property var modelData
                        readonly property alias valueText: value
                        Layout.fillWidth: true
                        Layout.minimumWidth: 10
                        Layout.preferredWidth: 10
                        contentItem: Item {
                            // At least 48 high, the content at the top.
                            implicitHeight: Math.max(48, tileColumn.implicitHeight)
                            ColumnLayout {
                                id: tileColumn
                                width: parent.width
                                spacing: 2
                                // The label and the caption wrap; only the
                                // value keeps to one line.
                                Text {
                                    objectName: "tileLabel"
                                    Layout.fillWidth: true
                                    text: tile.modelData.label
                                    font.pixelSize: 12
                                    font.weight: Font.Medium
                                    color: Theme.foreground
                                    wrapMode: Text.Wrap
                                    Accessible.role: Accessible.StaticText
                                    Accessible.name: text
                                }
                                Text {
                                    id: value
                                    objectName: "tileValue"
                                    Layout.fillWidth: true
                                    text: tile.modelData.value
                                    font.pixelSize: 22
                                    font.weight: Font.Medium
                                    font.family: Theme.digitsFamily
                                    // One line, shrinking to half size at most.
                                    fontSizeMode: Text.HorizontalFit
                                    minimumPixelSize: 11
                                    wrapMode: Text.NoWrap
                                    maximumLineCount: 1
                                    elide: Text.ElideRight
                                    color: tile.modelData.accent ? Theme.accent : Theme.foreground
                                    Accessible.role: Accessible.StaticText
                                    Accessible.name: text
                                }
                                Text {
                                    objectName: "tileCaption"
                                    visible: tile.modelData.hasCaption
                                    Layout.fillWidth: true
                                    text: tile.modelData.caption
                                    font.pixelSize: 11
                                    color: Theme.muted
                                    wrapMode: Text.Wrap
                                    Accessible.role: Accessible.StaticText
                                    Accessible.name: text
                                }
                            }
                        }
                    }
                }
            }

            Loader {
                objectName: "sourcesTable"
                active: view.onScreen && view.board.block === DashboardModel.Content
                        && view.board.table === DashboardModel.SourcesTable
                visible: active
                Layout.fillWidth: true
                sourceComponent: SourcesTable {
                    sources: view.board.sources
                }
            }

            Loader {
                objectName: "rowsTable"
                active: view.onScreen && view.board.block === DashboardModel.Content
                        && view.board.table === DashboardModel.RowsTable
                visible: active
                Layout.fillWidth: true
                sourceComponent: Card {
                    contentItem: GridLayout {
                        columnSpacing: 10
                        rowSpacing: 7

                        Text {
                            Layout.row: 0
                            Layout.column: 0
                            Layout.fillWidth: true
                            text: view.board.asset
                            font.pixelSize: 10
                            color: Theme.muted
                            elide: Text.ElideRight
                            Accessible.role: Accessible.ColumnHeader
                            Accessible.name: text
                        }
                        Repeater {
                            model: ["Spend", "Revenue", "ROAS"]
                            Text {
                                required property int index
                                required property string modelData
                                Layout.row: 0
                                Layout.column: index + 1
                                Layout.alignment: Qt.AlignRight | Qt.AlignVCenter
                                text: modelData
                                font.pixelSize: 10
                                color: Theme.muted
                                Accessible.role: Accessible.ColumnHeader
                                Accessible.name: text
                            }
                        }
                        Repeater {
                            model: view.board.rows
                            RowLayout {
                                id: nameCell
                                required property int index
                                required property var modelData
                                Layout.row: index + 1
                                Layout.column: 0
                                Layout.fillWidth: true
                                Layout.minimumWidth: 40
                                spacing: 6
                                Rectangle {
                                    objectName: "activeDot"
                                    implicitWidth: 6
                                    implicitHeight: 6
                                    radius: 3
                                    color: nameCell.modelData.active ? Theme.green : Qt.rgba(Theme.muted.r, Theme.muted.g, Theme.muted.b, 0.5)
                                    Accessible.ignored: true
                                }
                                Text {
                                    Layout.fillWidth: true
                                    text: nameCell.modelData.name
                                    font.pixelSize: 12
                                    font.weight: Font.Medium
                                    color: Theme.foreground
                                    elide: Text.ElideRight
                                    maximumLineCount: 1
                                    Accessible.role: Accessible.Cell
                                    Accessible.name: text
                                }
                            }
                        }
                        Repeater {
                            model: view.board.rows.length * 3
                            Text {
                                required property int index
                                readonly property var row: view.board.rows[Math.floor(index / 3)]
                                readonly property int field: index % 3
                                Layout.row: Math.floor(index / 3) + 1
                                Layout.column: field + 1
                                Layout.alignment: Qt.AlignRight | Qt.AlignVCenter
                                text: row ? [row.spend, row.revenue, row.roas][field] : ""
                                font.pixelSize: 12
                                font.weight: Font.Medium
                                font.family: Theme.digitsFamily
                                color: field === 2 ? Theme.accent : Theme.foreground
                                maximumLineCount: 1
                                Accessible.role: Accessible.Cell
                                Accessible.name: text
                            }
                        }
                    }
                }
            }

            Loader {
                objectName: "skeleton"
                active: view.onScreen && view.board.block === DashboardModel.Skeleton
                visible: active
                Layout.fillWidth: true
                sourceComponent: DashboardSkeleton {
                    tiles: view.board.skeletonTiles
                    rows: view.board.skeletonRows
                }
            }
        }
    }

    // ---- footer -----------------------------------------------------------
    RowLayout {
        objectName: "footer"
        Layout.fillWidth: true
        spacing: 8

        Text {
            id: updated
            objectName: "updated"
            visible: view.board.updatedTime.length > 0
            text: view.board.updatedTime
            font.pixelSize: 11
            color: Theme.muted
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            Accessible.description: "Last updated"
            MouseArea {
                id: updatedHover
                anchors.fill: parent
                hoverEnabled: true
                acceptedButtons: Qt.NoButton
            }
            ToolTip.visible: updatedHover.containsMouse
            ToolTip.text: "Last updated"
            ToolTip.delay: 600
        }
        Item {
            Layout.fillWidth: true
        }
        PillButton {
            objectName: "openDashboard"
            text: view.store.signedIn ? "Dashboard" : "Open link"
            onClicked: view.store.startOpenDashboard()
        }
        SettingsButton {
            objectName: "settings"
            symbol: "gearshape"
            toolTip: "Settings"
            toggle: view.toggleSettings
        }
        PillButton {
            objectName: "quit"
            text: "Quit"
            onClicked: App.quit()
        }
        PillButton {
            id: refreshButton
            objectName: "refresh"
            text: "Refresh"
            enabled: !view.store.loading
            onClicked: view.store.startRefresh()
            // The button's own shortcut: off while the button is disabled.
            Shortcut {
                sequence: "Ctrl+R"
                enabled: refreshButton.enabled
                onActivated: refreshButton.clicked()
            }
        }
    }
}
