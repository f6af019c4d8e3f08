import QtQuick
import QtQuick.Window
import QtTest
import Quillmere.Ui
import Quillmere.Test
import "fixtures.js" as F

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

    function init() {
        Rig.reset()
        Rig.setLoginItem(false, "")
        closes = 0
        connectedAtClose = []
    }
    // A panel, then the Store in a state: the panel follows it live.
    function makePanel(state, workspaces) {
        const frame = createTemporaryObject(panelComponent, root)
        verify(frame)
        if (state)
            F.connectAs(testCase, Rig, root, state, workspaces)
        return frame.panel
    }
    function child(panel, name) { return F.child(testCase, panel, name) }
    function pick(combo, index) { F.pick(testCase, root, combo, index) }

    function test_sourceStates_data() {
        return [
            { tag: "not connected", state: "none", shot: "settings-panel-not-connected",
              on: ["notConnected", "serverRow"], off: ["signedInAs", "organizationRow", "dashboardLink", "filters"] },
            { tag: "embed link", state: "embed", shot: "settings-panel-embed-link", button: "Forget link",
              on: ["dashboardLink", "filters", "scope"],
              off: ["signedInAs", "organizationRow", "notConnected", "serverRow"] },
            { tag: "embed link, no accounts", state: "embed", noAccounts: true, button: "Forget link",
              on: ["dashboardLink", "filters", "dateRange"], off: ["scope", "notConnected", "serverRow"] },
            { tag: "signed in, two workspaces", state: "signedIn", shot: "settings-panel-signed-in",
              button: "Sign out", on: ["signedInAs", "organizationRow", "filters"],
              off: ["dashboardLink", "notConnected", "serverRow"] },
            { tag: "signed in, one workspace", state: "signedIn", workspaces: 1, button: "Sign out",
              on: ["signedInAs", "filters"], off: ["organizationRow", "dashboardLink", "notConnected", "serverRow"] },
        ]
    }
    function test_sourceStates(data) {
        if (data.noAccounts)
            Rig.setAccounts([])
        const panel = makePanel(data.state, data.workspaces)
        F.verifySections(testCase, panel, data.on, data.off, data.button)
        if (data.state === "signedIn")
            compare(child(panel, "email").text, "ann@example.com")
        if (data.shot)
            Rig.screenshot(panel.parent, data.shot)
    }

    function test_disconnectThenClose_data() {
        return [{ tag: "sign out", state: "signedIn" }, { tag: "forget link", state: "embed" }]
    }
    function test_disconnectThenClose(data) {
        const panel = makePanel(data.state)
        mouseClick(child(panel, "disconnect"))
        tryCompare(testCase, "closes", 1)
        compare(connectedAtClose, [false])
        compare(Rig.storedLink(), "")
        verify(child(panel, "notConnected").visible)
    }

    // Going back while the disconnect is still under way: the panel does
    // not toggle itself open again when it ends.
    function test_backDuringDisconnect() {
        const panel = makePanel("signedIn")
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
        const popup = window.combo.popup
        popup.open()
        tryCompare(popup, "opened", true)
        verify(popup.y + popup.height <= window.height, popup.y + "+" + popup.height)
        verify(popup.contentItem.contentHeight > popup.contentItem.height)
        compare(window.combo.currentText, "Item 3")
    }

    // A stored interval that is not offered shows no item and is left alone.
    function test_refreshOutsideList() {
        App.store.refreshMinutes = 7
        compare(child(makePanel(), "refreshEvery").currentIndex, -1)
        compare(Number(Rig.setting("refreshMinutes")), 7)
        App.store.refreshMinutes = 5
    }

    // A click and the accessible press each close the panel, or quit.
    SignalSpy { id: quitSpy; target: App; signalName: "quitRequested" }
    function test_closeControls_data() {
        return [{ tag: "back", control: "back", closes: 2 }, { tag: "done", control: "done", closes: 2 },
                { tag: "escape", closes: 1 }, { tag: "quit", control: "quit", closes: 0, quits: 2 }]
    }
    function test_closeControls(data) {
        quitSpy.clear()
        const panel = makePanel()
        if (data.control) {
            mouseClick(child(panel, data.control))
            child(panel, data.control).Accessible.pressAction()
        } else {
            keyClick(Qt.Key_Escape)
        }
        compare(closes, data.closes)
        compare(quitSpy.count, data.quits || 0)
    }

    Component { id: buttonComponent; SettingsButton { toggle: function () { testCase.closes += 1 } } }
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
        const panel = makePanel("embed")
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
        const stepper = child(makePanel(), "maxLength")
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

    // Each control writes the real setting; the line picker shows only with
    // more than one line.
    function test_writesSettings_data() {
        return [
            { tag: "refresh every", control: "refreshEvery", index: 2, key: "refreshMinutes", value: "15" },
            { tag: "line template", control: "lineTemplate", index: 5, key: "lineTemplate", value: "profit",
              text: "Profit \u2014 $7.7k rev \u00B7 $5.3k profit" },
            { tag: "show icon", control: "showIcon", key: "showIcon", value: "false" },
            { tag: "line", lines: ["$1 first", "$2 second"], control: "line", index: 1, key: "lineIndex",
              value: "1", text: "$2 second" },
            { tag: "one line", lines: ["$1 only"], control: "lineRow" },
        ]
    }
    function test_writesSettings(data) {
        if (data.lines)
            Rig.setLines(data.lines)
        const panel = makePanel(data.lines ? "embed" : "")
        const control = child(panel, data.control)
        if (data.lines)
            compare(child(panel, "lineRow").visible, data.lines.length > 1)
        if (!data.key)
            return
        if (data.index !== undefined)
            pick(control, data.index)
        else
            mouseClick(control)
        tryVerify(function () { return String(Rig.setting(data.key)) === data.value })
        Rig.settle()
        if (data.text)
            compare(control.currentText, data.text)
        if (data.control === "showIcon")
            verify(!control.checked)
    }

    // The switch shows the registration, whoever changed it.
    function test_launchAtLogin() {
        let control = child(makePanel(), "launchAtLogin")
        verify(!control.checked)
        control.Accessible.pressAction()
        verify(Rig.loginItem())
        verify(control.checked)

        Rig.setLoginItem(false, "") // removed outside the program
        control = child(makePanel(), "launchAtLogin")
        verify(!control.checked)

        Rig.setLoginItem(false, "Cannot write the autostart entry")
        mouseClick(control)
        verify(!control.checked)
        compare(App.store.error, "Cannot write the autostart entry")
    }
}
}
