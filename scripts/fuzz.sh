#!/usr/bin/env bash
# Builds the fuzz preset and runs every libFuzzer target (or those named) for
# a fixed time each, niced, a few at a time, each on a corpus of its own seeded
# from the tree's data. Writes a summary table to OUT/summary.md and stdout.
#
#   scripts/fuzz.sh [-t SECONDS] [-j JOBS] [-o OUT] [-n] [fuzz_target ...]
#
# -n runs nothing and only writes the summary of the logs already in OUT.
# Defaults: 600 seconds per target, 2 at a time, OUT = build/fuzz/runs. The
# corpus (OUT/corpus/TARGET) is kept between runs, so a second run goes on
# from the first. Crashes, leaks, hangs (-timeout) and sanitizer reports land
# in OUT/artifacts/TARGET; the log of each run in OUT/logs/TARGET.log.
# Exit status 1 when any target left an artifact. Not part of the test command.
set -euo pipefail

cd "$(dirname "$0")/.."
root=$PWD
seconds=600
jobs=2
out=$root/build/fuzz/runs
summaryOnly=0
while getopts "t:j:o:n" opt; do
    case $opt in
        t) seconds=$OPTARG ;;
        j) jobs=$OPTARG ;;
        o) out=$OPTARG ;;
        n) summaryOnly=1 ;;
        *) sed -n '2,14p' "$0"; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
if [ $# -gt 0 ]; then
    targets=("$@")
else
    targets=()
    for src in fuzz/*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi

bin=$root/build/fuzz/bin
mkdir -p "$out/logs"
if [ "$summaryOnly" = 0 ]; then
    cmake --preset fuzz >/dev/null
    cmake --build build/fuzz -j2 --target "${targets[@]}"
fi

# ---- seeds: the tree's own data, written where a corpus has none yet ----------
hex_answers() {  # the canned MMC answers, as bytes
    for f in tests/data/mmc_*.hex; do
        grep -v '^#' "$f" | xxd -r -p >"$1/$(basename "$f" .hex)"
    done
}

reg_files() {  # the program's key with every global option, a password and a drive
    local names
    names=$(grep -o '{"[A-Za-z]*", &GlobalSettingsRecord' src/settings/store.cpp | cut -d'"' -f2)
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Orvanto Software\\Tarvik\\4.0]\r\n'
        for n in $names; do printf '"%s"=dword:00000001\r\n' "$n"; done
        printf '"SavePath"="C:\\\\tarvik.reg"\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Orvanto Software\\Tarvik\\4.0\\Lock]\r\n'
        printf '"Data"="%s"\r\n\r\n' "$(openssl passwd -1 -salt abcd secret)"
        printf '[-HKEY_CURRENT_USER\\Software\\Orvanto Software\\Tarvik\\4.0\\Old]\r\n'
        printf '"Gone"=-\r\n"Bytes"=hex:01,02,\\\r\n  03\r\n"Multi"=hex(7):41,00,00,00\r\n'
    } >"$1/settings.reg"
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n@="x"\r\n' >"$1/regedit4.reg"
    iconv -f CP1252 -t UTF-16LE "$1/settings.reg" | { printf '\xff\xfe'; cat; } >"$1/settings16.reg"
}

password_values() {  # typed text, the string's end, then "Data" lines of every form
    local good
    good=$(openssl passwd -1 -salt abcd secret)
    local i=0
    for data in "$good" '$1$' '$1$$' '$1$abcd$short' "${good}x" '$5$rounds=5000$abcd$x' \
        '5ebe2294ecd0e0f08eab7690d2a6ee69' "$(openssl passwd -1 -salt '' secret)"; do
        printf 'secret\\\n"Data"="%s"\r\n' "$data" >"$1/data$i"
        i=$((i + 1))
    done
    printf '\\\n"Data"=hex:24,31,24,00,41\r\n' >"$1/binary"
    printf '\\\n"Data"=dword:00000001\r\n' >"$1/dword"
}

device_blocks() {  # DEV_BROADCAST_VOLUME and a header alone, each with an event byte after it
    printf '\x12\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x10\x00\x00\x00\x01\x00\x00' >"$1/media_e"
    printf '\x12\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\xff\xff\xff\xff\x00\x00\x01' >"$1/all"
    printf '\x12\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x04\x00\x00\x00\x02\x00\x02' >"$1/net"
    printf '\x0c\x00\x00\x00\x05\x00\x00\x00\x00\x00\x00\x00\x00' >"$1/interface"
}

version_blocks() {  # VS_VERSIONINFO with the ASPI library's strings, length first
    python3 - "$1" <<'EOF'
import struct, sys
def node(key, value=b"", text=False, children=(), vlen=None):
    body = key.encode("utf-16-le") + b"\0\0"
    head = 6 + len(body)
    body += b"\0" * (-head % 4) + value
    for c in children:
        body += b"\0" * (-(6 + len(body)) % 4) + c
    if vlen is None:
        vlen = len(value) // 2 if text else len(value)
    return struct.pack("<HHH", 6 + len(body), vlen, 1 if text else 0) + body
def s(key, text):
    return node(key, (text + "\0").encode("utf-16-le"), True)
strings = [s("LegalCopyright", "Copyright (C) 1998"), s("ProductName", "ASPI for Win32"),
           s("FileVersion", "4.60 (1021)")]
table = node("040904b0", children=strings)
info = node("StringFileInfo", children=[table])
var = node("VarFileInfo", children=[node("Translation", struct.pack("<HH", 0x409, 0x4b0))])
fixed = struct.pack("<13I", 0xFEEF04BD, 0x10000, 4, 60, 4, 60, 0x3F, 0, 4, 2, 0, 0, 0)
for name, block in (("full", node("VS_VERSION_INFO", fixed, False, [info, var])),
                    ("no_translation", node("VS_VERSION_INFO", fixed, False, [info])),
                    ("short_translation", node("VS_VERSION_INFO", fixed, False, [info,
                        node("VarFileInfo", children=[node("Translation", b"\x09\x04")])]))):
    open(f"{sys.argv[1]}/{name}", "wb").write(struct.pack("<H", len(block)) + block)
EOF
}

seed() {
    local target=$1 dir=$2
    case $target in
        fuzz_mmc_decoders | fuzz_mmc_operations) hex_answers "$dir" ;;
        fuzz_sim_profile) cp sim/profiles/*.json "$dir/" ;;
        fuzz_settings_regfile) reg_files "$dir" ;;
        fuzz_reg_password) password_values "$dir" ;;
        fuzz_device_broadcast) device_blocks "$dir" ;;
        fuzz_drive_info) version_blocks "$dir" ;;
        *) ;;  # the rest start from nothing: their inputs are structured by the target
    esac
}

run() {
    local target=$1
    local corpus=$out/corpus/$target artifacts=$out/artifacts/$target
    mkdir -p "$corpus" "$artifacts"
    [ -n "$(ls -A "$corpus")" ] || seed "$target" "$corpus"
    # A crash ends the run; the artifact and the log say what it was.
    nice -n 10 "$bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" \
        >"$out/logs/$target.log" 2>&1 || true
}

running=0
listed=("${targets[@]}")
[ "$summaryOnly" = 0 ] || targets=()
for t in "${targets[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
    echo "$(date -u +%H:%M:%S) $t: ${seconds}s"
    run "$t" &
    running=$((running + 1))
done
wait

# ---- summary: from each run's last status line and final statistics -----------
# A run that stopped early (a crash) has no "Done" line: its seconds read "stopped".
stat() { grep -o "^stat::$1: *[0-9]*" "$2" | grep -o '[0-9]*$' | tail -1 || true; }
{
    echo "| target | seconds | runs | exec/s | cov | ft | corpus | crashes |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|"
    for t in "${listed[@]}"; do
        log=$out/logs/$t.log
        [ -f "$log" ] || continue
        last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
        runs=$(stat number_of_executed_units "$log")
        [ -n "$runs" ] || runs=$(echo "$last" | sed -E 's/^#([0-9]+).*/\1/' || true)
        rate=$(stat average_exec_per_sec "$log")
        [ -n "$rate" ] || rate=$(echo "$last" | grep -o 'exec/s: [0-9]*' | grep -o '[0-9]*$' || true)
        cov=$(echo "$last" | grep -o 'cov: [0-9]*' | grep -o '[0-9]*$' || true)
        ft=$(echo "$last" | grep -o 'ft: [0-9]*' | grep -o '[0-9]*$' || true)
        took=$(grep -o 'Done [0-9]* runs in [0-9]* second' "$log" | grep -o 'in [0-9]*' | grep -o '[0-9]*$' || true)
        took=${took:-stopped}
        corpus=$(find "$out/corpus/$t" -type f | wc -l)
        crashes=$(find "$out/artifacts/$t" -type f | wc -l)
        echo "| $t | ${took:-?} | ${runs:-?} | ${rate:-?} | ${cov:-?} | ${ft:-?} | $corpus | $crashes |"
    done
} | tee "$out/summary.md"
[ "$summaryOnly" = 1 ] || echo "(${seconds}s per target; logs in $out/logs, artifacts in $out/artifacts)"
# The table ran in a pipe; the artifacts decide the status.
for t in "${listed[@]}"; do
    [ -z "$(ls -A "$out/artifacts/$t" 2>/dev/null)" ] || exit 1
done
