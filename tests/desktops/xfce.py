"""xfce4-panel under Xvfb with the Generic Monitor plugin running the README's recipe."""

import os
import signal
import time

from hosts import (Failure, PriceFixture, Session, changed_area, check,
                   click_opens_popup_then_quit_clears, coloured_area, fixture_port, grab_x, log,
                   start_bus, start_xvfb, title_published, wait_for)

# One top panel holding just the generic monitor, as the README's recipe sets it up.
PANEL = '''<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="plugin-ids" type="array"><value type="int" value="1"/></property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="genmon"/>
  </property>
</channel>
'''
GENMON = '''Command={command}
UseLabel=0
Text=
UpdatePeriod=5000
'''
PANEL_BOX = (0, 0, 1280, 30)


def start_panel(session, command):
    (session.root / 'config' / 'xfce4' / 'panel' / 'genmon-1.rc').write_text(
        GENMON.format(command=command))
    panel = session.start(['xfce4-panel', '--disable-wm-check'], 'xfce4-panel')
    time.sleep(3)
    check(panel.poll() is None, 'xfce4-panel exited: ' + session.tail(panel))
    return panel


def nothing_drawn(display):
    """The panel all of one colour: the monitor, its only plugin, shows no text at all."""
    return grab_x(display).convert('RGB').crop(PANEL_BOX).getcolors(1) is not None


def run(build):
    session = Session(build, 'xfce')
    fixture = PriceFixture(fixture_port(build))
    try:
        display = start_xvfb(session)
        start_bus(session)
        config = session.root / 'config' / 'xfce4'
        (config / 'xfconf' / 'xfce-perchannel-xml').mkdir(parents=True)
        (config / 'xfconf' / 'xfce-perchannel-xml' / 'xfce4-panel.xml').write_text(PANEL)
        (config / 'panel').mkdir()

        panel = start_panel(session, 'mintlux-title --format genmon')
        # The app is not running yet: the monitor must show nothing, neither a stale title nor
        # the reader's complaint (genmon draws "XXX" for no output at all).
        empty = grab_x(display)
        if not nothing_drawn(display):
            empty.crop((0, 0, 640, 60)).save(session.artifacts / 'xfce-genmon-without-app.png')
            raise Failure('the monitor is not empty without the app')

        app = session.start_app()
        check(wait_for(lambda: title_published(session.env)),
              'the app never published its title: ' + session.tail(app))
        shown = wait_for(lambda: coloured_area(grab_x(display), PANEL_BOX)[0], timeout=15)
        check(shown, 'the panel never drew the coloured change: ' + session.tail(panel))
        time.sleep(0.5)
        full = grab_x(display)
        full.crop((0, 0, 640, 60)).save(session.artifacts / 'xfce-genmon.png')
        title = changed_area(empty, full, PANEL_BOX)
        log('xfce: title drawn at', title, 'change run at', shown)
        # The whole title, not a squeezed icon: "Au $2,346 ▲1.23%" is well over 100 px.
        check(title and title[2] - title[0] >= 100 and title[3] - title[1] >= 8,
              f'the title drawn is too small: {title}')
        check(title[0] < shown[0], 'the price is not drawn before the coloured change')

        # A hung app: the reader gives up on it and the monitor empties, rather than the panel
        # waiting on it and then drawing the error (D-Bus's own limit is 25 s).
        os.kill(app.pid, signal.SIGSTOP)
        emptied = wait_for(lambda: nothing_drawn(display), timeout=40)
        os.kill(app.pid, signal.SIGCONT)
        if not emptied:
            grab_x(display).crop((0, 0, 640, 60)).save(session.artifacts / 'xfce-genmon-hung.png')
            raise Failure('the monitor did not empty while the app was hung')
        check(wait_for(lambda: coloured_area(grab_x(display), PANEL_BOX)[0], timeout=15),
              'the title did not come back once the app answered again')

        click_opens_popup_then_quit_clears(session, app, 'xfce', title, PANEL_BOX,
                                           (0, 0, 640, 420), 'xfce-genmon-popup.png', panel)
    except Failure:
        if 'DISPLAY' in session.env:
            grab_x(session.env['DISPLAY']).save(session.artifacts / 'xfce-failure.png')
        raise
    finally:
        fixture.close()
        session.close()
