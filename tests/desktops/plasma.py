"""The Plasma widget the build installs (or the package installed), loaded by plasmoidviewer
under Xvfb as a widget in a top panel: the Plasma 5 widget on Plasma 5; on Plasma 6 the Plasma 6
widget, once as it is and once with its D-Bus reader failing to load as where Plasma has no D-Bus
QML module (6.0), so that it reads through mintlux-title instead."""

import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

import hosts
from hosts import (Failure, PriceFixture, Session, bus_call, centre, changed_area, check,
                   click_opens_popup_then_quit_clears, click_x, coloured_area, fixture_port,
                   grab_x, log, start_bus, start_xvfb, title_published, wait_for)

SCREEN = (0, 0, 1280, 800)
WIDGET = Path('share/plasma/plasmoids/org.mintlux.Mintlux.title')


def plasma_version():
    out = subprocess.run(['plasmoidviewer', '--version'], capture_output=True, text=True,
                         env=dict(os.environ, QT_QPA_PLATFORM='offscreen'), timeout=60).stdout
    found = re.search(r'plasmoidviewer (\d+)\.(\d+)', out)
    check(found, f'plasmoidviewer --version said {out!r}')
    return int(found[1]), int(found[2])


def install_widget(build, prefix):
    """The widget as `cmake --install` puts it, for the Plasma the build was configured for; the
    package's as it is under /usr."""
    if not hosts.INSTALLED:
        done = subprocess.run(['cmake', '--install', str(build), '--component', 'plasma',
                               '--prefix', str(prefix)], capture_output=True, text=True,
                              timeout=60)
        check(done.returncode == 0, 'installing the widget failed: ' + done.stdout + done.stderr)
    widget = prefix / WIDGET
    metadata = json.loads((widget / 'metadata.json').read_text())
    return widget, 6 if 'X-Plasma-API-Minimum-Version' in metadata else 5


def windows_of(env, pid):
    return subprocess.run(['xdotool', 'search', '--onlyvisible', '--pid', str(pid)], env=env,
                          capture_output=True, text=True, timeout=10).stdout.split()


class DetachedApp:
    """The app the widget started: no child of this process, found by its bus name."""

    def __init__(self, env):
        reply = bus_call(env, '--dest', 'org.freedesktop.DBus', '--object-path',
                         '/org/freedesktop/DBus', '--method',
                         'org.freedesktop.DBus.GetConnectionUnixProcessID', 'org.mintlux.Mintlux')
        found = re.search(r'uint32 (\d+)', reply.stdout)
        check(found, 'no process owns the app\'s name: ' + reply.stderr)
        self.pid = int(found[1])

    def poll(self):
        try:
            state = Path(f'/proc/{self.pid}/stat').read_text().rsplit(')', 1)[1].split()[0]
        except OSError:
            return 0
        return 0 if state in 'ZX' else None

    def wait(self, timeout=None):
        if not wait_for(lambda: self.poll() is not None, timeout or 60):
            raise subprocess.TimeoutExpired('mintlux', timeout)
        return 0

    def kill(self):
        if self.poll() is None:
            os.kill(self.pid, signal.SIGKILL)


def start_viewer(session, env, widget, expected_errors):
    """plasmoidviewer with the widget in a panel at the top edge, loaded and reading."""
    # The dark theme because the viewer draws no panel background behind the widget.
    viewer = session.start(['plasmoidviewer', '-c', 'org.kde.panel', '-a', str(widget),
                            '-f', 'horizontal', '-l', 'topedge', '-s', '800x300',
                            '-t', 'breeze-dark'], 'plasmoidviewer', env)
    check(wait_for(lambda: viewer.poll() is not None or windows_of(session.env, viewer.pid),
                   timeout=60) and viewer.poll() is None,
          'plasmoidviewer showed no window: ' + session.tail(viewer))
    time.sleep(6)
    check(viewer.poll() is None, 'plasmoidviewer exited: ' + session.tail(viewer))
    # Only the files a missing part of Plasma's D-Bus module is expected to keep out may fail.
    errors = [line for line in session.tail(viewer, 400).splitlines()
              if f'{widget}/contents/' in line
              and not any(f'/{name}:' in line for name in expected_errors)]
    check(not errors, 'the widget did not load: ' + '\n'.join(errors))
    return viewer


def placeholder_at(image):
    """The centre of the widget's dash: the one small flat shape drawn on the viewer's black that
    no frame of the viewer's own controls encloses."""
    pixels = image.convert('L').load()
    bright = {(x, y) for y in range(image.height) for x in range(image.width)
              if pixels[x, y] > 60}
    boxes = []
    while bright:
        todo = [bright.pop()]
        xs, ys = [todo[0][0]], [todo[0][1]]
        while todo:
            x, y = todo.pop()
            for near in ((x + dx, y + dy) for dx in range(-3, 4) for dy in range(-3, 4)):
                if near in bright:
                    bright.remove(near)
                    todo.append(near)
                    xs.append(near[0])
                    ys.append(near[1])
        boxes.append((min(xs), min(ys), max(xs), max(ys)))

    def enclosed(box):
        return any(o != box and o[0] <= box[0] and o[1] <= box[1] and o[2] >= box[2]
                   and o[3] >= box[3] for o in boxes)
    dashes = [b for b in boxes if 4 <= b[2] - b[0] < 40 and b[3] - b[1] < 6 and not enclosed(b)]
    return centre(dashes[0]) if len(dashes) == 1 else None


def title_drawn(session, empty):
    """Waits for the coloured change; returns the whole title's box and the change's."""
    display = session.env['DISPLAY']
    shown = wait_for(lambda: coloured_area(grab_x(display), SCREEN)[0], timeout=15)
    check(shown, 'the widget never drew the coloured change')
    time.sleep(0.5)
    full = grab_x(display)
    # In the change's row: the app, without a tray here, soon shows a notice saying so.
    title = changed_area(empty, full, (0, max(0, shown[1] - 12), SCREEN[2], shown[3] + 12))
    check(title and title[2] - title[0] >= 100 and title[0] < shown[0],
          f'the widget drew no whole title: {title}')
    return full, title, shown


def without_bus_module(widget, into):
    """A copy of the widget whose D-Bus reader imports a module that does not exist."""
    shutil.copytree(widget, into)
    reader = into / 'contents' / 'ui' / 'BusReader.qml'
    module = 'import org.kde.plasma.workspace.dbus as DBus'
    check(module in reader.read_text(), f'{reader} no longer has "{module}"')
    reader.write_text(reader.read_text().replace(module, module.replace('dbus', 'absent')))
    return into


def run_viewer(build, widget, version, name, without_bus=False):
    session = Session(build, 'plasma')
    fixture = PriceFixture(fixture_port(build))
    apps = []
    try:
        display = start_xvfb(session)
        start_bus(session)
        if not hosts.INSTALLED:
            # The app a click starts, found on PATH as the installed one is.
            (session.bin / 'mintlux').symlink_to(
                build / 'tests' / 'desktops' / 'mintlux_desktops_app')
        env = dict(session.env, QT_QUICK_BACKEND='software', QT_QPA_PLATFORM='xcb',
                   LANG='en_US.UTF-8')
        env.pop('LC_ALL', None)
        expected_errors = set()
        if without_bus:
            widget = without_bus_module(widget, session.root / 'widget')
            expected_errors.add('BusReader.qml')
        elif version >= (6, 2):
            # Over D-Bus there is no reader to run: with one that always fails first on PATH,
            # a title drawn can only have come from the bus.
            reader = session.bin / 'mintlux-title'
            reader.unlink(missing_ok=True)
            reader.write_text('#!/bin/sh\nexit 1\n')
            reader.chmod(0o755)
        if (6, 0) <= version < (6, 4) and not without_bus:
            expected_errors.add('SignalReader.qml')

        viewer = start_viewer(session, env, widget, expected_errors)
        if without_bus:
            check('BusReader.qml' in session.tail(viewer, 400),
                  'the D-Bus reader loaded after all: ' + session.tail(viewer))
        # Loaded and reading, with the app away: the placeholder, nothing coloured.
        empty = grab_x(display)
        check(coloured_area(empty, SCREEN)[1] == 0, 'a coloured title without the app')
        placeholder = placeholder_at(empty)
        check(placeholder, 'the widget drew no placeholder')

        # A click without the app starts it, detached: it outlives the viewer.
        click_x(session.env, placeholder)
        check(wait_for(lambda: title_published(session.env), timeout=30),
              'clicking the placeholder started no app: ' + session.tail(viewer))
        apps.append(DetachedApp(session.env))
        full, title, shown = title_drawn(session, empty)
        full.crop((0, 0, 800, 300)).save(session.artifacts / f'{name}.png')
        log(f'{name}: title drawn at', title, 'change run at', shown)
        session.stop(viewer)
        time.sleep(2)
        check(apps[0].poll() is None and title_published(session.env),
              'the app the widget started quit with plasmoidviewer')

        # A viewer finding the app running; a click opens its popup, its quitting clears it.
        viewer = start_viewer(session, env, widget, expected_errors)
        title_drawn(session, empty)
        # A hung app: the placeholder, not its last title, until it answers again.
        os.kill(apps[0].pid, signal.SIGSTOP)
        hung = wait_for(lambda: coloured_area(grab_x(display), SCREEN)[1] == 0, timeout=40)
        os.kill(apps[0].pid, signal.SIGCONT)
        check(hung, 'the widget kept showing the title of a hung app')
        full, title, shown = title_drawn(session, empty)
        click_opens_popup_then_quit_clears(session, apps[0], name, title, SCREEN,
                                           (0, 0, 800, 480), f'{name}-popup.png', viewer)
    except Failure:
        if 'DISPLAY' in session.env:
            grab_x(session.env['DISPLAY']).save(session.artifacts / f'{name}-failure.png')
        raise
    finally:
        for app in apps:
            app.kill()
        fixture.close()
        session.close()


def run(build):
    version = plasma_version()
    with tempfile.TemporaryDirectory(prefix='mintlux-plasma-widget-') as prefix:
        widget, widget_major = install_widget(build, Path('/usr') if hosts.INSTALLED
                                              else Path(prefix))
        log(f'plasma: plasmoidviewer {version[0]}.{version[1]}, '
            f'the widget for Plasma {widget_major}')
        check(widget_major == version[0],
              f'the build installs the widget for Plasma {widget_major}, this is Plasma '
              f'{version[0]}: configure with -DMINTLUX_PLASMA_VERSION={version[0]}')
        run_viewer(build, widget, version, f'plasma{version[0]}-widget')
        if version[0] == 6:
            run_viewer(build, widget, version, 'plasma6-widget-without-bus', without_bus=True)
