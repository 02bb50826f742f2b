#!/bin/bash
# Builds tarvik.exe and runs it under Wine.
#
#   scripts/run.sh [--profile FILE.json] [--keep] [-- TARVIK ARGS]
#
# - Installs what is missing (Debian 12, apt-get, as root), configures and
#   builds the win64 preset.
# - Runs in a Wine prefix of its own (build/win64/wineprefix, kept between
#   runs like a user profile; TARVIK_WINEPREFIX to choose another).
# - With the test ASPI library built (build/win64/bin/wnaspi32.dll), the
#   program sees a simulated drive described by a profile from sim/profiles/
#   (a DVD writer by default, or --profile).
# - With a DISPLAY the program runs there until you choose Exit in its tray
#   menu (or press Ctrl-C). Without one it runs on a private Xvfb: the script
#   waits for the tray icon, takes a screenshot, closes the program and tells
#   where the screenshot and the log are (--keep leaves it running until
#   Ctrl-C).
# The program is started with "/log"; its log is written in build/win64/run/.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
profile=""
keep=0
args=(/log)
while [ $# -gt 0 ]; do
    case $1 in
        --profile) profile=$(realpath "$2"); shift 2 ;;
        --keep) keep=1; shift ;;
        --) shift; args=("$@"); break ;;
        -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
        *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    esac
done

"$repo/scripts/deps.sh" run

build=$repo/build/win64
if [ ! -f "$build/CMakeCache.txt" ]; then
    (cd "$repo" && cmake --preset win64)
fi
cmake --build "$build" -j2

bin=$build/bin
rundir=$build/run
mkdir -p "$rundir"
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

export WINEPREFIX=${TARVIK_WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

xvfb_pid=""
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        "$wineserver" -k 2>/dev/null || true
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

headless=0
if [ -z "${DISPLAY:-}" ]; then
    headless=1
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$fifo" >/dev/null 2>&1 &
    xvfb_pid=$!
    read -r -t 20 num <"$fifo" || { echo "run.sh: Xvfb did not start" >&2; exit 1; }
    rm -f "$fifo"
    export DISPLAY=:$num
    echo "No DISPLAY: running on Xvfb $DISPLAY"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    # Wine boots its 32-bit side too: where the kernel runs no 32-bit code it
    # needs qemu-user's emulation (set up here as root; slow, 2 to 3 minutes).
    # shellcheck source=scripts/ia32.sh
    . "$repo/scripts/ia32.sh"
    ia32_setup
    [ "$TARVIK_IA32" = native ] || ia32_line
    echo "Creating the Wine prefix $WINEPREFIX (about 10 s)..."
    "$wine" wineboot -i >/dev/null 2>&1 || true
    "$wineserver" -w
fi

# The simulated drive, when the test ASPI library is there.
if [ -f "$bin/wnaspi32.dll" ]; then
    if [ -z "$profile" ]; then
        profile=$repo/sim/profiles/dvdrw-24x-streaming.json
        [ -f "$profile" ] || profile=$(ls "$repo"/sim/profiles/*.json 2>/dev/null | head -n 1 || true)
    fi
    if [ -n "$profile" ]; then
        # The library reads its drives and writes its command trace here.
        export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;wnaspi32=n"
        export TARVIK_SIM_PROFILES="Z:${profile//\//\\}"
        export TARVIK_SIM_TRACE="Z:${rundir//\//\\}\\sim-trace.jsonl"
        echo "Simulated drive: $profile (command trace: $rundir/sim-trace.jsonl)"
        # Wine's pass-through opens but fails every command, so the automatic
        # choice would never reach the ASPI library: prefer ASPI unless an
        # access method was chosen in this prefix already.
        key='HKEY_CURRENT_USER\Software\Orvanto Software\Tarvik\4.0'
        if ! "$wine" reg query "$key" /v ApiPrefered >/dev/null 2>&1; then
            "$wine" reg add "$key" /v ApiPrefered /t REG_DWORD /d 2 /f >/dev/null 2>&1 || true
        fi
    fi
else
    echo "No test ASPI library (build/win64/bin/wnaspi32.dll): the program sees no drives."
fi

newest_log() { ls -t "$rundir"/tarvik*.log 2>/dev/null | head -n 1 || true; }

cd "$rundir"
echo "Starting tarvik.exe ${args[*]} (log in $rundir)"
if [ $headless -eq 0 ] && [ $keep -eq 0 ]; then
    set +e
    "$wine" "$bin/tarvik.exe" "${args[@]}"
    code=$?
    set -e
    echo "tarvik.exe ended with exit code $code; log: $(newest_log)"
    exit 0
fi

"$wine" "$bin/tarvik.exe" "${args[@]}" &
app=$!
# Wait (bounded) for the notification area to show the icon.
for _ in $(seq 1 100); do
    xdotool search --onlyvisible --name 'Wine System Tray' >/dev/null 2>&1 && break
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
done
sleep 0.5
shot=$rundir/screenshot.png
tray=$rundir/tray.png
if geo=$(xdotool search --onlyvisible --name 'Wine System Tray' 2>/dev/null | head -n 1); then
    eval "$(xdotool getwindowgeometry --shell "$geo")"
    # The tray icon alone, then the speed menu a left click opens, as a user sees it.
    import -window root "$shot"
    convert "$shot" -crop "$((WIDTH + 6))x$((HEIGHT + 6))+$((X > 3 ? X - 3 : 0))+$((Y > 3 ? Y - 3 : 0))" \
        +repage -filter point -resize 200% "$tray"
    echo "Tray icon shown."
    # The program checks the drives before it shows the menu; the log says when.
    xdotool mousemove "$((X + 10))" "$((Y + 10))" click 1
    for _ in $(seq 1 100); do
        log=$(newest_log)
        [ -n "$log" ] && grep -q "CheckAllStatus DONE" "$log" && break
        sleep 0.1
    done
    sleep 1
    import -window root "$shot"
    xdotool key Escape
else
    import -window root "$shot"
    echo "No tray icon is shown."
fi

if [ $keep -eq 1 ]; then
    echo "Screenshot: $shot"
    echo "Log:        $(newest_log)"
    echo "Running; press Ctrl-C to stop."
    wait "$app" || true
    exit 0
fi

# Close it the way a restarting instance does, so the log shows the shut-down.
"$wine" "$bin/tarvik_probe.exe" close >/dev/null 2>&1 || true
for _ in $(seq 1 100); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
done
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
echo
echo "Screenshot: $shot"
[ -f "$tray" ] && echo "Tray area:  $tray (200 %)"
echo "Log:        $(newest_log)"
