#!/bin/sh
# Runs the e2e level (pytest in this folder).
# TARVIK_IA32 (scripts/ia32.sh) says how 32-bit programs run: the NSIS
# installers are 32-bit in both builds. Where none run at all, the installer
# tests are left out, and said so; where they are emulated, the level gets a
# longer bound than the native 1800 s.
here=$(cd "$(dirname "$0")" && pwd)
limit=1800
case ${TARVIK_IA32:-native} in
    emulated) limit=5400 ;;
    none)
        echo "e2e: test_install.py not run: ${TARVIK_IA32_WHY:-32-bit programs do not run here}"
        set -- --ignore=test_install.py "$@" ;;
esac
exec timeout "$limit" "$here/../run_pytest.sh" "$here" "$@"
