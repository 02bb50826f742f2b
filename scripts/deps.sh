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
# an X server without a screen, screenshots, and tools to find windows and click;
# the locale sources the language tests build their German and Russian from.
run_pkgs="wine64 wine32:i386 xvfb xauth x11-utils imagemagick xdotool locales"
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

# A mirror in the middle of a sync serves an index of the wrong size for a
# while. Try again a few times, then go on with the indexes apt has: the
# packages may well be in them.
tries=3
for try in $(seq $tries); do
    $sudo apt-get update -q && break
    if [ "$try" -lt $tries ]; then
        echo "deps.sh: apt-get update failed (try $try of $tries); trying again in 20 s"
        sleep 20
    else
        echo "deps.sh: some package indexes could not be fetched; going on with the ones apt has"
    fi
done

apt_install() {  # apt_install [APT OPTIONS...]: the missing packages; apt's output in $log
    # shellcheck disable=SC2086 # one word per package
    $sudo apt-get install -y -q --no-install-recommends "$@" $missing >"$log" 2>&1
    rc=$?
    cat "$log"
    return $rc
}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
apt_install && exit 0

# An i386 library must have the very version of its amd64 twin. When the
# security suite's i386 index is missing (or lags), the amd64 side is newer
# and apt finds no solution. The main suite holds one version for both
# architectures: take that, and bring back to it any amd64 twin installed
# newer.
case $missing in *:i386*) ;; *) exit 1 ;; esac
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$suite" ] || exit 1
pins=""
for name in $(grep -o '[a-z0-9][a-z0-9.+-]*:i386' "$log" | sed 's/:i386$//' | sort -u); do
    have=$(dpkg-query -W -f='${Version}' "$name:amd64" 2>/dev/null) || continue
    [ -n "$have" ] || continue
    want=$(apt-cache policy -t "$suite" "$name:i386" | sed -n 's/^  Candidate: //p')
    case $want in "" | "(none)") continue ;; esac
    if dpkg --compare-versions "$have" gt "$want"; then
        pins="$pins $name:amd64=$want $name:i386=$want"
    fi
done
echo "deps.sh: the install failed; an i386 package has no version matching its amd64 twin"
echo "deps.sh: installing from $suite, the versions both architectures share${pins:+, with$pins}"
# shellcheck disable=SC2086 # one word per package
if apt_install -t "$suite" --allow-downgrades $pins; then
    echo "deps.sh: installed from $suite"
    exit 0
fi
cannot=$(sed -n -e 's/^E: Unable to locate package \(.*\)/\1/p' \
    -e "s/^E: Package '\\(.*\\)' has no installation candidate/\\1/p" \
    -e 's/.*Depends: \([^ ]*\).* but it is not installable.*/\1/p' "$log" | sort -u | tr '\n' ' ')
echo "deps.sh: cannot install: ${cannot:-see apt's messages above}" >&2
exit 1
