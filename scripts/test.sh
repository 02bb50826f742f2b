#!/bin/bash
# Runs every test level of Tarvik.
#
#   scripts/test.sh [unit|win|e2e|format|size ...]   (default: all five)
#
# Installs what is missing (Debian 12, apt-get, as root), configures the host,
# win64 and win32 presets when they are not configured yet, builds them, then runs
#   unit   ctest -L unit in build/host   (GoogleTest, Linux)
#   win    ctest -L win  in build/win64 and build/win32 (MinGW GoogleTest under Wine)
#   e2e    ctest -L e2e  in build/win64  (the real tarvik.exe under Wine on Xvfb),
#          and in build/win32 the checks of the exe and one pass through its life
#   format clang-format --dry-run over the C++ sources: reports files that
#          differ from .clang-format but does not fail, unless
#          TARVIK_FORMAT_STRICT=1.
#   size   prints the size of both tarvik.exe and fails when one is above 600 KB
# Every level runs even when an earlier one failed; the exit code is non-zero
# when any level (or a build) failed. Prints the time of each step.
set -uo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
levels=("$@")
[ ${#levels[@]} -eq 0 ] && levels=(unit win e2e format size)
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

"$repo/scripts/deps.sh" test || exit 1

configure() {  # configure PRESET: only when the build folder is not set up yet
    [ -f "build/$1/CMakeCache.txt" ] || cmake --preset "$1"
}

build() { configure "$1" && cmake --build "build/$1" -j2; }

host_ok=0
win_ok=0
if want unit; then
    step "build host" build host && host_ok=1
fi
if want win || want e2e || want size; then
    step "build win64" build win64 && win_ok=1
fi
# The 32-bit build: its own win level and e2e checks, and the size check.
win32_ok=0
if want win || want e2e || want size; then
    step "build win32" build win32 && win32_ok=1
fi

run_level() {  # run_level LABEL DIR
    ctest --test-dir "$2" -L "$1" --no-tests=error --output-on-failure
}

if want unit; then
    if [ $host_ok -eq 1 ]; then step "unit" run_level unit build/host; else failed+=(unit); fi
fi
if want win; then
    if [ $win_ok -eq 1 ]; then step "win" run_level win build/win64; else failed+=(win); fi
fi
if want e2e; then
    if [ $win_ok -eq 1 ]; then step "e2e" run_level e2e build/win64; else failed+=(e2e); fi
fi
if want win; then
    if [ $win32_ok -eq 1 ]; then step "win32 win" run_level win build/win32; else failed+=("win32 win"); fi
fi
if want e2e; then
    if [ $win32_ok -eq 1 ]; then step "win32 e2e" run_level e2e build/win32; else failed+=("win32 e2e"); fi
fi

exe_sizes() {  # both shipped exes, at most 600 KB each
    local limit=$((600 * 1024)) rc=0 preset exe size
    for preset in win64 win32; do
        exe=build/$preset/bin/tarvik.exe
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
    return $rc
}
if want size; then
    if [ $win_ok -eq 1 ] && [ $win32_ok -eq 1 ]; then step "size" exe_sizes; else failed+=(size); fi
fi

format_check() {
    local files bad=0 f
    mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null ||
        find src sim tests tools bench fuzz -name '*.cpp' -o -name '*.h')
    for f in "${files[@]}"; do
        [ -f "$f" ] || continue
        if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
            echo "format: $f differs from .clang-format"
            bad=$((bad + 1))
        fi
    done
    echo "format: ${#files[@]} files checked, $bad differ"
    if [ $bad -gt 0 ] && [ "${TARVIK_FORMAT_STRICT:-0}" = 1 ]; then return 1; fi
    return 0
}
if want format; then step "format" format_check; fi

echo
echo "==== summary"
printf '%s\n' "${timings[@]}"
echo "steps: $passed passed, ${#failed[@]} failed"
if [ ${#failed[@]} -gt 0 ]; then
    echo "FAILED: ${failed[*]}"
    exit 1
fi
