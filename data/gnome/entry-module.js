// Entry point for GNOME Shell 45 and later, which load only ES modules.
import Gio from 'gi://Gio';
import Meta from 'gi://Meta';
import Shell from 'gi://Shell';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

// @shared@

export default class DozewickExtension extends Extension {
    enable() {
        this._service = new DozewickService();
        this._service.enable();
    }

    disable() {
        this._service?.disable();
        this._service = null;
    }
}
