#!/bin/sh
# Runs the e2e level (pytest in this folder).
# TARVIK_IA32 (scripts/ia32.sh) says how 32-bit programs run: the NSIS
# installers are 32-bit in both builds. Where none run at all, the installer
# tests are left out, and said so. Where qemu-user emulates them, each start
# of one costs minutes: the level gets a longer bound than the native 1800 s,
# the 32-bit build runs what only it can break in the fewest starts (its exes'
# checks; start-up, tray icon, a drive over ASPI, its stored speed and the
# exit in one pass; the installer and its upgrade), and the 64-bit build runs
# the installer tests but the uninstaller's and the pages'.
here=$(cd "$(dirname "$0")" && pwd)
limit=1800
case ${TARVIK_IA32:-native} in
    emulated)
        limit=5400
        install=test_install.py::test_silent_install_puts_files_shortcut_entries_and_starts_from_the_shortcut
        upgrade=test_install.py::test_upgrade_closes_the_running_old_version_and_starts_the_new_one
        if [ "${TARVIK_ARCH:-}" = i686 ]; then
            echo "e2e: 32-bit code is emulated; the 32-bit build runs its emulated set"
            # The program's life under +relay: each call traced and emulated
            # takes the main window past any bound; tarvikctl.exe's is kept.
            set -- test_binary.py test_smoke.py "$install" "$upgrade" \
                "--deselect=test_binary.py::test_libraries_load_only_from_the_system_or_a_narrowed_search[tarvik.exe-program_life]"
        else
            echo "e2e: 32-bit code is emulated; the installer's pages and uninstaller are left to native runs"
            set -- --deselect=test_install.py::test_silent_uninstall_leaves_nothing_but_the_settings_asked_for \
                --deselect=test_install.py::test_installer_and_uninstaller_pages "$@"
        fi ;;
    none)
        echo "e2e: test_install.py not run: ${TARVIK_IA32_WHY:-32-bit programs do not run here}"
        set -- --ignore=test_install.py "$@" ;;
esac
exec timeout "$limit" "$here/../run_pytest.sh" "$here" "$@"
