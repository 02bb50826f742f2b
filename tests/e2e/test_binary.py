"""The shipped tarvik.exe: a GUI program of its build's architecture that needs
only system DLLs, and nothing from them newer than the oldest Windows it
supports (XP SP3 for the 32-bit exe, 7 for the 64-bit one); tarvikctl.exe,
shipped beside it, runs wherever it runs."""

import contextlib
import os
import re
import shutil
import subprocess
from pathlib import Path

import pytest

from harness import CMD_EXIT, SETTINGS_KEY, windows_path
from test_info_dialogs import CMD_DRIVE_INFO, INFO, close_with_ok
from test_sim import DVD_PROFILE

# The static imports may only name known DLLs: the loader maps those from the
# system folder and never searches for them, so no copy beside the exe (a
# download folder, say) is taken instead. Windows 7 to 11 list all of them in
# the KnownDLLs key; XP lists all but msvcrt.dll, which it maps as an import of
# the listed ones. Not among them on 7 and later: version.dll, comctl32.dll
# (side by side), riched32.dll and shcore.dll; the program loads those at run
# time from System32 (comctl32 by name, through its manifest).
KNOWN_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
    "comdlg32.dll", "ole32.dll", "msvcrt.dll",
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
def test_imports_only_known_dlls(tarvik_exe, name):
    dump = objdump(tarvik_exe.parent / name)
    dlls = {m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)}
    assert "kernel32.dll" in dlls, "no import table read"
    assert dlls <= KNOWN_DLLS, f"imports beyond the known DLLs: {sorted(dlls - KNOWN_DLLS)}"


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


# ---- the library search, seen in the loader calls under Wine's relay trace ----

LOADS = re.compile(r"LoadLibrary(Ex)?[AW]$")
NARROWING = {"SetDefaultDllDirectories", "SetDllDirectoryA"}
RELAY_LINE = re.compile(r"^([0-9a-f]+):[0-9a-f]+:(Call|Ret)\s+[\w.-]+\.(\w+)\((.*?)\)"
                        r"(?: retval=([0-9a-f]+))? ret=([0-9a-f]+)$")


def size_of_image(exe):
    return int(re.search(r"^SizeOfImage\s+([0-9a-f]+)", objdump(exe), re.M).group(1), 16)


def loader_calls(relay, exe):
    """The exe's own calls (returning into its image, in its process) to the
    library loads and to the search narrowing, in order: [function, arguments,
    result or None], and the libraries its process loaded."""
    base = end = pid = None
    calls, loaded = [], []
    with open(relay, errors="replace") as lines:
        for line in lines:
            line = line.rstrip("\n")
            m = re.match(r"^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L\"(.*)\" at ([0-9A-F]+)",
                         line)
            if m and pid is None and m.group(2).lower().endswith("\\\\" + exe.name.lower()):
                pid, base = m.group(1), int(m.group(3), 16)
                end = base + size_of_image(exe)
                continue
            if pid is None or not line.startswith(pid + ":"):
                continue
            if m:
                loaded.append(m.group(2).replace("\\\\", "\\"))
                continue
            m = RELAY_LINE.match(line)
            if not m or not (LOADS.match(m.group(3)) or m.group(3) in NARROWING):
                continue
            if not base <= int(m.group(6), 16) < end:
                continue  # a system library's own call
            if m.group(2) == "Call":
                calls.append([m.group(3), m.group(4), None])
            else:
                for call in reversed(calls):
                    if call[0] == m.group(3) and call[2] is None:
                        call[2] = int(m.group(5), 16)
                        break
    assert pid is not None, f"{exe.name} not seen loading in the trace"
    return calls, loaded


RELAY_KEY = r"HKCU\Software\Wine\Debug"
RELAY_ENV = {"WINEDEBUG": "-all,+pid,+relay,+loaddll"}
# The libraries the exes may load by name: the ASPI manager, in the program's
# folder or System32 once the search is narrowed, and comctl32.dll, which the
# manifest's side-by-side version answers, and the known DLLs. Every other one
# comes by full path.
BY_NAME = {"wnaspi32.dll", "comctl32.dll"}


@contextlib.contextmanager
def relay_of_the_loader(tarvik):
    """The relay trace of the loader functions alone: the whole trace of a start
    is a million lines."""
    functions = ";".join(["LoadLibraryA", "LoadLibraryW", "LoadLibraryExA", "LoadLibraryExW",
                          *sorted(NARROWING)])
    assert tarvik.reg_add(RELAY_KEY, "RelayInclude", "REG_SZ", functions)
    try:
        yield
    finally:
        tarvik.wine_run(["reg", "delete", RELAY_KEY, "/v", "RelayInclude", "/f"])


def ctl_drives(tarvik, workdir, exe, env, relay):
    with open(relay, "wb") as err:
        code = subprocess.run([tarvik.wine, str(exe), "drives"], cwd=workdir,
                              env=tarvik.env({**env, **RELAY_ENV}), stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=err, timeout=120).returncode
    assert code == 0, f"tarvikctl.exe drives: exit {code}"


def program_life(tarvik, workdir, exe, env, relay):
    """Start, the drive information (the rich-text control's library), exit."""
    with open(relay, "wb") as err:
        proc = subprocess.Popen([tarvik.wine, str(exe)], cwd=workdir,
                                env=tarvik.env({**env, **RELAY_ENV}), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=err)
    try:
        assert tarvik.wait_window(True, timeout=60), "no main window"
        assert tarvik.post_command(CMD_DRIVE_INFO)
        assert tarvik.find_dialog(INFO), "no drive information dialog"
        close_with_ok(tarvik, INFO)
        assert tarvik.command(CMD_EXIT) == 0
        assert proc.wait(timeout=60) == 0
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait(timeout=10)


@pytest.mark.parametrize("name,run", [("tarvik.exe", program_life),
                                      ("tarvikctl.exe", ctl_drives)])
def test_libraries_load_only_from_the_system_or_a_narrowed_search(tarvik, workdir, name, run):
    """The ASPI manager is loaded by name at every start: the search must
    already leave out the current folder and PATH, and the test ASPI layer
    beside the exe, where portable ones sit, is still the one found. Every
    other library that is no known DLL comes from System32 by full path."""
    exe = tarvik.bin_dir / name
    assert tarvik.has_sim(), "the test wnaspi32.dll of this build is missing"
    assert tarvik.reg_add(SETTINGS_KEY, "ApiPrefered", "REG_DWORD", "2")
    env = tarvik.sim_env([DVD_PROFILE], workdir / "trace.jsonl")
    relay = workdir / f"{exe.stem}.relay"
    with relay_of_the_loader(tarvik):
        run(tarvik, workdir, exe, env, relay)
    calls, loaded = loader_calls(relay, exe)

    first_load = next((i for i, c in enumerate(calls) if LOADS.match(c[0])), None)
    assert first_load is not None, f"{name} loaded no library: {calls}"
    narrowed = [c for c in calls[:first_load] if c[0] in NARROWING and c[2]
                and (c[0] == "SetDefaultDllDirectories" or c[1].endswith('""'))]
    assert narrowed, f"{name}: {calls[first_load]} before the search was narrowed: {calls}"

    system = "c:\\windows\\system32\\"
    for function, args, _ in calls:
        if not LOADS.match(function):
            continue
        file = re.search(r'L?"(.*?)"', args).group(1).replace("\\\\", "\\").lower()
        assert file in BY_NAME | KNOWN_DLLS or (file.startswith(system) and "\\" not in file[len(system):]), \
            f"{name}: {function}({file}) is searched for"
    # Not vacuous: the ASPI manager is among the loads, found beside the exe.
    aspi = [c for c in calls if LOADS.match(c[0]) and "wnaspi32.dll" in c[1].lower()]
    assert aspi and aspi[0][2], f"{name}: wnaspi32.dll not loaded: {calls}"
    beside = windows_path(exe.parent / "wnaspi32.dll").lower()
    assert beside in (p.lower() for p in loaded), f"{name}: not the ASPI layer beside it: {loaded}"
