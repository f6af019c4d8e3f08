// The top-bar button of Quillmere Menu Bar, shared by both entry forms of the
// extension. It names no module system: the entry file it is wrapped in binds
// Clutter, Gio, GLib, Meta, St, Main, PanelMenu and PopupMenu, and the shell
// provides `global`.

const INSTANCE_NAME = 'com.velmorcraft.quillmere.menubar';
const INSTANCE_PATH = '/com/velmorcraft/quillmere/menubar';
const MENU_BAR_INTERFACE = 'com.velmorcraft.quillmere.MenuBar';
const APPLICATION_INTERFACE = 'org.freedesktop.Application';
// Owned while the button is in the top bar: the instance withdraws its status
// item then, so the line shows once.
const PRESENCE_NAME = 'com.velmorcraft.quillmere.menubar.Panel.Gnome';
// How the popover is recognised among the windows of a Wayland session.
const POPOVER_APP_ID = 'quillmere-menubar';
const POPOVER_TITLE = 'Quillmere';
const PROGRAM_DESKTOP_ID = 'quillmere-menubar.desktop';
const PROGRAM_NAME = 'Quillmere';
const ICON_FILE = 'quillmere-menubar-symbolic.svg';

// The status item's menu; null is a separator. `whenStopped` entries stay
// usable without an instance (opening starts the program).
const MENU_ENTRIES = [
    {label: 'Open Quillmere', action: 'open', whenStopped: true},
    {label: 'Refresh', action: 'refresh'},
    {label: 'Settings…', action: 'settings'},
    null,
    {label: 'Quit', action: 'quit'},
];

// What the button shows, from the instance's properties (unpacked), or
// without an instance (`props` null): the icon and the program's name.
function buttonState(props) {
    if (!props)
        return {label: PROGRAM_NAME, iconShown: true, accessibleName: PROGRAM_NAME};
    const title = typeof props.Title === 'string' ? props.Title.replace(/\s*\n\s*/g, ' ').trim() : '';
    return {
        label: title,
        // Without a line the icon is all there is to click.
        iconShown: props.IconShown !== false || title === '',
        accessibleName: title !== '' ? title : PROGRAM_NAME,
    };
}

// Between the button and the popover, as the instance leaves it where it
// places the popover itself.
const POPOVER_GAP = 6;

// Where a window of `size` goes for a button at `anchor` in a top bar:
// right below it (after the gap), centred on it, inside the monitor's work
// area. Whole pixels, rounded as the instance rounds.
function popoverPosition(anchor, size, workArea) {
    const clamp = (value, low, high) => Math.max(low, Math.min(value, high));
    const centred = anchor.x + Math.trunc((anchor.width - size.width) / 2);
    return {
        x: clamp(centred, workArea.x, workArea.x + workArea.width - size.width),
        y: clamp(anchor.y + anchor.height + POPOVER_GAP, workArea.y, workArea.y + workArea.height - size.height),
    };
}

function isPopover(appId, title) {
    return appId === POPOVER_APP_ID && title === POPOVER_TITLE;
}

function isCancelled(error) {
    return error instanceof GLib.Error && error.matches(Gio.IOErrorEnum, Gio.IOErrorEnum.CANCELLED);
}

class QuillmerePanel {
    constructor(extensionPath) {
        this._path = extensionPath;
    }

    enable() {
        this._cancellable = new Gio.Cancellable();
        this._proxy = null;
        this._openWhenStarted = false;
        this._watched = new Map(); // window -> its handler ids
        this._presenceId = Gio.bus_own_name(Gio.BusType.SESSION, PRESENCE_NAME, Gio.BusNameOwnerFlags.NONE,
            null, null, null);
        this._buildButton();
        this._sync();
        Gio.DBusProxy.new_for_bus(Gio.BusType.SESSION, Gio.DBusProxyFlags.DO_NOT_AUTO_START, null,
            INSTANCE_NAME, INSTANCE_PATH, MENU_BAR_INTERFACE, this._cancellable,
            (source, result) => this._proxyReady(result));
        // Under Wayland the popover cannot place itself; the shell does.
        if (Meta.is_wayland_compositor()) {
            this._windowCreatedId = global.display.connect('window-created',
                (display, window) => this._watchWindow(window));
        }
    }

    disable() {
        if (this._windowCreatedId) {
            global.display.disconnect(this._windowCreatedId);
            this._windowCreatedId = 0;
        }
        for (const [window, ids] of this._watched)
            ids.forEach(id => window.disconnect(id));
        this._watched.clear();
        this._cancellable.cancel();
        if (this._proxy) {
            this._proxyIds.forEach(id => this._proxy.disconnect(id));
            this._proxy = null;
        }
        this._button.destroy();
        this._button = null;
        Gio.bus_unown_name(this._presenceId);
    }

    _buildButton() {
        this._button = new PanelMenu.Button(0.5, PROGRAM_NAME, false);
        const box = new St.BoxLayout({style_class: 'panel-status-menu-box'});
        this._icon = new St.Icon({
            gicon: Gio.icon_new_for_string(`${this._path}/${ICON_FILE}`),
            style_class: 'system-status-icon',
        });
        this._label = new St.Label({y_align: Clutter.ActorAlign.CENTER});
        box.add_child(this._icon);
        box.add_child(this._label);
        this._button.add_child(box);

        this._menuItems = [];
        for (const entry of MENU_ENTRIES) {
            if (!entry) {
                this._button.menu.addMenuItem(new PopupMenu.PopupSeparatorMenuItem());
                continue;
            }
            const item = new PopupMenu.PopupMenuItem(entry.label);
            item.connect('activate', () => this._activateAction(entry.action));
            this._button.menu.addMenuItem(item);
            this._menuItems.push({item, entry});
        }
        // The primary button (or a touch) toggles the popover; any other
        // goes on to the button's own handler, which opens the menu.
        this._button.connect('event', (actor, event) => {
            const type = event.type();
            const primary = type === Clutter.EventType.TOUCH_BEGIN ||
                (type === Clutter.EventType.BUTTON_PRESS && event.get_button() === Clutter.BUTTON_PRIMARY);
            if (!primary)
                return Clutter.EVENT_PROPAGATE;
            this._togglePopover();
            return Clutter.EVENT_STOP;
        });

        // Right before the system menu.
        const systemMenu = Main.panel.statusArea.quickSettings ?? Main.panel.statusArea.aggregateMenu;
        const rightBox = systemMenu?.container.get_parent();
        const index = rightBox ? rightBox.get_children().indexOf(systemMenu.container) : -1;
        Main.panel.addToStatusArea(PRESENCE_NAME, this._button, Math.max(index, 0), 'right');
    }

    _proxyReady(result) {
        let proxy;
        try {
            proxy = Gio.DBusProxy.new_for_bus_finish(result);
        } catch (error) {
            if (!isCancelled(error))
                logError(error, 'Quillmere: no proxy for the instance');
            return;
        }
        this._proxy = proxy;
        this._proxyIds = [
            proxy.connect('g-properties-changed', () => this._sync()),
            proxy.connect('notify::g-name-owner', () => this._instanceChanged()),
        ];
        this._sync();
    }

    _running() {
        return this._proxy !== null && this._proxy.g_name_owner !== null;
    }

    _instanceChanged() {
        this._sync();
        if (this._running() && this._openWhenStarted) {
            this._openWhenStarted = false;
            this._togglePopover();
        }
    }

    _sync() {
        let props = null;
        if (this._running()) {
            props = {};
            for (const name of this._proxy.get_cached_property_names())
                props[name] = this._proxy.get_cached_property(name).deepUnpack();
        }
        const state = buttonState(props);
        this._label.text = state.label;
        this._label.visible = state.label !== '';
        this._icon.visible = state.iconShown;
        this._button.accessible_name = state.accessibleName;
        for (const {item, entry} of this._menuItems)
            item.setSensitive(props !== null || entry.whenStopped === true);
    }

    _togglePopover() {
        if (!this._running()) {
            this._startProgram();
            return;
        }
        const [x, y] = this._button.get_transformed_position();
        const [width, height] = this._button.get_transformed_size();
        const rect = [x, y, width, height].map(Math.round);
        this._proxy.call('TogglePopover', new GLib.Variant('(iiiis)', [...rect, 'top']),
            Gio.DBusCallFlags.NO_AUTO_START, -1, this._cancellable, (proxy, result) => {
                try {
                    proxy.call_finish(result);
                } catch (error) {
                    if (!isCancelled(error))
                        logError(error, 'Quillmere: TogglePopover');
                }
            });
    }

    _activateAction(action) {
        if (!this._running()) {
            if (action === 'open')
                this._startProgram();
            return;
        }
        Gio.DBus.session.call(INSTANCE_NAME, INSTANCE_PATH, APPLICATION_INTERFACE, 'ActivateAction',
            new GLib.Variant('(sava{sv})', [action, [], {}]), null, Gio.DBusCallFlags.NO_AUTO_START, -1,
            this._cancellable, (connection, result) => {
                try {
                    connection.call_finish(result);
                } catch (error) {
                    if (!isCancelled(error))
                        logError(error, `Quillmere: action ${action}`);
                }
            });
    }

    // Without an instance a click starts the program and opens the popover
    // once the instance is on the bus.
    _startProgram() {
        const app = Gio.DesktopAppInfo.new(PROGRAM_DESKTOP_ID) ??
            Gio.AppInfo.create_from_commandline(POPOVER_APP_ID, PROGRAM_NAME, Gio.AppInfoCreateFlags.NONE);
        try {
            app.launch([], global.create_app_launch_context(0, -1));
            this._openWhenStarted = true;
        } catch (error) {
            logError(error, 'Quillmere: cannot start the program');
        }
    }

    // Every new Wayland window is looked at once, when it is first shown;
    // only our popover is moved.
    _watchWindow(window) {
        if (window.get_client_type() !== Meta.WindowClientType.WAYLAND)
            return;
        const forget = () => {
            this._watched.get(window)?.forEach(id => window.disconnect(id));
            this._watched.delete(window);
        };
        this._watched.set(window, [
            window.connect('shown', () => {
                forget();
                if (isPopover(window.get_wm_class(), window.get_title()))
                    this._placePopover(window);
            }),
            window.connect('unmanaging', forget),
        ]);
    }

    // Our popover goes under the button, and stays there while it is shown:
    // the shell may place a window anew when it changes its size, and the
    // popover takes its full height only once its tables are filled in.
    _placePopover(window) {
        const place = () => {
            const [x, y] = this._button.get_transformed_position();
            const [width, height] = this._button.get_transformed_size();
            const monitor = Main.layoutManager.findIndexForActor(this._button);
            const frame = window.get_frame_rect();
            const position = popoverPosition({x, y, width, height}, {width: frame.width, height: frame.height},
                Main.layoutManager.getWorkAreaForMonitor(monitor));
            const [px, py] = [Math.round(position.x), Math.round(position.y)];
            if (frame.x !== px || frame.y !== py)
                window.move_frame(true, px, py);
        };
        place();
        const forget = () => {
            this._watched.get(window)?.forEach(id => window.disconnect(id));
            this._watched.delete(window);
        };
        this._watched.set(window, [
            window.connect('size-changed', place),
            window.connect('position-changed', place),
            window.connect('unmanaging', forget),
        ]);
        Main.activateWindow(window);
    }
}
