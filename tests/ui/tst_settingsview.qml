import QtQuick
import QtQuick.Window
import QtTest
import Quillmere.Ui
import Quillmere.Test
import "fixtures.js" as F

// The settings window's form on a Store in each connection state.
Item {
    id: root
    width: 440
    height: 1000

    Component { id: viewComponent; SettingsView { width: 440 } }

    TestCase {
        id: testCase
        name: "SettingsView"
        when: windowShown

        function init() {
            Rig.reset()
            Rig.setLoginItem(false, "")
        }
        // A form, then the Store in a state: the form follows it live.
        function makeView(state, workspaces) {
            const view = createTemporaryObject(viewComponent, root)
            verify(view)
            if (state)
                F.connectAs(testCase, Rig, root, state, workspaces)
            return view
        }
        function child(view, name) { return F.child(testCase, view, name) }
        function shoot(view, name) {
            if (Rig.screenshotDir().length > 0) {
                wait(400) // let the switches finish moving
                Rig.screenshot(view, name)
            }
        }

        function test_sourceStates_data() {
            return [
                { tag: "not connected", state: "none", shot: "settings-window-not-connected",
                  on: ["notConnected"], off: ["signedInAs", "organizationRow", "dashboardLink", "filters"] },
                { tag: "embed link", state: "embed", button: "Forget link", shot: "settings-window-embed-link",
                  on: ["dashboardLink", "filters"], off: ["signedInAs", "organizationRow", "notConnected"] },
                { tag: "signed in, two workspaces", state: "signedIn", workspaces: 2, options: 2,
                  button: "Sign out", shot: "settings-window-signed-in",
                  on: ["signedInAs", "organizationRow", "filters"], off: ["dashboardLink", "notConnected"] },
                { tag: "signed in, one workspace", state: "signedIn", workspaces: 1, options: 1,
                  button: "Sign out", on: ["signedInAs", "organizationRow", "filters"],
                  off: ["dashboardLink", "notConnected"] },
            ]
        }
        function test_sourceStates(data) {
            const view = makeView(data.state, data.workspaces)
            F.verifySections(testCase, view, data.on, data.off, data.button)
            if (data.options)
                compare(child(view, "organization").count, data.options)
            if (data.shot)
                shoot(view, data.shot)
        }

        // Disconnecting leaves the form in place, now showing the
        // not-connected state.
        function test_disconnect() {
            const view = makeView("signedIn")
            child(view, "disconnect").Accessible.pressAction()
            tryVerify(function () { return !App.store.connected })
            verify(child(view, "notConnected").visible)
            verify(!child(view, "filters").visible)
        }

        function test_serverURL_data() {
            return [
                { tag: "not connected", state: "none", editable: true },
                { tag: "embed link", state: "embed", editable: false },
                { tag: "signed in", state: "signedIn", editable: false },
            ]
        }
        function test_serverURL(data) {
            const view = makeView(data.state)
            const row = child(view, "serverRow")
            verify(!row.visible)
            mouseClick(child(view, "advancedToggle"))
            verify(row.visible)
            const field = child(view, "serverURL")
            compare(field.enabled, data.editable)
            if (data.editable) {
                // Any text is kept; the Store decides what it means.
                const server = App.store.serverURL
                field.forceActiveFocus()
                field.selectAll()
                keyClick(Qt.Key_X)
                compare(Rig.setting("serverURL"), "x")
                App.store.serverURL = server // keep the scripted server for what follows
                Rig.screenshot(view, "settings-window-advanced")
            }
            view.reset() // the window opens again
            verify(!row.visible)
        }

        function test_dateRange() {
            const view = makeView("embed")
            const before = Rig.requests("embed.dashboard")
            F.pick(testCase, root, child(view, "dateRange"), 4)
            verify(Rig.settle())
            compare(App.store.timeframe, "last_30")
            compare(Rig.setting("period"), "last_30")
            compare(Rig.requests("embed.dashboard"), before + 1)
            compare(child(view, "dateRange").currentText, "Last 30 days")
        }

        function test_stepper_data() {
            return [
                { tag: "up", start: 40, press: "maxLengthUp", end: 45 },
                { tag: "down", start: 40, press: "maxLengthDown", end: 35 },
                { tag: "top", start: 120, press: "maxLengthUp", end: 120 },
                { tag: "bottom", start: 10, press: "maxLengthDown", end: 10 },
            ]
        }
        function test_stepper(data) {
            App.store.maxLength = data.start
            const view = makeView()
            mouseClick(child(view, data.press))
            compare(App.store.maxLength, data.end)
            compare(child(view, "maxLength").label, "Max length: " + data.end)
            compare(Number(Rig.setting("maxLength")), data.end)
        }

        function test_switches_data() {
            return [
                { tag: "show icon", control: "showIcon", key: "showIcon", before: true, after: false },
                { tag: "launch at login", control: "launchAtLogin", before: false, after: true },
                { tag: "launch at login refused", control: "launchAtLogin", failure: "Cannot write the entry",
                  before: false, after: false },
            ]
        }
        function test_switches(data) {
            if (data.failure)
                Rig.setLoginItem(false, data.failure)
            const control = child(makeView(), data.control)
            compare(control.checked, data.before)
            mouseClick(control)
            compare(control.checked, data.after)
            if (data.key)
                compare(String(Rig.setting(data.key)), String(data.after))
            else
                compare(Rig.loginItem(), data.after)
            if (data.failure)
                compare(App.store.error, data.failure)
        }

        // The form's switches in the scope list show the selection too: "All"
        // stays on after a click while on, and the command still runs.
        function test_scopeAllWhileOn() {
            const view = makeView("embed")
            const all = findChild(view, "scope:all:").item
            verify(all.checked)
            const before = Rig.requests("embed.dashboard")
            mouseClick(all)
            tryVerify(function () { return Rig.requests("embed.dashboard") === before + 1 })
            verify(all.checked)
            compare(App.store.accountIds, "")
        }

        // The entry written or removed outside the program shows when the
        // window comes up again.
        function test_launchAtLoginFollowsEntry() {
            const view = makeView()
            const control = child(view, "launchAtLogin")
            for (const on of [true, false]) {
                Rig.setLoginItem(on, "")
                view.reset()
                compare(control.checked, on)
            }
        }

        // A desktop that prefers dark gets a dark form; back to the system's
        // colours when it no longer does.
        function test_dark() {
            const view = makeView()
            const light = String(view.palette.window)
            view.dark = true
            verify(view.palette.window.hslLightness < 0.3)
            verify(child(view, "note").color.hslLightness > 0.5)
            if (Rig.screenshotDir().length > 0) {
                F.connectAs(testCase, Rig, root, "signedIn")
                shoot(view, "settings-window-dark")
            }
            view.dark = false
            compare(String(view.palette.window), light)
        }
    }
}
