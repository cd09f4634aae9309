#!/usr/bin/env bash
# The main job: an upgrade of a (simulated) transceiver.
#
# Installs what is missing, builds the 32-bit product (the 64-bit one where
# the kernel cannot execute 32-bit programs) and the native tools,
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
. "$root/scripts/wine-env.sh"
wine_env
bits=32
toolchain=$root/cmake/toolchain-i686-w64-mingw32.cmake
setup() {
    bash scripts/setup.sh
}
setup
if ! scripts/can-run-32bit; then
    bits=64
    toolchain=$root/cmake/toolchain-x86_64-w64-mingw32.cmake
fi
build=$build_root/main-win$bits
native=$build_root/main-native
export WINEPREFIX=$build/wineprefix-main
export ORVELLE_BUILD_DIR=$build
export ORVELLE_NATIVE_BUILD_DIR=$native
export ORVELLE_ARTIFACTS_DIR=$build/artifacts

build_tools() {
    echo "== building radiosim, the pty shim and enhtool in $native"
    cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVELLE_TESTS=OFF >/dev/null
    cmake --build "$native" -j"$(nproc)" --target radiosim ptyshim ptyshim32 enhtool
}

build_product() {
    echo "== building ORVELLE.exe ($bits-bit) in $build"
    cmake -S "$root" -B "$build" --toolchain "$toolchain" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVELLE_TESTS=OFF >/dev/null
    cmake --build "$build" -j"$(nproc)" --target ORVELLE uidriver
}

# Radio, option files and program, through the end-to-end harness.
run_upgrade() {
    python3 "$root/scripts/main_upgrade.py" "$build/run"
}

build_tools
build_product
run_upgrade
