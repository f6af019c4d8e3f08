import QtQuick
import QtQuick.Layouts
import QtTest
import QtQuick.Window
import Quillmere.Ui
import Quillmere.Test

TestCase {
    name: "Theme"
    when: windowShown
    visible: true
    width: 400
    height: 900

    Component {
        id: skeletonComponent
        DashboardSkeleton {
            width: 368
        }
    }
    Component {
        id: pillComponent
        PillButton {}
    }
    Component {
        id: barRow
        RowLayout {
            width: 300
            property alias bar: bar
            SkeletonBar {
                id: bar
                barHeight: 14
            }
        }
    }

    function placeholders(root, name) {
        const found = []
        const walk = function (item) {
            for (let i = 0; i < item.children.length; ++i) {
                const child = item.children[i]
                if (child.objectName === name && child.visible)
                    found.push(child)
                walk(child)
            }
        }
        walk(root)
        return found
    }

    function test_skeletonCounts_data() {
        return [
            { tag: "no tiles", tiles: 0, rows: 0, tileCount: 1, rowCount: 0, gridRows: 1 },
            { tag: "negative", tiles: -3, rows: -1, tileCount: 1, rowCount: 0, gridRows: 1 },
            { tag: "five tiles", tiles: 5, rows: 1, tileCount: 5, rowCount: 1, gridRows: 3 },
            { tag: "many rows", tiles: 4, rows: 12, tileCount: 4, rowCount: 8, gridRows: 2 }
        ]
    }
    function test_skeletonCounts(data) {
        const skeleton = createTemporaryObject(skeletonComponent, this, { tiles: data.tiles, rows: data.rows })
        waitForRendering(skeleton)
        const tiles = placeholders(skeleton, "tilePlaceholder")
        compare(tiles.length, data.tileCount)
        const rowsOfTiles = {}
        tiles.forEach(function (t) { rowsOfTiles[t.y] = (rowsOfTiles[t.y] || 0) + 1 })
        compare(Object.keys(rowsOfTiles).length, data.gridRows)
        compare(placeholders(skeleton, "rowsPlaceholder").length, data.rowCount > 0 ? 1 : 0)
        compare(placeholders(skeleton, "rowPlaceholder").length, data.rowCount)
    }

    function test_skeletonBarWidths() {
        const skeleton = createTemporaryObject(skeletonComponent, this, { tiles: 2, rows: 6 })
        waitForRendering(skeleton)
        const widths = placeholders(skeleton, "rowPlaceholder").map(function (r) { return r.firstWidth })
        compare(widths, [140, 110, 125, 140, 110, 125])
    }

    function test_skeletonBar() {
        const row = createTemporaryObject(barRow, this)
        waitForRendering(row)
        // Without a width the bar takes what the layout offers.
        compare(row.bar.width, 300)
        compare(row.bar.height, 14)
        verify(row.bar.pulsing)
        row.bar.visible = false
        verify(!row.bar.pulsing)
        compare(row.bar.opacity, 1)
        row.bar.visible = true
        verify(row.bar.pulsing)
    }

    function test_pillFill_data() {
        return [
            { tag: "plain", prominent: false, pressed: false, color: Qt.rgba(1, 1, 1, 0.04) },
            { tag: "plain pressed", prominent: false, pressed: true, color: Qt.rgba(1, 1, 1, 0.08) },
            { tag: "prominent", prominent: true, pressed: false, color: Qt.rgba(0.96, 0.96, 0.96, 1) },
            { tag: "prominent pressed", prominent: true, pressed: true, color: Qt.rgba(0.96, 0.96, 0.96, 0.8) }
        ]
    }
    function test_pillFill(data) {
        const pill = createTemporaryObject(pillComponent, this, { text: "Go", prominent: data.prominent })
        const fill = pill.fillColor(data.prominent, data.pressed)
        fuzzyCompare(fill.r, data.color.r, 0.005)
        fuzzyCompare(fill.a, data.color.a, 0.005)
        // What the pill draws follows the press.
        if (data.pressed)
            mousePress(pill)
        fuzzyCompare(pill.background.color.a, data.color.a, 0.005)
        if (data.pressed)
            mouseRelease(pill)
    }

    Component {
        id: logoComponent
        Logo {}
    }
    function test_logo() {
        const logo = createTemporaryObject(logoComponent, this)
        compare(logo.width, 22)
        compare(logo.height, 16)
        compare(logo.Accessible.name, "Quillmere")
    }

    Component {
        id: menuComponent
        PopoverMenu {}
    }
    function test_menuFitsWindow_data() {
        return [ { tag: "short", count: 3, scrolls: false }, { tag: "long", count: 80, scrolls: true } ]
    }
    function test_menuFitsWindow(data) {
        const entries = [ { type: "section", text: "Group" } ]
        for (let i = 0; i < data.count; ++i)
            entries.push({ type: "item", text: "Entry " + i, checked: i === 1 })
        const menu = createTemporaryObject(menuComponent, this, { entries: entries })
        compare(menu.count, data.count + 1)
        verify(!menu.itemAt(0).enabled)
        verify(menu.itemAt(2).checkMark)
        menu.open()
        tryCompare(menu, "opened", true)
        verify(menu.height <= Window.window.height)
        compare(menu.contentItem.interactive, data.scrolls)
        let chosen = null
        menu.chosen.connect(function (entry) { chosen = entry.text })
        menu.itemAt(2).Accessible.pressAction()
        compare(chosen, "Entry 1")
        menu.close()
    }
}
