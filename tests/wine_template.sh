#!/bin/sh
# Makes DEST a fresh Wine prefix: a copy of a booted one, the template, which
# is booted first when it is missing or was made by another Wine.
#   tests/wine_template.sh DEST
# Booting a prefix takes 10 s, and 2 to 3 minutes where 32-bit code runs under
# emulation (Wine boots its 32-bit side too); a copy takes a second or two. One
# template serves every build and level (TARVIK_WINE_TEMPLATE, default
# build/wine-template); a lock keeps two levels from booting it at once.
set -eu
dest=${1:?usage: $0 DEST}
repo=$(cd "$(dirname "$0")/.." && pwd)
template=${TARVIK_WINE_TEMPLATE:-$repo/build/wine-template}
wine=${TARVIK_WINE:-/usr/lib/wine/wine64}
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
server=${TARVIK_WINESERVER:-/usr/lib/wine/wineserver}
[ -x "$server" ] || server=$(command -v wineserver)

# A prefix booted without 32-bit code lacks its 32-bit side: boot again once it runs.
ia32=64
/usr/lib/wine/wine --version >/dev/null 2>&1 && ia32=32
stamp="$("$wine" --version) $ia32"
# Emulated 32-bit code boots slowly; the bound where it runs natively stays.
bound=120
[ "${TARVIK_IA32:-}" = emulated ] && bound=1500

mkdir -p "$(dirname "$template")"
exec 9>"$template.lock"
flock 9
if [ "$(cat "$template/.tarvik-template" 2>/dev/null)" != "$stamp" ]; then
    new=$template.new
    rm -rf "$new" "$template"
    mkdir -p "$new"
    # No display: nothing a prefix keeps depends on one.
    if ! WINEPREFIX=$new WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY="" \
        timeout "$bound" "$wine" wineboot -i >/dev/null 2>&1 ||
        ! WINEPREFIX=$new timeout "$bound" "$server" -w; then
        WINEPREFIX=$new "$server" -k 2>/dev/null || true
        rm -rf "$new"
        echo "$0: wineboot did not finish within $bound s" >&2
        exit 1
    fi
    echo "$stamp" >"$new/.tarvik-template"
    mv "$new" "$template"
fi
# The system folders (1.2 of the 1.3 GB) are hard links: nothing a test does
# writes into them, and a copy of them would cost more than the boot.
mkdir -p "$dest"
tar -C "$template" --exclude=./.tarvik-template --exclude="./drive_c/windows/system32" \
    --exclude=./drive_c/windows/syswow64 --exclude=./drive_c/windows/winsxs -cf - . |
    tar -C "$dest" -xf -
for d in system32 syswow64 winsxs; do
    [ -d "$template/drive_c/windows/$d" ] && cp -al "$template/drive_c/windows/$d" "$dest/drive_c/windows/"
done
