"""The shipped tarvik.exe: a 64-bit GUI program that needs only system DLLs."""

import re
import shutil
import subprocess

import pytest

# DLLs every Windows from 7 on has (msvcrt.dll is the system C runtime MinGW
# links against).
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "comdlg32.dll",
    "shell32.dll", "advapi32.dll", "version.dll", "msvcrt.dll", "ole32.dll",
    "shlwapi.dll", "uxtheme.dll",
}


def objdump(path):
    tool = shutil.which("x86_64-w64-mingw32-objdump") or shutil.which("objdump")
    if tool is None:
        pytest.skip("no objdump for PE files")
    return subprocess.run([tool, "-p", str(path)], stdout=subprocess.PIPE, text=True,
                          check=True, timeout=60).stdout


def test_imports_only_system_dlls(tarvik_exe):
    dump = objdump(tarvik_exe)
    dlls = {m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)}
    assert "kernel32.dll" in dlls, "no import table read"
    assert dlls <= SYSTEM_DLLS, f"imports beyond the system: {sorted(dlls - SYSTEM_DLLS)}"


def test_is_a_64_bit_gui_program(tarvik_exe):
    dump = objdump(tarvik_exe)
    assert re.search(r"^Magic\s+020b", dump, re.M), "not PE32+"
    assert re.search(r"^Subsystem\s+00000002", dump, re.M), "not the GUI subsystem"
