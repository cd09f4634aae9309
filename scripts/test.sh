#!/usr/bin/env bash
# The test command: installs what is missing, builds every target and runs
# every test.
#   native      portable modules and tools, plain
#   native-san  the same under AddressSanitizer and UndefinedBehaviorSanitizer
#   fuzz        a short run of each libFuzzer target (clang)
#   win32       the product target under Wine: unit and end-to-end tests
#   win64       the 64-bit build under Wine: unit tests
#   win32-release, win64-release
#               the optimised programs, their packages (CPack, into
#               build/package/, with the winget and Scoop manifests) and the
#               package tests under Wine
#   win64-signed
#               the release of the target that runs here, signed with a
#               throw-away certificate (build/package-signed/), its
#               signatures checked and its installer and programs run
# ORVELLE_BUILD_ROOT moves the build folders (default: build/ in the tree).
# ORVELLE_FUZZ_SECONDS sets each fuzz target's run (default 20).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh

build=${ORVELLE_BUILD_ROOT:-$root/build}
jobs=$(nproc)
fuzz_seconds=${ORVELLE_FUZZ_SECONDS:-20}
summary=()
failed_total=0
passed_total=0

# run_ctest <label> <ctest args...>: runs ctest, records its counts.
run_ctest() {
    local label=$1
    shift
    local log
    log=$(mktemp)
    local rc=0
    ctest --output-on-failure "$@" 2>&1 | tee "$log" || rc=$?
    [ "${PIPESTATUS[0]}" -eq 0 ] || rc=1
    local line total failed
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
    if [ -n "$line" ]; then
        failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
        total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
    else
        total=0
        failed=$((rc != 0))
    fi
    passed_total=$((passed_total + total - failed))
    failed_total=$((failed_total + failed))
    if [ "$rc" -ne 0 ] && [ "$failed" -eq 0 ]; then
        failed_total=$((failed_total + 1))
    fi
    summary+=("$label: $((total - failed)) passed, $failed failed")
    rm -f "$log"
}

configure_and_build() {
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
}

echo "== native"
configure_and_build "$build/native" -DCMAKE_BUILD_TYPE=Debug
run_ctest native --test-dir "$build/native" -j"$jobs"

echo "== native with sanitizers"
configure_and_build "$build/native-san" -DCMAKE_BUILD_TYPE=Debug -DORVELLE_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_ctest native-san --test-dir "$build/native-san" -j"$jobs"

echo "== fuzz targets (${fuzz_seconds}s each)"
CC=clang CXX=clang++ configure_and_build "$build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVELLE_FUZZ=ON -DORVELLE_TESTS=OFF
fuzz_failed=0
fuzz_passed=0
for target in "$build"/fuzz/tests/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=$(mktemp -d)
    seeds="$root/tests/fuzz/corpus/${name#fuzz_}"
    if "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" $( [ -d "$seeds" ] && echo "$seeds" ) \
        >"$build/fuzz/$name.log" 2>&1; then
        fuzz_passed=$((fuzz_passed + 1))
        echo "$name: $(grep -Eo 'DONE +cov: [0-9]+.*' "$build/fuzz/$name.log" | head -n 1 || echo ok)"
    else
        fuzz_failed=$((fuzz_failed + 1))
        tail -n 40 "$build/fuzz/$name.log"
    fi
    rm -rf "$corpus"
done
passed_total=$((passed_total + fuzz_passed))
failed_total=$((failed_total + fuzz_failed))
summary+=("fuzz: $fuzz_passed passed, $fuzz_failed failed")

# Windows tests need an X server; unless one is given, start our own.
xvfb_pid=
if [ -z "${ORVELLE_TEST_DISPLAY:-}" ]; then
    displayfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -s "$displayfile" ] && break; sleep 0.1; done
    export DISPLAY=":$(cat "$displayfile")"
    rm -f "$displayfile"
    trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true' EXIT
else
    export DISPLAY=$ORVELLE_TEST_DISPLAY
fi

. "$root/scripts/wine-env.sh"
wine_env
# Some kernels cannot execute 32-bit programs at all (ia32 emulation off):
# there the 32-bit build is still built, and its tests, end to end included,
# run against the 64-bit build instead.
if scripts/can-run-32bit; then
    e2e_target=win32
else
    e2e_target=win64
    echo "note: this machine cannot execute 32-bit programs; the win32 build is built but not run," \
        "and the end-to-end tests run against win64"
fi
for target in win32 win64; do
    echo "== $target (under Wine, DISPLAY=$DISPLAY)"
    if [ "$target" = win32 ]; then
        toolchain=cmake/toolchain-i686-w64-mingw32.cmake
    else
        toolchain=cmake/toolchain-x86_64-w64-mingw32.cmake
    fi
    e2e=OFF
    [ "$target" = "$e2e_target" ] && e2e=ON
    configure_and_build "$build/$target" --toolchain "$root/$toolchain" -DCMAKE_BUILD_TYPE=Debug \
        -DORVELLE_E2E_TESTS=$e2e -DORVELLE_NATIVE_BUILD_DIR="$build/native"
    # A target whose programs this machine cannot execute is built and
    # packaged, not run.
    runs=1
    if [ "$target" = win32 ] && [ "$e2e_target" != win32 ]; then
        runs=0
    fi
    if [ "$runs" -eq 1 ]; then
        # Create the test prefix up front (a fresh prefix takes 10-20 s), with
        # no server of an earlier run left in it.
        scripts/wine-prefix start "$build/$target/wineprefix"
        # One at a time: Wine programs starting together can race to start the
        # wineserver, and the loser ends with "wine client error". The unit tests
        # take seconds and the end-to-end tests run one at a time anyway.
        run_ctest "$target" --test-dir "$build/$target"
        # The end-to-end tests end their prefix's server themselves; a test
        # killed on a time-out may not have.
        for prefix in "$build/$target/wineprefix" "$build/$target/wineprefix-e2e"; do
            scripts/wine-prefix stop "$prefix"
        done
    else
        summary+=("$target: built, not run (no 32-bit execution on this machine)")
    fi

    echo "== $target release packages"
    configure_and_build "$build/$target-release" --toolchain "$root/$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DORVELLE_TESTS=OFF -DORVELLE_PACKAGE_TESTS=ON -DORVELLE_NATIVE_BUILD_DIR="$build/native" \
        -DORVELLE_PACKAGE_DIR="$build/package"
    cmake --build "$build/$target-release" --target package
    if [ "$runs" -eq 1 ]; then
        run_ctest "$target-release" --test-dir "$build/$target-release"
        # The same release signed with a throw-away certificate, packaged
        # apart from the real packages: its signatures checked, the signed
        # installer and programs run.
        echo "== $target signed release (throw-away certificate)"
        rm -rf "$build/test-certificate"
        scripts/make-test-certificate "$build/test-certificate"
        configure_and_build "$build/$target-signed" --toolchain "$root/$toolchain" -DCMAKE_BUILD_TYPE=Release \
            -DORVELLE_TESTS=OFF -DORVELLE_PACKAGE_TESTS=ON -DORVELLE_NATIVE_BUILD_DIR="$build/native" \
            -DORVELLE_PACKAGE_DIR="$build/package-signed" \
            -DORVELLE_SIGN_PKCS12="$build/test-certificate/orvelle-test.p12" \
            -DORVELLE_SIGN_PASSWORD_FILE="$build/test-certificate/password.txt"
        cmake --build "$build/$target-signed" --target package
        run_ctest "$target-signed" --test-dir "$build/$target-signed" -L signed
    else
        # Read, not run: the packages' files, headers and manifests.
        run_ctest "$target-release (inspected)" --test-dir "$build/$target-release" -L inspect
    fi
done

echo
echo "== summary"
printf '%s\n' "${summary[@]}"
echo "$passed_total passed, $failed_total failed"
[ "$failed_total" -eq 0 ]
