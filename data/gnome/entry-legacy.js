// Entry point for GNOME Shell 43 and 44, which load only this older format.
'use strict';

const {Clutter, Gio, GLib, Meta, Shell, St} = imports.gi;
const Main = imports.ui.main;
const PanelMenu = imports.ui.panelMenu;

// @shared@

function init() {
    return new DozewickService(imports.misc.extensionUtils.getCurrentExtension().path);
}
