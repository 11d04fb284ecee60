"""GNOME Shell (43 on Debian 12, 48 on Debian 13), headless on Wayland: the AppIndicator path and
the project's own extension, as the build installs it for the shell found."""

import glob
import os
import re
import subprocess
import sys
import time
from pathlib import Path

from gi.repository import Gio, GLib
from PIL import Image

import hosts
from hosts import (EXPECTED_TITLE, Failure, Session, PriceFixture, bus_call, centre, changed_area,
                   check, coloured_area, fixture_port, log, start_bus, title_published, wait_for,
                   wait_for_popup)

APPINDICATOR = 'ubuntu-appindicators@ubuntu.com'
EXTENSION = 'mintlux@mintlux.org'
STARTS = 20
BAR = (0, 0, 1280, 30)
# The status area, right of the clock (which changes between any two screenshots).
STATUS = (700, 0, 1280, 30)
BTN_LEFT = 0x110
# Keysyms.
ESCAPE, TAB, RIGHT, RETURN, SPACE = 0xff1b, 0xff09, 0xff53, 0xff0d, 0x20
CONTROL, ALT = 0xffe3, 0xffe9
# AtspiRole numbers; their names differ between at-spi releases ("push button", "button").
PUSH_BUTTON, MENU = 43, 33
# The shell's extension states: ENABLED (ACTIVE from 45 on), DISABLED (INACTIVE), ERROR.
ENABLED, DISABLED, ERROR = 1.0, 2.0, 3.0


def shell_version():
    out = subprocess.run(['gnome-shell', '--version'], capture_output=True, text=True,
                         timeout=30).stdout
    found = re.search(r'GNOME Shell (\d+)', out)
    check(found, f'gnome-shell --version said {out!r}')
    return int(found.group(1))


class Shell:
    """gnome-shell on the session's buses, reached over a connection of this process."""

    def __init__(self, session):
        self.session = session
        # Its accessibles on the accessibility bus, as a screen reader sees them.
        env = dict(session.env)
        env.pop('NO_AT_BRIDGE', None)
        self.process = session.start(['gnome-shell', '--headless', '--wayland',
                                      '--virtual-monitor', '1280x800'], 'gnome-shell', env)
        self.bus = Gio.DBusConnection.new_for_address_sync(
            session.env['DBUS_SESSION_BUS_ADDRESS'],
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
        # The shell lets only a few well-known callers take screenshots.
        self.call('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
                  'RequestName', GLib.Variant('(su)', ('org.gnome.Screenshot', 4)))
        self.remote = None
        self.x11 = self.x11_env()

    def wait_until_up(self):
        check(wait_for(lambda: self.has_owner('org.gnome.Shell.Screenshot'), timeout=60),
              'gnome-shell did not come up: ' + self.session.tail(self.process))

    def call(self, name, path, interface, method, parameters=None, timeout=20000):
        return self.bus.call_sync(name, path, interface, method, parameters, None,
                                  Gio.DBusCallFlags.NONE, timeout, None).unpack()

    def has_owner(self, name):
        return self.call('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
                         'NameHasOwner', GLib.Variant('(s)', (name,)))[0]

    def screenshot(self, path):
        ok, used = self.call('org.gnome.Shell.Screenshot', '/org/gnome/Shell/Screenshot',
                             'org.gnome.Shell.Screenshot', 'Screenshot',
                             GLib.Variant('(bbs)', (False, False, str(path))))
        check(ok, 'the shell took no screenshot')
        with Image.open(used) as image:
            return image.convert('RGB')

    def grab(self):
        return self.screenshot(self.session.root / 'shot.png')

    def extension_state(self, uuid):
        info = self.call('org.gnome.Shell', '/org/gnome/Shell', 'org.gnome.Shell.Extensions',
                         'GetExtensionInfo', GLib.Variant('(s)', (uuid,)))[0]
        return info.get('state'), info.get('error', '')

    def switch_extension(self, uuid, on):
        check(self.call('org.gnome.Shell', '/org/gnome/Shell', 'org.gnome.Shell.Extensions',
                        'EnableExtension' if on else 'DisableExtension',
                        GLib.Variant('(s)', (uuid,)))[0],
              f'the shell refused to {"enable" if on else "disable"} {uuid}')

    def accessible_roles(self, name):
        """The roles of the shell's accessibles named `name`, as a screen reader reads them
        over the accessibility bus."""
        try:
            address = self.call('org.a11y.Bus', '/org/a11y/bus', 'org.a11y.Bus',
                                'GetAddress')[0]
        except GLib.Error as e:
            raise Failure(f'no accessibility bus (at-spi2-core): {e.message}')
        bus = Gio.DBusConnection.new_for_address_sync(
            address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)

        def accessible(owner, path, method, parameters=None):
            return bus.call_sync(owner, path, 'org.a11y.atspi.Accessible', method, parameters,
                                 None, Gio.DBusCallFlags.NONE, 5000, None).unpack()[0]

        def name_of(owner, path):
            return bus.call_sync(owner, path, 'org.freedesktop.DBus.Properties', 'Get',
                                 GLib.Variant('(ss)', ('org.a11y.atspi.Accessible', 'Name')),
                                 None, Gio.DBusCallFlags.NONE, 5000, None).unpack()[0]

        roles = []
        try:
            pending = accessible('org.a11y.atspi.Registry', '/org/a11y/atspi/accessible/root',
                                 'GetChildren')
            while pending:
                owner, path = pending.pop()
                if name_of(owner, path) == name:
                    roles.append(accessible(owner, path, 'GetRole'))
                pending.extend(accessible(owner, path, 'GetChildren'))
        finally:
            bus.close_sync(None)
        return roles

    def registered_items(self):
        try:
            return self.call('org.kde.StatusNotifierWatcher', '/StatusNotifierWatcher',
                             'org.freedesktop.DBus.Properties', 'Get',
                             GLib.Variant('(ss)', ('org.kde.StatusNotifierWatcher',
                                                   'RegisteredStatusNotifierItems')))[0]
        except GLib.Error:
            return None

    def x11_env(self):
        """The environment X11 clients need to reach the shell's Xwayland, known as soon as the
        shell has made its sockets (well before its panel is up, as at login)."""
        display = wait_for(lambda: re.search(r'Using public X11 display (:\d+)',
                                             self.session.tail(self.process, 400)), timeout=30)
        check(display, 'the shell has no X11 display: ' + self.session.tail(self.process))
        auth = wait_for(lambda: glob.glob(os.path.join(self.session.env['XDG_RUNTIME_DIR'],
                                                       '.mutter-Xwaylandauth.*')))
        check(auth, 'no Xwayland authority file')
        env = dict(self.session.env, DISPLAY=display.group(1),
                   XAUTHORITY=max(auth, key=os.path.getmtime))
        env.pop('WAYLAND_DISPLAY', None)
        return env

    def click(self, point):
        """A real pointer click through the compositor's remote-desktop input."""
        self.move(point)
        self.input('NotifyPointerButton', GLib.Variant('(ib)', (BTN_LEFT, True)))
        self.input('NotifyPointerButton', GLib.Variant('(ib)', (BTN_LEFT, False)))

    def move(self, point):
        # Relative motion needs no screen-cast stream: into the corner, then to the point.
        self.input('NotifyPointerMotionRelative', GLib.Variant('(dd)', (-10000.0, -10000.0)))
        time.sleep(0.1)
        self.input('NotifyPointerMotionRelative',
                   GLib.Variant('(dd)', (float(point[0]), float(point[1]))))
        time.sleep(0.1)

    def overview_active(self):
        return self.call('org.gnome.Shell', '/org/gnome/Shell', 'org.freedesktop.DBus.Properties',
                         'Get', GLib.Variant('(ss)', ('org.gnome.Shell', 'OverviewActive')))[0]

    def leave_overview(self):
        """The shell opens the overview once started, as at login; the bar looks different
        there, so every screenshot compared is taken on the desktop."""
        self.move((640, 400))
        for _ in range(3):
            if not wait_for(self.overview_active, timeout=2):
                break
            self.keys(ESCAPE)
            wait_for(lambda: not self.overview_active(), timeout=5)
        check(not self.overview_active(), 'the overview stays open')
        time.sleep(0.5)

    def keys(self, *keysyms):
        """A chord on the compositor's remote-desktop keyboard: pressed in order, released in
        reverse."""
        for keysym in keysyms:
            self.input('NotifyKeyboardKeysym', GLib.Variant('(ub)', (keysym, True)))
        for keysym in reversed(keysyms):
            self.input('NotifyKeyboardKeysym', GLib.Variant('(ub)', (keysym, False)))

    def input(self, method, parameters=None):
        """Pointer and keyboard input of one remote-desktop session, made on first use."""
        if self.remote is None:
            self.remote = self.call('org.gnome.Mutter.RemoteDesktop',
                                    '/org/gnome/Mutter/RemoteDesktop',
                                    'org.gnome.Mutter.RemoteDesktop', 'CreateSession')[0]
            self.call('org.gnome.Mutter.RemoteDesktop', self.remote,
                      'org.gnome.Mutter.RemoteDesktop.Session', 'Start')
        self.call('org.gnome.Mutter.RemoteDesktop', self.remote,
                  'org.gnome.Mutter.RemoteDesktop.Session', method, parameters)

    def stop(self):
        if self.remote is not None:
            try:
                self.input('Stop')
            except GLib.Error:
                pass
        self.bus.close_sync(None)
        self.session.stop(self.process, timeout=20)


def gsettings(session, *args):
    subprocess.run(['gsettings', 'set', *args], env=session.env, check=True, timeout=30)


def logind_up(session):
    reply = subprocess.run(['gdbus', 'call', '--system', '--dest', 'org.freedesktop.DBus',
                            '--object-path', '/org/freedesktop/DBus', '--method',
                            'org.freedesktop.DBus.NameHasOwner', 'org.freedesktop.login1'],
                           env=session.env, capture_output=True, text=True, timeout=10)
    return 'true' in reply.stdout


def start_session(session):
    """Buses, a logind stand-in and settings for a shell started in `session`."""
    extensions = session.root / 'data' / 'gnome-shell' / 'extensions'
    extensions.mkdir(parents=True)
    if hosts.INSTALLED:
        # The package's copy, where the shell finds system-wide extensions.
        installed = Path('/usr/share/gnome-shell/extensions') / EXTENSION
        check((installed / 'extension.js').exists(), f'the package installed no {installed}')
    else:
        # The extension as the build installs it: the variant for the shell it found.
        built = session.build / 'integrations' / 'gnome-shell' / 'installed' / EXTENSION
        check((built / 'extension.js').exists(),
              f'no extension in {built}: configure the build first')
        (extensions / EXTENSION).symlink_to(built)
    session.env.update(XDG_CURRENT_DESKTOP='GNOME', XDG_SESSION_TYPE='wayland',
                       GSETTINGS_BACKEND='dconf')
    # The shell wants a system bus with logind on it.
    system_bus = session.root / 'system_bus'
    session.start(['dbus-daemon', '--session', '--nofork', f'--address=unix:path={system_bus}'],
                  'system-bus')
    check(wait_for(system_bus.exists), 'the system bus did not start')
    session.env['DBUS_SYSTEM_BUS_ADDRESS'] = f'unix:path={system_bus}'
    start_bus(session)
    logind = session.start([sys.executable, '-m', 'dbusmock', '--system', '--template', 'logind'],
                           'logind')
    gsettings(session, 'org.gnome.shell', 'welcome-dialog-last-shown-version', "'999'")
    gsettings(session, 'org.gnome.desktop.interface', 'enable-animations', 'false')
    # Banners (e.g. "Logged in as a privileged user" under CI's root) cover the bar's surroundings.
    gsettings(session, 'org.gnome.desktop.notifications', 'show-banners', 'false')
    # The pointer is parked in the top-left corner between moves.
    gsettings(session, 'org.gnome.desktop.interface', 'enable-hot-corners', 'false')
    gsettings(session, 'org.gnome.shell', 'enabled-extensions', f"['{APPINDICATOR}']")
    check(wait_for(lambda: logind_up(session)), 'logind mock: ' + session.tail(logind))


def appindicator_path(session):
    """The app's status item in the AppIndicator extension, started as at login: the shell and
    the app together. Returns the last shell, still running."""
    lost = []
    for start in range(STARTS):
        shell = Shell(session)
        # From before the shell's watcher exists to after its panel is up, 0.2 s apart.
        time.sleep(start * 0.2)
        app = session.start_app(shell.x11)
        shell.wait_until_up()
        if not wait_for(lambda: shell.registered_items(), timeout=20):
            lost.append(start)
            log(f'gnome: start {start}: the item never registered: {session.tail(app, 5)}')
        if start < STARTS - 1:
            session.stop(app)
            shell.stop()
    check(not lost, f'the item was lost in {len(lost)} of {STARTS} starts: {lost}')
    log(f'gnome: the item registered in all {STARTS} starts')

    check(wait_for(lambda: title_published(session.env)), 'the app published no title')
    shell.leave_overview()
    # The item's label comes after its icon.
    with_item = settled(shell, STATUS)
    with_item.save(session.artifacts / 'gnome-appindicator.png')
    session.stop(app)
    check(wait_for(lambda: not shell.registered_items(), timeout=10),
          'the item stayed registered after the app quit')
    time.sleep(1)
    empty = shell.grab()
    label = changed_area(empty, with_item, STATUS)
    log('gnome: AppIndicator item drawn at', label)
    # An icon alone is at most a square; the label makes it wide.
    check(label and label[2] - label[0] >= 80, f'no label drawn beside the icon: {label}')
    return shell


def settled(shell, box, still=2.0, timeout=15):
    """The screen once `box` has not changed for `still` seconds."""
    shots = [(time.monotonic(), shell.grab())]
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        time.sleep(0.5)
        now = (time.monotonic(), shell.grab())
        if changed_area(shots[-1][1], now[1], box):
            shots = [now]
        else:
            shots.append(now)
            if now[0] - shots[0][0] >= still:
                break
    return shots[-1][1]


def extension_path(session, shell):
    """The project's own extension, enabled beside the AppIndicator one."""
    gsettings(session, 'org.gnome.shell', 'enabled-extensions',
              f"['{APPINDICATOR}', '{EXTENSION}']")
    state = wait_for(lambda: shell.extension_state(EXTENSION)[0] in (ENABLED, ERROR) and
                     shell.extension_state(EXTENSION), timeout=20)
    check(state and state[0] == ENABLED, f'the extension did not enable: {state}')
    shell.leave_overview()
    empty = shell.grab()
    check(coloured_area(empty, BAR)[1] == 0, 'the extension shows a title without the app')

    app = session.start_app(shell.x11)
    shown = wait_for(lambda: coloured_area(shell.grab(), BAR)[0], timeout=20)
    check(shown, 'the extension never drew the coloured change: ' + session.tail(shell.process))
    check(wait_for(lambda: shell.registered_items() == [], timeout=10),
          f'the app kept its status item beside the extension: {shell.registered_items()}')
    time.sleep(1)
    drawn = shell.screenshot(session.artifacts / 'gnome-extension.png')
    title = changed_area(empty, drawn, STATUS)
    log('gnome: extension title at', title, 'change run at', shown)
    check(title and title[2] - title[0] >= 100 and title[0] < shown[0],
          f'the extension drew no whole title: {title}')
    roles = shell.accessible_roles(EXPECTED_TITLE)
    check(roles == [PUSH_BUTTON], f'the title\'s accessible roles: {roles} (a push button is '
          f'{PUSH_BUTTON}, a menu {MENU})')

    below = (title[0] - 100, BAR[3], title[2] + 100, BAR[3] + 100)
    before = shell.grab()
    shell.move(centre(title))
    tooltip = wait_for(lambda: changed_area(before, shell.grab(), below), timeout=5)
    check(tooltip, 'hovering the title showed no tooltip')
    shell.screenshot(session.artifacts / 'gnome-extension-tooltip.png')

    before = shell.grab()
    shell.click(centre(title))
    popup_opened(session, shell, app, before, title, 'clicking the title', 'click')
    for name, key in (('Return', RETURN), ('Space', SPACE)):
        focus_by_keyboard(shell, title, drawn)
        shell.keys(key)
        popup_opened(session, shell, app, drawn, title, f'{name} on the focused title',
                     name.lower())

    switch_off_and_on(session, shell, title)
    session.stop(app)
    check(wait_for(lambda: coloured_area(shell.grab(), BAR)[1] == 0, timeout=10),
          'the extension kept the title after the app quit')


def popup_opened(session, shell, app, before, title, how, name):
    """The app's popup on the screen, hanging from the title; closed again after."""
    popup = wait_for_popup(shell.x11)
    check(popup, f'{how} opened no popup: ' + session.tail(app, 5) + '\n' +
          session.tail(shell.process, 15))
    log(f'gnome: {how}: popup at', popup)
    time.sleep(0.5)
    seen = changed_area(before, shell.screenshot(session.artifacts /
                                                 f'gnome-extension-popup-{name}.png'),
                        (popup[0], popup[1], popup[0] + popup[2], popup[1] + popup[3]))
    # Mapped is not enough: the overview, for one, covers windows.
    check(seen and seen[2] - seen[0] > popup[2] // 2 and seen[3] - seen[1] > popup[3] // 2,
          f'the popup at {popup} is not on the screen: {seen}')
    anchor_x = (title[0] + title[2]) // 2
    check(abs(popup[0] + popup[2] // 2 - anchor_x) <= 40 or popup[0] + popup[2] >= 1280 - 2,
          f'the popup at {popup} does not hang from the title at {title}')
    # The app's own toggle, as `mintlux-title --activate` asks for it.
    bus_call(session.env, '--dest', 'org.mintlux.Mintlux', '--object-path',
             '/org/mintlux/Mintlux', '--method', 'org.mintlux.Mintlux.Title.Activate', '0', '0')
    check(wait_for(lambda: not wait_for_popup(shell.x11, timeout=0), timeout=10),
          'the popup did not close')


def focus_by_keyboard(shell, title, unfocused):
    """Ctrl+Alt+Tab to the top bar (its first button), then Right until the title looks other
    than in `unfocused`."""
    # Hover looks like focus.
    shell.move((640, 400))
    shell.keys(CONTROL, ALT, TAB)
    time.sleep(1)
    for _ in range(8):
        shell.keys(RIGHT)
        time.sleep(0.5)
        if changed_area(unfocused, shell.grab(), title):
            return
    raise Failure('the keyboard never reached the title in the top bar')


def switch_off_and_on(session, shell, title):
    """Disabled, the title goes and the app's own item comes back; enabled again, the reverse;
    twice, and nothing in the shell's log."""
    logged = len(shell.process.log.read_text(errors='replace'))

    def ours():
        # The app's own item draws the title too (in the AppIndicator extension), as a menu.
        return PUSH_BUTTON in shell.accessible_roles(EXPECTED_TITLE)

    for _ in range(2):
        shell.switch_extension(EXTENSION, False)
        state = wait_for(lambda: shell.extension_state(EXTENSION)[0] in (DISABLED, ERROR) and
                         shell.extension_state(EXTENSION), timeout=10)
        check(state == (DISABLED, ''), f'disabling the extension: {state}')
        check(wait_for(lambda: not ours(), timeout=10),
              'the title stayed after the extension was disabled')
        check(wait_for(shell.registered_items, timeout=20),
              'the app did not bring its status item back without the extension')
        shell.switch_extension(EXTENSION, True)
        state = wait_for(lambda: shell.extension_state(EXTENSION)[0] in (ENABLED, ERROR) and
                         shell.extension_state(EXTENSION), timeout=10)
        check(state == (ENABLED, ''), f'enabling the extension again: {state}')
        check(wait_for(ours, timeout=10), 'the title did not come back with the extension')
        check(wait_for(lambda: shell.registered_items() == [], timeout=10),
              'the app kept its status item beside the extension enabled again')
    check(wait_for(lambda: coloured_area(shell.grab(), title)[1], timeout=10),
          'the title is not drawn after the extension went off and on')
    said = shell.process.log.read_text(errors='replace')[logged:]
    lines = [line for line in said.splitlines() if EXTENSION in line or 'Mintlux:' in line]
    check(not lines, 'the shell logged while the extension went off and on:\n' +
          '\n'.join(lines))


def run(build):
    session = Session(build, 'gnome')
    fixture = PriceFixture(fixture_port(build))
    shell = None
    try:
        log('gnome: GNOME Shell', shell_version())
        start_session(session)
        shell = appindicator_path(session)
        extension_path(session, shell)
    except Failure:
        if shell is not None:
            shell.screenshot(session.artifacts / 'gnome-failure.png')
        raise
    finally:
        if shell is not None:
            shell.stop()
        fixture.close()
        session.close()
