#!/usr/bin/env bash
# Installs what building and testing need, on a fresh Debian machine.
# Idempotent: does nothing when everything is already there.
set -euo pipefail

need=()
have() { command -v "$1" >/dev/null 2>&1; }
pkg_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have i686-w64-mingw32-windres || need+=(binutils-mingw-w64-i686)
have x86_64-w64-mingw32-windres || need+=(binutils-mingw-w64-x86-64)
# Debian puts the 64-bit loader in /usr/lib/wine, not on PATH: asked by package.
pkg_installed wine64 || need+=(wine64)
have wine || need+=(wine)
pkg_installed wine32:i386 || need+=(wine32:i386)
pkg_installed fonts-wine || need+=(fonts-wine)
have Xvfb || need+=(xvfb)
have xvfb-run || need+=(xvfb xauth)
have import || need+=(imagemagick)
have cmake || need+=(cmake)
have g++ || need+=(g++)
pkg_installed gcc-multilib || need+=(gcc-multilib)
have clang++ || need+=(clang)
# The sanitizer and libFuzzer runtime of the same version as clang (Debian 12
# has clang 14, Debian 13 clang 19); where clang is still missing, added once
# it is installed.
clang_runtime() {
    local major
    major=$(clang --version 2>/dev/null | sed -nE 's/.*clang version ([0-9]+)\..*/\1/p' | head -n 1)
    [ -n "$major" ] && echo "libclang-rt-$major-dev"
}
runtime=$(clang_runtime || true)
[ -z "$runtime" ] || pkg_installed "$runtime" || need+=("$runtime")
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
have python3 || need+=(python3)
# Packaging: the installer, and the Japanese locale and font its test and
# the screenshots need.
have makensis || need+=(nsis)
# Signing (and the throw-away certificate its test makes), and the YAML
# reader of the manifest test.
have osslsigncode || need+=(osslsigncode)
have openssl || need+=(openssl)
pkg_installed python3-yaml || need+=(python3-yaml)
have localedef || need+=(locales)
pkg_installed fonts-ipafont-gothic || need+=(fonts-ipafont-gothic)

# Wine maps Unix file names through the C library's locale; the Japanese
# end-to-end test needs a real ja_JP.UTF-8.
make_locales() {
    if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
        localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
    fi
}

if [ ${#need[@]} -eq 0 ]; then
    make_locales
    exit 0
fi

echo "setup: installing ${need[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -q
apt-get install -y -q --no-install-recommends "${need[@]}"
if [ -z "$runtime" ]; then
    runtime=$(clang_runtime)
    pkg_installed "$runtime" || apt-get install -y -q --no-install-recommends "$runtime"
fi
make_locales
