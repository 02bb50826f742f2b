"""The shipped tarvik.exe: a GUI program of its build's architecture that needs
only system DLLs, and nothing from them newer than the oldest Windows it
supports (XP SP3 for the 32-bit exe, 7 for the 64-bit one); tarvikctl.exe,
shipped beside it, runs wherever it runs."""

import os
import re
import shutil
import subprocess
from pathlib import Path

import pytest

# DLLs every Windows from XP on has (msvcrt.dll is the system C runtime MinGW
# links against).
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "comdlg32.dll",
    "shell32.dll", "advapi32.dll", "version.dll", "msvcrt.dll", "ole32.dll",
    "shlwapi.dll", "uxtheme.dll",
}

WINDOWS_ORDER = ["2000", "xp", "xp-sp2", "xp-sp3", "vista", "7", "8", "8.1", "10"]
OLDEST_SUPPORTED = {"i686": "xp-sp3", "x86_64": "7"}
VERSIONS_FILE = Path(__file__).resolve().parent / "import_versions.txt"


def objdump(path):
    tool = shutil.which("x86_64-w64-mingw32-objdump") or shutil.which("objdump")
    if tool is None:
        pytest.skip("no objdump for PE files")
    return subprocess.run([tool, "-p", str(path)], stdout=subprocess.PIPE, text=True,
                          check=True, timeout=60).stdout


def imported_functions(dump):
    """(dll, function) pairs of the import table; an import by ordinal is '#N'."""
    found = set()
    dll = None
    for line in dump.splitlines():
        m = re.match(r"\tDLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower()
            continue
        if dll is None or line.startswith("\tvma:") or not line.strip():
            continue
        m = re.match(r"\t[0-9a-f]+\t\s*(\d+)\s+(\S+)", line)
        if m:
            found.add((dll, m.group(2) if m.group(2) != "<none>" else f"#{m.group(1)}"))
        elif not line.startswith("\t"):
            dll = None
    return found


def first_windows_of_imports():
    versions = {}
    for number, line in enumerate(VERSIONS_FILE.read_text().splitlines(), 1):
        words = line.split("#", 1)[0].split() if not line.startswith("#") else []
        if not words:
            continue
        assert len(words) == 3 and words[2] in WINDOWS_ORDER, \
            f"{VERSIONS_FILE.name}:{number}: want 'dll function version', got {line!r}"
        versions[(words[0].lower(), words[1])] = words[2]
    return versions


def build_arch():
    # The ctest of each Windows build names its architecture.
    return os.environ.get("TARVIK_ARCH", "x86_64")


SHIPPED = ["tarvik.exe", "tarvikctl.exe"]


@pytest.mark.parametrize("name", SHIPPED)
def test_imports_only_system_dlls(tarvik_exe, name):
    dump = objdump(tarvik_exe.parent / name)
    dlls = {m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)}
    assert "kernel32.dll" in dlls, "no import table read"
    assert dlls <= SYSTEM_DLLS, f"imports beyond the system: {sorted(dlls - SYSTEM_DLLS)}"


@pytest.mark.parametrize("name", SHIPPED)
def test_imports_nothing_newer_than_the_oldest_supported_windows(tarvik_exe, name):
    imports = imported_functions(objdump(tarvik_exe.parent / name))
    assert ("kernel32.dll", "GetProcAddress") in imports, "no import table read"
    known = first_windows_of_imports()
    unknown = sorted(f"{d} {f}" for d, f in imports - known.keys())
    assert not unknown, (f"add these to {VERSIONS_FILE.name} with the first Windows "
                         f"that has each: {unknown}")
    floor = OLDEST_SUPPORTED[build_arch()]
    newer = sorted(f"{d} {f} ({known[d, f]})" for d, f in imports
                   if WINDOWS_ORDER.index(known[d, f]) > WINDOWS_ORDER.index(floor))
    assert not newer, f"newer than Windows {floor}; load them with GetProcAddress: {newer}"


def test_is_a_gui_program_of_the_build_architecture(tarvik_exe):
    dump = objdump(tarvik_exe)
    form, magic = {"x86_64": ("pei-x86-64", "020b"), "i686": ("pei-i386", "010b")}[build_arch()]
    assert re.search(rf"file format {form}$", dump, re.M), f"not a {build_arch()} program"
    assert re.search(rf"^Magic\s+{magic}", dump, re.M), f"not the PE form of {build_arch()}"
    assert re.search(r"^Subsystem\s+00000002", dump, re.M), "not the GUI subsystem"
