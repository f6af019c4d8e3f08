import QtQuick
import QtQuick.Layouts
import QtTest
import QtQuick.Window
import Quillmere.Ui
import Quillmere.Test
import "fixtures.js" as F

TestCase {
    name: "Theme"
    when: windowShown
    visible: true
    width: 400
    height: 900

    Component { id: skeletonComponent; DashboardSkeleton { width: 368 } }
    Component { id: pillComponent; PillButton {} }
    Component { id: menuComponent; PopoverMenu {} }
    Component { id: metricsComponent; TextMetrics {} }
    Component {
        id: barRow
        RowLayout {
            width: 300
            property alias bar: bar
            SkeletonBar { id: bar; barHeight: 14 }
        }
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
        const tiles = F.findAll(skeleton, F.named("tilePlaceholder"))
        compare(tiles.length, data.tileCount)
        const rowsOfTiles = {}
        tiles.forEach(function (t) { rowsOfTiles[t.y] = true })
        compare(Object.keys(rowsOfTiles).length, data.gridRows)
        compare(F.findAll(skeleton, F.named("rowsPlaceholder")).length, data.rowCount > 0 ? 1 : 0)
        compare(F.findAll(skeleton, F.named("rowPlaceholder")).length, data.rowCount)
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

    // What the pill draws follows the press.
    function test_pillFill_data() {
        return [ { tag: "plain", prominent: false }, { tag: "prominent", prominent: true } ]
    }
    function test_pillFill(data) {
        const pill = createTemporaryObject(pillComponent, this, { text: "Go", prominent: data.prominent })
        const up = pill.fillColor(data.prominent, false)
        const down = pill.fillColor(data.prominent, true)
        verify(!Qt.colorEqual(up, down))
        verify(Qt.colorEqual(pill.background.color, up))
        mousePress(pill)
        verify(Qt.colorEqual(pill.background.color, down))
        mouseRelease(pill)
        verify(Qt.colorEqual(pill.background.color, up))
    }

    function test_menuFitsWindow_data() {
        return [ { tag: "short", count: 3, scrolls: false }, { tag: "long", count: 80, scrolls: true } ]
    }
    function test_menuFitsWindow(data) {
        const entries = [ { type: "section", text: "Group" } ]
        for (let i = 0; i < data.count; ++i)
            entries.push({ type: "item", text: "Entry " + i, checked: i === 1 })
        const menu = createTemporaryObject(menuComponent, this, { entries: entries })
        // The items are made when the menu first shows.
        compare(menu.count, 0)
        menu.open()
        tryCompare(menu, "opened", true)
        compare(menu.count, data.count + 1)
        verify(!menu.itemAt(0).enabled)
        verify(menu.itemAt(2).checkMark)
        verify(menu.height <= Window.window.height)
        tryCompare(menu.contentItem, "interactive", data.scrolls)
        let chosen = null
        menu.chosen.connect(function (entry) { chosen = entry.text })
        menu.itemAt(2).Accessible.pressAction()
        compare(chosen, "Entry 1")
        menu.close()
    }

    // Figures keep one width in every weight the views set them in; a font
    // whose digits already do (this session's DejaVu Sans) is kept rather
    // than traded for a fixed-width one, whose letters would all be wide.
    function test_digitsFamily() {
        const metrics = createTemporaryObject(metricsComponent, this)
        metrics.font.family = Theme.digitsFamily
        metrics.text = "i"
        const narrow = metrics.advanceWidth
        metrics.text = "W"
        verify(metrics.advanceWidth > narrow, "a proportional family")
        for (const weight of [Font.Normal, Font.Medium, Font.DemiBold]) {
            metrics.font.weight = weight
            metrics.text = "0"
            const zero = metrics.advanceWidth
            for (let digit = 1; digit <= 9; ++digit) {
                metrics.text = String(digit)
                compare(metrics.advanceWidth, zero, "digit " + digit)
            }
        }
    }
}
