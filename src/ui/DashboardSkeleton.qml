import QtQuick
import QtQuick.Layouts
import Quillmere.Ui

// The placeholder of the whole dashboard while it loads: max(tiles, 1) tile
// placeholders in two columns, and a card of min(rows, 8) row placeholders
// unless rows < 1.
ColumnLayout {
    id: skeleton

    property int tiles: 4
    property int rows: 4

    readonly property int tileCount: Math.max(tiles, 1)
    readonly property int rowCount: Math.max(Math.min(rows, 8), 0)

    // The first bar of row i varies so the rows do not look copied.
    function firstBarWidth(i) {
        return [140, 110, 125][i % 3]
    }

    spacing: 8

    GridLayout {
        Layout.fillWidth: true
        columns: 2
        columnSpacing: 8
        rowSpacing: 8

        Repeater {
            model: skeleton.tileCount
            Card {
                objectName: "tilePlaceholder"
                Layout.fillWidth: true
                Layout.minimumWidth: 10
                Layout.preferredWidth: 10
                contentItem: ColumnLayout {
                    spacing: 8
                    SkeletonBar { barWidth: 60; barHeight: 10 }
                    SkeletonBar { barWidth: 90; barHeight: 20 }
                }
            }
        }
    }

    Card {
        objectName: "rowsPlaceholder"
        visible: skeleton.rowCount >= 1
        Layout.fillWidth: true
        contentItem: ColumnLayout {
            spacing: 12
            Repeater {
                model: skeleton.rowCount
                RowLayout {
                    objectName: "rowPlaceholder"
                    required property int index
                    readonly property real firstWidth: first.width
                    spacing: 16
                    SkeletonBar { id: first; barWidth: skeleton.firstBarWidth(index); barHeight: 10 }
                    Item { Layout.fillWidth: true }
                    SkeletonBar { barWidth: 40; barHeight: 10 }
                    SkeletonBar { barWidth: 40; barHeight: 10 }
                    SkeletonBar { barWidth: 30; barHeight: 10 }
                }
            }
        }
    }
}
