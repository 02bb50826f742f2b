#!/bin/bash
# Builds what a user downloads, from the committed tree, into dist/:
#
#   scripts/release.sh [--out DIR] [--dirty] [--no-build]
#
#   tarvik-VERSION-win32.zip, tarvik-VERSION-win64.zip   the exes, README.txt,
#                                   LICENSE.txt, CHANGES.txt
#   tarvik-VERSION-win32-setup.exe, ...-win64-setup.exe  per-user installers (NSIS)
#   tarvik_VERSION_amd64.deb        tarvikctl for Debian
#   winget/                         the three manifests for the installers
#   SHA256SUMS                      over all of the above
#
# The tree is exported from git (HEAD; with --dirty the working tree's tracked
# files as they are) into build/release/src and built there in fresh build
# folders, so what is lying around in the clone does not get in. The same
# commit gives the same bytes: no link time stamps in the exes, every file
# time in the archives and installers is the last commit's
# (SOURCE_DATE_EPOCH), archive entries are sorted.
#
# Signing: with TARVIK_SIGN_CERT and TARVIK_SIGN_KEY set, the exes, the
# uninstaller and the installers are signed with osslsigncode
# (packaging/windows/package.sh and sign.sh). An encrypted key's password is
# read from the file TARVIK_SIGN_PASS_FILE names, never from a command line;
# TARVIK_SIGN_TS_URL names an RFC 3161 time-stamp server, so that the
# signatures outlive the certificate. A signature holds its time, so signed
# files differ from build to build.
#
# --out DIR (default dist/) is emptied first, so it must be a new or empty
# folder, or one this script made (it leaves a stamp file, .release-output,
# that is in no checksum): any other folder is refused before anything is built.
# --no-build packages the exes of the last build again (for a signed set).
#
# TARVIK_RELEASE_URL: the folder the installers will be downloadable from,
# written into the winget manifest (the default is a placeholder to replace).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
out=$repo/dist
dirty=0
build=1
while [ $# -gt 0 ]; do
    case $1 in
        --out) out=$(realpath -m "$2"); shift 2 ;;
        --dirty) dirty=1; shift ;;
        --no-build) build=0; shift ;;
        *) echo "usage: $0 [--out DIR] [--dirty] [--no-build]" >&2; exit 2 ;;
    esac
done

# A folder the script empties: refused unless it is new, empty or its own.
stamp=.release-output
if [ -e "$out" ] || [ -L "$out" ]; then
    if [ ! -d "$out" ]; then
        echo "release: --out $out is not a folder" >&2
        exit 1
    fi
    if [ ! -f "$out/$stamp" ] && [ -n "$(ls -A "$out")" ]; then
        echo "release: --out $out is not empty and was not made by this script" \
            "(no $stamp in it): name a new or empty folder" >&2
        exit 1
    fi
fi

work=$repo/build/release
src=$work/src
cd "$repo"
"$repo/scripts/deps.sh" release

# ---- the tree ---------------------------------------------------------------
commit=HEAD
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    if [ $dirty -eq 0 ]; then
        echo "release: the working tree has uncommitted changes; commit them or use --dirty" >&2
        exit 1
    fi
    # A commit object of the working tree, made without touching it.
    commit=$(git stash create)
fi
# The files' times are the last commit's, dirty or not.
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct HEAD)
export SOURCE_DATE_EPOCH
if [ $build -eq 1 ]; then
    rm -rf "$work"
    mkdir -p "$src"
    git archive --format=tar "$commit" | tar -x -C "$src"
fi
[ -f "$src/CMakeLists.txt" ] || { echo "release: no earlier build to package ($src)" >&2; exit 1; }
version=$(sed -n 's/^project(Tarvik VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")

# ---- builds -----------------------------------------------------------------
# The program's own build of each architecture (as the presets' program/
# folders), and the host build for the package.
if [ $build -eq 1 ]; then
    for arch in win64:x86_64 win32:i686; do
        dir=$work/${arch%%:*}
        cmake -S "$src" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64.cmake" \
            -DTARVIK_MINGW_ARCH="${arch#*:}" -DTARVIK_MINGW_THREADS=win32 -DTARVIK_PROGRAM_ONLY=ON \
            -DCMAKE_BUILD_TYPE=MinSizeRel >"$dir.log" 2>&1 &&
            cmake --build "$dir" -j2 --target tarvik tarvikctl >>"$dir.log" 2>&1 ||
            { echo "release: the ${arch%%:*} build failed ($dir.log):" >&2; tail -20 "$dir.log" >&2; exit 1; }
    done
    cmake -S "$src" -B "$work/host" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$work/host.log" 2>&1 &&
        cmake --build "$work/host" -j2 --target tarvikctl tarvikctl_man >>"$work/host.log" 2>&1 &&
        (cd "$work/host" && cpack -G DEB) >>"$work/host.log" 2>&1 ||
        { echo "release: the host build or its package failed ($work/host.log):" >&2
          tail -20 "$work/host.log" >&2; exit 1; }
fi

signing=0
[ -n "${TARVIK_SIGN_CERT:-}" ] && [ -n "${TARVIK_SIGN_KEY:-}" ] && signing=1
rm -rf "$out"
mkdir -p "$out/winget"
echo "made by scripts/release.sh; the next run empties this folder" >"$out/$stamp"
touch -d "@$SOURCE_DATE_EPOCH" "$out/$stamp"
for arch in win32 win64; do
    "$src/packaging/windows/package.sh" "$arch" "$work/$arch/bin" "$version" "$out"
done
cp "$work/host"/tarvik_"$version"_*.deb "$out/"

# ---- winget -------------------------------------------------------------------
url=${TARVIK_RELEASE_URL:-https://releases.example.invalid/tarvik/$version}
id=TarvikDevelopers.Tarvik
sha() { sha256sum "$1" | cut -d' ' -f1 | tr a-f A-F; }
cat >"$out/winget/$id.yaml" <<EOF
PackageIdentifier: $id
PackageVersion: "$version"
DefaultLocale: en-US
ManifestType: version
ManifestVersion: 1.6.0
EOF
cat >"$out/winget/$id.locale.en-US.yaml" <<EOF
PackageIdentifier: $id
PackageVersion: "$version"
PackageLocale: en-US
Publisher: Tarvik developers
PackageName: Tarvik
Moniker: tarvik
License: MIT
ShortDescription: Keeps CD, DVD and Blu-ray drives quiet by limiting their read speed.
Description: |-
  A notification-area program that limits the read speed of optical drives and keeps the
  limit in force across disc changes, tray closes and resumes. It also ejects, closes and
  locks trays from its menu, with hot keys or at the end of the session.
Tags:
- cd
- dvd
- blu-ray
- optical-drive
- tray
ManifestType: defaultLocale
ManifestVersion: 1.6.0
EOF
cat >"$out/winget/$id.installer.yaml" <<EOF
PackageIdentifier: $id
PackageVersion: "$version"
InstallerType: nullsoft
Scope: user
InstallModes:
- interactive
- silent
- silentWithProgress
InstallerSwitches:
  Silent: /S
  SilentWithProgress: /S
  InstallLocation: /D=<INSTALLPATH>
UpgradeBehavior: install
ProductCode: Tarvik
ReleaseDate: $(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)
AppsAndFeaturesEntries:
- DisplayName: Tarvik
  Publisher: Tarvik developers
  DisplayVersion: "$version"
  ProductCode: Tarvik
Installers:
- Architecture: x86
  InstallerUrl: $url/tarvik-$version-win32-setup.exe
  InstallerSha256: $(sha "$out/tarvik-$version-win32-setup.exe")
- Architecture: x64
  InstallerUrl: $url/tarvik-$version-win64-setup.exe
  InstallerSha256: $(sha "$out/tarvik-$version-win64-setup.exe")
ManifestType: installer
ManifestVersion: 1.6.0
EOF
touch -d "@$SOURCE_DATE_EPOCH" "$out"/winget/*

(cd "$out" && find . -type f ! -name SHA256SUMS ! -name "$stamp" -printf '%P\n' | LC_ALL=C sort |
    xargs sha256sum >SHA256SUMS)
echo "release: Tarvik $version from $(git rev-parse --short HEAD)$([ "$commit" = HEAD ] || echo ' + working tree'),"\
     "$([ $signing -eq 1 ] && echo signed || echo unsigned), in ${out#"$repo"/}:"
(cd "$out" && find . -type f ! -name "$stamp" -printf '%P\n' | LC_ALL=C sort | xargs stat -c '%10s  %n')
