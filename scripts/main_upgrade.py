"""The main job's upgrade, called by scripts/main.sh once everything is
built: radiosim as a QM-5200 on COM1 of the prefix, sample option files in
the program's Data folder, and ORVELLE.exe from a folder of its own, all
through the end-to-end harness (tests/e2e/harness).

    main_upgrade.py <run folder>

With $DISPLAY (and ORVELLE_DRIVE not 1) the program opens there for the user
to press Upgrade and close it; otherwise Upgrade is pressed through the UI
driver on a private Xvfb, every message shown is printed and answered OK, and
the program is closed. Either way the radio's option bytes before and after
are printed. Needs ORVELLE_BUILD_DIR, ORVELLE_NATIVE_BUILD_DIR, WINEPREFIX.
"""

import os
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
from harness.ids import Res, TextNo  # noqa: E402
from harness.orvelle import OrvelleApp, WineSession, language  # noqa: E402
from harness.radiosim import Radiosim, native_build_dir  # noqa: E402
from harness.ui import IDOK, DriverError  # noqa: E402

PORT = 1
MODEL = 'QM-5200'
CODE = '00000001'
OPTIONS = bytes.fromhex('1fffffffffffffff')  # option type 1, every option off
SAMPLES = {
    # name: description for enhtool
    'QM-5200 scan pack.ENH':
        'model "%s"\nmin-version "1.01.0"\nrule required\n'
        'entry code=%s type=1 mask=1ffffffffffffff0\n' % (MODEL, CODE),
    'QM-5200 data pack.ENH':
        'model "%s"\nmin-version "1.01.0"\nrule recommended\n'
        'entry code=00000002 type=1 mask=1000000000000000\n'
        'entry code=%s type=1 mask=1fffffffffff00ff\n' % (MODEL, CODE),
    'QM-6100 scan pack.ENH':
        'model "QM-6100"\nmin-version "1.00.0"\nrule required\n'
        'entry code=%s type=1 mask=1000000000000000\n' % CODE,
}


def one_line(text):
    return text.replace('\r\n', ' ').replace('\n', ' ')


def make_samples(data_dir):
    enhtool = os.path.join(native_build_dir(), 'tools', 'enhtool', 'enhtool')
    os.makedirs(data_dir, exist_ok=True)
    print('== sample option files in %s' % data_dir)
    for name, description in SAMPLES.items():
        path = os.path.join(data_dir, name)
        subprocess.run([enhtool, 'make', '-', path], input=description.encode(), check=True)
        shown = subprocess.run([enhtool, 'show', path], stdout=subprocess.PIPE, text=True).stdout
        print('\n'.join('   ' + line for line in shown.splitlines()))


def press_upgrade(session, app, lng):
    """Presses Upgrade, prints and answers every message until the run is
    over, and closes the program."""
    drv = session.driver
    print('== pressing Upgrade')
    start = time.monotonic()
    drv.click(app.hwnd, Res.IDC_UPGRADE)
    shots = 0
    while True:
        try:
            box = app.message_box(timeout_ms=2000)
        except DriverError:
            if app.caption() == lng[TextNo.kAppTitle] and app.enabled(Res.IDC_UPGRADE):
                break  # the run is over and nothing more is shown
            continue
        print('message:    [%s] %s  (%.1f s)' % (box.caption, one_line(box.text), time.monotonic() - start))
        if shots == 0:
            print('screenshot: %s' % session.screenshot('main-upgrade-outcome'))
            shots += 1
        drv.press(box, IDOK)
    print('== run over: caption "%s", controls enabled' % app.caption())
    code = app.close()
    print('== closed (Yes at the close question), exit code %d' % code)


def report(radio):
    result = radio.result()
    print('option bytes before: %s' % OPTIONS.hex(' '))
    final = result['final']
    print('option bytes after:  %s' % (final[42:50].hex(' ') if final else '(unknown)'))
    for record, answer in result['written']:
        print('record written (radio answered %s): %s' % (answer, record.hex()))
    if not result['written']:
        print('nothing was written to the radio')
    print('radiosim log: %s' % radio.log_path)


def main():
    run_root = sys.argv[1]
    os.makedirs(run_root, exist_ok=True)
    display = os.environ.get('DISPLAY')
    drive = os.environ.get('ORVELLE_DRIVE') == '1' or not display
    lng = language()

    session = WineSession(display=None if drive else display)
    print('== Wine prefix %s, display %s' % (session.prefix, 'a private Xvfb' if drive else display))
    session.start()
    radio = None
    try:
        app = OrvelleApp(session, ini={'ComPort': str(PORT), 'Mode': '1'}, work_root=run_root)
        print('== program folder %s' % app.folder)
        make_samples(app.data_dir)

        radio = Radiosim(port=PORT, prefix=session.prefix, workdir=os.path.join(app.folder, 'radiosim'),
                         model=MODEL, version='1.01.00', option_code=bytes.fromhex(CODE), option_bytes=OPTIONS)
        radio.start()
        print('== radiosim: a %s on COM%d (%s), option bytes %s' % (MODEL, PORT, radio.slave, OPTIONS.hex(' ')))

        for caption, text in app.start_past_warnings(env=radio.wine_env(session.env)):
            print('message:    [%s] %s (answered OK)' % (caption, one_line(text)))

        if drive:
            press_upgrade(session, app, lng)
        else:
            print('== ORVELLE.exe is open on %s: press Upgrade, then close the program' % display)
            app.proc.wait()

        radio.stop()
        report(radio)
    finally:
        if radio is not None:
            radio.stop()
        session.stop()


if __name__ == '__main__':
    main()
