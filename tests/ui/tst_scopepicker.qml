import QtQuick
import QtTest
import Quillmere.Ui
import Quillmere.Test

// The scope checklist: which toggles are on for a selection, and which Store
// command each click runs.
Item {
    id: root
    width: 368
    height: 400

    Component {
        id: pickerComponent
        Rectangle {
            property alias picker: picker
            width: 368
            height: picker.implicitHeight + 24
            color: Theme.background
            ScopePicker {
                id: picker
                x: 12
                y: 12
                width: 344
            }
        }
    }

    TestCase {
        name: "ScopePicker"
        when: windowShown

        readonly property var names: ["all:", "platform:google", "account:g1", "account:g2",
                                      "platform:meta", "account:m1"]

        function init() {
            Rig.reset()
            verify(Rig.connectEmbed())
        }
        // A picker on the Store's selection.
        function makePicker(accounts, platforms) {
            const frame = createTemporaryObject(pickerComponent, root)
            verify(frame)
            App.store.accountIds = accounts || ""
            App.store.platformIds = platforms || ""
            return frame.picker
        }
        function toggle(picker, name) {
            const slot = findChild(picker, "scope:" + name)
            verify(slot && slot.item, "no toggle " + name)
            return slot.item
        }
        // The names of the toggles that show on, in order.
        function onNames(picker) {
            return names.filter(function (n) { return toggle(picker, n).checked })
        }

        // Each platform, then its accounts indented under it.
        function test_rows() {
            const picker = makePicker()
            compare(names.map(function (n) { return toggle(picker, n).text }),
                    ["All platforms and accounts", "Google Ads", "Account g1", "Account g2", "Meta", "Account m1"])
            compare(toggle(picker, "platform:meta").font.weight, Font.Medium)
            compare(toggle(picker, "account:m1").font.weight, Font.Normal)
            verify(toggle(picker, "account:g1").leftPadding > toggle(picker, "platform:google").leftPadding)
            compare(toggle(picker, "account:g1").Accessible.name, "Account g1")
        }

        function test_onStates_data() {
            return [
                { tag: "nothing picked", accounts: "", platforms: "", on: ["all:"] },
                { tag: "one account", accounts: "g2", platforms: "", on: ["account:g2"] },
                { tag: "a platform", accounts: "", platforms: "meta", on: ["platform:meta"] },
                { tag: "both", accounts: "g1,m1", platforms: "google",
                  on: ["platform:google", "account:g1", "account:m1"] },
            ]
        }
        function test_onStates(data) {
            compare(onNames(makePicker(data.accounts, data.platforms)), data.on)
        }

        // Each click (or accessible press) runs its command (one refresh
        // each) and the toggles then show the Store's new selection,
        // including a click on an "All" that is already on.
        function test_clicks_data() {
            return [
                { tag: "all while on", click: "all:", accountsAfter: "", platformsAfter: "", on: ["all:"] },
                { tag: "all clears", accounts: "g1", platforms: "meta", click: "all:", accountsAfter: "",
                  platformsAfter: "", on: ["all:"] },
                { tag: "pick an account", click: "account:m1", accountsAfter: "m1", platformsAfter: "",
                  on: ["account:m1"] },
                { tag: "press an account", press: true, click: "account:g2", accountsAfter: "g2",
                  platformsAfter: "", on: ["account:g2"] },
                { tag: "unpick an account", accounts: "g1,m1", click: "account:g1", accountsAfter: "m1",
                  platformsAfter: "", on: ["account:m1"] },
                { tag: "pick a platform", accounts: "g1", click: "platform:google", accountsAfter: "g1",
                  platformsAfter: "google", on: ["platform:google", "account:g1"] },
                { tag: "unpick a platform", accounts: "g1,m1", platforms: "google", click: "platform:google",
                  accountsAfter: "m1", platformsAfter: "", on: ["account:m1"] },
            ]
        }
        function test_clicks(data) {
            const picker = makePicker(data.accounts, data.platforms)
            const before = Rig.requests("embed.dashboard")
            if (data.press)
                toggle(picker, data.click).Accessible.pressAction()
            else
                mouseClick(toggle(picker, data.click))
            tryCompare(App.store, "accountIds", data.accountsAfter)
            compare(App.store.platformIds, data.platformsAfter)
            tryVerify(function () { return Rig.requests("embed.dashboard") === before + 1 })
            verify(Rig.settle())
            compare(onNames(picker), data.on)
            compare(String(Rig.setting("accountIds") || ""), data.accountsAfter)
        }
    }
}
