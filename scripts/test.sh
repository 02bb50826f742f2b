#!/bin/bash
# Runs every test level of Tarvik.
#
#   scripts/test.sh [unit|win|e2e|format ...]   (default: all four)
#
# Installs what is missing (Debian 12, apt-get, as root), configures the host
# and win64 presets when they are not configured yet, builds both, then runs
#   unit   ctest -L unit in build/host   (GoogleTest, Linux)
#   win    ctest -L win  in build/win64  (MinGW GoogleTest under Wine)
#   e2e    ctest -L e2e  in build/win64  (the real tarvik.exe under Wine on Xvfb)
#   format clang-format --dry-run over the C++ sources; fails when a file
#          differs from .clang-format
# Every level runs even when an earlier one failed; the exit code is non-zero
# when any level (or a build) failed. Prints the time of each step.
set -uo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
levels=("$@")
[ ${#levels[@]} -eq 0 ] && levels=(unit win e2e format)
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
if want win || want e2e; then
    step "build win64" build win64 && win_ok=1
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

echo
echo "==== summary"
printf '%s\n' "${timings[@]}"
echo "steps: $passed passed, ${#failed[@]} failed"
if [ ${#failed[@]} -gt 0 ]; then
    echo "FAILED: ${failed[*]}"
    exit 1
fi
