#!/usr/bin/python3
"""What the app costs while nobody looks at it, beside the smallest Qt tray app.

    footprint.py BUILD_DIR [--runs N] [--window SECONDS]

Both apps run side by side under Xvfb in one xfce4-panel whose status tray hosts their items,
the app polling a pricing API on loopback every 60 s with fresh preferences: by default one that
answers the same prices every time (the app's own cost, nothing for it to show anew), with
--prices synthetic the real service with moving prices (the title and the panel's re-reads each
minute on top). After a settling time each run reads private memory (RssAnon), peak (VmHWM) and the
thread wake-ups (voluntary context switches of all threads) over the window. Prints each run and
the medians of the three ratios; exit status 1 when a median misses its goal.
"""

import argparse
import http.server
import json
import re
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / 'tests' / 'desktops'))
import xfce  # noqa: E402
from hosts import PRICES, Failure, Session, check, own_loopback, start_bus, start_xvfb, wait_for  # noqa: E402

GOALS = {'private': 1.5, 'peak': 1.3}
WAKEUPS_GOAL = 6.0
PORT = 47190
SETTLE = 20

# The desktop tests' one-panel layout, holding the status tray instead of the generic monitor.
PANEL = xfce.PANEL.replace('value="genmon"', 'value="systray"')


def status(pid):
    fields = {}
    for line in Path(f'/proc/{pid}/status').read_text().splitlines():
        key, _, value = line.partition(':')
        fields[key] = value.split()[0] if value.split() else ''
    return fields


def wakeups(pid):
    """Voluntary context switches by thread id and name."""
    counts = {}
    for task in Path(f'/proc/{pid}/task').iterdir():
        try:
            fields = status(f'{pid}/task/{task.name}')
            counts[(task.name, fields['Name'])] = int(fields['voluntary_ctxt_switches'])
        except (OSError, KeyError):
            pass  # a thread that ended meanwhile
    return counts


def per_minute(before, after, window):
    """Wake-ups a minute by thread name, threads started in the window counted in full."""
    rates = {}
    for key, count in after.items():
        rates[key[1]] = rates.get(key[1], 0) + (count - before.get(key, 0)) * 60.0 / window
    return rates


def bus_get(env, dest, path, method, *args):
    return subprocess.run(['gdbus', 'call', '--session', '--dest', dest, '--object-path', path,
                           '--method', method, *args], env=env, capture_output=True, text=True,
                          timeout=10).stdout


def registered_items(env):
    return len(re.findall(r"'[^']+'", bus_get(
        env, 'org.kde.StatusNotifierWatcher', '/StatusNotifierWatcher',
        'org.freedesktop.DBus.Properties.Get', 'org.kde.StatusNotifierWatcher',
        'RegisteredStatusNotifierItems')))


class Prices:
    """The pricing API on loopback: the same prices at every poll, as of the moment asked."""

    def __init__(self, port):
        document = json.loads(PRICES)

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = 'HTTP/1.1'

            def do_GET(self):
                found = self.path.startswith('/v1/prices')
                document['as_of'] = time.strftime('%Y-%m-%dT%H:%M:%SZ', time.gmtime())
                body = json.dumps(document).encode() if found else b'{"error":"none"}'
                self.send_response(200 if found else 404)
                self.send_header('Content-Type', 'application/json')
                self.send_header('Content-Length', str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(('127.0.0.1', port), Handler)
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


def resident_by_mapping(pid, top=12):
    """Resident kB by mapped file (anonymous memory together), largest first."""
    sizes = {}
    name = None
    for line in Path(f'/proc/{pid}/smaps').read_text().splitlines():
        fields = line.split()
        if '-' in fields[0] and len(fields) >= 5:
            name = Path(fields[5]).name if len(fields) > 5 else '[anonymous]'
        elif fields[0] == 'Rss:':
            sizes[name] = sizes.get(name, 0) + int(fields[1])
    return sorted(sizes.items(), key=lambda item: -item[1])[:top]


def bus_traffic(log):
    """Messages on the bus by kind and member, from dbus-monitor's profile output."""
    counts = {}
    for line in log.read_text(errors='replace').splitlines():
        parts = line.split('\t')
        if len(parts) > 7 and parts[0] in ('sig', 'mc'):
            key = f'{parts[0]} {parts[-1]}'
            counts[key] = counts.get(key, 0) + 1
        elif parts and parts[0] in ('mr', 'err'):
            counts[parts[0]] = counts.get(parts[0], 0) + 1
    return counts


def one_run(build, window, prices, monitor=False):
    session = Session(build, 'footprint')
    try:
        start_xvfb(session)
        start_bus(session)
        config = session.root / 'config' / 'xfce4'
        (config / 'xfconf' / 'xfce-perchannel-xml').mkdir(parents=True)
        (config / 'xfconf' / 'xfce-perchannel-xml' / 'xfce4-panel.xml').write_text(PANEL)
        panel = session.start(['xfce4-panel', '--disable-wm-check'], 'xfce4-panel')
        check(wait_for(lambda: 'org.kde.StatusNotifierWatcher' in bus_get(
                  session.env, 'org.freedesktop.DBus', '/', 'org.freedesktop.DBus.ListNames')),
              'the panel offers no status tray: ' + session.tail(panel))
        if prices == 'synthetic':
            service = session.start([str(build / 'server' / 'mintlux-pricing'), '--listen',
                                     f'127.0.0.1:{PORT}', '--source', 'synthetic'], 'pricing')
        else:
            fixture = Prices(PORT)
        env = dict(session.env, QT_QPA_PLATFORM='xcb', LANG='en_US.UTF-8')
        env.pop('LC_ALL', None)
        apps = {'minimal': session.start([str(build / 'bench' / 'footprint' / 'minimal_tray_app')],
                                         'minimal', env),
                'mintlux': session.start([str(build / 'Mintlux' / 'mintlux')], 'mintlux', env)}
        check(wait_for(lambda: registered_items(session.env) >= 2, timeout=20),
              'the apps never registered their items: ' +
              ' / '.join(session.tail(p) for p in apps.values()))
        time.sleep(SETTLE)
        if monitor:
            watcher = session.start(['dbus-monitor', '--session', '--profile'], 'dbus-monitor')
            time.sleep(1)
        before = {name: wakeups(p.pid) for name, p in apps.items()}
        time.sleep(window)
        if monitor:
            session.stop(watcher)
            print('  bus: ' + ', '.join(f'{k} {v}' for k, v in
                                        sorted(bus_traffic(watcher.log).items())), flush=True)
        result = {}
        for name, process in apps.items():
            check(process.poll() is None, f'{name} ended: ' + session.tail(process))
            fields = status(process.pid)
            threads = per_minute(before[name], wakeups(process.pid), window)
            if monitor:
                print(f'  {name} resident: ' + ', '.join(
                    f'{k} {v}' for k, v in resident_by_mapping(process.pid, 40)), flush=True)
            result[name] = {'private': int(fields['RssAnon']), 'peak': int(fields['VmHWM']),
                            'resident': int(fields['VmRSS']),
                            'wakeups': sum(threads.values()), 'threads': threads}
        return result
    finally:
        session.close()
        if prices != 'synthetic' and 'fixture' in locals():
            fixture.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('build', type=Path)
    parser.add_argument('--runs', type=int, default=5)
    parser.add_argument('--window', type=float, default=120.0)
    parser.add_argument('--threads', action='store_true', help="the app's wake-ups by thread")
    parser.add_argument('--prices', choices=('fixed', 'synthetic'), default='fixed',
                        help='the same prices every poll (default), or the service moving them')
    parser.add_argument('--bus', action='store_true', help='count the bus messages in the window, list what is resident')
    args = parser.parse_args()
    build = args.build.resolve()
    own_loopback(PORT)
    runs = []
    for n in range(args.runs):
        run = one_run(build, args.window, args.prices, args.bus)
        runs.append(run)
        m, a = run['mintlux'], run['minimal']
        print(f'run {n + 1}: mintlux private {m["private"]} kB, peak {m["peak"]} kB '
              f'(now {m["resident"]}), '
              f'{m["wakeups"]:.1f} wake-ups/min | minimal {a["private"]} kB, {a["peak"]} kB, '
              f'{a["wakeups"]:.1f}/min | ×{m["private"] / a["private"]:.2f} private, '
              f'×{m["peak"] / a["peak"]:.2f} peak', flush=True)
        if args.threads:
            print('  by thread: ' + ', '.join(f'{k} {v:.1f}' for k, v in m['threads'].items()))
    missed = []
    for key, goal in GOALS.items():
        ratio = statistics.median(r['mintlux'][key] / r['minimal'][key] for r in runs)
        print(f'median {key}: ×{ratio:.2f} (goal ≤ ×{goal})')
        missed += [key] if ratio > goal else []
    rate = statistics.median(r['mintlux']['wakeups'] for r in runs)
    print(f'median wake-ups: {rate:.1f}/min (minimal app '
          f'{statistics.median(r["minimal"]["wakeups"] for r in runs):.1f}; goal ≤ {WAKEUPS_GOAL})')
    missed += ['wake-ups'] if rate > WAKEUPS_GOAL else []
    if missed:
        print('missed: ' + ', '.join(missed))
    return 1 if missed else 0


if __name__ == '__main__':
    try:
        sys.exit(main())
    except Failure as e:
        sys.exit(f'footprint: {e}')
