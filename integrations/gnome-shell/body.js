const BUS_NAME = 'org.mintlux.Mintlux';
const OBJECT_PATH = '/org/mintlux/Mintlux';
const INTERFACE = 'org.mintlux.Mintlux.Title';
// Owned while enabled: the app hides its own status item so the title is not shown twice.
const PRESENCE_NAME = 'org.mintlux.Mintlux.TitleShown';
const TOOLTIP_DELAY_MS = 300;
const ACTIVATION_KEYS = [Clutter.KEY_Return, Clutter.KEY_KP_Enter, Clutter.KEY_space];

const TitleButton = GObject.registerClass(
class MintluxTitleButton extends PanelMenu.Button {
    _init(onActivate) {
        super._init(0.5, 'Mintlux', true);
        // The panel's buttons call themselves menus; this one opens a window, no menu.
        this.accessible_role = Atk.Role.PUSH_BUTTON;
        this._onActivate = onActivate;
        this._box = new St.BoxLayout({
            style_class: 'mintlux-title',
            y_align: Clutter.ActorAlign.CENTER,
        });
        this.add_child(this._box);
        this._tooltip = new St.Label({style_class: 'dash-label mintlux-tooltip', visible: false});
        Main.uiGroup.add_child(this._tooltip);
        this._tooltipTimeout = 0;
        this.connect('notify::hover', () => this._syncTooltip());
        this.connect('destroy', () => {
            this._cancelTooltip();
            this._tooltip.destroy();
        });
    }

    setTitle(segments, tooltip) {
        this._box.destroy_all_children();
        for (const [text, style] of segments) {
            const label = new St.Label({text, y_align: Clutter.ActorAlign.CENTER});
            if (style === 'positive' || style === 'negative')
                label.add_style_class_name(`mintlux-${style}`);
            this._box.add_child(label);
        }
        this._tooltip.text = tooltip;
        this.accessible_name = segments.map(([text]) => text).join('');
    }

    // The point the app hangs its popup from: the button's bottom centre, in stage pixels.
    anchor() {
        const [x, y] = this.get_transformed_position();
        const [width, height] = this.get_transformed_size();
        return [Math.round(x + width / 2), Math.round(y + height)];
    }

    // Keys arrive here too: vfunc_key_release_event gets a bare key struct on some shells, while
    // every shell passes vfunc_event a whole Clutter.Event.
    vfunc_event(event) {
        switch (event.type()) {
        case Clutter.EventType.BUTTON_PRESS:
            if (event.get_button() !== Clutter.BUTTON_PRIMARY)
                break;
            this._openPopup();
            return Clutter.EVENT_STOP;
        case Clutter.EventType.TOUCH_BEGIN:
            this._openPopup();
            return Clutter.EVENT_STOP;
        case Clutter.EventType.KEY_RELEASE:
            if (!ACTIVATION_KEYS.includes(event.get_key_symbol()))
                break;
            this._openPopup();
            return Clutter.EVENT_STOP;
        }
        return Clutter.EVENT_PROPAGATE;
    }

    _openPopup() {
        this._cancelTooltip();
        this._tooltip.hide();
        this._onActivate(...this.anchor());
    }

    _syncTooltip() {
        this._cancelTooltip();
        if (!this.hover || !this._tooltip.text) {
            this._tooltip.hide();
            return;
        }
        this._tooltipTimeout = GLib.timeout_add(GLib.PRIORITY_DEFAULT, TOOLTIP_DELAY_MS, () => {
            this._tooltipTimeout = 0;
            const [x, y] = this.anchor();
            const monitor = Main.layoutManager.findMonitorForActor(this);
            const [, width] = this._tooltip.get_preferred_width(-1);
            const left = monitor ? monitor.x : 0;
            const right = monitor ? monitor.x + monitor.width : global.stage.width;
            this._tooltip.set_position(
                Math.max(left, Math.min(Math.round(x - width / 2), right - width)), y + 4);
            this._tooltip.show();
            return GLib.SOURCE_REMOVE;
        });
    }

    _cancelTooltip() {
        if (this._tooltipTimeout) {
            GLib.source_remove(this._tooltipTimeout);
            this._tooltipTimeout = 0;
        }
    }
});

// The extension's life: enable() and disable() as the shell calls them.
class MintluxTitle {
    enable() {
        this._cancellable = new Gio.Cancellable();
        this._button = new TitleButton((x, y) => this._activate(x, y));
        this._button.hide();
        Main.panel.addToStatusArea('mintlux', this._button, 0, 'right');
        this._presenceId = Gio.bus_own_name(Gio.BusType.SESSION, PRESENCE_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null, null);
        this._signalId = Gio.DBus.session.signal_subscribe(BUS_NAME, INTERFACE, 'Changed',
            OBJECT_PATH, null, Gio.DBusSignalFlags.NONE,
            (connection, sender, path, iface, signal, parameters) => this._show(parameters));
        this._watchId = Gio.bus_watch_name(Gio.BusType.SESSION, BUS_NAME,
            Gio.BusNameWatcherFlags.NONE, () => this._fetch(), () => this._button.hide());
    }

    disable() {
        this._cancellable.cancel();
        Gio.bus_unwatch_name(this._watchId);
        Gio.DBus.session.signal_unsubscribe(this._signalId);
        Gio.bus_unown_name(this._presenceId);
        this._button.destroy();
        // The shell keeps this object for the next enable(): nothing of this one may outlive it.
        this._cancellable = null;
        this._watchId = 0;
        this._signalId = 0;
        this._presenceId = 0;
        this._button = null;
    }

    _fetch() {
        Gio.DBus.session.call(BUS_NAME, OBJECT_PATH, INTERFACE, 'GetTitle', null,
            new GLib.VariantType('(sa(ss)sssx)'), Gio.DBusCallFlags.NONE, -1, this._cancellable,
            (connection, result) => {
                try {
                    this._show(connection.call_finish(result));
                } catch (e) {
                    if (!e.matches(Gio.IOErrorEnum, Gio.IOErrorEnum.CANCELLED))
                        logError(e, 'Mintlux: reading the title');
                }
            });
    }

    _show(parameters) {
        const [text, segments, tooltip] = parameters.deepUnpack();
        this._button.setTitle(segments.length ? segments : [[text, 'none']], tooltip);
        this._button.show();
    }

    _activate(x, y) {
        // The overview (shown at login) covers application windows, the popup among them.
        if (Main.overview.visible)
            Main.overview.hide();
        Gio.DBus.session.call(BUS_NAME, OBJECT_PATH, INTERFACE, 'Activate',
            new GLib.Variant('(ii)', [x, y]), null, Gio.DBusCallFlags.NONE, -1, this._cancellable,
            (connection, result) => {
                try {
                    connection.call_finish(result);
                } catch (e) {
                    if (!e.matches(Gio.IOErrorEnum, Gio.IOErrorEnum.CANCELLED))
                        logError(e, 'Mintlux: opening the popup');
                }
            });
    }
}
