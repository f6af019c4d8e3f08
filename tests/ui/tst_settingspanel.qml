import QtQuick
import QtQuick.Window
import QtTest
import Quillmere.Ui
import Quillmere.Test

// The popover's settings panel on a Store in each connection state.
Item {
    id: root
    width: 368
    height: 900

TestCase {
    id: testCase
    name: "SettingsPanel"
    when: windowShown

    property int closes: 0
    property var connectedAtClose: []

    Component {
        id: panelComponent
        Rectangle {
            property alias panel: panel
            width: 368
            height: panel.implicitHeight + 32
            color: Theme.background
            SettingsPanel {
                id: panel
                x: 16
                y: 16
                width: 336
                toggleSettings: function () {
                    testCase.closes += 1
                    testCase.connectedAtClose.push(App.store.connected)
                }
            }
        }
    }

    Component {
        id: shortWindow
        Window {
            property alias combo: combo
            width: 368
            height: 140
            visible: true
            color: Theme.background
            PopoverComboBox {
                id: combo
                y: 10
                accessibleName: "Date range"
                items: [1, 2, 3, 4, 5, 6, 7, 8, 9, 10].map(function (n) { return { text: "Item " + n, value: n } })
                value: 3
            }
        }
    }

    // One frame drawn, so every layout has placed its items before a click.
    function laidOut() {
        root.Window.window.update()
        waitForRendering(root)
    }
    function init() {
        Rig.reset()
        Rig.setLoginItem(false, "")
        closes = 0
        connectedAtClose = []
    }

    function makePanel() {
        const frame = createTemporaryObject(panelComponent, root)
        verify(frame)
        return frame.panel
    }
    function child(panel, name) {
        const found = findChild(panel, name)
        verify(found, "no " + name)
        return found
    }
    function connectAs(state, workspaces) {
        if (workspaces === 1)
            Rig.setWorkspaces([{ workspaceId: "w1", name: "Alpha", role: "owner" }], "w1")
        if (state === "embed")
            verify(Rig.connectEmbed())
        else if (state === "signedIn")
            verify(Rig.signIn())
        if (state !== "none")
            laidOut()
    }
    // Opens a picker and clicks its index-th item, as a user would.
    function pick(combo, index) {
        laidOut()
        mouseClick(combo)
        tryCompare(combo.popup, "opened", true)
        const list = combo.popup.contentItem
        list.positionViewAtIndex(index, ListView.Contain)
        tryVerify(function () { return list.itemAtIndex(index) !== null }, 1000, "no item " + index)
        const item = list.itemAtIndex(index)
        mouseClick(item)
        tryCompare(combo.popup, "visible", false)
    }

    function test_sourceStates_data() {
        return [
            { tag: "not connected", state: "none", workspaces: 2, shot: "settings-panel-not-connected",
              on: ["notConnected", "serverRow"], off: ["signedInAs", "organizationRow", "dashboardLink", "filters"] },
            { tag: "embed link", state: "embed", workspaces: 2, shot: "settings-panel-embed-link", button: "Forget link",
              on: ["dashboardLink", "filters", "scope"],
              off: ["signedInAs", "organizationRow", "notConnected", "serverRow"] },
            { tag: "embed link, no accounts", state: "embed", workspaces: 2, noAccounts: true, button: "Forget link",
              on: ["dashboardLink", "filters", "dateRange"], off: ["scope", "notConnected", "serverRow"] },
            { tag: "signed in, two workspaces", state: "signedIn", workspaces: 2, shot: "settings-panel-signed-in",
              button: "Sign out", on: ["signedInAs", "organizationRow", "filters"],
              off: ["dashboardLink", "notConnected", "serverRow"] },
            { tag: "signed in, one workspace", state: "signedIn", workspaces: 1, button: "Sign out",
              on: ["signedInAs", "filters"], off: ["organizationRow", "dashboardLink", "notConnected", "serverRow"] },
        ]
    }
    function test_sourceStates(data) {
        // Made before connecting: the sections follow the Store live.
        const panel = makePanel()
        if (data.noAccounts)
            Rig.setAccounts([])
        connectAs(data.state, data.workspaces)
        for (const name of data.on)
            verify(child(panel, name).visible, name + " hidden")
        for (const name of data.off)
            verify(!child(panel, name).visible, name + " shown")
        const button = child(panel, "disconnect")
        compare(button.parent.visible, data.button !== undefined)
        if (data.button)
            compare(button.text, data.button)
        if (data.state === "signedIn")
            compare(child(panel, "email").text, "ann@example.com")
        if (data.shot && Rig.screenshotDir().length > 0) {
            laidOut()
            Rig.screenshot(panel.parent, data.shot)
        }
    }

    function test_disconnectThenClose_data() {
        return [{ tag: "sign out", state: "signedIn" }, { tag: "forget link", state: "embed" }]
    }
    function test_disconnectThenClose(data) {
        const panel = makePanel()
        connectAs(data.state, 2)
        mouseClick(child(panel, "disconnect"))
        tryCompare(testCase, "closes", 1)
        compare(connectedAtClose, [false])
        compare(Rig.storedLink(), "")
        verify(child(panel, "notConnected").visible)
    }

    // Going back while the disconnect is still under way: the panel does
    // not toggle itself open again when it ends.
    function test_backDuringDisconnect() {
        const panel = makePanel()
        connectAs("signedIn", 2)
        Rig.setDelay(300)
        mouseClick(child(panel, "disconnect"))
        mouseClick(child(panel, "back"))
        tryVerify(function () { return !App.store.connected })
        Rig.settle()
        wait(50)
        compare(closes, 1)
    }

    // The list of a picker stays inside a short window and scrolls.
    function test_popupFitsWindow() {
        const window = createTemporaryObject(shortWindow, root)
        tryCompare(window, "visible", true)
        const combo = window.combo
        combo.popup.open()
        tryCompare(combo.popup, "opened", true)
        const list = combo.popup.contentItem
        verify(combo.popup.y + combo.popup.height <= window.height, combo.popup.y + "+" + combo.popup.height)
        verify(list.contentHeight > list.height)
        compare(combo.currentText, "Item 3")
    }

    // A stored interval that is not offered shows no item and is left alone.
    function test_refreshOutsideList() {
        App.store.refreshMinutes = 7
        const panel = makePanel()
        compare(child(panel, "refreshEvery").currentIndex, -1)
        compare(Number(Rig.setting("refreshMinutes")), 7)
        App.store.refreshMinutes = 5
    }

    function test_closeControls_data() {
        return [{ tag: "back", control: "back" }, { tag: "done", control: "done" }, { tag: "escape" }]
    }
    function test_closeControls(data) {
        const panel = makePanel()
        if (data.control) {
            const button = child(panel, data.control)
            mouseClick(button)
            compare(closes, 1)
            button.Accessible.pressAction()
            compare(closes, 2)
        } else {
            keyClick(Qt.Key_Escape)
            compare(closes, 1)
        }
        compare(child(panel, "back").Accessible.name, "Back")
    }

    SignalSpy { id: quitSpy; target: App; signalName: "quitRequested" }
    function test_quit() {
        quitSpy.clear()
        const panel = makePanel()
        mouseClick(child(panel, "quit"))
        child(panel, "quit").Accessible.pressAction()
        compare(quitSpy.count, 2)
        compare(closes, 0)
    }

    Component {
        id: buttonComponent
        SettingsButton { toggle: function () { testCase.closes += 1 } }
    }
    function test_settingsButton_data() {
        return [{ tag: "text", props: { text: "Settings" } },
                { tag: "symbol", props: { symbol: "gearshape", toolTip: "Settings" } }]
    }
    function test_settingsButton(data) {
        const button = createTemporaryObject(buttonComponent, root, data.props)
        mouseClick(button)
        button.Accessible.pressAction()
        compare(closes, 2)
        compare(button.Accessible.name, "Settings")
    }

    // Timeframe first, then the period, then the refresh.
    function test_dateRangeOrder() {
        const panel = makePanel()
        connectAs("embed", 2)
        const before = Rig.requests("embed.dashboard")
        const seen = []
        const store = App.store
        const record = function () { seen.push([store.timeframe, store.period, store.loading].join("/")) }
        store.changed.connect(record)
        pick(child(panel, "dateRange"), 2) // Last 7 days
        store.changed.disconnect(record)
        verify(Rig.settle())
        const timeframe = seen.indexOf("last_7/today/false")
        const period = seen.indexOf("last_7/last_7/false")
        const loading = seen.indexOf("last_7/last_7/true")
        verify(timeframe >= 0 && timeframe < period && period < loading, JSON.stringify(seen))
        compare(Rig.setting("period"), "last_7")
        compare(Rig.requests("embed.dashboard"), before + 1)
        compare(child(panel, "dateRange").currentText, "Last 7 days")
    }

    function test_stepper_data() {
        return [
            { tag: "up", start: 40, moves: [1, 1], end: 50 },
            { tag: "down", start: 40, moves: [-1], end: 35 },
            { tag: "stops at 120", start: 115, moves: [1, 1, 1], end: 120 },
            { tag: "stops at 10", start: 15, moves: [-1, -1], end: 10 },
        ]
    }
    function test_stepper(data) {
        App.store.maxLength = data.start
        const panel = makePanel()
        const stepper = child(panel, "maxLength")
        for (const delta of data.moves) {
            if (delta > 0)
                stepper.Accessible.increaseAction()
            else
                stepper.Accessible.decreaseAction()
        }
        compare(App.store.maxLength, data.end)
        compare(Number(Rig.setting("maxLength")), data.end)
        compare(stepper.label, String(data.end))
    }

    function test_lineRow_data() {
        return [
            { tag: "one line", lines: ["$1 only"], shown: false },
            { tag: "two lines", lines: ["$1 first", "$2 second"], shown: true },
        ]
    }
    function test_lineRow(data) {
        Rig.setLines(data.lines)
        const panel = makePanel()
        connectAs("embed", 2)
        compare(child(panel, "lineRow").visible, data.shown)
        if (data.shown) {
            pick(child(panel, "line"), 1)
            compare(Number(Rig.setting("lineIndex")), 1)
            compare(child(panel, "line").currentText, "$2 second")
        }
    }

    // Each control writes the real setting.
    function test_writesSettings_data() {
        return [
            { tag: "refresh every", control: "refreshEvery", index: 2, key: "refreshMinutes", value: "15" },
            { tag: "line template", control: "lineTemplate", index: 5, key: "lineTemplate", value: "profit" },
            { tag: "show icon", control: "showIcon", key: "showIcon", value: "false" },
        ]
    }
    function test_writesSettings(data) {
        const panel = makePanel()
        const control = child(panel, data.control)
        if (data.index !== undefined)
            pick(control, data.index)
        else
            mouseClick(control)
        tryVerify(function () { return String(Rig.setting(data.key)) === data.value })
        Rig.settle()
        if (data.control === "lineTemplate")
            compare(control.currentText, "Profit \u2014 $7.7k rev \u00B7 $5.3k profit")
        if (data.control === "showIcon")
            verify(!control.checked)
    }

    // The switch shows the registration, whoever changed it.
    function test_launchAtLogin() {
        let panel = makePanel()
        let control = child(panel, "launchAtLogin")
        verify(!control.checked)
        control.Accessible.pressAction()
        verify(Rig.loginItem())
        verify(control.checked)

        Rig.setLoginItem(false, "") // removed outside the program
        panel.parent.destroy()
        panel = makePanel()
        control = child(panel, "launchAtLogin")
        verify(!control.checked)

        Rig.setLoginItem(false, "Cannot write the autostart entry")
        mouseClick(control)
        verify(!control.checked)
        compare(App.store.error, "Cannot write the autostart entry")
    }
}
}
