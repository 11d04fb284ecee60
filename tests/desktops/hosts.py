#!/usr/bin/python3
"""The title integrations tried in the real desktop hosts, against the real app.

    hosts.py [--installed] BUILD_DIR [gnome] [xfce] [plasma]      (all three when none is named)

Each host runs in its own temporary home under a private session bus; the app is the real
binary built with a loopback pricing address, fed by a fixture here. With --installed, what is
tried is what the package put in /usr (the app, mintlux-title, the extension and the widget), and
the fixture answers at the address the build gave the installed app. Screenshots land in
BUILD_DIR/tests/desktops-artifacts/. Exit status 0 only when every host drew the coloured title
and a click on it opened the popup.
"""

import http.server
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

from PIL import ImageChops

SOURCE = Path(__file__).resolve().parents[2]
HOSTS = ('gnome', 'xfce', 'plasma')

# The title the fixture's prices give with the default preferences (gold, USD, price and
# change): "Au $2,346 ▲1.23%", the change run green.
PRICES = json.dumps({
    'currency': 'USD',
    'prices': {
        'XAU': {'value': 2345.678, 'unit': 'troyOunce', 'prev_close': 2317.08},
        'XAG': {'value': 29.456, 'unit': 'troyOunce', 'prev_close': 30.10},
        'XPT': {'value': 980.5, 'unit': 'troyOunce', 'prev_close': 975},
        'XPD': {'value': 1012.25, 'unit': 'troyOunce', 'prev_close': 1000},
    },
    'stale': False,
    'as_of': '2025-01-31T14:05:09Z',
}).encode()
EXPECTED_TITLE = 'Au $2,346 ▲1.23%'
# Set from the command line: the package's files in /usr instead of the build tree's.
INSTALLED = False


class Failure(Exception):
    pass


def log(*args):
    print('[desktops]', *args, flush=True)


def wait_for(predicate, timeout=20.0, step=0.2):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)


def check(condition, message):
    if not condition:
        raise Failure(message)


# --- pixels ---------------------------------------------------------------------------------

def is_green(p):
    r, g, b = p[:3]
    return g >= 140 and g - r >= 60 and g - b >= 40


def coloured_area(image, box=None):
    """Bounding box and count of the green (positive change) pixels, in screen coordinates."""
    region = image.convert('RGB')
    left, top = 0, 0
    if box:
        region = region.crop(box)
        left, top = box[0], box[1]
    xs, ys = [], []
    pixels = region.load()
    for y in range(region.height):
        for x in range(region.width):
            if is_green(pixels[x, y]):
                xs.append(x)
                ys.append(y)
    if not xs:
        return None, 0
    return (left + min(xs), top + min(ys), left + max(xs) + 1, top + max(ys) + 1), len(xs)


def changed_area(before, after, box):
    diff = ImageChops.difference(before.convert('RGB').crop(box), after.convert('RGB').crop(box))
    bbox = diff.getbbox()
    if bbox is None:
        return None
    return (box[0] + bbox[0], box[1] + bbox[1], box[0] + bbox[2], box[1] + bbox[3])


def centre(box):
    return ((box[0] + box[2]) // 2, (box[1] + box[3]) // 2)


# --- the app and its prices -----------------------------------------------------------------

def fixture_port(build):
    """The loopback port the app under test asks for prices."""
    if not INSTALLED:
        return int((Path(build) / 'tests' / 'desktops' / 'port').read_text())
    cache = (Path(build) / 'CMakeCache.txt').read_text()
    url = re.search(r'^MINTLUX_PRICING_API_URL:STRING=http://127\.0\.0\.1:(\d+)/', cache, re.M)
    check(url, 'the installed app does not ask a loopback address for prices')
    return int(url.group(1))


def port_is_free(port):
    import socket
    with socket.socket() as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(('127.0.0.1', port))
            return True
        except OSError:
            return False


def own_loopback(port):
    """Makes 127.0.0.1:PORT ours. An app built to ask a fixed address (the installed one, the
    release build) can only be fed there, and the package enables a user socket unit on that
    very address; when something holds it, this script runs again in a private network
    namespace, where loopback is empty. Call before anything is started."""
    if os.environ.get('MINTLUX_PRIVATE_NET'):
        bring_loopback_up()
    if port_is_free(port):
        return
    check(not os.environ.get('MINTLUX_PRIVATE_NET'),
          f'127.0.0.1:{port} is taken even in a private network namespace')
    unshare = ['unshare', '--net'] + ([] if os.geteuid() == 0 else ['--map-root-user'])
    probe = subprocess.run(unshare + ['true'], capture_output=True)
    check(probe.returncode == 0,
          f'127.0.0.1:{port} is taken (the app is built to ask there) and no private network '
          f'namespace can be made: {probe.stderr.decode(errors="replace").strip()}')
    log(f'127.0.0.1:{port} is taken; running again in a private network namespace')
    env = dict(os.environ, MINTLUX_PRIVATE_NET='1')
    os.execvpe(unshare[0], unshare + ['--', sys.executable, *sys.argv], env)


def bring_loopback_up():
    import fcntl
    import socket
    import struct
    siocgifflags, siocsifflags, iff_up = 0x8913, 0x8914, 0x1
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        request = struct.pack('16sH', b'lo', 0)
        flags = struct.unpack('16sH', fcntl.ioctl(s, siocgifflags, request)[:18])[1]
        fcntl.ioctl(s, siocsifflags, struct.pack('16sH', b'lo', flags | iff_up))


class PriceFixture:
    """The pricing API on loopback, answering every prices request with PRICES."""

    def __init__(self, port):
        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                body = PRICES if self.path.startswith('/v1/prices') else b'{"error":"none"}'
                self.send_response(200 if self.path.startswith('/v1/prices') else 404)
                self.send_header('Content-Type', 'application/json')
                self.send_header('Content-Length', str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        try:
            self.server = http.server.ThreadingHTTPServer(('127.0.0.1', port), Handler)
        except OSError as e:
            raise Failure(f'the price fixture cannot listen on 127.0.0.1:{port} '
                          f'(the app is built to ask there): {e}')
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class Session:
    """A temporary home and the processes started in it, stopped in reverse order."""

    def __init__(self, build, host):
        self.build = Path(build)
        self.root = Path(tempfile.mkdtemp(prefix=f'mintlux-{host}-'))
        self.artifacts = self.build / 'tests' / 'desktops-artifacts'
        self.artifacts.mkdir(parents=True, exist_ok=True)
        self.processes = []
        self.env = dict(os.environ)
        for key, sub in (('HOME', 'home'), ('XDG_CONFIG_HOME', 'config'),
                         ('XDG_DATA_HOME', 'data'), ('XDG_CACHE_HOME', 'cache'),
                         ('XDG_RUNTIME_DIR', 'run')):
            path = self.root / sub
            path.mkdir(mode=0o700)
            self.env[key] = str(path)
        # mintlux-title as installed beside the app: on PATH, which the panels' commands use.
        self.bin = self.root / 'bin'
        self.bin.mkdir()
        if not INSTALLED:
            (self.bin / 'mintlux-title').symlink_to(
                self.build / 'Mintlux' / 'title' / 'mintlux-title')
        self.env['PATH'] = f'{self.bin}:{self.env["PATH"]}'
        for key in ('DBUS_SESSION_BUS_ADDRESS', 'DISPLAY', 'WAYLAND_DISPLAY', 'XAUTHORITY',
                    'SESSION_MANAGER', 'DESKTOP_SESSION', 'XDG_SESSION_TYPE'):
            self.env.pop(key, None)
        self.env['NO_AT_BRIDGE'] = '1'

    def start(self, args, name, env=None, **kwargs):
        out = open(self.root / f'{name}.log', 'wb')
        process = subprocess.Popen(args, env=env or self.env, stdout=out,
                                   stderr=subprocess.STDOUT, start_new_session=True, **kwargs)
        process.log = self.root / f'{name}.log'
        self.processes.append(process)
        return process

    def stop(self, process, timeout=10):
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGTERM)
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
        if process in self.processes:
            self.processes.remove(process)

    def start_app(self, env=None):
        env = dict(env or self.env)
        env['QT_QPA_PLATFORM'] = 'xcb'
        env['LANG'] = 'en_US.UTF-8'
        env.pop('LC_ALL', None)
        app = ('/usr/bin/mintlux' if INSTALLED else
               str(self.build / 'tests' / 'desktops' / 'mintlux_desktops_app'))
        return self.start([app], 'mintlux', env)

    def tail(self, process, lines=30):
        try:
            return '\n'.join(process.log.read_text(errors='replace').splitlines()[-lines:])
        except OSError:
            return ''

    def close(self):
        for process in reversed(list(self.processes)):
            self.stop(process)
        shutil.rmtree(self.root, ignore_errors=True)


def start_xvfb(session, size='1280x800'):
    read, write = os.pipe()
    server = session.start(['Xvfb', '-displayfd', str(write), '-screen', '0', f'{size}x24',
                            '-nolisten', 'tcp'], 'xvfb', pass_fds=(write,))
    os.close(write)
    number = b''
    while not number.endswith(b'\n'):
        chunk = os.read(read, 16)
        if not chunk:
            raise Failure('Xvfb did not start: ' + session.tail(server))
        number += chunk
    os.close(read)
    session.env['DISPLAY'] = ':' + number.decode().strip()
    return session.env['DISPLAY']


def start_bus(session):
    """A private session bus; services it activates get this session's environment."""
    read, write = os.pipe()
    session.start(['dbus-daemon', '--session', '--nofork', f'--print-address={write}'], 'bus',
                  pass_fds=(write,))
    os.close(write)
    with os.fdopen(read) as out:
        address = out.readline().strip()
    check(address, 'dbus-daemon gave no address')
    session.env['DBUS_SESSION_BUS_ADDRESS'] = address
    return address


def grab_x(display):
    from PIL import ImageGrab
    return ImageGrab.grab(xdisplay=display)


def visible_windows(env, title):
    result = subprocess.run(['xdotool', 'search', '--onlyvisible', '--name', f'^{title}$'],
                            env=env, capture_output=True, text=True, timeout=10)
    return result.stdout.split()


def window_geometry(env, window):
    result = subprocess.run(['xdotool', 'getwindowgeometry', '--shell', window], env=env,
                            capture_output=True, text=True, timeout=10)
    values = dict(line.split('=', 1) for line in result.stdout.split() if '=' in line)
    return tuple(int(values.get(k, -1)) for k in ('X', 'Y', 'WIDTH', 'HEIGHT'))


def wait_for_popup(env, timeout=10):
    """The app's popup: its visible window titled "Mintlux", at its size of 320 x 360."""
    def found():
        for window in visible_windows(env, 'Mintlux'):
            geometry = window_geometry(env, window)
            if geometry[2:] == (320, 360):
                return geometry
        return None
    return wait_for(found, timeout)


def click_x(env, point):
    subprocess.run(['xdotool', 'mousemove', str(point[0]), str(point[1]), 'click', '1'],
                   env=env, check=True, timeout=10)


def click_opens_popup_then_quit_clears(session, app, host, title, box, crop, shot, owner):
    """Clicks the drawn title: the popup must open; then quits the app: the coloured run must go."""
    display = session.env['DISPLAY']
    click_x(session.env, centre(title))
    popup = wait_for_popup(session.env)
    check(popup, f'clicking the title in {host} opened no popup: ' + session.tail(owner))
    log(f'{host}: popup at', popup)
    grab_x(display).crop(crop).save(session.artifacts / shot)
    session.stop(app)
    check(wait_for(lambda: coloured_area(grab_x(display), box)[1] == 0, timeout=15),
          f'the title stayed in {host} after the app quit')


def bus_call(env, *args):
    return subprocess.run(['gdbus', 'call', '--session', *args], env=env, capture_output=True,
                          text=True, timeout=30)


def title_published(env):
    reply = bus_call(env, '--dest', 'org.mintlux.Mintlux', '--object-path', '/org/mintlux/Mintlux',
                     '--method', 'org.mintlux.Mintlux.Title.GetTitle')
    return reply.returncode == 0 and EXPECTED_TITLE in reply.stdout


if __name__ == '__main__':
    # No __pycache__ in the source tree.
    sys.dont_write_bytecode = True
    sys.path.insert(0, str(Path(__file__).resolve().parent))
    # The hosts' modules import this file as `hosts`: its Failure is theirs.
    from hosts import Failure, fixture_port  # noqa: F811
    import gnome
    import plasma
    import xfce

    args = sys.argv[1:]
    import hosts
    if args[:1] == ['--installed']:
        hosts.INSTALLED = True
        args = args[1:]
    if not args:
        sys.exit(__doc__)
    # Stopped from outside (a CI time-out): still stop every process started here.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    build = Path(args[0]).resolve()
    if hosts.INSTALLED:
        try:
            hosts.own_loopback(fixture_port(build))
        except Failure as e:
            sys.exit(f'[desktops] {e}')
    shutil.rmtree(build / 'tests' / 'desktops-artifacts', ignore_errors=True)
    chosen = args[1:] or list(HOSTS)
    failed = []
    for host in chosen:
        if host not in HOSTS:
            sys.exit(f'unknown host {host!r}; one of {", ".join(HOSTS)}')
        started = time.monotonic()
        log(f'== {host}')
        try:
            {'gnome': gnome.run, 'xfce': xfce.run, 'plasma': plasma.run}[host](build)
            log(f'== {host}: passed in {time.monotonic() - started:.0f} s')
        except Failure as e:
            log(f'== {host}: FAILED after {time.monotonic() - started:.0f} s: {e}')
            failed.append(host)
    sys.exit(1 if failed else 0)
