// Dozewick inside GNOME Shell: answers on the session bus with the windows, the focused window's
// process id and the extension's version, and iconifies the windows it is asked to. It keeps no
// state of Dozewick's; every argument is checked, and an unknown window id is ignored.
// This text is shared by both entry points, which put the imports of Gio, GLib, Meta and Shell
// ahead of it.

const DOZEWICK_EXTENSION_VERSION = 1;
const DOZEWICK_BUS_NAME = 'org.dozewick.Shell';
const DOZEWICK_OBJECT_PATH = '/org/dozewick/Shell';
// Far above any real desktop; a longer request is refused as a whole.
const DOZEWICK_MAX_IDS = 4096;

const DOZEWICK_INTERFACE = `
<node>
  <interface name="org.dozewick.Shell">
    <method name="ListWindows">
      <arg type="a(tisssbbbb)" direction="out" name="windows"/>
    </method>
    <method name="FocusedPid">
      <arg type="i" direction="out" name="pid"/>
    </method>
    <method name="Iconify">
      <arg type="at" direction="in" name="ids"/>
      <arg type="u" direction="out" name="iconified"/>
    </method>
    <property name="Version" type="u" access="read"/>
  </interface>
</node>`;

const DOZEWICK_ORDINARY_TYPES = [
    Meta.WindowType.NORMAL,
    Meta.WindowType.DIALOG,
    Meta.WindowType.MODAL_DIALOG,
];

function dozewickWindows() {
    return global.get_window_actors()
        .map(actor => actor.get_meta_window())
        .filter(window => window !== null && !window.is_override_redirect());
}

function dozewickText(value) {
    return typeof value === 'string' ? value : '';
}

function dozewickAppId(window) {
    // A window the shell could not match to an installed application has a made-up id.
    const app = Shell.WindowTracker.get_default().get_window_app(window);
    const id = app && !app.is_window_backed() ? app.get_id() : null;
    return dozewickText(id || window.get_gtk_application_id());
}

class DozewickService {
    constructor() {
        this._exported = null;
        this._nameId = 0;
    }

    enable() {
        this._exported = Gio.DBusExportedObject.wrapJSObject(DOZEWICK_INTERFACE, this);
        this._exported.export(Gio.DBus.session, DOZEWICK_OBJECT_PATH);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, DOZEWICK_BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    disable() {
        if (this._nameId !== 0)
            Gio.bus_unown_name(this._nameId);
        this._nameId = 0;
        if (this._exported !== null)
            this._exported.unexport();
        this._exported = null;
    }

    get Version() {
        return DOZEWICK_EXTENSION_VERSION;
    }

    ListWindows() {
        const workspace = global.workspace_manager.get_active_workspace();
        return dozewickWindows().map(window => [
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

    FocusedPid() {
        const window = global.display.focus_window;
        return window ? window.get_pid() : 0;
    }

    Iconify(ids) {
        if (!Array.isArray(ids) || ids.length > DOZEWICK_MAX_IDS)
            return 0;
        const wanted = new Set(ids.filter(id => typeof id === 'number' || typeof id === 'bigint')
            .map(id => String(id)));
        let count = 0;
        for (const window of dozewickWindows()) {
            if (!wanted.has(String(window.get_id())) || window.minimized ||
                !window.can_minimize())
                continue;
            window.minimize();
            count += 1;
        }
        return count;
    }
}
