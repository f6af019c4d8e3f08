import QtQuick
import QtTest
import Quillmere.Ui
import Quillmere.Test
import "fixtures.js" as F

TestCase {
    id: test
    name: "Dashboard"
    when: windowShown
    visible: true
    width: 400
    height: 760

    Rectangle {
        id: frame
        color: Theme.background
        width: 400
        height: view.implicitHeight + 32
        DashboardView {
            id: view
            x: 16
            y: 16
            width: 368
        }
    }

    function item(name) { return findChild(view, name) }
    function shown(name) {
        const it = item(name)
        return it !== null && it.visible
    }
    function shoot(name) {
        if (Rig.screenshotDir().length > 0) {
            wait(200)
            Rig.screenshot(frame, name)
        }
    }

    function signedIn(dashboard, workspaces) {
        Rig.reset()
        if (workspaces)
            Rig.setWorkspaces(F.workspaces(workspaces), "w1")
        Rig.setDashboard(dashboard)
        verify(Rig.signIn())
    }
    function embedded(dashboard) {
        Rig.reset()
        Rig.setDashboard(dashboard)
        verify(Rig.connectEmbed())
    }

    function cleanup() { Rig.settle() }

    function test_screens() {
        signedIn(F.dashboard({ sources: F.sources(), partial: true }))
        shoot("dashboard-signed-in")
        const table = item("sourcesTable").item
        table.lines.toggle("fb")
        table.lines.toggle("fb-c1")
        shoot("dashboard-sources-expanded")
        embedded(F.dashboard())
        shoot("dashboard-embed-link")
        Rig.fail("embed.dashboard", 500)
        Rig.refresh()
        shoot("dashboard-error")
    }

    function blockShown() {
        if (shown("skeleton"))
            return "skeleton"
        if (shown("tiles") || shown("rowsTable") || shown("sourcesTable"))
            return "dashboard"
        return "nothing"
    }
    function lineShown() {
        if (!shown("lineSlot"))
            return "nothing"
        return shown("lineSkeleton") ? "skeleton" : item("line").text
    }

    function test_states_data() {
        return [
            { tag: "no payload, loading", setup: function () {
                Rig.reset(); Rig.setDashboard(F.dashboard()); Rig.setDelay(600)
                App.store.startConnect(Rig.embedLink(), "")
              }, line: "skeleton", block: "skeleton", tiles: 4, rows: 4, shot: "dashboard-loading" },
            { tag: "no payload, idle", setup: function () {
                Rig.reset(); Rig.fail("snapshot", 500); Rig.fail("widget.line", 500); verify(Rig.signIn())
              }, line: "nothing", block: "nothing" },
            { tag: "dashboard", setup: function () { signedIn(F.dashboard()) },
              line: "$2.4k ($310/8) 3.2x", block: "dashboard" },
            { tag: "dashboard, same range refreshing", setup: function () {
                signedIn(F.dashboard()); App.store.timeframe = "last_7"; Rig.startSlowRefresh(600)
              }, line: "$2.4k ($310/8) 3.2x", block: "dashboard" },
            { tag: "dashboard, switching", setup: function () {
                signedIn(F.dashboard()); App.store.timeframe = "today"; Rig.startSlowRefresh(600)
              }, line: "$2.4k ($310/8) 3.2x", block: "skeleton", tiles: 5, rows: 3, shot: "dashboard-switching" },
            { tag: "no dashboard, loading", setup: function () {
                signedIn(undefined); Rig.startSlowRefresh(600)
              }, line: "$2.4k ($310/8) 3.2x", block: "skeleton", tiles: 4, rows: 4 },
            { tag: "no dashboard, idle", setup: function () { signedIn(undefined) },
              line: "$2.4k ($310/8) 3.2x", block: "nothing" }
        ]
    }
    function test_states(data) {
        data.setup()
        verify(App.store.connected)
        compare(lineShown(), data.line)
        compare(blockShown(), data.block)
        if (data.block === "skeleton") {
            const skeleton = item("skeleton").item
            compare(skeleton.tiles, data.tiles)
            compare(skeleton.rows, data.rows)
        }
        if (data.shot)
            shoot(data.shot)
    }

    function test_switchingChip() {
        signedIn(F.dashboard())
        const chip = item("rangeMenu")
        compare(chip.text, "Last 7 days")
        verify(chip.opensMenu)
        const menu = item("rangeMenuPopup")
        compare(menu.entries.map(function (e) { return e.text + (e.checked ? "*" : "") }),
                ["Today", "Last 7 days*", "Last 30 days"])
        Rig.setDelay(600)
        menu.chosen(menu.entries[2])
        compare(App.store.timeframe, "last_30")
        compare(App.store.period, "last_30")
        verify(App.store.loading)
        compare(chip.text, "Last 30 days")
        compare(chip.opacity, 0.6)
        compare(blockShown(), "skeleton")
        verify(!item("refresh").enabled)
        Rig.settle()
        // The server still answers the old range: the chip shows what it says.
        compare(chip.text, "Last 7 days")
        compare(blockShown(), "dashboard")
    }

    function test_tables_data() {
        return [
            { tag: "rows", extra: {}, table: "rowsTable" },
            { tag: "sources", extra: { sources: F.sources() }, table: "sourcesTable" },
            { tag: "sources without rows", extra: { sources: F.sources({ rows: [] }) }, table: "" },
            { tag: "no rows", extra: { rows: [] }, table: "" }
        ]
    }
    function test_tables(data) {
        embedded(F.dashboard(data.extra))
        compare(shown("rowsTable"), data.table === "rowsTable")
        compare(shown("sourcesTable"), data.table === "sourcesTable")
    }

    function test_header_data() {
        return [
            { tag: "two workspaces", signIn: true, workspaces: 2, dashboard: true, picker: true, name: "" },
            { tag: "one workspace", signIn: true, workspaces: 1, dashboard: true, picker: false, name: "Alpha Store" },
            { tag: "embed link", signIn: false, workspaces: 2, dashboard: true, picker: false, name: "Alpha Store" },
            { tag: "no dashboard", signIn: false, workspaces: 2, dashboard: false, picker: false, name: "Quillmere" }
        ]
    }
    function test_header(data) {
        Rig.reset()
        Rig.setWorkspaces(F.workspaces(data.workspaces), "w1")
        Rig.setDashboard(data.dashboard ? F.dashboard() : undefined)
        verify(data.signIn ? Rig.signIn() : Rig.connectEmbed())
        compare(shown("workspacePicker"), data.picker)
        compare(shown("workspaceName"), !data.picker)
        if (!data.picker)
            compare(item("workspaceName").text, data.name)
        else
            compare(item("workspacePicker").text, "Workspace 1 (active)")
        compare(shown("rangeMenu"), data.dashboard)
        // The footer keeps its buttons.
        compare(item("openDashboard").text, data.signIn ? "Dashboard" : "Open link")
        verify(shown("quit") && shown("refresh") && shown("settings"))
    }

    function test_workspacePick() {
        signedIn(F.dashboard(), 3)
        const menu = item("workspacePicker").menu
        compare(menu.entries.map(function (e) { return e.id + (e.checked ? "*" : "") }), ["*", "w2", "w3"])
        menu.chosen(menu.entries[2])
        compare(App.store.workspaceId, "w3")
        // Another workspace than the active one: no account menu.
        Rig.settle()
        verify(!shown("accountMenu"))
    }

    function test_rangeWithoutChoices_data() {
        return [ { tag: "absent", timeframes: undefined }, { tag: "empty", timeframes: [] } ]
    }
    function test_rangeWithoutChoices(data) {
        const d = F.dashboard({ timeframes: data.timeframes })
        if (!data.timeframes)
            delete d.timeframes
        embedded(d)
        const chip = item("rangeMenu")
        verify(chip.visible)
        compare(chip.text, "Last 7 days")
        verify(!chip.opensMenu)
        verify(!findChild(chip, "chevron").visible)
        mouseClick(chip)
        verify(!item("rangeMenuPopup").opened)
        // Only a menu dims while loading.
        Rig.startSlowRefresh(600)
        compare(chip.opacity, 1)
    }

    function test_accountMenu() {
        signedIn(F.dashboard())
        const chip = item("accountMenu")
        verify(chip.visible)
        compare(chip.text, App.store.accountsLabel)
        mouseClick(chip)
        const menu = chip.menu
        tryCompare(menu, "opened", true)
        // All accounts, then per group: divider, all of the group, a section of its accounts.
        compare(menu.count, 1 + 2 * 3 + 3)
        compare(menu.itemAt(0).text, "All accounts")
        verify(menu.itemAt(0).checkMark)
        compare(menu.itemAt(2).text, "All of Google Ads")
        compare(menu.itemAt(3).text, "Google Ads")
        verify(!menu.itemAt(3).enabled)
        wait(50)
        Rig.screenshot(test.Window.window.contentItem, "dashboard-account-menu")
        // The menu fits in the window.
        verify(menu.height <= test.Window.window.height)
        menu.itemAt(4).triggered()
        tryCompare(App.store, "accountIds", "g1")
        Rig.settle()
        mouseClick(chip)
        tryCompare(menu, "opened", true)
        verify(!menu.itemAt(0).checkMark)
        verify(menu.itemAt(4).checkMark)
        menu.close()
        // Dimmed while loading, still there.
        Rig.startSlowRefresh(600)
        compare(chip.opacity, 0.6)
        verify(chip.enabled)
    }

    function test_tileValueFits() {
        embedded(F.dashboard({ tiles: [
            { key: "a", label: "Short", value: "$1", accent: false },
            { key: "b", label: "Long", value: "$123,456,789,012.34", accent: true } ] }))
        waitForRendering(item("tiles"))
        const tiles = F.findAll(item("tiles"), F.named("tileValue"))
        compare(tiles.length, 2)
        compare(tiles[0].fontInfo.pixelSize, 22)
        verify(tiles[1].fontInfo.pixelSize < 22)
        verify(tiles[1].fontInfo.pixelSize >= 11)
        compare(tiles[1].lineCount, 1)
        fuzzyCompare(tiles[1].color.g, Theme.accent.g, 0.005)
    }

    // Only the value keeps to one line; a label or caption too long for
    // the tile wraps, whole.
    function test_tileTextWraps_data() {
        return [
            { tag: "short", label: "Spend", caption: "8 campaigns", lines: 1 },
            { tag: "long", label: "Cost per newly acquired customer in the period",
              caption: "from 8 sales across every connected ad account", lines: 2 },
        ]
    }
    function test_tileTextWraps(data) {
        embedded(F.dashboard({ tiles: [
            { key: "a", label: data.label, value: "$2,431", caption: data.caption, accent: false },
            { key: "b", label: "Revenue", value: "$7,780", accent: false } ] }))
        waitForRendering(item("tiles"))
        const tile = F.findAll(item("tiles"), F.named("tile"))[0]
        for (const name of ["tileLabel", "tileCaption"]) {
            const text = findChild(tile, name)
            verify(text.lineCount >= data.lines, name + ": " + text.lineCount + " lines")
            verify(!text.truncated, name + " cut off")
            verify(text.y + text.height <= tile.height, name + " outside its tile")
        }
        compare(findChild(tile, "tileValue").lineCount, 1)
        if (data.lines > 1)
            shoot("dashboard-tiles-wrapped")
    }

    // The header's chips take the width of their text; only a full row
    // makes the organisation and account chips shrink and elide.
    function test_headerChipWidths_data() {
        return [
            { tag: "short names", name: "Alpha", full: false },
            { tag: "long name, no account chip", name: "Northwind Trading Company", noAccounts: true, full: false },
            { tag: "row full", name: "Northwind Trading Company International Holdings Europe", full: true },
        ]
    }
    function test_headerChipWidths(data) {
        Rig.reset()
        Rig.setWorkspaces([{ workspaceId: "w1", name: data.name, role: "owner" },
                           { workspaceId: "w2", name: "Beta", role: "owner" }], "w1")
        if (data.noAccounts)
            Rig.setAccounts([])
        Rig.setDashboard(F.dashboard())
        verify(Rig.signIn())
        const header = item("header")
        const picker = item("workspacePicker")
        const chips = [picker, item("rangeMenu")].concat(data.noAccounts ? [] : [item("accountMenu")])
        waitForRendering(header)
        chips.forEach(function (chip) { verify(chip.visible, chip.objectName) })
        const label = picker.contentItem.children[0]
        if (data.full) {
            verify(picker.width < picker.implicitWidth)
            verify(label.truncated)
            verify(Math.abs(item("rangeMenu").width - item("rangeMenu").implicitWidth) < 1)
            shoot("dashboard-header-full")
        } else {
            chips.forEach(function (chip) { verify(Math.abs(chip.width - chip.implicitWidth) < 1, chip.objectName) })
            verify(!label.truncated)
        }
        if (data.noAccounts) {
            verify(!item("accountMenu").visible)
            verify(picker.width > 170)
        }
        // Whatever the names, the chips stay inside the row.
        const last = item("rangeMenu")
        verify(last.mapToItem(header, last.width, 0).x <= header.width + 0.5)
    }

    function test_scrollHeight() {
        embedded(F.dashboard({ rows: [] }))
        const area = item("content")
        waitForRendering(area)
        verify(area.height < 560)
        compare(area.height, area.contentHeight)
        const rows = []
        for (let i = 0; i < 40; ++i)
            rows.push({ id: "r" + i, name: "Campaign " + i, active: i % 2 === 0, spend: "$1", revenue: "$2", roas: "2x" })
        embedded(F.dashboard({ rows: rows }))
        tryCompare(area, "height", 560)
        verify(area.contentHeight > 560)
        verify(area.interactive)
    }

    function test_footer() {
        Rig.setClock(new Date(2024, 4, 1, 9, 41, 30))
        embedded(F.dashboard())
        const updated = item("updated")
        verify(updated.visible)
        verify(updated.text.indexOf("41") >= 0)
        verify(updated.text.indexOf("30") < 0)
        compare(updated.Accessible.description, "Last updated")
        const refreshes = Rig.requests("embed.dashboard")
        keyClick(Qt.Key_R, Qt.ControlModifier)
        tryCompare(App.store, "loading", false)
        compare(Rig.requests("embed.dashboard"), refreshes + 1)
        Rig.startSlowRefresh(600)
        verify(!item("refresh").enabled)
        keyClick(Qt.Key_R, Qt.ControlModifier)
        Rig.settle()
        compare(Rig.requests("embed.dashboard"), refreshes + 2)
        // The line can be selected and copied.
        const line = item("line")
        verify(line.readOnly)
        verify(line.selectByMouse)
        line.selectAll()
        compare(line.selectedText, "$2.4k ($310/8) 3.2x")
    }

    // Every control says what it is called.
    function test_accessibleNames() {
        signedIn(F.dashboard({ sources: F.sources() }))
        F.verifyNamed(test, view)
    }
}
