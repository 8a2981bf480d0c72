// Dozewick's extension inside GNOME Shell: the windows on the bus, and the top-bar icon.
// It answers on the session bus with the windows, the focused window's process id and the
// extension's version, announces when they change, and iconifies or restores the windows it is
// asked to.
// Where no tray exists it also shows Dozewick's icon in the top bar. It keeps no state of
// Dozewick's but the icon; every argument is checked, and an unknown window id is ignored. This
// text is shared by both entry points, which put the imports (Clutter, Gio, GLib, Meta, Shell,
// St, Main and PanelMenu) ahead of it.

const DOZEWICK_EXTENSION_VERSION = 3;
const DOZEWICK_BUS_NAME = 'org.dozewick.Shell';
const DOZEWICK_OBJECT_PATH = '/org/dozewick/Shell';
// Far above any real desktop; a longer request is refused as a whole.
const DOZEWICK_MAX_IDS = 4096;
// A burst of changes (a window opening sets its title, class and focus one after another) is
// announced once, this long after its first change, and announcements keep a gap between them:
// short when windows come or go or the focus moves (Dozewick must not take a window just brought
// to front for one left alone), long otherwise (a title counting seconds).
const DOZEWICK_SETTLE_MS = 100;
const DOZEWICK_URGENT_GAP_MS = 250;
const DOZEWICK_QUIET_GAP_MS = 1000;

const DOZEWICK_STATE_TYPE = '(ta(tisssbbbb)i)';
const DOZEWICK_INTERFACE = `
<node>
  <interface name="org.dozewick.Shell">
    <method name="Snapshot">
      <arg type="t" direction="out" name="serial"/>
      <arg type="a(tisssbbbb)" direction="out" name="windows"/>
      <arg type="i" direction="out" name="focusedPid"/>
    </method>
    <method name="Iconify">
      <arg type="at" direction="in" name="ids"/>
      <arg type="u" direction="out" name="iconified"/>
    </method>
    <method name="Unminimize">
      <arg type="at" direction="in" name="ids"/>
      <arg type="u" direction="out" name="restored"/>
    </method>
    <signal name="Changed">
      <arg type="t" name="serial"/>
      <arg type="a(tisssbbbb)" name="windows"/>
      <arg type="i" name="focusedPid"/>
    </signal>
    <property name="Version" type="u" access="read"/>
  </interface>
</node>`;

// Dozewick's own object, which tells the state of its icon and opens its panel.
const DOZEWICK_APP_NAME = 'org.dozewick.Dozewick';
const DOZEWICK_APP_PATH = '/org/dozewick/Dozewick';
const DOZEWICK_APP_INTERFACE = 'org.dozewick.Dozewick';
const DOZEWICK_ICON_STATES = {
    permission: {file: 'dozewick-permission-symbolic.svg', style: 'color: #e66100;'},
    ready: {file: 'dozewick-ready-symbolic.svg', style: null},
    running: {file: 'dozewick-running-symbolic.svg', style: 'color: #26a269;'},
};
const DOZEWICK_TRAY_WATCHER = 'org.kde.StatusNotifierWatcher';
const DOZEWICK_TRAY_WATCHER_PATH = '/StatusNotifierWatcher';

const DOZEWICK_ORDINARY_TYPES = [
    Meta.WindowType.NORMAL,
    Meta.WindowType.DIALOG,
    Meta.WindowType.MODAL_DIALOG,
];

// What of a window is announced; a change to any of these is a change of the listing.
const DOZEWICK_WINDOW_SIGNALS = [
    'notify::title', 'notify::minimized', 'notify::skip-taskbar', 'notify::wm-class',
    'notify::gtk-application-id', 'notify::window-type', 'workspace-changed',
];

function dozewickText(value) {
    return typeof value === 'string' ? value : '';
}

// The window ids of a request, as text; none when the request is malformed or too long.
function dozewickIds(ids) {
    if (!Array.isArray(ids) || ids.length > DOZEWICK_MAX_IDS)
        return [];
    return ids.filter(id => typeof id === 'number' || typeof id === 'bigint').map(id => String(id));
}

function dozewickAppId(window) {
    // A window the shell could not match to an installed application has a made-up id.
    const app = Shell.WindowTracker.get_default().get_window_app(window);
    const id = app && !app.is_window_backed() ? app.get_id() : null;
    return dozewickText(id || window.get_gtk_application_id());
}

// Connections to GObjects, all undone at once.
class DozewickConnections {
    constructor() {
        this._list = [];
    }

    add(object, signal, handler) {
        this._list.push([object, object.connect(signal, handler)]);
    }

    clear() {
        for (const [object, id] of this._list)
            object.disconnect(id);
        this._list = [];
    }
}

class DozewickService {
    constructor(path) {
        this._path = path;
        this._exported = null;
        this._nameId = 0;
        this._connections = new DozewickConnections();
        this._windows = new Map();
        this._serial = 0;
        this._announceId = 0;
        this._announceDue = 0;
        this._lastAnnounced = -DOZEWICK_QUIET_GAP_MS;
        this._icon = null;
    }

    enable() {
        this._exported = Gio.DBusExportedObject.wrapJSObject(DOZEWICK_INTERFACE, this);
        this._exported.export(Gio.DBus.session, DOZEWICK_OBJECT_PATH);
        const changed = () => this._changed(false);
        const moved = () => this._changed(true);
        this._connections.add(global.display, 'window-created', (display, window) => {
            this._follow(window);
            moved();
        });
        this._connections.add(global.display, 'notify::focus-window', moved);
        this._connections.add(global.workspace_manager, 'active-workspace-changed', moved);
        this._connections.add(Shell.WindowTracker.get_default(), 'tracked-windows-changed', changed);
        for (const window of global.display.list_all_windows())
            this._follow(window);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, DOZEWICK_BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
        this._icon = new DozewickTopBarIcon(this._path);
    }

    disable() {
        this._icon?.destroy();
        this._icon = null;
        if (this._nameId !== 0)
            Gio.bus_unown_name(this._nameId);
        this._nameId = 0;
        if (this._announceId !== 0)
            GLib.source_remove(this._announceId);
        this._announceId = 0;
        this._connections.clear();
        for (const connections of this._windows.values())
            connections.clear();
        this._windows.clear();
        if (this._exported !== null)
            this._exported.unexport();
        this._exported = null;
    }

    get Version() {
        return DOZEWICK_EXTENSION_VERSION;
    }

    Snapshot() {
        return [this._serial, this._listWindows(), this._focusedPid()];
    }

    Iconify(ids) {
        const wanted = new Set(dozewickIds(ids));
        let count = 0;
        for (const window of this._windows.keys()) {
            if (!wanted.has(String(window.get_id())) || window.minimized ||
                !window.can_minimize())
                continue;
            window.minimize();
            count += 1;
        }
        return count;
    }

    // The first named ends on top: each is shown and raised in turn, from the last.
    Unminimize(ids) {
        const byId = new Map();
        for (const window of this._windows.keys())
            byId.set(String(window.get_id()), window);
        let count = 0;
        for (const id of dozewickIds(ids).reverse()) {
            const window = byId.get(id);
            if (window === undefined || !window.minimized ||
                !DOZEWICK_ORDINARY_TYPES.includes(window.get_window_type()))
                continue;
            window.unminimize();
            window.activate(global.get_current_time());
            count += 1;
        }
        return count;
    }

    _follow(window) {
        if (window === null || this._windows.has(window) || window.is_override_redirect())
            return;
        const connections = new DozewickConnections();
        const changed = () => this._changed(false);
        for (const signal of DOZEWICK_WINDOW_SIGNALS)
            connections.add(window, signal, changed);
        connections.add(window, 'unmanaged', () => {
            connections.clear();
            this._windows.delete(window);
            this._changed(true);
        });
        this._windows.set(window, connections);
    }

    _listWindows() {
        const workspace = global.workspace_manager.get_active_workspace();
        return [...this._windows.keys()].map(window => [
            window.get_id(),
            window.get_pid(),
            dozewickText(window.get_wm_class()),
            dozewickAppId(window),
            dozewickText(window.get_title()),
            window.minimized === true,
            DOZEWICK_ORDINARY_TYPES.includes(window.get_window_type()),
            window.located_on_workspace(workspace),
            window.is_skip_taskbar(),
        ]);
    }

    _focusedPid() {
        const window = global.display.focus_window;
        return window ? window.get_pid() : 0;
    }

    _changed(urgent) {
        const now = GLib.get_monotonic_time() / 1000;
        const gap = urgent ? DOZEWICK_URGENT_GAP_MS : DOZEWICK_QUIET_GAP_MS;
        const due = Math.max(now + DOZEWICK_SETTLE_MS, this._lastAnnounced + gap);
        if (this._announceId !== 0) {
            if (this._announceDue <= due)
                return;
            GLib.source_remove(this._announceId);
        }
        this._announceDue = due;
        this._announceId = GLib.timeout_add(GLib.PRIORITY_DEFAULT, Math.ceil(due - now), () => {
            this._announceId = 0;
            this._announce();
            return GLib.SOURCE_REMOVE;
        });
    }

    _announce() {
        if (this._exported === null)
            return;
        this._lastAnnounced = GLib.get_monotonic_time() / 1000;
        this._serial += 1;
        this._exported.emit_signal('Changed', new GLib.Variant(DOZEWICK_STATE_TYPE,
            [this._serial, this._listWindows(), this._focusedPid()]));
    }
}

// Dozewick's icon in the top bar, while Dozewick runs and no tray host is there to show it.
class DozewickTopBarIcon {
    constructor(path) {
        this._path = path;
        this._bus = Gio.DBus.session;
        this._button = null;
        this._state = null;
        this._trayHost = false;
        this._subscriptions = [
            this._bus.signal_subscribe(DOZEWICK_APP_NAME, 'org.freedesktop.DBus.Properties',
                'PropertiesChanged', DOZEWICK_APP_PATH, DOZEWICK_APP_INTERFACE,
                Gio.DBusSignalFlags.NONE, () => this._readState()),
            this._bus.signal_subscribe(DOZEWICK_TRAY_WATCHER, DOZEWICK_TRAY_WATCHER, null,
                DOZEWICK_TRAY_WATCHER_PATH, null, Gio.DBusSignalFlags.NONE,
                () => this._readTrayHost()),
        ];
        this._watches = [
            Gio.bus_watch_name_on_connection(this._bus, DOZEWICK_APP_NAME,
                Gio.BusNameWatcherFlags.NONE, () => this._readState(), () => {
                    this._state = null;
                    this._update();
                }),
            Gio.bus_watch_name_on_connection(this._bus, DOZEWICK_TRAY_WATCHER,
                Gio.BusNameWatcherFlags.NONE, () => this._readTrayHost(), () => {
                    this._trayHost = false;
                    this._update();
                }),
        ];
    }

    destroy() {
        for (const id of this._subscriptions)
            this._bus.signal_unsubscribe(id);
        for (const id of this._watches)
            Gio.bus_unwatch_name(id);
        this._subscriptions = [];
        this._watches = [];
        this._state = null;
        this._update();
    }

    _get(name, path, iface, property, take) {
        this._bus.call(name, path, 'org.freedesktop.DBus.Properties', 'Get',
            new GLib.Variant('(ss)', [iface, property]), new GLib.VariantType('(v)'),
            Gio.DBusCallFlags.NONE, 2000, null, (bus, result) => {
                let value = null;
                try {
                    value = bus.call_finish(result).deep_unpack()[0].deep_unpack();
                } catch (e) {
                    // Gone or not answering: as if it were not there.
                }
                if (this._watches.length > 0)
                    take(value);
            });
    }

    _readState() {
        this._get(DOZEWICK_APP_NAME, DOZEWICK_APP_PATH, DOZEWICK_APP_INTERFACE, 'State', value => {
            this._state = typeof value === 'string' && value in DOZEWICK_ICON_STATES
                ? value : null;
            this._update();
        });
    }

    _readTrayHost() {
        this._get(DOZEWICK_TRAY_WATCHER, DOZEWICK_TRAY_WATCHER_PATH, DOZEWICK_TRAY_WATCHER,
            'IsStatusNotifierHostRegistered', value => {
                this._trayHost = value === true;
                this._update();
            });
    }

    _update() {
        const shown = this._state !== null && !this._trayHost;
        if (!shown) {
            this._button?.destroy();
            this._button = null;
            return;
        }
        if (this._button === null) {
            this._button = new PanelMenu.Button(0.0, 'Dozewick', true);
            this._icon = new St.Icon({style_class: 'system-status-icon'});
            this._button.add_child(this._icon);
            this._button.connect('event', (actor, event) => {
                const type = event.type();
                if (type === Clutter.EventType.BUTTON_PRESS || type === Clutter.EventType.TOUCH_BEGIN)
                    this._bus.call(DOZEWICK_APP_NAME, DOZEWICK_APP_PATH, DOZEWICK_APP_INTERFACE,
                        'TogglePanel', null, null, Gio.DBusCallFlags.NONE, 2000, null, null);
                return Clutter.EVENT_PROPAGATE;
            });
            Main.panel.addToStatusArea('dozewick', this._button);
        }
        const state = DOZEWICK_ICON_STATES[this._state];
        this._icon.gicon = Gio.icon_new_for_string(`${this._path}/icons/${state.file}`);
        this._icon.style = state.style;
    }
}
