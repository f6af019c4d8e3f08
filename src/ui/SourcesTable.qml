import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Quillmere.Ui

// The traffic-sources table: a header, one line per visible row (children
// under expanded rows), a divider and the totals. Which rows are expanded is
// this table's own state: a new table starts collapsed. Expanding or
// collapsing a row is animated (0.12 s, ease-out): the lines it shows fade
// in, and the lines it hides fade out before they go. Only a click starts
// that: a table being built shows its lines at once, and nothing ticks
// while nothing is clicked (a hidden window stays asleep).
Card {
    id: table

    property SourcesData sources: null
    readonly property alias lines: lineModel

    readonly property var columnLabels: sources ? sources.columns : []
    readonly property var totals: sources ? sources.totals : []
    // Cells in the widest row, the name cell included.
    readonly property int columnCount: {
        let widest = Math.max(columnLabels.length, totals.length)
        const cells = lineModel.cells
        for (let i = 0; i < cells.length; ++i)
            widest = Math.max(widest, cells[i].column + 1)
        return widest + 1
    }

    // The lines fading (first to last, inclusive), their opacity, and the
    // row that collapses once its lines have faded out.
    property int fadeFirst: -1
    property int fadeLast: -2
    property real fade: 1
    property string collapsing: ""
    readonly property alias toggling: fading.running

    function lineOpacity(line) {
        return line >= fadeFirst && line <= fadeLast ? fade : 1
    }

    // Expands or collapses the row of line index, animated.
    function toggleLine(index, rowId) {
        if (fading.running)
            fading.complete()
        const collapse = lineModel.lastUnder(index) > index
        if (collapse)
            collapsing = rowId
        else
            lineModel.toggle(rowId)
        fadeFirst = index + 1
        fadeLast = lineModel.lastUnder(index)
        fading.from = collapse ? 1 : 0
        fading.to = collapse ? 0 : 1
        fade = fading.from
        fading.start()
    }

    SourceLines {
        id: lineModel
        sources: table.sources
    }

    NumberAnimation {
        id: fading
        target: table
        property: "fade"
        duration: 120
        easing.type: Easing.OutCubic
        onFinished: {
            const row = table.collapsing
            table.collapsing = ""
            table.fadeFirst = -1
            table.fadeLast = -2
            table.fade = 1
            if (row.length > 0)
                lineModel.toggle(row)
        }
    }

    contentItem: GridLayout {
        id: grid
        columnSpacing: 8
        rowSpacing: 6

        // Header.
        Text {
            Layout.row: 0
            Layout.column: 0
            Layout.fillWidth: true
            text: "Source"
            font.pixelSize: 10
            color: Theme.muted
            Accessible.role: Accessible.ColumnHeader
            Accessible.name: text
        }
        Repeater {
            model: table.columnLabels
            Text {
                required property int index
                required property string modelData
                Layout.row: 0
                Layout.column: index + 1
                Layout.alignment: Qt.AlignRight | Qt.AlignVCenter
                text: modelData
                font.pixelSize: 10
                color: Theme.muted
                maximumLineCount: 1
                Accessible.role: Accessible.ColumnHeader
                Accessible.name: text
            }
        }

        // Name cells.
        Repeater {
            model: lineModel
            delegate: Item {
                id: cell
                objectName: "nameCell"
                required property int index
                required property string rowId
                required property string name
                required property int depth
                required property bool rest
                required property bool hasChildren
                required property bool expanded
                required property string symbol
                required property color tint
                required property string toolTip

                function toggle() {
                    if (hasChildren)
                        table.toggleLine(index, rowId)
                }

                Layout.row: index + 1
                Layout.column: 0
                Layout.fillWidth: true
                Layout.minimumWidth: nameRow.minimumWidth
                Layout.preferredWidth: nameRow.implicitWidth
                implicitHeight: nameRow.implicitHeight
                opacity: table.lineOpacity(index)

                RowLayout {
                    id: nameRow
                    readonly property real minimumWidth: anchors.leftMargin + 10 + (cell.depth === 0 ? 18 : 0) + 24
                    anchors.fill: parent
                    anchors.leftMargin: 10 * cell.depth
                    spacing: 4

                    Item {
                        Layout.preferredWidth: 10
                        Layout.preferredHeight: 10
                        Symbol {
                            objectName: "chevron"
                            anchors.centerIn: parent
                            name: "chevron.right"
                            size: 8
                            color: Theme.muted
                            opacity: cell.hasChildren ? 1 : 0
                            rotation: cell.expanded && table.collapsing !== cell.rowId ? 90 : 0
                            Behavior on rotation {
                                NumberAnimation { duration: 120; easing.type: Easing.OutCubic }
                            }
                        }
                    }
                    Item {
                        visible: cell.depth === 0
                        Layout.preferredWidth: 14
                        Layout.preferredHeight: 10
                        Symbol {
                            objectName: "channelSymbol"
                            anchors.centerIn: parent
                            name: cell.symbol
                            size: 10
                            color: cell.tint
                        }
                    }
                    Text {
                        objectName: "name"
                        Layout.fillWidth: true
                        text: cell.name
                        font.pixelSize: 11
                        font.weight: cell.depth === 0 ? Font.Medium : Font.Normal
                        font.italic: cell.rest
                        color: cell.rest ? Theme.muted : Theme.foreground
                        elide: Text.ElideRight
                        maximumLineCount: 1
                        Accessible.ignored: true
                    }
                }

                MouseArea {
                    id: hover
                    anchors.fill: parent
                    hoverEnabled: true
                    cursorShape: cell.hasChildren ? Qt.PointingHandCursor : Qt.ArrowCursor
                    onClicked: cell.toggle()
                }
                ToolTip.visible: hover.containsMouse
                ToolTip.text: cell.toolTip
                ToolTip.delay: 600

                Accessible.role: hasChildren ? Accessible.Button : Accessible.Cell
                Accessible.name: hasChildren ? (expanded ? "Collapse " : "Expand ") + name : name
                Accessible.description: toolTip
                Accessible.onPressAction: toggle()
            }
        }

        // Value cells: each line's own values, in order.
        Repeater {
            model: lineModel.cells
            Text {
                objectName: "valueCell"
                required property var modelData
                Layout.row: modelData.line + 1
                Layout.column: modelData.column + 1
                Layout.alignment: Qt.AlignRight | Qt.AlignVCenter
                text: modelData.text
                font.pixelSize: 11
                font.family: Theme.digitsFamily
                font.weight: modelData.depth === 0 ? Font.Medium : Font.Normal
                color: modelData.rest ? Theme.muted : Theme.foreground
                opacity: table.lineOpacity(modelData.line)
                maximumLineCount: 1
                Accessible.role: Accessible.Cell
                Accessible.name: text
            }
        }

        // A divider that does not widen the table.
        Rectangle {
            Layout.row: lineModel.count + 1
            Layout.column: 0
            Layout.columnSpan: table.columnCount
            Layout.fillWidth: true
            Layout.preferredWidth: 0
            implicitHeight: 1
            color: Theme.border
            Accessible.ignored: true
        }

        // Totals, always there.
        Text {
            objectName: "totalLabel"
            Layout.row: lineModel.count + 2
            Layout.column: 0
            text: "Total"
            font.pixelSize: 11
            font.weight: Font.DemiBold
            color: Theme.foreground
            Accessible.role: Accessible.Cell
            Accessible.name: text
        }
        Repeater {
            model: table.totals
            Text {
                objectName: "totalCell"
                required property int index
                required property string modelData
                Layout.row: lineModel.count + 2
                Layout.column: index + 1
                Layout.alignment: Qt.AlignRight | Qt.AlignVCenter
                text: modelData
                font.pixelSize: 11
                font.family: Theme.digitsFamily
                font.weight: Font.DemiBold
                color: Theme.foreground
                maximumLineCount: 1
                Accessible.role: Accessible.Cell
                Accessible.name: text
            }
        }
    }
}
