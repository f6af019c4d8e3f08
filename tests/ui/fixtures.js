.pragma library
.import QtQuick 2.15 as QQ

// Server answers for the view tests, in the server's JSON shape, and the
// look-ups the tests share.

function merge(base, extra) {
    const out = {}
    for (const k in base)
        out[k] = base[k]
    for (const k in (extra || {}))
        out[k] = extra[k]
    return out
}

function dashboard(extra) {
    return merge({
        workspaceName: "Alpha Store",
        timeframe: "Last 7 days",
        timeframeKey: "last_7",
        timeframes: [
            { key: "today", label: "Today" },
            { key: "last_7", label: "Last 7 days" },
            { key: "last_30", label: "Last 30 days" }
        ],
        asset: "Campaigns",
        partial: false,
        tiles: [
            { key: "spend", label: "Spend", value: "$2,431", caption: "8 campaigns", accent: false },
            { key: "revenue", label: "Revenue", value: "$7,780", accent: false },
            { key: "roas", label: "ROAS", value: "3.20x", accent: true },
            { key: "cac", label: "Cost per sale", value: "$310", caption: "8 sales", accent: false },
            { key: "sales", label: "Sales", value: "8", accent: false }
        ],
        rows: [
            { id: "c1", name: "Spring sale – prospecting", active: true, spend: "$1,204", revenue: "$4,130", roas: "3.43x" },
            { id: "c2", name: "Retargeting", active: true, spend: "$730", revenue: "$2,950", roas: "4.04x" },
            { id: "c3", name: "Brand search", active: false, spend: "$497", revenue: "$700", roas: "1.41x" }
        ]
    }, extra)
}

function sourceRow(id, name, extra) {
    return merge({ id: id, name: name, rest: false, values: ["$100", "12", "$40"] }, extra)
}

function sources(extra) {
    return merge({
        columns: [
            { key: "spend", label: "Spend" },
            { key: "visits", label: "Visits" },
            { key: "revenue", label: "Revenue" }
        ],
        rows: [
            sourceRow("fb", "Facebook", {
                channel: "facebook", kind: "Paid social", values: ["$1,204", "3,120", "$4,130"],
                children: [
                    sourceRow("fb-c1", "Spring sale", {
                        values: ["$900", "2,400", "$3,300"],
                        children: [ sourceRow("fb-c1-a1", "Carousel A", { values: ["$500", "1,300", "$2,000"] }) ]
                    }),
                    sourceRow("fb-c2", "Retargeting", { values: ["$304", "720", "$830"], children: [] })
                ]
            }),
            sourceRow("g", "Google Ads", { channel: "google_ads", values: ["$730", "1,950", "$2,950"] }),
            sourceRow("ai", "ChatGPT", { channel: "ai", values: ["$0", "210", "$480"] }),
            sourceRow("web", "Direct", { channel: "direct", values: ["$0", "880", "$1,020"] }),
            sourceRow("rest", "Other sources", { rest: true, kind: "Remainder", values: ["$0", "95", "$60"] })
        ],
        totals: ["$1,934", "6,255", "$8,640"]
    }, extra)
}

function workspaces(n) {
    const list = []
    for (let i = 1; i <= n; ++i)
        list.push({ workspaceId: "w" + i, name: "Workspace " + i, role: "owner" })
    return list
}

function accounts() {
    return [
        { id: "g1", name: "Google main", platform: "google", platformLabel: "Google Ads" },
        { id: "g2", name: "Google brand", platform: "google", platformLabel: "Google Ads" },
        { id: "m1", name: "Meta shop", platform: "meta", platformLabel: "Meta" }
    ]
}

// Every item under root, depth first, for which keep(item) holds; hidden
// branches are skipped.
function findAll(root, keep) {
    const out = []
    const walk = function (it) {
        for (let i = 0; i < it.children.length; ++i) {
            const child = it.children[i]
            if (!child.visible)
                continue
            if (keep(child))
                out.push(child)
            walk(child)
        }
    }
    walk(root)
    return out
}
function named(name) {
    return function (it) { return it.objectName === name }
}

// The TestCase tc checks that every visible control under root has an
// accessible name.
function verifyNamed(tc, root) {
    const A = QQ.Accessible
    const roles = [A.Button, A.ButtonMenu, A.EditableText, A.ComboBox]
    tc.waitForRendering(root)
    const controls = findAll(root, function (it) { return roles.indexOf(it.QQ.Accessible.role) >= 0 })
    controls.forEach(function (c) { tc.verify(c.QQ.Accessible.name.length > 0, "unnamed " + c) })
    tc.verify(controls.length >= 5, controls.length + " controls")
}

// A child of root that must exist.
function child(tc, root, name) {
    const found = tc.findChild(root, name)
    tc.verify(found, "no " + name)
    return found
}

// One frame drawn, so every layout has placed its items before a click.
function laidOut(tc, root) {
    root.QQ.Window.window.update()
    tc.waitForRendering(root)
}

// Opens a picker and clicks its index-th item, as a user would.
function pick(tc, root, combo, index) {
    laidOut(tc, root)
    tc.mouseClick(combo)
    tc.tryCompare(combo.popup, "opened", true)
    const list = combo.popup.contentItem
    list.positionViewAtIndex(index, QQ.ListView.Contain)
    tc.tryVerify(function () { return list.itemAtIndex(index) !== null }, 1000, "no item " + index)
    tc.mouseClick(list.itemAtIndex(index))
    tc.tryCompare(combo.popup, "visible", false)
}

// Puts the Store behind rig (the Rig singleton) into a connection state,
// "none", "embed" or "signedIn", with one workspace when count is 1.
function connectAs(tc, rig, root, state, count) {
    if (count === 1)
        rig.setWorkspaces(workspaces(1), "w1")
    if (state !== "none")
        tc.verify(state === "embed" ? rig.connectEmbed() : rig.signIn())
    laidOut(tc, root)
}

// Sections of a settings form: the named children in on show, those in off
// do not, and the disconnect button shows with the text button (none when
// undefined).
function verifySections(tc, root, on, off, button) {
    on.forEach(function (name) { tc.verify(child(tc, root, name).visible, name + " hidden") })
    off.forEach(function (name) { tc.verify(!child(tc, root, name).visible, name + " shown") })
    const disconnect = child(tc, root, "disconnect")
    tc.compare(disconnect.parent.visible, button !== undefined)
    if (button)
        tc.compare(disconnect.text, button)
}
