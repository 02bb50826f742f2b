#!/bin/sh
# The size of each shipped exe and of its sections, in bytes, as a Markdown
# table: run it before and after a change to see what the change costs.
#   bench/exe_sizes.sh [BUILD_DIR...]    (default: build/win64 build/win32)
set -eu
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- build/win64 build/win32
dump=x86_64-w64-mingw32-objdump  # reads both PE forms
for dir in "$@"; do
    for exe in "$dir"/bin/tarvik.exe "$dir"/bin/tarvikctl.exe; do
        [ -f "$exe" ] || { echo "$exe: missing" >&2; exit 1; }
        echo "### $exe: $(stat -c %s "$exe") bytes"
        echo
        echo "| section | bytes |"
        echo "|---|---:|"
        # "Idx Name Size VMA LMA File-off Algn": the size is the raw one.
        "$dump" -h "$exe" | awk '$1 ~ /^[0-9]+$/ && NF >= 7 { print $2, $3 }' |
            while read -r name hex; do printf '| %s | %d |\n' "$name" "0x$hex"; done
        echo
    done
done
