import QtQuick
import QtTest
import Quillmere.Ui
import Quillmere.Test
import "fixtures.js" as F

// The popover window itself: its two sides and the space around them.
TestCase {
    id: test
    name: "Popover"
    when: windowShown

    Component {
        id: popoverComponent
        Popover { visible: true }
    }

    function makePopover(state, dashboard) {
        Rig.reset()
        Rig.setDashboard(dashboard)
        if (state !== "none")
            verify(state === "embed" ? Rig.connectEmbed() : Rig.signIn())
        const popover = createTemporaryObject(popoverComponent, test)
        verify(popover)
        const main = findChild(popover, "mainSide")
        tryVerify(function () { return main.item !== null })
        waitForRendering(main.item)
        return popover
    }
    function cleanup() { Rig.settle() }

    // Toggling the settings panel slides the live side out: the dashboard
    // with its expanded rows, the connect view with what was typed.
    function test_leavingSideIsTheLiveOne_data() {
        return [
            { tag: "dashboard", state: "embed" },
            { tag: "connect view", state: "none" },
        ]
    }
    function test_leavingSideIsTheLiveOne(data) {
        const popover = makePopover(data.state, F.dashboard({ sources: F.sources() }))
        const main = findChild(popover, "mainSide")
        const settings = findChild(popover, "settingsSide")
        const view = main.item
        // State the view holds and a new one would not.
        let kept
        if (data.state === "none") {
            findChild(view, "linkField").text = "https://example.com/embed/typed"
            findChild(view, "passwordField").text = "secret"
            kept = function () {
                return findChild(view, "linkField").text === "https://example.com/embed/typed"
                    && findChild(view, "passwordField").text === "secret"
            }
        } else {
            const table = findChild(view, "sourcesTable").item
            table.lines.toggle("fb")
            kept = function () { return table.lines.expanded.length === 1 }
        }

        popover.toggleSettings()
        compare(main.item, view)
        verify(kept())
        wait(100) // mid-slide
        compare(main.item, view)
        verify(findChild(popover, "stack").children[0].opacity > 0)
        verify(kept())
        tryCompare(main, "active", false, 3000)

        // The settings panel leaves the same way.
        const panel = settings.item
        popover.toggleSettings()
        compare(settings.item, panel)
        wait(100)
        compare(settings.item, panel)
        tryCompare(settings, "active", false, 3000)
    }

    // The space under the last row equals the space above the first, with
    // and without a dashboard, connected or not.
    function test_equalSpaceAboveAndBelow_data() {
        return [
            { tag: "connect view", state: "none", top: "", bottom: "bottomRow" },
            { tag: "no dashboard", state: "embed", top: "header", bottom: "footer" },
            { tag: "dashboard", state: "embed", dashboard: true, top: "header", bottom: "footer" },
            { tag: "signed in, no dashboard", state: "signedIn", top: "header", bottom: "footer" },
        ]
    }
    function test_equalSpaceAboveAndBelow(data) {
        const popover = makePopover(data.state, data.dashboard ? F.dashboard() : undefined)
        const view = findChild(popover, "mainSide").item
        const first = data.top.length > 0 ? findChild(view, data.top) : view.children[0]
        const last = findChild(view, data.bottom)
        tryCompare(popover, "height", Math.round(view.implicitHeight + 2 * popover.padding), 3000)
        const above = first.mapToItem(popover.contentItem, 0, 0).y
        const below = popover.height - last.mapToItem(popover.contentItem, 0, last.height).y
        compare(below, above)
        if (data.tag === "no dashboard")
            Rig.screenshot(popover.contentItem, "popover-no-dashboard")
    }
}
