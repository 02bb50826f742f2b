#!/bin/bash
# The two downloads of one Windows build, from its exes:
#
#   package.sh ARCH BINDIR VERSION OUTDIR
#     -> OUTDIR/tarvik-VERSION-ARCH.zip, OUTDIR/tarvik-VERSION-ARCH-setup.exe
#
# ARCH is win32 or win64, BINDIR holds tarvik.exe and tarvikctl.exe. Beside
# them go README.txt, LICENSE.txt and CHANGES.txt of this tree, with CR LF
# line ends for Notepad. Every file time is SOURCE_DATE_EPOCH (default: the
# last commit's) and the archive's entries are sorted, so the same input gives
# the same bytes. With TARVIK_SIGN_CERT and TARVIK_SIGN_KEY set, the exes, the
# uninstaller and the installer are signed (sign.sh). scripts/release.sh
# calls this for each build; the e2e level makes its installers with it.
set -euo pipefail

[ $# -eq 4 ] || { echo "usage: $0 win32|win64 BINDIR VERSION OUTDIR" >&2; exit 2; }
arch=$1 bin=$2 version=$3 out=$4
here=$(cd "$(dirname "$0")" && pwd)
tree=$(cd "$here/../.." && pwd)
: "${SOURCE_DATE_EPOCH:=$(git -C "$tree" log -1 --format=%ct 2>/dev/null || echo 315532800)}"
export SOURCE_DATE_EPOCH
quad=$version
while [ "$(tr -cd . <<<"$quad" | wc -c)" -lt 3 ]; do quad=$quad.0; done
signing=0
[ -n "${TARVIK_SIGN_CERT:-}" ] && [ -n "${TARVIK_SIGN_KEY:-}" ] && signing=1

mkdir -p "$out"
out=$(cd "$out" && pwd)
stage=$out/.stage-$arch
rm -rf "$stage"
mkdir -p "$stage"
cp "$bin/tarvik.exe" "$bin/tarvikctl.exe" "$stage/"
if [ $signing -eq 1 ]; then
    "$here/sign.sh" "$stage/tarvik.exe"
    "$here/sign.sh" "$stage/tarvikctl.exe"
fi
text() {  # text SOURCE DEST
    sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$1" >"$2"
}
text "$here/README.txt" "$stage/README.txt"
text "$tree/LICENSE" "$stage/LICENSE.txt"
text "$tree/CHANGES" "$stage/CHANGES.txt"
# The installer keeps each file's time, the archive too.
touch -d "@$SOURCE_DATE_EPOCH" "$stage"/*

python3 - "$out/tarvik-$version-$arch.zip" "$stage" <<'EOF'
import os, sys, time, zipfile
archive, stage = sys.argv[1], sys.argv[2]
# A zip time cannot be before 1980.
stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]
with zipfile.ZipFile(archive, "w") as z:
    for name in sorted(os.listdir(stage)):
        info = zipfile.ZipInfo(name, stamp)
        info.create_system = 0        # MS-DOS attributes: the same from any host
        info.external_attr = 0x20     # the archive bit
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(stage, name), "rb") as f:
            z.writestr(info, f.read(), compresslevel=9)
EOF

setup=$out/tarvik-$version-$arch-setup.exe
defines=(-DVERSION="$version" -DVERSION_QUAD="$quad" -DARCH="$arch" -DFILES="$stage"
         -DICON="$tree/resources/icons/app.ico" -DOUTFILE="$setup")
[ $signing -eq 1 ] && defines+=(-DSIGN="$here/sign.sh")
if ! makensis -V2 -WX "${defines[@]}" "$here/tarvik.nsi" >"$stage.log" 2>&1; then
    echo "package: makensis failed:" >&2
    cat "$stage.log" >&2
    exit 1
fi
[ $signing -eq 1 ] && "$here/sign.sh" "$setup"
rm -rf "$stage" "$stage.log"
