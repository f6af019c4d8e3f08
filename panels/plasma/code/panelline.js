// What the panel widget shows and which commands it runs, shared by the
// Plasma 5 and Plasma 6 entry files. The widget follows the running instance
// through `quillmere-menubar --line --json --next`: the command blocks until
// the line is no longer the one the widget shows (named by its "state"),
// prints the new one and exits; the widget then starts it again.
.pragma library

var program = "quillmere-menubar";

// What the widget shows before the first answer, and whenever the program
// does not answer at all.
function notRunning() {
    return {
        text: "Quillmere",
        tooltip: "Quillmere is not running. Click to start it.",
        icon: true,
        running: false,
        state: ""
    };
}

// A state is what the program printed, handed back verbatim; it goes into a
// shell command line, so only short hexadecimal names are taken.
function isState(value) {
    return typeof value === "string" && /^[0-9a-f]{1,64}$/.test(value);
}

function nextCommand(state) {
    return program + " --line --json --next --since " + (isState(state) ? state : "none");
}

// The answer of nextCommand, or null when it is not one: the caller waits a
// while and asks again. Exit code 0 comes from a running instance, 3 means
// that none runs (the line then says so).
function parse(stdout, exitCode) {
    if (exitCode !== 0 && exitCode !== 3)
        return null;
    var value;
    try {
        value = JSON.parse(String(stdout).trim());
    } catch (e) {
        return null;
    }
    if (value === null || typeof value !== "object" || typeof value.text !== "string" || !isState(value.state))
        return null;
    return {
        text: value.text,
        tooltip: typeof value.tooltip === "string" ? value.tooltip : "",
        icon: value.icon !== false,
        running: exitCode === 0 && value.running !== false,
        state: value.state
    };
}

// Seconds to wait before asking again after the n-th answer in a row that
// was not one (a missing or broken program): 2, 4, 8 ... up to five minutes.
function retryDelay(failures) {
    return Math.min(300, Math.pow(2, Math.max(1, failures)));
}

// The screen edge a panel sits on, by the location Plasma reports; types is
// PlasmaCore.Types. A widget that is not in a panel opens the popover below.
function edgeName(location, types) {
    switch (location) {
    case types.TopEdge:
        return "top";
    case types.LeftEdge:
        return "left";
    case types.RightEdge:
        return "right";
    case types.BottomEdge:
        return "bottom";
    default:
        return "top";
    }
}

// Opens or closes the popover next to rect (global logical pixels). A click
// while no instance runs starts one, which then opens its popover.
function popoverCommand(rect, edge) {
    var numbers = [rect.x, rect.y, rect.width, rect.height].map(function (n) {
        return Math.round(n);
    });
    return program + " --popover-at " + numbers.join(",") + "," + edge;
}

// The entries of the context menu, in order, as the status item has them;
// "open" is the left click, the others each run one command.
var actions = [
    { name: "open", text: "Open Quillmere", icon: "quillmere-menubar-symbolic" },
    { name: "refresh", text: "Refresh", icon: "view-refresh" },
    { name: "settings", text: "Settings…", icon: "configure" },
    { name: "separator" },
    { name: "quit", text: "Quit", icon: "application-exit" }
];

function actionCommand(name) {
    switch (name) {
    case "refresh":
    case "settings":
    case "quit":
        return program + " --" + name;
    default:
        return "";
    }
}

// What the panel shows: on a horizontal panel the icon (as the instance
// says) and the text; on a vertical one the icon only, the text going to
// the tooltip. Without any text the icon always shows.
function presentation(line, vertical) {
    var text = vertical ? "" : line.text;
    return {
        text: text,
        icon: vertical || line.icon || text === "",
        tooltip: line.tooltip !== "" ? line.tooltip : line.text
    };
}

// Where the running instance is on the session bus.
var service = "com.velmorcraft.quillmere.menubar";
var objectPath = "/com/velmorcraft/quillmere/menubar";
var menuBarInterface = "com.velmorcraft.quillmere.MenuBar";

// The line from the instance's properties (Title, ToolTip, IconShown), for
// the Plasma versions whose QML reads D-Bus properties itself.
function fromProperties(properties) {
    if (!properties || typeof properties.Title !== "string")
        return notRunning();
    return {
        text: properties.Title.replace(/\r\n/g, " ").replace(/[\r\n\u2028\u2029]/g, " "),
        tooltip: typeof properties.ToolTip === "string" ? properties.ToolTip : "",
        icon: properties.IconShown !== false,
        running: true,
        state: ""
    };
}
