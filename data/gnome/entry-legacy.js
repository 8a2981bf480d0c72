// Entry point for GNOME Shell 43 and 44, which load only this older format.
'use strict';

const {Gio, Meta, Shell} = imports.gi;

// @shared@

function init() {
    return new DozewickService();
}
