#!/bin/bash
# Runs the whole fault matrix on the simulator and prints its table.
#
#   scripts/faults.sh [--asan] [tarvik_faults options...]
#
# Builds tools/faults (the host preset, or with --asan the asan preset, so
# that every cell also runs under AddressSanitizer and UBSan) and runs every
# operation x fault x opcode cell, niced, each in a process of its own.
# The table goes to stdout and to build/<preset>/faults.txt. Exit status 1
# when a cell is not ok (see tools/faults/main.cpp for the verdicts).
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
preset=host
if [ "${1:-}" = "--asan" ]; then preset=asan; shift; fi
[ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
nice -n 10 cmake --build "build/$preset" -j2 --target tarvik_faults_run >/dev/null
nice -n 10 "build/$preset/bin/tarvik_faults" "$@" | tee "build/$preset/faults.txt"
