"""The per-user installer and uninstaller (packaging/windows/tarvik.nsi), made
from this build's exes by packaging/windows/package.sh as the release makes
them, run under Wine: the silent install, an upgrade over a running older
version, the silent uninstall with and without the settings, and the pages
of both, stepped through and photographed."""

import os
import re
import shutil
import struct
import subprocess
from pathlib import Path

import pytest

from harness import REPO, SETTINGS_KEY, SLOWDOWN_32, wait_until, windows_path

UNINSTALL_KEY = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarvik"
RUN_KEY = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run"
VERSION = re.search(r"project\(Tarvik VERSION ([0-9.]+)",
                    (REPO / "CMakeLists.txt").read_text()).group(1)
OLD_VERSION = "4.9"
FILES = ["CHANGES.txt", "LICENSE.txt", "README.txt", "tarvik.exe", "tarvikctl.exe",
         "uninstall.exe"]


def old_build(exe: bytes) -> bytes:
    """tarvik.exe as an older version: its version strings say OLD_VERSION."""
    for key in ("FileVersion", "ProductVersion"):
        name = key.encode("utf-16-le") + b"\0\0"
        at = exe.index(name) + len(name)
        at += (-at) % 4  # the value starts on a 32-bit boundary
        assert exe[at:at + 6] == VERSION.encode("utf-16-le")[:6], key
        exe = exe[:at] + OLD_VERSION.encode("utf-16-le") + exe[at + 6:]
    return exe


@pytest.fixture(scope="module")
def installers(wine, tmp_path_factory):
    """{version: the installer's Unix path} for this build and an older one."""
    arch = "win32" if os.environ.get("TARVIK_ARCH") == "i686" else "win64"
    out = tmp_path_factory.mktemp("installers")
    old_bin = out / "old-bin"
    old_bin.mkdir()
    shutil.copy(wine.bin_dir / "tarvikctl.exe", old_bin)
    (old_bin / "tarvik.exe").write_bytes(old_build(wine.exe.read_bytes()))
    made = {}
    for version, bin_dir in ((VERSION, wine.bin_dir), (OLD_VERSION, old_bin)):
        subprocess.run([REPO / "packaging/windows/package.sh", arch, bin_dir, version, out],
                       check=True, timeout=120)
        made[version] = out / f"tarvik-{version}-{arch}-setup.exe"
    return made


def shell_folder(wine, variable: str) -> str:
    """A folder of the Wine user as a Windows path (%LOCALAPPDATA%, %APPDATA%)."""
    return wine.wine_run(["cmd", "/c", "echo", f"%{variable}%"]).stdout.strip()


def unix(wine, path: str) -> Path:
    assert path[1:3] == ":\\", path
    return wine.prefix / f"drive_{path[0].lower()}" / path[3:].replace("\\", "/")


def lnk_target(data: bytes) -> str:
    """The local path a shell link starts (its LinkInfo's LocalBasePath)."""
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & 0x01:  # HasLinkTargetIDList
        at += 2 + struct.unpack_from("<H", data, at)[0]
    assert flags & 0x02, "the link has no LinkInfo"
    base = at + struct.unpack_from("<I", data, at + 16)[0]
    return data[base:data.index(b"\0", base)].decode("latin-1")


def install(wine, setup: Path, *args: str) -> None:
    # NSIS installers are 32-bit programs, whichever build they install.
    r = wine.wine_run([str(setup), "/S", *args], timeout=120 * SLOWDOWN_32)
    assert r.returncode == 0, (r.returncode, r.stdout, r.stderr)


def window_pid(wine):
    rc, out = wine.probe("info")
    m = re.search(r"pid=(\d+)", out)
    return int(m.group(1)) if rc == 0 and m else None


def running(wine) -> int:
    return sum(1 for n in wine.process_names() if n.lower() == "tarvik.exe")


@pytest.fixture
def place(tarvik):
    """Where the installer puts things for this Wine user; nothing of an earlier
    test is left there."""
    folder = shell_folder(tarvik, "LOCALAPPDATA") + r"\Programs\Tarvik"
    shortcut = shell_folder(tarvik, "APPDATA") + \
        r"\Microsoft\Windows\Start Menu\Programs\Tarvik.lnk"
    shutil.rmtree(unix(tarvik, folder), ignore_errors=True)
    unix(tarvik, shortcut).unlink(missing_ok=True)
    for key in (UNINSTALL_KEY, RUN_KEY):
        tarvik.reg_delete(key)
    return {"folder": folder, "exe": folder + r"\tarvik.exe", "shortcut": shortcut}


def test_silent_install_puts_files_shortcut_entries_and_starts_from_the_shortcut(
        tarvik, installers, place, workdir):
    install(tarvik, installers[VERSION])
    folder = unix(tarvik, place["folder"])
    assert sorted(p.name for p in folder.iterdir()) == FILES
    assert (folder / "tarvik.exe").read_bytes() == tarvik.exe.read_bytes()
    assert (folder / "README.txt").read_bytes().startswith(f"Tarvik {VERSION} ".encode())

    entry = tarvik.reg_values(UNINSTALL_KEY)
    uninstaller = f'"{place["folder"]}\\uninstall.exe"'
    assert {k: entry.get(k) for k in ("DisplayName", "DisplayVersion", "Publisher",
                                      "DisplayIcon", "InstallLocation", "UninstallString",
                                      "QuietUninstallString")} == {
        "DisplayName": "Tarvik", "DisplayVersion": VERSION, "Publisher": "Tarvik developers",
        "DisplayIcon": f'"{place["exe"]}",0', "InstallLocation": place["folder"],
        "UninstallString": uninstaller, "QuietUninstallString": uninstaller + " /S"}
    size_kb = sum(p.stat().st_size for p in folder.iterdir()) // 1024
    assert abs(int(entry["EstimatedSize"], 16) - size_kb) <= len(FILES), entry["EstimatedSize"]
    # "Start with Windows" is on for a first install, in the program's own form.
    assert tarvik.reg_values(RUN_KEY).get("Tarvik") == f'"{place["exe"]}"'

    target = lnk_target(unix(tarvik, place["shortcut"]).read_bytes())
    assert target.lower() == place["exe"].lower()
    tarvik.start("", workdir, exe=target)
    assert tarvik.wait_tray(True, timeout=20), "no tray icon from the installed exe"


def test_upgrade_closes_the_running_old_version_and_starts_the_new_one(
        tarvik, installers, place, workdir):
    install(tarvik, installers[OLD_VERSION], "/AUTOSTART=0")
    assert tarvik.reg_values(UNINSTALL_KEY)["DisplayVersion"] == OLD_VERSION
    assert "Tarvik" not in tarvik.reg_values(RUN_KEY)
    assert tarvik.reg_add(SETTINGS_KEY, "TimerEnable", "REG_DWORD", "1")
    old = tarvik.start("", workdir, exe=place["exe"])
    old_pid = window_pid(tarvik)

    install(tarvik, installers[VERSION])
    # Closed its own way (WM_CLOSE: a clean exit, code 0), not killed.
    assert old.wait(20) == 0
    assert tarvik.wait_window(True, timeout=20), "the new version was not started"
    new_pid = wait_until(lambda: window_pid(tarvik), 10, "the new instance's window")
    assert new_pid != old_pid
    assert tarvik.wait_tray(True, timeout=20)
    assert running(tarvik) == 1
    assert unix(tarvik, place["exe"]).read_bytes() == tarvik.exe.read_bytes()
    assert tarvik.reg_values(UNINSTALL_KEY)["DisplayVersion"] == VERSION
    assert tarvik.reg_values(SETTINGS_KEY).get("TimerEnable") == "0x1"
    # The upgrade kept the start with Windows as it was: off.
    assert "Tarvik" not in tarvik.reg_values(RUN_KEY)


@pytest.mark.parametrize("remove_settings", [False, True], ids=["keep", "remove"])
def test_silent_uninstall_leaves_nothing_but_the_settings_asked_for(
        tarvik, installers, place, workdir, remove_settings):
    install(tarvik, installers[VERSION])
    assert tarvik.reg_add(SETTINGS_KEY, "TimerEnable", "REG_DWORD", "1")
    # Another program's start entry is not the uninstaller's to take.
    assert tarvik.reg_add(RUN_KEY, "Other", "REG_SZ", r'"C:\other\other.exe"')
    tarvik.start("", workdir, exe=place["exe"])

    folder = unix(tarvik, place["folder"])
    args = ["/S"] + (["/REMOVESETTINGS"] if remove_settings else [])
    # The uninstaller runs on from a copy of itself, so its end is waited for.
    tarvik.wine_run([str(folder / "uninstall.exe"), *args], timeout=60 * SLOWDOWN_32)
    wait_until(lambda: not folder.exists() and tarvik.reg_query(UNINSTALL_KEY) is None, 60,
               "the uninstaller's end", slowdown=SLOWDOWN_32)
    assert tarvik.wait_window(False, timeout=10)
    assert running(tarvik) == 0
    assert not unix(tarvik, place["shortcut"]).exists()
    run = tarvik.reg_values(RUN_KEY)
    assert "Tarvik" not in run and "Other" in run
    tarvik.reg_delete(RUN_KEY)
    assert (tarvik.reg_query(SETTINGS_KEY) is None) == remove_settings


def page(wine, caption: str, button: str, header: str) -> tuple[str, dict]:
    """Waits for the page whose Next button says `button` (enabled) and whose
    header (hidden on the welcome and finish pages: "") says `header`; its
    window's caption (the wizard puts a blank after it on most pages) and the
    window as find_dialog gives it."""
    last = []

    def shown():
        for title in (caption, caption + " "):
            controls = {c["id"]: c for c in wine.dialog_children(title)}
            nxt, head = controls.get(1), controls.get(1037)
            if not nxt:
                continue
            seen = head["text"] if head and head["visible"] else ""
            last[:] = [title, nxt["text"], nxt["enabled"], seen]
            if nxt["text"].replace("&", "") == button and nxt["enabled"] and seen == header:
                # Wine may report the dialog hidden for a moment while it changes pages.
                dialog = wine.find_dialog(title, timeout=1)
                return (title, dialog) if dialog else None
        return None
    try:
        return wait_until(shown, 60, f"the page {header or button!r} of {caption!r}",
                          interval=0.2, slowdown=SLOWDOWN_32)
    except TimeoutError as e:
        raise AssertionError(f"{e}; last seen: caption, button, enabled, header = {last}") \
            from None


def test_installer_and_uninstaller_pages(tarvik, installers, place, workdir):
    shots = []

    def step(caption, name, button, header):
        title, dialog = page(tarvik, caption, button, header)
        shots.append(tarvik.shoot_dialog(dialog, f"installer-{name}"))
        if name == "licence":
            # The MIT licence is shown for information: nothing to agree to.
            # (The wizard's own controls: the page's text is a dialog inside it.)
            texts = " ".join(c["text"] for c in tarvik.dialog_children(title)).lower()
            assert "agree" not in texts and "accept" not in texts, texts
            assert "free software under the mit licence" in texts, texts
        assert tarvik.click_control(title, 1)

    assert tarvik.reg_add(SETTINGS_KEY, "TimerEnable", "REG_DWORD", "1")
    setup = f"Tarvik {VERSION} Setup"
    tarvik.spawn("", workdir, exe=windows_path(installers[VERSION]))
    step(setup, "welcome", "Next >", "")
    step(setup, "licence", "Next >", "Licence")
    step(setup, "components", "Next >", "Choose Components")
    step(setup, "folder", "Install", "Choose Install Location")
    # The finish page's "Start Tarvik now" is ticked.
    step(setup, "finish", "Finish", "")
    assert tarvik.wait_tray(True, timeout=30), "Finish did not start Tarvik"
    assert unix(tarvik, place["exe"]).exists()

    remove = f"Tarvik {VERSION} Uninstall"
    tarvik.spawn("", workdir, exe=place["folder"] + r"\uninstall.exe")
    step(remove, "uninstall-confirm", "Next >", f"Uninstall Tarvik {VERSION}")
    step(remove, "uninstall-settings", "Uninstall", "Choose Components")
    title, dialog = page(tarvik, remove, "Close", "Uninstallation Complete")
    shots.append(tarvik.shoot_dialog(dialog, "installer-uninstall-done"))
    assert tarvik.click_control(title, 1)
    wait_until(lambda: not unix(tarvik, place["folder"]).exists(), 30, "the files removed",
               slowdown=SLOWDOWN_32)
    assert running(tarvik) == 0
    # Left unticked, the settings stay.
    assert tarvik.reg_query(SETTINGS_KEY) is not None
    assert all(s.stat().st_size > 0 for s in shots)
