#!/bin/sh
# Runs a MinGW test program under Wine in a private, throw-away prefix and
# passes its exit code on. Usage: run_under_wine.sh PROGRAM.exe [ARGS...]
# Without a DISPLAY it starts a private Xvfb, so that window and text
# measuring tests see a real display driver.
set -eu
wine=${TARVIK_WINE:-/usr/lib/wine/wine64}
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
server=${TARVIK_WINESERVER:-/usr/lib/wine/wineserver}
[ -x "$server" ] || server=$(command -v wineserver)

prefix=$(mktemp -d /tmp/tarvik-wine-XXXXXX)
xvfb_pid=""
cleanup() {
    WINEPREFIX=$prefix "$server" -k 2>/dev/null || true
    WINEPREFIX=$prefix timeout 30 "$server" -w 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$prefix"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null 2>&1; then
    fifo=$prefix/.displayfd
    mkfifo "$fifo"
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$fifo" >/dev/null 2>&1 &
    xvfb_pid=$!
    if read -r num <"$fifo"; then
        export DISPLAY=":$num"
    fi
    rm -f "$fifo"
fi

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$(dirname "$0")/../wine_template.sh" "$prefix"
# ctest's bound is the one for emulated 32-bit code (CMakeLists.txt); where the
# program runs natively, its own bound holds.
limit=600
[ "${TARVIK_IA32:-}" = emulated ] && [ "${TARVIK_ARCH:-}" = i686 ] && limit=3000
timeout "$limit" "$wine" "$@"
