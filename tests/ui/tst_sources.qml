import QtQuick
import QtTest
import Quillmere.Ui
import Quillmere.Test
import "fixtures.js" as F

TestCase {
    id: test
    name: "Sources"
    when: windowShown
    visible: true
    width: 400
    height: 600

    Component { id: tableComponent; SourcesTable { width: 368 } }

    function makeTable(sources) {
        const data = Rig.makeSources(sources || F.sources())
        verify(data !== null)
        const table = createTemporaryObject(tableComponent, test, { sources: data })
        waitForRendering(table)
        return table
    }
    function names(table) {
        return Array.from({ length: table.lines.count }, function (_, i) { return table.lines.line(i).name })
    }
    function cells(table, name) {
        return F.findAll(table, F.named(name)).sort(function (a, b) { return a.y - b.y || a.x - b.x })
    }
    // Clicks, then lets the lines fade and the grid lay them out. The
    // pointer leaves, so that no tooltip covers the next line clicked.
    function click(table, name) {
        mouseClick(nameCell(table, name))
        mouseMove(test, test.width - 1, test.height - 1)
        settled(table)
    }
    function settled(table) {
        tryCompare(table, "toggling", false, 2000)
        waitForRendering(table)
    }
    function nameCell(table, name) {
        return cells(table, "nameCell").filter(function (c) { return c.name === name })[0]
    }

    function lineCells(table, line) {
        return cells(table, "valueCell").filter(function (c) { return c.modelData.line === line })
            .concat(cells(table, "nameCell").filter(function (c) { return c.index === line }))
    }

    // A click expands a row inside a short ease-out animation: its lines
    // come in transparent and fade in, and on collapsing they fade out
    // before they go. Lines already shown never fade, and a new table shows
    // its lines at once.
    function test_toggleAnimates() {
        const table = makeTable()
        cells(table, "nameCell").concat(cells(table, "valueCell")).forEach(function (c) { compare(c.opacity, 1) })

        const clicked = Date.now()
        mouseClick(nameCell(table, "Facebook"))
        compare(table.lines.count, 7)
        const added = lineCells(table, 1).concat(lineCells(table, 2))
        compare(added.length, 8)
        added.forEach(function (c) { compare(c.opacity, 0) })
        lineCells(table, 3).concat(lineCells(table, 0)).forEach(function (c) { compare(c.opacity, 1) })
        tryCompare(nameCell(table, "Spring sale"), "opacity", 1, 2000)
        verify(Date.now() - clicked >= 100, "faded in at once")
        added.forEach(function (c) { compare(c.opacity, 1) })

        // Collapsing: the lines stay while they fade out, then go.
        mouseClick(nameCell(table, "Facebook"))
        compare(table.lines.count, 7)
        verify(table.toggling)
        tryCompare(table.lines, "count", 5, 2000)
        tryCompare(findChild(nameCell(table, "Facebook"), "chevron"), "rotation", 0, 1000)
        cells(table, "nameCell").forEach(function (c) { compare(c.opacity, 1) })

        // A click during a fade finishes it first.
        mouseClick(nameCell(table, "Facebook"))
        mouseClick(nameCell(table, "Facebook"))
        tryCompare(table.lines, "count", 5, 2000)
        compare(table.lines.expanded, [])
        cells(table, "nameCell").concat(cells(table, "valueCell")).forEach(function (c) { compare(c.opacity, 1) })
    }

    function test_expandWalk() {
        const table = makeTable()
        const top = ["Facebook", "Google Ads", "ChatGPT", "Direct", "Other sources"]
        compare(names(table), top)
        click(table, "Facebook")
        compare(names(table), ["Facebook", "Spring sale", "Retargeting"].concat(top.slice(1)))
        nameCell(table, "Spring sale").Accessible.pressAction()
        settled(table)
        compare(names(table).slice(0, 4), ["Facebook", "Spring sale", "Carousel A", "Retargeting"])
        click(table, "Facebook")
        compare(names(table), top)
        compare(table.lines.expanded, ["fb-c1"])
        click(table, "Facebook")
        compare(names(table).slice(0, 4), ["Facebook", "Spring sale", "Carousel A", "Retargeting"])
        // Cells sit on their line's grid row.
        compare(nameCell(table, "Carousel A").index, 2)
        verify(nameCell(table, "Carousel A").y > nameCell(table, "Spring sale").y)
        verify(nameCell(table, "Carousel A").y < nameCell(table, "Retargeting").y)
        // A new table starts collapsed.
        compare(makeTable().lines.count, 5)
    }

    // A line with children is a button that expands; every chevron keeps
    // its space.
    function test_nameCells_data() {
        return [
            { tag: "parent", name: "Facebook", chevron: 1, button: true, access: "Collapse Facebook", symbol: true },
            { tag: "no children", name: "Google Ads", chevron: 0, button: false, access: "Google Ads", symbol: true },
            { tag: "empty children", name: "Retargeting", chevron: 0, button: false, access: "Retargeting", symbol: false },
            { tag: "child with children", name: "Spring sale", chevron: 1, button: true, access: "Expand Spring sale", symbol: false }
        ]
    }
    function test_nameCells(data) {
        const table = makeTable()
        compare(nameCell(table, "Facebook").Accessible.name, "Expand Facebook")
        click(table, "Facebook")
        const cell = nameCell(table, data.name)
        const chevron = findChild(cell, "chevron")
        compare(chevron.opacity, data.chevron)
        if (data.name === "Facebook")
            tryCompare(chevron, "rotation", 90)
        compare(chevron.parent.width, 10)
        compare(cell.Accessible.role === Accessible.Button, data.button)
        compare(cell.Accessible.name, data.access)
        compare(findChild(cell, "channelSymbol").parent.visible, data.symbol)
        const before = table.lines.count
        cell.Accessible.pressAction()
        settled(table)
        compare(table.lines.count !== before, data.button)
    }

    function test_channels_data() {
        return [
            { tag: "facebook", channel: "facebook", symbol: "f.square.fill" },
            { tag: "wrong case", channel: "Facebook", symbol: "globe" },
            { tag: "google", channel: "google_ads", symbol: "g.circle.fill" },
            { tag: "ai", channel: "ai", symbol: "sparkles" },
            { tag: "absent", symbol: "globe" }
        ]
    }
    function test_channels(data) {
        const row = F.sourceRow("x", "Row", data.channel ? { channel: data.channel } : {})
        const table = makeTable(F.sources({ rows: [row] }))
        compare(findChild(nameCell(table, "Row"), "channelSymbol").name, data.symbol)
    }

    function test_values_data() {
        return [
            { tag: "fewer", values: ["$1"] },
            { tag: "same", values: ["$1", "2", "$3"] },
            { tag: "more", values: ["$1", "2", "$3", "4", "5"] },
            { tag: "none", values: [] }
        ]
    }
    function test_values(data) {
        const table = makeTable(F.sources({ rows: [F.sourceRow("x", "Row", { values: data.values })] }))
        const texts = cells(table, "valueCell").map(function (c) { return c.text })
        compare(texts, data.values)
        // Centred on the name's line.
        const name = nameCell(table, "Row")
        cells(table, "valueCell").forEach(function (c) {
            verify(Math.abs(c.y + c.height / 2 - (name.y + name.height / 2)) < 1)
        })
    }

    function test_restAndToolTip() {
        const table = makeTable()
        const rest = nameCell(table, "Other sources")
        const label = findChild(rest, "name")
        verify(label.font.italic)
        fuzzyCompare(label.color.r, Theme.muted.r, 0.005)
        compare(rest.toolTip, "Remainder: Other sources")
        compare(nameCell(table, "Facebook").toolTip, "Paid social: Facebook")
        compare(nameCell(table, "Google Ads").toolTip, "Google Ads")
        verify(!findChild(nameCell(table, "Google Ads"), "name").font.italic)
        const restValues = cells(table, "valueCell").filter(function (c) { return c.modelData.line === 4 })
        compare(restValues.length, 3)
        restValues.forEach(function (c) { fuzzyCompare(c.color.r, Theme.muted.r, 0.005) })
    }

    function test_totals_data() {
        return [ { tag: "totals", totals: ["$1", "2", "$3"] }, { tag: "no totals", totals: [] } ]
    }
    function test_totals(data) {
        const table = makeTable(F.sources({ totals: data.totals }))
        const label = findChild(table, "totalLabel")
        verify(label.visible)
        const last = nameCell(table, "Other sources")
        verify(label.y > last.y + last.height)
        compare(cells(table, "totalCell").map(function (c) { return c.text }), data.totals)
    }
}
