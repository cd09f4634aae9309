#!/usr/bin/env bash
# The main job: an upgrade of a (simulated) transceiver.
#
# Installs what is missing, builds the 32-bit product and the native tools,
# starts radiosim as a radio of the sample model QM-5200 on COM1 of a private
# Wine prefix, makes sample option files for that model with enhtool in the
# program's Data folder, and runs ORVELLE.exe from a folder of its own.
#
# - With $DISPLAY: the program opens there; press Upgrade, answer its
#   messages, and close it. The script then shows what the radio was left with.
# - Without a display (or with ORVELLE_DRIVE=1): the script presses Upgrade
#   itself through the UI driver on a private Xvfb, prints every message the
#   program shows, saves a screenshot of the outcome, closes the program and
#   prints the radio's option bytes before and after.
#
#   ORVELLE_BUILD_ROOT  moves the build folders (default: build/ in the tree)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

build_root=${ORVELLE_BUILD_ROOT:-$root/build}
build=$build_root/main-win32
native=$build_root/main-native
export WINEPREFIX=$build/wineprefix-main
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export ORVELLE_BUILD_DIR=$build
export ORVELLE_NATIVE_BUILD_DIR=$native
export ORVELLE_ARTIFACTS_DIR=$build/artifacts

setup() {
    bash scripts/setup.sh
}

build_tools() {
    echo "== building radiosim, the pty shim and enhtool in $native"
    cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVELLE_TESTS=OFF >/dev/null
    cmake --build "$native" -j"$(nproc)" --target radiosim ptyshim ptyshim32 enhtool
}

build_product() {
    echo "== building ORVELLE.exe (32-bit) in $build"
    cmake -S "$root" -B "$build" --toolchain "$root/cmake/toolchain-i686-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVELLE_TESTS=OFF >/dev/null
    cmake --build "$build" -j"$(nproc)" --target ORVELLE uidriver
}

# Radio, option files and program, through the end-to-end harness.
run_upgrade() {
    mkdir -p "$build/run"
    python3 - "$root" "$build/run" <<'PY'
import os
import subprocess
import sys
import time

root, run_root = sys.argv[1], sys.argv[2]
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(root, 'tests', 'e2e'))
from harness.orvelle import OrvelleApp, WineSession, language
from harness.radiosim import Radiosim
from harness.ui import IDOK, DriverError

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

enhtool = os.path.join(os.environ['ORVELLE_NATIVE_BUILD_DIR'], 'tools', 'enhtool', 'enhtool')
display = os.environ.get('DISPLAY')
drive = os.environ.get('ORVELLE_DRIVE') == '1' or not display
lng = language()

session = WineSession(display=None if drive else display)
print('== Wine prefix %s, display %s' % (session.prefix, 'a private Xvfb' if drive else display))
session.start()
radio = None
try:
    app = OrvelleApp(session, ini={'ComPort': '1', 'Mode': '1'}, work_root=run_root)
    os.makedirs(app.data_dir, exist_ok=True)
    print('== program folder %s' % app.folder)
    print('== sample option files in %s' % app.data_dir)
    for name, description in SAMPLES.items():
        path = os.path.join(app.data_dir, name)
        subprocess.run([enhtool, 'make', '-', path], input=description.encode(), check=True)
        shown = subprocess.run([enhtool, 'show', path], stdout=subprocess.PIPE, text=True).stdout
        print('\n'.join('   ' + line for line in shown.splitlines()))

    radio = Radiosim(port=1, prefix=session.prefix, workdir=os.path.join(app.folder, 'radiosim'),
                     model=MODEL, version='1.01.00', option_code=bytes.fromhex(CODE), option_bytes=OPTIONS)
    radio.start()
    print('== radiosim: a %s on COM1 (%s), option bytes %s' % (MODEL, radio.slave, OPTIONS.hex(' ')))

    for caption, text in app.start_past_warnings(env=radio.wine_env(session.env)):
        print('message:    [%s] %s (answered OK)' % (caption, text.replace('\n', ' ')))

    if not drive:
        print('== ORVELLE.exe is open on %s: press Upgrade, then close the program' % display)
        app.proc.wait()
    else:
        drv = session.driver
        print('== pressing Upgrade')
        start = time.monotonic()
        drv.click(app.hwnd, 1006)
        shots = 0
        while True:
            try:
                box = app.message_box(timeout_ms=2000)
            except DriverError:
                if app.caption() == lng[1] and app.enabled(1006):
                    break  # the run is over and nothing more is shown
                continue
            print('message:    [%s] %s  (%.1f s)' % (box.caption, box.text.replace('\r\n', ' ').replace('\n', ' '),
                                                     time.monotonic() - start))
            if shots == 0:
                print('screenshot: %s' % session.screenshot('main-upgrade-outcome'))
                shots += 1
            drv.press(box, IDOK)
        print('== run over: caption "%s", controls enabled' % app.caption())
        code = app.close()
        print('== closed (Yes at the close question), exit code %d' % code)

    radio.stop()
    result = radio.result()
    print('option bytes before: %s' % OPTIONS.hex(' '))
    final = result['final']
    print('option bytes after:  %s' % (final[42:50].hex(' ') if final else '(unknown)'))
    for record, answer in result['written']:
        print('record written (radio answered %s): %s' % (answer, record.hex()))
    if not result['written']:
        print('nothing was written to the radio')
    print('radiosim log: %s' % radio.log_path)
finally:
    if radio is not None:
        radio.stop()
    session.stop()
PY
}

setup
build_tools
build_product
run_upgrade
