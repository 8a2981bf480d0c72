// Entry point for GNOME Shell 45 and later, which load only ES modules.
import Clutter from 'gi://Clutter';
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Meta from 'gi://Meta';
import Shell from 'gi://Shell';
import St from 'gi://St';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import * as PanelMenu from 'resource:///org/gnome/shell/ui/panelMenu.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

// @shared@

export default class DozewickExtension extends Extension {
    enable() {
        this._service = new DozewickService(this.path);
        this._service.enable();
    }

    disable() {
        this._service?.disable();
        this._service = null;
    }
}
