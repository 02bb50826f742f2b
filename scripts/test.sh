#!/bin/bash
# Runs every test level of Tarvik.
#
#   scripts/test.sh [unit|asan|win|e2e|package|release|vm|format|tidy|size ...]   (default: all ten)
#
# Installs what is missing (Debian 12, apt-get, as root), configures the
# presets it needs when they are not configured yet, builds them, then runs
#   unit   ctest -L unit in build/host   (GoogleTest, Linux)
#   asan   the same tests in build/asan, built with clang, AddressSanitizer and
#          UBSan; any finding ends the test that made it
#   win    ctest -L win  in build/win64 and build/win32 (MinGW GoogleTest under Wine)
#   e2e    ctest -L e2e  in build/win64  (the real tarvik.exe under Wine on Xvfb,
#          with tarvikctl from build/host); prints pytest's summary; in
#          build/win32 the checks of the 32-bit exes, one pass through the
#          program's life and tarvikctl.exe
#   package cpack -G DEB in build/host: the .deb holds exactly tarvikctl, the
#          udev rules, the three service units, the system-sleep hook and the
#          gzipped man page, its control fields are set; cmake --install puts
#          the same files and no others; the man page renders without a groff
#          warning; udevadm verify checks the rules where it has that command
#          (the unit level parses them too)
#   release scripts/release.sh twice from the committed tree (with the working
#          tree's changes): both runs give the same bytes in every file; the
#          downloads hold what they should and SHA256SUMS and the winget
#          manifest name them; then the same exes packaged again, signed with a
#          throw-away certificate made here, and every signature verified
#          (osslsigncode verify). Leaves the unsigned set in dist/
#   vm     pytest in tests/vm: QEMU boots the Debian kernel with CD drives on four
#          kernel paths (PIIX and AHCI ATAPI, virtio-scsi, USB); tarvikctl in a
#          busybox guest, the .deb and the exes under Wine in a Debian guest,
#          checked by QEMU's own command trace and tray/lock state; builds the
#          kernel tree and the Debian image once into a cache outside the clone
#          (TARVIK_VM_CACHE, default ~/.cache/tarvik-vm)
#   format clang-format --dry-run over the C++ sources; fails when a file
#          differs from .clang-format
#   tidy   clang-tidy (.clang-tidy) over src/ with the host and win64 builds
#   size   prints the size of both tarvik.exe and both tarvikctl.exe and fails when a
#          tarvik.exe is above 340 KB (64-bit) or 360 KB (32-bit) or a tarvikctl.exe above 800 KB
# A skipped test fails its level: every test can run on a machine set up by
# scripts/deps.sh, so a skip means something it needs is missing.
# 32-bit programs (the win32 build's levels, the NSIS installers) run natively,
# or emulated by qemu-user where the kernel runs none (set up here, as root);
# only where neither works are they left out, and the summary names them
# (scripts/ia32.sh).
# Every level runs even when an earlier one failed; the exit code is non-zero
# when any level (or a build) failed. Prints the time of each step.
set -uo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
levels=("$@")
[ ${#levels[@]} -eq 0 ] && levels=(unit asan win e2e package release vm format tidy size)
for l in "${levels[@]}"; do
    case $l in
        unit | asan | win | e2e | package | release | vm | format | tidy | size) ;;
        *) echo "usage: $0 [unit|asan|win|e2e|package|release|vm|format|tidy|size ...]" >&2
           exit 2 ;;
    esac
done
want() { local l; for l in "${levels[@]}"; do [ "$l" = "$1" ] && return 0; done; return 1; }

failed=()
passed=0
timings=()
step() {  # step NAME COMMAND...: runs, times and records one step
    local name=$1 start end rc
    shift
    echo
    echo "==== $name"
    start=$(date +%s%N)
    "$@"
    rc=$?
    end=$(date +%s%N)
    timings+=("$(awk -v n="$name" -v ns=$((end - start)) -v r="$([ $rc -eq 0 ] && echo ok ||
        echo "FAILED ($rc)")" 'BEGIN { printf "%-12s %8.1f s  %s", n, ns / 1e9, r }')")
    if [ $rc -eq 0 ]; then passed=$((passed + 1)); else failed+=("$name"); fi
    return $rc
}
not_run() {  # not_run NAME: a level whose build failed
    timings+=("$(printf '%-12s %8s    not run (build failed)' "$1" -)")
    failed+=("$1")
}
no_32bit=()
not_run_32() {  # not_run_32 NAME: a level of 32-bit programs on a machine that runs none
    timings+=("$(printf '%-12s %8s    not run (no 32-bit programs here)' "$1" -)")
    no_32bit+=("$1")
}

"$repo/scripts/deps.sh" test || exit 1

# The win32 build's tests and both installers are 32-bit programs: native,
# emulated (set up here where the kernel runs none and we are root), or not
# at all (only without root or binfmt_misc), which the summary then says.
# shellcheck source=scripts/ia32.sh
. "$repo/scripts/ia32.sh"
ia32_setup
ia32_line

configure() {  # configure PRESET: only when the build folder is not set up yet
    [ -f "build/$1/CMakeCache.txt" ] || cmake --preset "$1"
}

build() {  # build PRESET [--target T...]
    local preset=$1
    shift
    configure "$preset" && cmake --build "build/$preset" -j2 "$@"
}

host_ok=0
asan_ok=0
win_ok=0
if want unit || want tidy; then
    step "build host" build host && host_ok=1
elif want e2e || want package || want vm; then
    # The export test reads the program's file back with tarvikctl; the package
    # (also booted by the vm level) holds it and the man page.
    step "build host" build host --target tarvikctl tarvikctl_man && host_ok=1
fi
if want asan; then
    # Only what the unit tests run: the tests and tarvikctl, which some of them start.
    step "build asan" build asan --target tarvik_tests tarvikctl && asan_ok=1
fi
if want win || want e2e || want size || want tidy || want vm; then
    step "build win64" build win64 && win_ok=1
fi
# The 32-bit build: its own win level and e2e checks, and the size check.
win32_ok=0
if want win || want e2e || want size; then
    step "build win32" build win32 && win32_ok=1
fi

run_level() {  # run_level LABEL DIR [CTEST ARGS...]: the tests; fails on a skipped one too
    local label=$1 dir=$2 results skipped
    shift 2
    results="$repo/$dir/Testing/$label-results.xml"
    rm -f "$results"
    ctest --test-dir "$dir" -L "$label" --no-tests=error --output-on-failure \
        --output-junit "$results" "$@" || return 1
    skipped=$(grep -o 'skipped="[0-9]*"' "$results" 2>/dev/null | head -1 | tr -dc 0-9)
    if [ "${skipped:-0}" -gt 0 ]; then
        echo "$label: $skipped test(s) skipped (listed above); a skip fails the run"
        return 1
    fi
}

run_sanitized() {
    ASAN_OPTIONS="detect_stack_use_after_return=1:check_initialization_order=1:${ASAN_OPTIONS:-}" \
        UBSAN_OPTIONS="print_stacktrace=1:${UBSAN_OPTIONS:-}" run_level unit build/asan -j2
}

if want unit; then
    if [ $host_ok -eq 1 ]; then step "unit" run_level unit build/host -j2; else not_run unit; fi
fi
if want asan; then
    if [ $asan_ok -eq 1 ]; then step "asan" run_sanitized; else not_run asan; fi
fi
if want win; then
    if [ $win_ok -eq 1 ]; then step "win" run_level win build/win64; else not_run win; fi
fi
if want e2e; then
    # Verbose: pytest's summary, skips included, is shown when the level passes too.
    if [ $win_ok -eq 1 ] && [ $host_ok -eq 1 ]; then
        step "e2e" run_level e2e build/win64 --verbose
    else
        not_run e2e
    fi
fi
if want win; then
    if [ "$TARVIK_IA32" = none ]; then
        not_run_32 "win32 win"
    elif [ $win32_ok -eq 1 ]; then
        step "win32 win" run_level win build/win32
    else
        not_run "win32 win"
    fi
fi
if want e2e; then
    if [ "$TARVIK_IA32" = none ]; then
        not_run_32 "win32 e2e"
    elif [ $win32_ok -eq 1 ]; then
        step "win32 e2e" run_level e2e build/win32 --verbose
    else
        not_run "win32 e2e"
    fi
fi

exe_sizes() {  # the shipped exes of both builds against their limits (bench/exe_sizes.sh: sections)
    local rc=0 preset name limit exe size
    for preset in win64:340 win32:360; do  # tarvik.exe's limit in KB: the string tables
        for name in tarvik.exe:${preset#*:} tarvikctl.exe:800; do
            limit=$((${name#*:} * 1024))
            exe=build/${preset%:*}/bin/${name%:*}
            if [ ! -f "$exe" ]; then
                echo "size: $exe is missing"
                rc=1
                continue
            fi
            size=$(stat -c %s "$exe")
            printf 'size: %s  %d bytes (%d KB, limit %d KB)\n' "$exe" "$size" $(((size + 1023) / 1024)) \
                $((limit / 1024))
            if [ "$size" -gt "$limit" ]; then
                echo "size: $exe is larger than $((limit / 1024)) KB"
                rc=1
            fi
        done
    done
    return $rc
}
if want size; then
    if [ $win_ok -eq 1 ] && [ $win32_ok -eq 1 ]; then step "size" exe_sizes; else not_run size; fi
fi

package_check() {  # the Debian package and the install, in build/host
    local dir=$repo/build/host rc=0 deb got want version field value work
    want=$(printf '%s\n' ./usr/bin/tarvikctl ./usr/lib/udev/rules.d/60-tarvik.rules \
        ./usr/lib/systemd/system/tarvik-disc@.service ./usr/lib/systemd/system/tarvik-start@.service \
        ./usr/lib/systemd/system/tarvik-resume.service ./usr/lib/systemd/system-sleep/tarvik \
        ./usr/share/bash-completion/completions/tarvikctl ./usr/share/man/man1/tarvikctl.1.gz | sort)
    rm -f "$dir"/tarvik_*.deb
    if ! (cd "$dir" && cpack -G DEB >cpack.log 2>&1); then
        echo "package: cpack -G DEB failed ($dir/cpack.log):"
        tail -20 "$dir/cpack.log"
        return 1
    fi
    deb=$(ls "$dir"/tarvik_*.deb)
    printf 'package: %s  %d bytes\n' "${deb#"$repo"/}" "$(stat -c %s "$deb")"
    got=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
    if [ "$got" != "$want" ]; then
        echo "package: the .deb holds other files than expected:"
        diff <(echo "$want") <(echo "$got") | sed -n 's/^[<>]/package:   &/p'
        rc=1
    fi
    # systemd runs only an executable sleep hook.
    if ! dpkg-deb -c "$deb" | awk '$6 == "./usr/lib/systemd/system-sleep/tarvik" && $1 ~ /^-rwx/' |
        grep -q .; then
        echo "package: the system-sleep hook is missing or not executable"
        rc=1
    fi
    version=$(sed -n 's/^project(Tarvik VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt")
    for field in Package=tarvik Version="$version" Section=utils; do
        value=$(dpkg-deb -f "$deb" "${field%%=*}")
        if [ "$value" != "${field#*=}" ]; then
            echo "package: ${field%%=*} is \"$value\", not \"${field#*=}\""
            rc=1
        fi
    done
    for field in Depends Maintainer Description; do
        value=$(dpkg-deb -f "$deb" "$field")
        [ -n "$value" ] || { echo "package: no $field field"; rc=1; }
    done
    echo "package: Depends: $(dpkg-deb -f "$deb" Depends)"

    work=$(mktemp -d)
    dpkg-deb -e "$deb" "$work/control"
    sh -n "$repo/packaging/linux/system-sleep.sh" || rc=1
    for field in postinst postrm; do
        if [ ! -x "$work/control/$field" ] || ! sh -n "$work/control/$field"; then
            echo "package: $field is missing, not executable or not valid sh"
            rc=1
        fi
    done
    # The man page as shipped: any groff warning fails.
    dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/man/man1/tarvikctl.1.gz | gzip -dc \
        >"$work/tarvikctl.1"
    value=$(groff -man -Tutf8 -ww -z "$work/tarvikctl.1" 2>&1)
    if [ -n "$value" ]; then
        echo "package: groff warns about the man page: $value"
        rc=1
    fi
    if ! grep -q "^\.TH TARVIKCTL 1 .* \"Tarvik $version\"" "$work/tarvikctl.1"; then
        echo "package: the man page's .TH line does not name Tarvik $version"
        rc=1
    fi
    for field in SYNOPSIS OPTIONS COMMANDS FILES "EXIT STATUS" EXAMPLES; do
        grep -qx "\.SH $field" "$work/tarvikctl.1" || { echo "package: man page lacks $field"; rc=1; }
    done
    # cmake --install: the same files under the prefix, nothing else.
    cmake --install "$dir" --prefix "$work/prefix" >/dev/null || rc=1
    got=$(cd "$work/prefix" && find . -type f -o -type l | sed 's|^\./|./usr/|' | sort)
    if [ "$got" != "$want" ]; then
        echo "package: cmake --install put other files than expected:"
        diff <(echo "$want") <(echo "$got") | sed -n 's/^[<>]/package:   &/p'
        rc=1
    fi
    # The units as installed, read by systemd itself: any warning fails (an
    # unknown hardening key is only a warning to systemd, and does nothing).
    if systemd-analyze --version >/dev/null 2>&1; then
        mkdir -p "$work/root/usr/lib/systemd/system"
        cp -a /lib/systemd/system/. "$work/root/usr/lib/systemd/system/"
        cmake --install "$dir" --prefix "$work/root/usr" >/dev/null || rc=1
        (cd "$work/root/usr/lib/systemd/system" &&
            ln -sf tarvik-disc@.service tarvik-disc@sr0.service &&
            ln -sf tarvik-start@.service tarvik-start@sr0.service)
        value=$(cd "$work/root" && systemd-analyze verify --man=no --root="$work/root" \
            usr/lib/systemd/system/tarvik-disc@sr0.service \
            usr/lib/systemd/system/tarvik-start@sr0.service \
            usr/lib/systemd/system/tarvik-resume.service 2>&1) || rc=1
        if [ -n "$value" ]; then
            echo "package: systemd-analyze verify: $value"
            rc=1
        fi
    else
        echo "package: no systemd-analyze here; the unit level reads the units (LinuxPackaging)"
    fi
    # The shipped program takes no test hooks (they choose drives and files).
    if dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/bin/tarvikctl | grep -aq TARVIKCTL_TEST_; then
        echo "package: usr/bin/tarvikctl holds the test hooks"
        rc=1
    fi
    rm -rf "$work"

    if udevadm verify --help >/dev/null 2>&1; then
        udevadm verify "$repo/packaging/linux/60-tarvik.rules" || rc=1
    else
        echo "package: no udevadm verify here; the unit level parses the rule (LinuxPackaging)"
    fi
    return $rc
}
if want package; then
    if [ $host_ok -eq 1 ]; then step "package" package_check; else not_run package; fi
fi

release_check() {  # two release builds, compared; then a signed packaging, verified
    local check=$repo/build/release-check rc=0 f version arch name got want key dist
    rm -rf "$check"
    mkdir -p "$check/foreign"
    # --out empties its folder: one it did not make is refused, untouched.
    echo mine >"$check/foreign/keep"
    if scripts/release.sh --dirty --out "$check/foreign" 2>"$check/foreign.err" ||
        [ "$(cat "$check/foreign/keep")" != mine ] || ! grep -q "not made by" "$check/foreign.err"; then
        echo "release: --out took a non-empty folder it did not make"
        return 1
    fi
    scripts/release.sh --dirty --out "$check/first" || return 1
    # The second into a folder a run made: emptied (its leftover goes) and used again.
    cp -a "$check/first" "$check/second"
    echo old >"$check/second/leftover"
    scripts/release.sh --dirty --out "$check/second" || return 1
    dist=$check/second
    [ ! -e "$dist/leftover" ] || { echo "release: --out was not emptied"; rc=1; }
    echo "release: the second build against the first:"
    if diff -r "$check/first" "$dist" >"$check/diff.txt"; then
        echo "release: $(find "$dist" -type f ! -name .release-output | wc -l) files, the same bytes in both builds"
    else
        sed 's/^/release:   /' "$check/diff.txt"
        rc=1
    fi
    version=$(sed -n 's/^project(Tarvik VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
    (cd "$dist" && sha256sum --quiet -c SHA256SUMS) || { echo "release: SHA256SUMS does not match"; rc=1; }
    want="CHANGES.txt LICENSE.txt README.txt tarvik.exe tarvikctl.exe"
    for arch in win32 win64; do
        got=$(python3 -c 'import sys, zipfile; print(*zipfile.ZipFile(sys.argv[1]).namelist())' \
            "$dist/tarvik-$version-$arch.zip")
        [ "$got" = "$want" ] || { echo "release: the $arch zip holds: $got"; rc=1; }
        f=$dist/tarvik-$version-$arch-setup.exe
        grep -q "InstallerSha256: $(sha256sum "$f" | cut -d' ' -f1 | tr a-f A-F)" \
            "$dist"/winget/TarvikDevelopers.Tarvik.installer.yaml ||
            { echo "release: the winget manifest lacks the hash of $f"; rc=1; }
    done
    [ "$(dpkg-deb -f "$dist/tarvik_${version}_amd64.deb" Version)" = "$version" ] ||
        { echo "release: the .deb is not version $version"; rc=1; }

    # Signed: a throw-away code-signing certificate of our own, its key
    # encrypted with a password that only a file holds.
    key=$check/sign
    mkdir -p "$key"
    echo "test pass $$" >"$key/pass"
    openssl req -x509 -newkey rsa:2048 -days 2 -subj "/CN=Tarvik test signing" \
        -addext extendedKeyUsage=codeSigning -passout "file:$key/pass" -keyout "$key/key.pem" \
        -out "$key/cert.pem" 2>/dev/null || return 1
    TARVIK_SIGN_CERT=$key/cert.pem TARVIK_SIGN_KEY=$key/key.pem TARVIK_SIGN_PASS_FILE=$key/pass \
        scripts/release.sh --dirty --no-build --out "$check/signed" || return 1
    # A time-stamp server is asked when named: one that does not answer fails the signing.
    cp "$check/first/tarvik-$version-win64-setup.exe" "$key/stamped.exe"
    if TARVIK_SIGN_CERT=$key/cert.pem TARVIK_SIGN_KEY=$key/key.pem TARVIK_SIGN_PASS_FILE=$key/pass \
        TARVIK_SIGN_TS_URL=http://127.0.0.1:9/ packaging/windows/sign.sh "$key/stamped.exe" \
        >"$key/ts.log" 2>&1 || ! grep -q "RFC 3161" "$key/ts.log"; then
        echo "release: sign.sh did not ask the time-stamp server"
        rc=1
    fi
    mkdir -p "$check/unzipped"
    for arch in win32 win64; do
        python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
            "$check/signed/tarvik-$version-$arch.zip" "$check/unzipped/$arch"
    done
    for f in "$check"/signed/*-setup.exe "$check"/unzipped/*/*.exe; do
        name=${f#"$check"/}
        if osslsigncode verify -CAfile "$key/cert.pem" -in "$f" >"$check/verify.log" 2>&1; then
            echo "release: signature verified: $name"
        else
            echo "release: no valid signature on $name:"
            tail -5 "$check/verify.log"
            rc=1
        fi
    done
    return $rc
}
if want release; then step "release" release_check; fi

vm_level() {  # the QEMU guests; the package they install is built here
    local results=$repo/build/vm/results.xml skipped
    mkdir -p "$repo/build/vm"
    rm -f "$repo"/build/host/tarvik_*.deb "$results"
    if ! (cd build/host && cpack -G DEB >cpack.log 2>&1); then
        echo "vm: cpack -G DEB failed (build/host/cpack.log)"
        return 1
    fi
    tests/vm/run_vm.sh --junitxml="$results" || return 1
    skipped=$(grep -o 'skipped="[0-9]*"' "$results" 2>/dev/null | head -1 | tr -dc 0-9)
    if [ "${skipped:-0}" -gt 0 ]; then
        echo "vm: $skipped test(s) skipped; a skip fails the run"
        return 1
    fi
}
if want vm; then
    if [ $host_ok -eq 1 ] && [ $win_ok -eq 1 ]; then step "vm" vm_level; else not_run vm; fi
fi

format_check() {
    local files=() bad out rc f
    while IFS= read -r f; do [ -f "$f" ] && files+=("$f"); done < <(git ls-files '*.cpp' '*.h' \
        2>/dev/null || find src sim tests tools bench fuzz -name '*.cpp' -o -name '*.h')
    # One run over all files; each differing place is reported as FILE:LINE:COL: error.
    out=$(clang-format --dry-run --Werror "${files[@]}" 2>&1)
    rc=$?
    mapfile -t bad < <(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*/\1/p' <<<"$out" | sort -u)
    for f in "${bad[@]}"; do echo "format: $f differs from .clang-format (clang-format -i $f)"; done
    echo "format: ${#files[@]} files checked, ${#bad[@]} differ"
    if [ $rc -ne 0 ] && [ ${#bad[@]} -eq 0 ]; then
        echo "format: clang-format failed ($rc): $out" | head -5
    fi
    [ $rc -eq 0 ] && [ ${#files[@]} -gt 0 ]
}
if want format; then step "format" format_check; fi
if want tidy; then
    if [ $host_ok -eq 1 ] && [ $win_ok -eq 1 ]; then step "tidy" scripts/tidy.sh; else not_run tidy; fi
fi

echo
echo "==== summary"
printf '%s\n' "${timings[@]}"
ia32_line
if [ "$TARVIK_IA32" = none ]; then
    want e2e && no_32bit+=("e2e's test_install.py")
    [ ${#no_32bit[@]} -gt 0 ] && (IFS=,; echo "not run, for want of 32-bit programs: ${no_32bit[*]}")
fi
echo "steps: $passed passed, ${#failed[@]} failed"
if [ ${#failed[@]} -gt 0 ]; then
    echo "FAILED: ${failed[*]}"
    exit 1
fi
