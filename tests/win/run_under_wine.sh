#!/bin/sh
# Runs a MinGW test program under Wine in a private, throw-away prefix.
set -eu
prefix=$(mktemp -d /tmp/tarvik-wine-XXXXXX)
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
/usr/lib/wine/wine64 "$@"
