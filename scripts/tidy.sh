#!/bin/bash
# clang-tidy (.clang-tidy) over every source file of src/: the portable and
# _host files with the host build's compile database, the _win32 files with
# the win64 build's, parsed for the MinGW target. Needs both builds
# configured. Exits non-zero on any finding.
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

mingw=$(ls -d /usr/lib/gcc/x86_64-w64-mingw32/*-posix 2>/dev/null | head -1)
win_args=(--extra-arg=--target=x86_64-w64-mingw32 --extra-arg=-nostdinc++
    "--extra-arg=-isystem$mingw/include/c++"
    "--extra-arg=-isystem$mingw/include/c++/x86_64-w64-mingw32"
    --extra-arg=-isystem/usr/x86_64-w64-mingw32/include)

# The program's own files (the entry, the window) are compiled in the
# program's build folder inside the win64 one.
win_db=build/win64
[ -f build/win64/program/compile_commands.json ] && win_db=build/win64/program

bad=0
checked=0
while read -r f; do
    if [[ $f == *_win32.cpp ]]; then
        out=$(clang-tidy -p "$win_db" --quiet "${win_args[@]}" "$f" 2>&1)
    else
        out=$(clang-tidy -p build/host --quiet "$f" 2>&1)
    fi
    [ $? -ne 0 ] && { echo "$out" | grep -E "warning:|error:"; bad=$((bad + 1)); }
    checked=$((checked + 1))
done < <(git ls-files 'src/*.cpp')
echo "tidy: $checked files checked, $bad with findings"
[ $bad -eq 0 ]
