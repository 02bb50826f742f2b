#!/bin/sh
# Installs the Debian packages Tarvik's build and tests need, only those that
# are missing.
# Usage: scripts/deps.sh [build|run|test|release]  (default: test, all).
# Needs root (or sudo) only when something is missing.
set -eu

what=${1:-test}

# Build: the host compiler and both MinGW-w64 compilers (64- and 32-bit),
# CMake, the host test and benchmark libraries, libcrypto for MD5 on the host,
# libcrypt as the tests' reference for the password hash, the JSON reader of
# the simulator.
build_pkgs="cmake make g++ g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 g++-mingw-w64-i686
binutils-mingw-w64-i686 googletest libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
libssl-dev libcrypt-dev"
# Running tarvik.exe: Wine (64-bit, and the 32-bit part for the win32 build),
# an X server without a screen, screenshots, and tools to find windows and click.
run_pkgs="wine64 wine32:i386 xvfb xauth x11-utils imagemagick xdotool"
# The test levels: pytest for e2e, clang-format and clang-tidy for the source
# checks, sg3-utils and sdparm as independent decoders of the simulator's answers;
# for the package level dpkg-shlibdeps (dpkg-dev) and file, which CPack uses
# for Depends, and groff for the man page check.
test_pkgs="python3 python3-pytest clang-format clang-tidy sg3-utils sdparm dpkg-dev file groff-base"
# The vm level: QEMU and its image tool, the busybox guest's pieces (busybox,
# cpio, depmod), the Debian guest's (mmdebstrap, mke2fs).
vm_pkgs="qemu-system-x86 qemu-utils busybox-static cpio kmod e2fsprogs mmdebstrap"
# The release (scripts/release.sh): the installers (makensis), signing
# (osslsigncode; openssl makes the release level's throw-away certificate),
# the Debian package as the package level makes it.
release_pkgs="nsis osslsigncode openssl python3 dpkg-dev file"

case $what in
    build) pkgs=$build_pkgs ;;
    run) pkgs="$build_pkgs $run_pkgs" ;;
    test) pkgs="$build_pkgs $run_pkgs $test_pkgs $vm_pkgs $release_pkgs" ;;
    release) pkgs="$build_pkgs $release_pkgs" ;;
    *) echo "usage: $0 [build|run|test|release]" >&2; exit 2 ;;
esac

missing=""
for p in $pkgs; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
    sudo=""
elif command -v sudo >/dev/null 2>&1; then
    sudo="sudo"
else
    echo "deps.sh: not root and no sudo; install these first:$missing" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
case $missing in
    *:i386*)
        # Wine's 32-bit part comes from the i386 architecture.
        dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386 ;;
esac
$sudo apt-get update -q
# shellcheck disable=SC2086 # one word per package
$sudo apt-get install -y -q --no-install-recommends $missing
