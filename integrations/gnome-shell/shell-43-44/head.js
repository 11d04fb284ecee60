// Mintlux's title in the top bar, read from the running app over the session bus.
'use strict';

const {Atk, Clutter, Gio, GLib, GObject, St} = imports.gi;
const Main = imports.ui.main;
const PanelMenu = imports.ui.panelMenu;
