#!/usr/bin/env bash
# The main job: installs what is missing, builds the 32-bit product and runs
# ORVELLE.exe under Wine in a folder of its own with its language file.
#
# It shows the main dialog on $DISPLAY if set, otherwise on an Xvfb of its
# own, saves a screenshot of it and prints where, then closes the program
# the way a user does (Esc, Yes at the close question) and shows the
# settings file the program wrote.
#
#   ORVELLE_BUILD_ROOT  moves the build folders (default: build/ in the tree)
#   ORVELLE_KEEP_OPEN=1 with a $DISPLAY: leave the program open for you to use
#
# Each step is a function; a later step (an upgrade against the simulated
# transceiver) goes into run_program between the screenshot and the close.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

build_root=${ORVELLE_BUILD_ROOT:-$root/build}
build=$build_root/main-win32
export WINEPREFIX=$build/wineprefix-main
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export ORVELLE_BUILD_DIR=$build
export ORVELLE_ARTIFACTS_DIR=$build/artifacts

setup() {
    bash scripts/setup.sh
}

build_product() {
    echo "== building ORVELLE.exe (32-bit) in $build"
    cmake -S "$root" -B "$build" --toolchain "$root/cmake/toolchain-i686-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVELLE_TESTS=OFF >/dev/null
    cmake --build "$build" -j"$(nproc)" --target ORVELLE uidriver
}

# Drives the program through tools/uidriver with the end-to-end harness.
run_program() {
    mkdir -p "$build/run"
    python3 - "$root" "$build/run" <<'PY'
import os
import sys

root, run_root = sys.argv[1], sys.argv[2]
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(root, 'tests', 'e2e'))
from harness.orvelle import OrvelleApp, WineSession

session = WineSession(display=os.environ.get('DISPLAY'))
print('== starting ORVELLE.exe under Wine on %s' % (os.environ.get('DISPLAY') or 'a private Xvfb'))
session.start()
try:
    app = OrvelleApp(session, work_root=run_root)
    print('folder:     %s' % app.folder)
    for caption, text in app.start_past_warnings():
        print('message:    [%s] %s (answered OK)' % (caption, text.replace('\n', ' ')))
    info = app.info()
    print('dialog:     "%s"' % info.caption)
    for child in info.children:
        if child['text']:
            print('  %-6d %s' % (child['id'], child['text']))
    print('screenshot: %s' % app.screenshot('main-dialog'))

    if os.environ.get('ORVELLE_KEEP_OPEN') and os.environ.get('DISPLAY'):
        print('== the program stays open; close it yourself')
        app.proc.wait()
    else:
        code = app.close()
        print('== closed (Yes at the close question), exit code %d' % code)
        print('settings:   %s' % app.ini_path)
        for line in app.ini_lines():
            print('  ' + line)
finally:
    session.stop()
PY
}

setup
build_product
run_program
