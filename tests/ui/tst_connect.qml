import QtQuick
import QtTest
import Quillmere.Ui
import Quillmere.Test
import "fixtures.js" as F

TestCase {
    id: test
    name: "Connect"
    when: windowShown
    visible: true
    width: 400
    height: 560

    Rectangle {
        id: frame
        color: Theme.background
        width: 400
        height: loader.item ? loader.item.implicitHeight + 32 : 0
        Loader {
            id: loader
            x: 16
            y: 16
            width: 368
            sourceComponent: ConnectView {}
        }
    }

    function view() {
        return loader.item
    }
    function item(name) {
        return findChild(loader.item, name)
    }
    // A fresh view, as when the popover shows it again.
    function reopen() {
        loader.active = false
        loader.active = true
        waitForRendering(loader.item)
    }
    function init() {
        Rig.reset()
        reopen()
    }
    function cleanup() {
        Rig.settle()
    }

    function test_connectEnabled_data() {
        return [
            { tag: "empty", link: "", enabled: false },
            { tag: "spaces only", link: "   ", enabled: true },
            { tag: "a link", link: "https://example.com/embed/k", enabled: true }
        ]
    }
    function test_connectEnabled(data) {
        item("linkField").text = data.link
        compare(item("connect").enabled, data.enabled)
    }

    function test_linkPassedAsTyped() {
        // Spaces reach the Store, which refuses them with its own message.
        item("linkField").text = "   "
        mouseClick(item("connect"))
        tryCompare(App.store, "error", "Paste a dashboard embed link (\u2026/embed/\u2026).")
        verify(item("error").visible)
        compare(Rig.storedLink(), "")
        // A link with spaces around it connects (the Store trims what it keeps).
        item("linkField").text = "  " + Rig.embedLink() + " "
        mouseClick(item("connect"))
        tryCompare(App.store, "connected", true)
        compare(Rig.storedLink(), Rig.embedLink())
    }

    function test_password_data() {
        return [
            { tag: "empty", password: "", stored: "<none>" },
            { tag: "spaces kept", password: " p w ", stored: " p w " }
        ]
    }
    function test_password(data) {
        item("linkField").text = Rig.embedLink()
        item("passwordField").text = data.password
        mouseClick(item("connect"))
        tryCompare(App.store, "connected", true)
        compare(Rig.storedPassword(), data.stored)
    }

    function test_connectingState() {
        Rig.setDelay(800)
        item("linkField").text = Rig.embedLink()
        verify(!item("spinner").visible)
        mouseClick(item("connect"))
        verify(view().connecting)
        verify(item("spinner").visible)
        verify(item("spinner").running)
        verify(!item("connect").enabled)
        wait(300)
        Rig.screenshot(frame, "connect-connecting")
        tryCompare(view(), "connecting", false, 10000)
        verify(!item("spinner").visible)
        verify(App.store.connected)
    }

    function test_refusedLinkOffered() {
        Rig.fail("embed.dashboard", 401)
        item("linkField").text = Rig.embedLink()
        mouseClick(item("connect"))
        tryCompare(view(), "connecting", false, 10000)
        compare(App.store.rejectedLink, Rig.embedLink())
        reopen()
        compare(item("linkField").text, Rig.embedLink())
        // The error sits between the title row and the browser card.
        const error = item("error")
        verify(error.visible)
        verify(error.text.length > 0)
        verify(error.y > 0)
        verify(error.y + error.height <= item("browserCard").y)
        Rig.screenshot(frame, "connect-refused-link")
        // A field already holding text keeps it.
        item("linkField").text = "typed"
        view().offerRejectedLink()
        compare(item("linkField").text, "typed")
    }

    function test_fields() {
        verify(!item("error").visible)
        compare(item("passwordField").echoMode, TextInput.Password)
        compare(item("linkField").placeholderText, App.defaultServerOrigin + "/embed/\u2026")
        Rig.screenshot(frame, "connect")
    }

    SignalSpy { id: quitSpy; target: App; signalName: "quitRequested" }
    // Sign-in opens the browser; quit asks the program to quit.
    function test_buttons() {
        quitSpy.clear()
        const opened = Rig.openedUrls()
        item("signIn").Accessible.pressAction()
        compare(Rig.openedUrls(), opened + 1)
        mouseClick(item("quit"))
        compare(quitSpy.count, 1)
    }

    // Every control says what it is called.
    function test_accessibleNames() {
        F.verifyNamed(test, view())
    }
}
