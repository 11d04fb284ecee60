"""The Plasma 5 widget loaded by plasmoidviewer under Xvfb, as a widget in a top panel."""

import subprocess
import time

from hosts import (Failure, PriceFixture, SOURCE, Session, changed_area, check,
                   click_opens_popup_then_quit_clears, coloured_area, grab_x, log, start_bus,
                   start_xvfb, title_published, wait_for)

WIDGET = SOURCE / 'integrations' / 'plasma' / 'org.mintlux.Mintlux.title'
SCREEN = (0, 0, 1280, 800)


def windows_of(env, pid):
    return subprocess.run(['xdotool', 'search', '--onlyvisible', '--pid', str(pid)], env=env,
                          capture_output=True, text=True, timeout=10).stdout.split()


def run(build):
    session = Session(build, 'plasma')
    fixture = PriceFixture(int(open(build / 'tests' / 'desktops' / 'port').read()))
    try:
        display = start_xvfb(session)
        start_bus(session)
        env = dict(session.env, QT_QUICK_BACKEND='software', QT_QPA_PLATFORM='xcb')
        # A panel containment at the top edge, as the widget sits in a Plasma panel; the dark
        # theme because the viewer draws no panel background behind the widget.
        viewer = session.start(['plasmoidviewer', '-c', 'org.kde.panel', '-a', str(WIDGET),
                                '-f', 'horizontal', '-l', 'topedge', '-s', '800x300',
                                '-t', 'breeze-dark'], 'plasmoidviewer', env)
        check(wait_for(lambda: viewer.poll() is not None or windows_of(session.env, viewer.pid),
                       timeout=60) and viewer.poll() is None,
              'plasmoidviewer showed no window: ' + session.tail(viewer))
        # Loaded and reading, with the app away: nothing coloured.
        time.sleep(6)
        check(viewer.poll() is None, 'plasmoidviewer exited: ' + session.tail(viewer))
        errors = [line for line in session.tail(viewer, 400).splitlines()
                  if f'{WIDGET}/contents/' in line]
        check(not errors, 'the widget did not load: ' + '\n'.join(errors))
        empty = grab_x(display)
        check(coloured_area(empty, SCREEN)[1] == 0, 'a coloured title without the app')

        app = session.start_app()
        check(wait_for(lambda: title_published(session.env)),
              'the app never published its title: ' + session.tail(app))
        shown = wait_for(lambda: coloured_area(grab_x(display), SCREEN)[0], timeout=15)
        check(shown, 'the widget never drew the coloured change: ' + session.tail(viewer))
        time.sleep(0.5)
        full = grab_x(display)
        full.crop((0, 0, 800, 300)).save(session.artifacts / 'plasma-widget.png')
        title = changed_area(empty, full, SCREEN)
        log('plasma: title drawn at', title, 'change run at', shown)
        check(title and title[2] - title[0] >= 100 and title[0] < shown[0],
              f'the widget drew no whole title: {title}')

        click_opens_popup_then_quit_clears(session, app, 'plasma', title, SCREEN,
                                           (0, 0, 800, 480), 'plasma-widget-popup.png', viewer)
    except Failure:
        if 'DISPLAY' in session.env:
            grab_x(session.env['DISPLAY']).save(session.artifacts / 'plasma-failure.png')
        raise
    finally:
        fixture.close()
        session.close()
