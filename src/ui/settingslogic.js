// The small rules the settings panel, the settings window and the scope
// picker share. Pure functions of the Store's values, so the views stay plain
// bindings and the rules can be tested on their own.
.pragma library

// The refresh intervals offered, in minutes.
var refreshChoices = [1, 5, 15, 30, 60]

// Which connection the Store is in: "signedIn", "embed" or "none".
function sourceState(signedIn, embedLink) {
    if (signedIn)
        return "signedIn"
    return embedLink.length > 0 ? "embed" : "none"
}

// Picker items ({text, value}) of the Store's tables.
function periodItems(periods) {
    return periods.map(function (p) { return { text: p.label, value: p.key } })
}
function templateItems(templates) {
    return templates.map(function (t) { return { text: t.label + " \u2014 " + t.sample, value: t.id } })
}
function lineItems(lines) {
    return lines.map(function (line, i) { return { text: line, value: i } })
}
function refreshItems() {
    return refreshChoices.map(function (m) { return { text: m + " min", value: m } })
}
function workspaceItems(options) {
    return options.map(function (o) { return { text: o.name, value: o.id } })
}

// The position of the item whose value is value, or -1 (the picker then shows
// nothing rather than pretending another value is set).
function indexOfValue(items, value) {
    for (var i = 0; i < items.length; ++i) {
        if (items[i].value === value || (typeof value === "number" && items[i].value === Number(value)))
            return i
    }
    return -1
}

// Whether two item lists show the same thing (a picker keeps its model, and
// an open popup, when the Store only re-announces the same list).
function sameItems(a, b) {
    return JSON.stringify(a) === JSON.stringify(b)
}

// The value a stepper moves to: one step up (delta 1) or down (-1), kept
// within from..to.
function stepped(value, delta, step, from, to) {
    return Math.min(to, Math.max(from, Number(value) + delta * step))
}

// The toggles of the scope picker, in order: "All", then per platform group
// its own toggle followed by one per account. kind is "all", "platform" or
// "account"; id is the platform key or account id ("" for all).
function scopeRows(groups) {
    var rows = [{ kind: "all", id: "", text: "All platforms and accounts" }]
    for (var g = 0; g < groups.length; ++g) {
        var group = groups[g]
        rows.push({ kind: "platform", id: group.id, text: group.label })
        for (var a = 0; a < group.accounts.length; ++a)
            rows.push({ kind: "account", id: group.accounts[a].id, text: group.accounts[a].name })
    }
    return rows
}

// Whether a scope toggle is on for the Store's selection.
function scopeOn(row, selectedAccounts, selectedPlatforms) {
    if (row.kind === "all")
        return selectedAccounts.length === 0 && selectedPlatforms.length === 0
    if (row.kind === "platform")
        return selectedPlatforms.indexOf(row.id) >= 0
    return selectedAccounts.indexOf(row.id) >= 0
}
