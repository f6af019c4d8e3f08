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

    function item(name) {
        return findChild(view, name)
    }
    function shown(name) {
        const it = item(name)
        return it !== null && it.visible
    }
    function shoot(name) {
        wait(50)
        Rig.screenshot(frame, name)
    }

    function signedIn(dashboard) {
        Rig.reset()
        Rig.setDashboard(dashboard)
        verify(Rig.signIn())
    }
    function embedded(dashboard) {
        Rig.reset()
        Rig.setDashboard(dashboard)
        verify(Rig.connectEmbed())
    }

    function cleanup() {
        Rig.settle()
    }

    function test_screens() {
        signedIn(F.dashboard({ sources: F.sources(), partial: true }))
        shoot("dashboard-signed-in")
        embedded(F.dashboard())
        shoot("dashboard-embed-link")
        App.store.timeframe = "last_30"
        Rig.startSlowRefresh(2000)
        shoot("dashboard-switching")
        Rig.settle()
        Rig.reset()
        Rig.setDashboard(F.dashboard())
        Rig.setDelay(2000)
        App.store.startConnect(Rig.embedLink(), "")
        shoot("dashboard-loading")
        Rig.settle()
        Rig.fail("embed.dashboard", 500)
        Rig.refresh()
        shoot("dashboard-error")
    }
}
