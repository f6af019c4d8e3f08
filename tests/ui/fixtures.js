.pragma library

// Server answers for the view tests, in the server's JSON shape.

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
