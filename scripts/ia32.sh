# Sourced by scripts/test.sh and scripts/run.sh: can this machine run 32-bit
# programs (Wine's 32-bit loader, the win32 build, the NSIS installers)?
#
# ia32_setup sets
#   TARVIK_IA32      native | emulated | none
#   TARVIK_IA32_WHY  one line saying why (empty when native)
# and exports both, so that the test levels can bound their waits by it.
# Where the kernel runs no 32-bit code and we are root, it registers
# qemu-user's i386 emulator with binfmt_misc (the F flag: the kernel opens the
# emulator once, so it also works inside Wine's own namespaces). Only without
# root or without binfmt_misc does it leave TARVIK_IA32=none.

ia32_loader=${TARVIK_WINE32:-/usr/lib/wine/wine}
ia32_misc=/proc/sys/fs/binfmt_misc
# i386 ELF executables and shared objects: the magic and mask Debian's
# qemu-user packaging uses for i386, written as binfmt_misc reads them (it
# decodes the \x escapes itself).
ia32_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
ia32_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

ia32_probe() {  # ia32_probe: 0 when the 32-bit loader runs; its complaint in ia32_error
    ia32_error=$("$ia32_loader" --version 2>&1 >/dev/null) && return 0
    ia32_error=$(printf '%s' "$ia32_error" | tail -1)
    ia32_error=${ia32_error#*"$ia32_loader": }  # the shell's "FILE: line N:" before it
    return 1
}

ia32_emulator() {  # ia32_emulator: the interpreter binfmt_misc runs i386 ELF with, if any
    local entry
    for entry in "$ia32_misc"/*; do
        [ -f "$entry" ] || continue
        grep -qx enabled "$entry" 2>/dev/null || continue
        grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" || continue
        sed -n 's/^interpreter //p' "$entry"
        return 0
    done
    return 1
}

ia32_register() {  # ia32_register: qemu-i386 as binfmt_misc's handler of i386 ELF
    local qemu=/usr/bin/qemu-i386-static
    if [ ! -x "$qemu" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
            qemu-user-static >/dev/null || { ia32_why="qemu-user-static cannot be installed"; return 1; }
    fi
    if [ ! -f "$ia32_misc/register" ] &&
        ! mount -t binfmt_misc binfmt_misc "$ia32_misc" 2>/dev/null; then
        ia32_why="binfmt_misc cannot be mounted here"
        return 1
    fi
    if [ -f "$ia32_misc/qemu-i386" ]; then
        echo 1 >"$ia32_misc/qemu-i386" 2>/dev/null
    else
        printf '%s' ":qemu-i386:M::$ia32_magic:$ia32_mask:$qemu:F" >"$ia32_misc/register" 2>/dev/null
    fi || { ia32_why="binfmt_misc refused the i386 handler"; return 1; }
}

ia32_setup() {
    local first emulator
    if ia32_probe; then
        if emulator=$(ia32_emulator); then
            TARVIK_IA32=emulated
            TARVIK_IA32_WHY="already emulated by $emulator (binfmt_misc)"
        else
            TARVIK_IA32=native
            TARVIK_IA32_WHY=""
        fi
    else
        first=$ia32_error
        if [ "$(id -u)" -ne 0 ]; then
            TARVIK_IA32=none
            TARVIK_IA32_WHY="32-bit programs do not run (\"$first\") and only root can set up their emulation"
        elif ia32_why="" && ia32_register && ia32_probe; then
            TARVIK_IA32=emulated
            TARVIK_IA32_WHY="this host runs no 32-bit code (\"$first\"); qemu-i386-static runs it, set up now"
        else
            TARVIK_IA32=none
            TARVIK_IA32_WHY="32-bit programs do not run (\"$first\"): ${ia32_why:-the emulation was set up, but \"$ia32_error\"}"
        fi
    fi
    export TARVIK_IA32 TARVIK_IA32_WHY
}

ia32_line() {  # ia32_line: the summary's line
    case $TARVIK_IA32 in
        native) echo "32-bit programs: native" ;;
        emulated) echo "32-bit programs: emulated, $TARVIK_IA32_WHY" ;;
        *) echo "32-bit programs: not run, $TARVIK_IA32_WHY" ;;
    esac
}
