"""Drives the real tarvik.exe under Wine on Xvfb for the end-to-end tests.

One `WineSession` per test run: its own X server on a free display, its own
WINEPREFIX, a persistent wineserver. Programs are started through
tarvik_probe.exe, which gives the exact command line (the Wine loader would
quote "/hide " or "/log   /hide") and passes the exit code back. Every wait
polls with a deadline; `close()` ends everything the session started, and a
watchdog does the same if the test process itself is killed.
"""

from __future__ import annotations

import atexit
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Callable, Optional, TypeVar

T = TypeVar("T")

REPO = Path(__file__).resolve().parents[2]
TRAY_TITLE = "Wine System Tray"
SETTINGS_KEY = r"HKEY_CURRENT_USER\Software\Orvanto Software\Tarvik\4.0"

# Ids of the main window's commands a second instance or the tests send.
CMD_EXIT = 109
CMD_HIDE = 200
CMD_SHOW = 201


# Where the kernel runs no 32-bit code, qemu-user runs it (scripts/ia32.sh says
# which): several times slower. Waits on 32-bit programs get their own bound
# then; where they run natively the bounds stay as written.
EMULATED_32 = os.environ.get("TARVIK_IA32") == "emulated"
SLOWDOWN_32 = 5.0 if EMULATED_32 else 1.0
# This build's programs: the 32-bit build's are 32-bit code.
SLOWDOWN = SLOWDOWN_32 if os.environ.get("TARVIK_ARCH") == "i686" else 1.0


def bound(seconds: float) -> float:
    """A wait of `seconds` on one of this build's programs, as bounded here."""
    return seconds * SLOWDOWN


class HarnessError(RuntimeError):
    pass


def wait_until(condition: Callable[[], T], timeout: float, what: str,
               interval: float = 0.05, slowdown: Optional[float] = None) -> T:
    """Polls `condition` until it returns something truthy; raises after `timeout` s,
    scaled by `slowdown` (default: as `bound` scales this build's programs)."""
    timeout *= SLOWDOWN if slowdown is None else slowdown
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise TimeoutError(f"timed out after {timeout:.1f} s waiting for {what}")
        time.sleep(interval)


def _find_tool(env_name: str, candidates: list[str]) -> str:
    value = os.environ.get(env_name)
    if value:
        return value
    for c in candidates:
        if os.path.isabs(c) and os.access(c, os.X_OK):
            return c
        found = shutil.which(c)
        if found:
            return found
    raise HarnessError(f"none of {candidates} found (set {env_name})")


def windows_path(path: Path) -> str:
    """The Z: path Wine gives a Unix path in every prefix."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


@dataclass
class RunResult:
    exit_code: Optional[int]   # the program's own exit code, None if it never ended
    pid: Optional[int]         # Windows process id
    output: str                # what the launcher printed


class Instance:
    """A tarvik.exe started without waiting; it runs until closed."""

    def __init__(self, session: "WineSession", popen: subprocess.Popen, out: Path,
                 cmdline: str):
        self.session = session
        self.popen = popen
        self.out = out
        self.cmdline = cmdline
        try:
            text = wait_until(lambda: self._read() if "\n" in self._read()
                              or popen.poll() is not None else "", 30, "the launcher")
        except TimeoutError:
            text = self._read()
        m = re.match(r"pid=(\d+)", text)
        if not m:
            raise HarnessError(f"launch of tarvik.exe {cmdline!r} failed: {text!r}")
        self.pid = int(m.group(1))

    def _read(self) -> str:
        return self.out.read_text(errors="replace") if self.out.exists() else ""

    def wait_idle(self, timeout: float) -> bool:
        """Waits until the program first waits for input in its message loop (the
        launcher reports it): its start-up is over."""
        try:
            wait_until(lambda: "idle" in self._read().split(), timeout, "the program idle")
            return True
        except TimeoutError:
            return False

    def running(self) -> bool:
        return self.popen.poll() is None

    def wait(self, timeout: float) -> Optional[int]:
        """Waits for the process to end; its exit code, or None when it did not end in time."""
        try:
            self.popen.wait(timeout=bound(timeout))
        except subprocess.TimeoutExpired:
            return None
        m = re.search(r"^exit=(\d+)", self._read(), re.M)
        return int(m.group(1)) if m else None


class WineSession:
    def __init__(self, bin_dir: Path, artifacts: Path):
        self.bin_dir = Path(bin_dir)
        self.artifacts = Path(artifacts)
        self.exe = self.bin_dir / "tarvik.exe"
        self.probe_exe = self.bin_dir / "tarvik_probe.exe"
        # Under emulation each start of a 32-bit program costs minutes, and the
        # probe starts for every wait: the 64-bit build's probe, where it is
        # built, works the 32-bit program as well.
        probe64 = REPO / "build" / "win64" / "bin" / "tarvik_probe.exe"
        if SLOWDOWN > 1 and probe64.exists():
            self.probe_exe = probe64
        self.wine = _find_tool("TARVIK_WINE", ["/usr/lib/wine/wine64", "wine64", "wine"])
        self.wineserver = _find_tool("TARVIK_WINESERVER",
                                     ["/usr/lib/wine/wineserver", "wineserver"])
        self.prefix: Optional[Path] = None
        self.display: Optional[str] = None
        self._xvfb: Optional[subprocess.Popen] = None
        self._watchdog: Optional[subprocess.Popen] = None
        self._children: list[subprocess.Popen] = []
        self._spawned = 0
        self._closed = False
        self.base_env: dict[str, str] = {}

    # ---- bring-up and tear-down ---------------------------------------------
    def boot(self) -> "WineSession":
        for f in (self.exe, self.probe_exe):
            if not f.exists():
                raise HarnessError(f"{f} is missing: build the win64 preset first")
        self.artifacts.mkdir(parents=True, exist_ok=True)
        atexit.register(self.close)
        self._start_xvfb()
        self.prefix = Path(tempfile.mkdtemp(prefix="tarvik-e2e-"))
        self.base_env = {
            k: v for k, v in os.environ.items()
            if not k.startswith("WINE") and k not in ("DISPLAY", "XAUTHORITY")
        }
        self.base_env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEDEBUG": "-all",
            # No Mono/Gecko install prompts in a fresh prefix.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "DISPLAY": self.display,
        })
        self._start_watchdog()
        # A copy of a prefix booted once for every level (its own bound inside).
        subprocess.run([str(REPO / "tests/wine_template.sh"), str(self.prefix)],
                       env=self.base_env, check=True, timeout=1800)
        # A persistent server: each program then starts in a quarter of a second.
        subprocess.run([self.wineserver, "-p"], env=self.base_env, timeout=30, check=False)
        rc, out = self.probe("find")
        if rc not in (0, 1):
            raise HarnessError(f"the probe does not run under Wine: rc={rc} {out}")
        return self

    def _start_xvfb(self) -> None:
        read_fd, write_fd = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        buf = b""
        deadline = time.monotonic() + 20
        os.set_blocking(read_fd, False)
        while not buf.endswith(b"\n"):
            if self._xvfb.poll() is not None or time.monotonic() > deadline:
                os.close(read_fd)
                raise HarnessError("Xvfb did not start")
            try:
                chunk = os.read(read_fd, 64)
                buf += chunk
            except BlockingIOError:
                time.sleep(0.02)
        os.close(read_fd)
        self.display = ":" + buf.decode().strip()

    def _start_watchdog(self) -> None:
        """Cleans up after us if this process dies without running close()."""
        script = (
            "import os,sys,time,subprocess,signal\n"
            "parent,xvfb,server,prefix=int(sys.argv[1]),int(sys.argv[2]),sys.argv[3],sys.argv[4]\n"
            "while True:\n"
            "    try: os.kill(parent,0)\n"
            "    except OSError: break\n"
            "    if not os.path.isdir(prefix): sys.exit(0)\n"
            "    time.sleep(1)\n"
            "env=dict(os.environ,WINEPREFIX=prefix)\n"
            "subprocess.run([server,'-k'],env=env,timeout=30)\n"
            "try: os.kill(xvfb,signal.SIGTERM)\n"
            "except OSError: pass\n"
            "subprocess.run(['rm','-rf',prefix])\n"
        )
        self._watchdog = subprocess.Popen(
            [sys.executable, "-c", script, str(os.getpid()), str(self._xvfb.pid),
             self.wineserver, str(self.prefix)],
            start_new_session=True, stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self) -> None:
        if self._closed:
            return
        self._closed = True
        if self.prefix is not None:
            subprocess.run([self.wineserver, "-k"], env=self.base_env, timeout=30, check=False,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                subprocess.run([self.wineserver, "-w"], env=self.base_env, timeout=30,
                               check=False)
            except subprocess.TimeoutExpired:
                pass
        for p in self._children:
            if p.poll() is None:
                p.kill()
            try:
                p.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass
        if self._xvfb is not None and self._xvfb.poll() is None:
            self._xvfb.terminate()
            try:
                self._xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._xvfb.kill()
        if self.prefix is not None:
            shutil.rmtree(self.prefix, ignore_errors=True)
        if self._watchdog is not None and self._watchdog.poll() is None:
            self._watchdog.kill()
            self._watchdog.wait(timeout=10)

    # ---- running Windows programs -----------------------------------------
    def env(self, extra: Optional[dict[str, str]] = None) -> dict[str, str]:
        env = dict(self.base_env)
        if extra:
            env.update(extra)
        return env

    def wine_run(self, args: list[str], cwd: Optional[Path] = None,
                 extra_env: Optional[dict[str, str]] = None,
                 timeout: float = 60) -> subprocess.CompletedProcess:
        """Runs a program through the Wine loader and waits for it (bounded).

        Output goes through files, not pipes: Wine's own helper processes
        (explorer, services) inherit the handles and would hold a pipe open.
        """
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.Popen([self.wine, *args], cwd=cwd or self.prefix,
                                    env=self.env(extra_env), stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err)
            try:
                proc.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait(timeout=10)
                raise
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(
                proc.args, proc.returncode,
                out.read().decode(errors="replace").replace("\r\n", "\n"),
                err.read().decode(errors="replace"))

    def probe(self, *args: str, timeout: float = 30) -> tuple[int, str]:
        r = self.wine_run([str(self.probe_exe), *args], timeout=bound(timeout))
        return r.returncode, r.stdout

    def run(self, cmdline: str, cwd: Path, extra_env: Optional[dict[str, str]] = None,
            timeout: float = 60) -> RunResult:
        """Starts tarvik.exe with exactly `cmdline` and waits until it ends."""
        r = self.wine_run([str(self.probe_exe), "run", windows_path(self.exe), cmdline],
                          cwd=cwd, extra_env=extra_env, timeout=bound(timeout))
        pid = re.search(r"^pid=(\d+)", r.stdout, re.M)
        code = re.search(r"^exit=(\d+)", r.stdout, re.M)
        if not pid:
            raise HarnessError(f"launch of tarvik.exe {cmdline!r} failed: {r.stdout}{r.stderr}")
        return RunResult(int(code.group(1)) if code else None, int(pid.group(1)), r.stdout)

    def run_direct(self, args: list[str], cwd: Path, timeout: float = 60) -> int:
        """Starts tarvik.exe straight from the Wine loader; the loader's exit code."""
        return self.wine_run([str(self.exe), *args], cwd=cwd,
                             timeout=bound(timeout)).returncode

    def spawn(self, cmdline: str, cwd: Path, extra_env: Optional[dict[str, str]] = None,
              exe: Optional[str] = None) -> Instance:
        """Starts tarvik.exe (or `exe`, a Windows path) with exactly `cmdline` and
        returns while it runs."""
        self._spawned += 1
        out = self.prefix / f"launch-{self._spawned}.out"
        with open(out, "wb") as f:
            popen = subprocess.Popen(
                [self.wine, str(self.probe_exe), "run", exe or windows_path(self.exe),
                 cmdline], cwd=cwd, env=self.env(extra_env), stdout=f,
                stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        self._children.append(popen)
        return Instance(self, popen, out, cmdline)

    def start(self, cmdline: str, cwd: Path, extra_env: Optional[dict[str, str]] = None,
              timeout: float = 30, exe: Optional[str] = None) -> Instance:
        """Starts tarvik.exe (or `exe`, a Windows path) in `cwd` (made if missing)
        and returns once its start-up is over. The window is found while its
        creation still runs: a message sent before the program is idle could be
        handled in the middle of its start-up."""
        Path(cwd).mkdir(parents=True, exist_ok=True)
        inst = self.spawn(cmdline, cwd, extra_env, exe)
        assert self.wait_window(True, timeout=20), f"no main window after {cmdline!r}"
        assert inst.wait_idle(timeout=timeout), f"no end of the start-up after {cmdline!r}"
        return inst

    # ---- simulated drives ------------------------------------------------------
    def has_sim(self) -> bool:
        return (self.bin_dir / "wnaspi32.dll").exists()

    def sim_env(self, profiles: list[Path], trace: Path,
                state: Optional[Path] = None) -> dict[str, str]:
        """Environment that gives the program simulated drives through the test
        wnaspi32.dll beside it: one drive per profile, every command in `trace`."""
        if not self.has_sim():
            raise HarnessError(f"{self.bin_dir / 'wnaspi32.dll'} is not built")
        env = {
            "WINEDLLOVERRIDES": self.base_env["WINEDLLOVERRIDES"] + ";wnaspi32=n",
            "TARVIK_SIM_PROFILES": ";".join(windows_path(p) for p in profiles),
            "TARVIK_SIM_TRACE": windows_path(trace),
        }
        if state is not None:
            env["TARVIK_SIM_STATE"] = windows_path(state)
        return env

    # ---- the running instance -------------------------------------------------
    def main_window(self) -> Optional[int]:
        rc, out = self.probe("find")
        return int(out.strip(), 16) if rc == 0 else None

    def wait_window(self, present: bool = True, timeout: float = 15) -> bool:
        cmd = "wait-window" if present else "wait-gone"
        rc, _ = self.probe(cmd, str(int(bound(timeout) * 1000)), timeout=timeout + 20)
        return rc == 0

    def send(self, *probe_args: str, timeout: float = 30) -> Optional[int]:
        """Sends through the probe; the message result, or None when nothing was sent."""
        rc, out = self.probe("--timeout", str(int(bound(timeout) * 1000)), *probe_args,
                             timeout=timeout + 20)
        m = re.search(r"result=(-?\d+)", out)
        return int(m.group(1)) if rc == 0 and m else None

    def command(self, cmd_id: int, lparam: int = 0) -> Optional[int]:
        return self.send("command", str(cmd_id), str(lparam))

    def answers(self) -> bool:
        """Whether the main window answers a message (WM_NULL). Its thread then has
        finished what it was doing: its start-up, or a request sent before."""
        return self.send("send", "0", "0", "0") is not None

    def tray_holds_icon(self, icon_id: int = 0) -> bool:
        """Whether the notification area holds icon `icon_id` of the main window, as
        the shell knows it: no wait for the screen to show it or take it away."""
        rc, out = self.probe("tray-icon", str(icon_id))
        if rc not in (0, 1):
            raise HarnessError(f"the probe could not ask the notification area: {out.strip()}")
        return rc == 0

    def tray_remove(self, icon_id: int = 0) -> bool:
        """Takes the program's icon out of the notification area behind its back,
        as a restarted shell loses it; whether it was there."""
        rc, out = self.probe("tray-remove", str(icon_id))
        if rc not in (0, 1):
            raise HarnessError(f"the probe could not reach the notification area: {out.strip()}")
        return rc == 0

    def resources(self) -> dict[str, int]:
        """What the main window's process holds (the probe's `resources`); -1 for
        a count the system would not give."""
        rc, out = self.probe("resources")
        if rc != 0:
            raise HarnessError(f"the probe could not read the resources: {out.strip()}")
        return {k: int(v) for k, v in (w.split("=", 1) for w in out.split())}

    def tips(self) -> list[str]:
        """The texts of the tool tips on screen."""
        rc, out = self.probe("tips")
        return [re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r", "t": "\t"}.get(
            m.group(1), m.group(1)), line) for line in out.splitlines()] if rc == 0 else []

    def post_command(self, cmd_id: int, lparam: int = 0) -> bool:
        """Posts WM_COMMAND and returns at once: a command that opens a modal
        dialog would keep a sent message waiting until the dialog closes."""
        rc, _ = self.probe("post-command", str(cmd_id), str(lparam))
        return rc == 0

    # ---- dialogs ---------------------------------------------------------------
    @staticmethod
    def _text_arg(text: str) -> str:
        """A caption or text for the probe, safe whatever Wine's locale is."""
        return "x:" + text.encode("utf-8").hex()

    def find_dialog(self, caption: str, timeout: float = 15) -> Optional[dict]:
        """The dialog captioned `caption` once it exists: hwnd, pid, rect and
        client (screen coordinates, right and bottom exclusive); None after `timeout`."""
        rc, out = self.probe("dialog", self._text_arg(caption), str(int(bound(timeout) * 1000)),
                             timeout=timeout + 20)
        if rc != 0:
            return None
        fields = dict(f.split("=", 1) for f in out.split() if "=" in f)
        return {"hwnd": int(fields["hwnd"], 16), "pid": int(fields["pid"]),
                "rect": _rect(fields["rect"]), "client": _rect(fields["client"])}

    def wait_dialog_gone(self, caption: str, timeout: float = 15) -> bool:
        rc, _ = self.probe("dialog-gone", self._text_arg(caption), str(int(bound(timeout) * 1000)),
                           timeout=timeout + 20)
        return rc == 0

    def _probe_dialog(self, *args: str, seconds: float = 3) -> tuple[int, str]:
        """A probe call on a dialog, retried for a short while: Wine may report
        a shown dialog hidden for a moment (seen after a wrong password and
        right after a message box opened)."""
        deadline = time.monotonic() + seconds
        while True:
            rc, out = self.probe(*args)
            if rc == 0 or time.monotonic() > deadline:
                return rc, out
            time.sleep(0.2)

    def dialog_children(self, caption: str) -> list[dict]:
        """The dialog's controls in creation order: id, cls, rect (screen),
        checked (-1 when not a button), enabled, visible, text."""
        rc, out = self._probe_dialog("children", self._text_arg(caption))
        if rc != 0:
            return []
        children = []
        for line in out.splitlines():
            parts = line.split("\t", 6)
            if len(parts) < 7:
                continue
            text = re.sub(r"\\(.)", lambda m: {"n": "\n", "r": "\r", "t": "\t"}.get(
                m.group(1), m.group(1)), parts[6])
            children.append({"id": int(parts[0]), "cls": parts[1], "rect": _rect(parts[2]),
                             "checked": int(parts[3]), "enabled": parts[4] == "1",
                             "visible": parts[5] == "1", "text": text})
        return children

    def dialog_layout(self, caption: str) -> dict:
        """The dialog's client size and each control's rectangle relative to
        the client area: what a layout decides, wherever the dialog stands."""
        dialog = self.find_dialog(caption)
        assert dialog, f"no dialog {caption!r}"
        left, top, right, bottom = dialog["client"]
        rects = {c["id"]: (c["rect"][0] - left, c["rect"][1] - top, c["rect"][2] - left,
                           c["rect"][3] - top) for c in self.dialog_children(caption)}
        return {"client": (right - left, bottom - top), "controls": rects}

    @staticmethod
    def layout_differences(a: dict, b: dict) -> list:
        """What differs between two dialog_layout answers: the client sizes,
        then each control whose rectangle differs, with both rectangles."""
        out = [("client", a["client"], b["client"])] if a["client"] != b["client"] else []
        for cid in sorted(set(a["controls"]) | set(b["controls"])):
            if a["controls"].get(cid) != b["controls"].get(cid):
                out.append((cid, a["controls"].get(cid), b["controls"].get(cid)))
        return out

    def dpi_changed(self, caption: str, dpi: int) -> None:
        """Tells the dialog its monitor now has `dpi`, as the system does."""
        rc, out = self.probe("dpi-changed", self._text_arg(caption), str(dpi))
        assert rc == 0, out

    def set_control_text(self, caption: str, control_id: int, text: str) -> bool:
        rc, _ = self.probe("set-text", self._text_arg(caption), str(control_id),
                           self._text_arg(text))
        return rc == 0

    def click_control(self, caption: str, control_id: int) -> bool:
        """Clicks a button of the dialog (posted: what it opens does not block)."""
        rc, out = self._probe_dialog("click", self._text_arg(caption), str(control_id))
        if rc != 0:
            print(f"click {caption!r} {control_id}: {out.strip()}", file=sys.stderr)
        return rc == 0

    def dialog_key(self, caption: str, key: str) -> None:
        """Gives the dialog's X window the keyboard focus and presses `key`
        (an xdotool key name such as Return or Escape)."""
        ids = wait_until(lambda: self.xdotool("search", "--onlyvisible", "--name",
                                              "^" + re.escape(caption) + "$").stdout.split(),
                         10, f"the X window of {caption!r}")
        self.xdotool("windowfocus", ids[-1])
        self.xdotool("key", key)

    def move_pointer(self, x: int, y: int) -> None:
        self.xdotool("mousemove", str(x), str(y))

    def work_area(self, x: int, y: int) -> Optional[tuple[int, int, int, int]]:
        """Work area of the monitor nearest (x, y), as the program sees it."""
        rc, out = self.probe("workarea", str(x), str(y))
        m = re.search(r"work=(\S+)", out)
        return _rect(m.group(1)) if rc == 0 and m else None

    def set_dpi(self, dpi: int) -> None:
        """Screen pixels per inch for programs started from now on (Wine's
        LogPixels). Restarts the wineserver, so nothing may be running."""
        self.reg_add(r"HKCU\Control Panel\Desktop", "LogPixels", "REG_DWORD", str(dpi))
        self.restart_server()

    def restart_server(self) -> None:
        """Ends the wineserver and starts it again: what it reads at its start
        (the screen DPI, the drives of the prefix) is read anew."""
        for args, timeout in ((["-k"], 30), (["-w"], 60), (["-p"], 30)):
            subprocess.run([self.wineserver, *args], env=self.base_env, timeout=timeout,
                           check=False)

    def at_dpis(self, body: Callable[[int], None], dpis: tuple[int, ...] = (96, 144)) -> None:
        """Runs body(dpi) with each screen DPI in turn (nothing may run between
        them, see set_dpi); back at 96 afterwards, however body ended."""
        try:
            for dpi in dpis:
                self.set_dpi(dpi)
                body(dpi)
        finally:
            self.set_dpi(96)

    def process_names(self) -> list[str]:
        """Image names of the Windows processes running in the prefix."""
        rc, out = self.probe("processes")
        return [n.strip() for n in out.splitlines() if n.strip()] if rc == 0 else []

    def stop_instances(self, timeout: float = 20) -> None:
        """Closes every running tarvik.exe: WM_CLOSE first, then termination."""
        deadline = time.monotonic() + timeout
        while self.main_window() is not None and time.monotonic() < deadline:
            self.send("close", timeout=5)
            self.wait_window(False, timeout=max(0.5, min(5, deadline - time.monotonic())))
        self.probe("kill", "tarvik.exe")
        for p in self._children:
            if p.poll() is None:
                try:
                    p.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait(timeout=10)
        self._children = [p for p in self._children if p.poll() is None]

    # ---- registry -------------------------------------------------------------
    def reg_query(self, key: str = SETTINGS_KEY) -> Optional[str]:
        """`reg query KEY /s`; None when the key does not exist."""
        r = self.wine_run(["reg", "query", key, "/s"])
        return r.stdout.replace("\r\n", "\n") if r.returncode == 0 else None

    def reg_tree(self, key: str = SETTINGS_KEY) -> dict[str, dict[str, tuple[str, str]]]:
        """key -> value name -> (type, data) of the key and every key below it."""
        return parse_reg_query(self.reg_query(key))

    def reg_values(self, key: str = SETTINGS_KEY) -> dict[str, str]:
        """value name -> data of the values of the key itself; {} when it does not exist."""
        return {name: data for name, (_, data) in self.reg_tree(key).get(key, {}).items()}

    def stored_list(self, model_key: str, family: str) -> dict[str, str]:
        """The values of a drive model's stored speed list (family CD, DVD or BD)."""
        return self.reg_values(f"{model_key}\\SpeedList{family}")

    def reg_export(self, key: str = SETTINGS_KEY) -> Optional[str]:
        """`reg export KEY FILE /y` decoded (the file is UTF-16 with BOM)."""
        out = self.prefix / "export.reg"
        out.unlink(missing_ok=True)
        r = self.wine_run(["reg", "export", key, windows_path(out), "/y"])
        if r.returncode != 0 or not out.exists():
            return None
        return out.read_bytes().decode("utf-16").replace("\r\n", "\n")

    def reg_delete(self, key: str = SETTINGS_KEY) -> None:
        self.wine_run(["reg", "delete", key, "/f"])

    def reg_add(self, key: str, name: str, kind: str, data: str) -> bool:
        # Once more after a failure: reg.exe has been seen to fail on a busy
        # machine with nothing wrong in what it was given.
        for _ in range(2):
            done = self.wine_run(["reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f"])
            if done.returncode == 0:
                return True
            print(f"reg add {key} {name}: {done.returncode} {done.stderr.strip()}",
                  file=sys.stderr)
        return False

    # ---- X side: tray, screenshots, clicks -------------------------------------
    def xdotool(self, *args: str, timeout: float = 15) -> subprocess.CompletedProcess:
        return subprocess.run(["xdotool", *args], env=self.env(), stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True, timeout=timeout, check=False)

    def tray_geometry(self) -> Optional[dict[str, int]]:
        """Geometry of the mapped notification area window, None while it holds no icon."""
        r = self.xdotool("search", "--onlyvisible", "--name", TRAY_TITLE)
        ids = r.stdout.split()
        if not ids:
            return None
        g = self.xdotool("getwindowgeometry", "--shell", ids[0])
        vals = dict(line.split("=", 1) for line in g.stdout.split() if "=" in line)
        try:
            return {k.lower(): int(vals[k]) for k in ("WINDOW", "X", "Y", "WIDTH", "HEIGHT")}
        except (KeyError, ValueError):
            return None

    def screenshot(self, name: str) -> Path:
        path = self.artifacts / f"{name}.png"
        subprocess.run(["import", "-window", "root", str(path)], env=self.env(), timeout=30,
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def shoot_dialog(self, dialog: dict, name: str) -> Path:
        """A screenshot of the whole screen cropped to the dialog's window
        (`dialog` as find_dialog returns it), as artifacts/NAME.png."""
        left, top, right, bottom = dialog["rect"]
        shot = self.screenshot(name + "-screen")
        return self.crop(shot, self.artifacts / f"{name}.png", left, top, right - left,
                         bottom - top)

    @staticmethod
    def crop(src: Path, dst: Path, x: int, y: int, w: int, h: int, scale: int = 1) -> Path:
        args = ["convert", str(src), "-crop", f"{w}x{h}+{x}+{y}", "+repage"]
        if scale != 1:
            args += ["-filter", "point", "-resize", f"{scale * 100}%"]
        subprocess.run([*args, str(dst)], timeout=30, check=True)
        return dst

    @staticmethod
    def pixels(src: Path, x: int, y: int, w: int, h: int) -> list[tuple[int, int, int]]:
        """RGB pixels of a region of a PNG, read through ImageMagick's PPM output."""
        ppm = subprocess.run(["convert", str(src), "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                              "-depth", "8", "ppm:-"], stdout=subprocess.PIPE, timeout=30,
                             check=True).stdout
        return _ppm_pixels(ppm)

    def tray_icon_shown(self, shot: Optional[Path] = None) -> bool:
        """True when the tray window is mapped and its first cell holds a drawn icon."""
        g = self.tray_geometry()
        if g is None:
            return False
        if shot is None:
            shot = self.prefix / "tray-probe.png"
            subprocess.run(["import", "-window", "root", str(shot)], env=self.env(),
                           timeout=30, check=True)
        cell = self.pixels(shot, g["x"] + 2, g["y"] + 2, 16, 16)
        return len(set(cell)) > 1

    def tray_icon_name(self, shot: Optional[Path] = None) -> tuple[Optional[str], int]:
        """Which of the program's icons the first tray cell shows: the nearest of the
        16-pixel images in resources/icons (on white), with its distance (sum of
        channel differences; 0 = the same picture). (None, -1) with no tray icon."""
        g = self.tray_geometry()
        if g is None:
            return None, -1
        if shot is None:
            shot = self.prefix / "tray-probe.png"
            subprocess.run(["import", "-window", "root", str(shot)], env=self.env(),
                           timeout=30, check=True)
        cell = self.pixels(shot, g["x"] + 2, g["y"] + 2, 16, 16)
        best: tuple[Optional[str], int] = (None, -1)
        for name, ref in self._icon_images().items():
            d = sum(abs(a - b) for p, q in zip(cell, ref) for a, b in zip(p, q))
            if best[1] < 0 or d < best[1]:
                best = (name, d)
        return best

    def _icon_images(self) -> dict[str, list[tuple[int, int, int]]]:
        if not hasattr(self, "_icons"):
            self._icons = {}
            for ico in sorted((REPO / "resources" / "icons").glob("*.ico")):
                ppm = subprocess.run(["convert", "-background", "white", f"{ico}[0]", "-flatten",
                                      "-depth", "8", "ppm:-"], stdout=subprocess.PIPE,
                                     timeout=30, check=True).stdout
                self._icons[ico.stem] = _ppm_pixels(ppm)
        return self._icons

    def wait_tray(self, shown: bool, timeout: float = 15) -> bool:
        try:
            wait_until(lambda: self.tray_icon_shown() == shown, timeout,
                       f"tray icon {'shown' if shown else 'gone'}", interval=0.2)
            return True
        except TimeoutError:
            return False

    def click_tray(self, button: int = 1) -> None:
        """Clicks the first icon of the notification area with the given X button."""
        g = wait_until(self.tray_geometry, 10, "the notification area window")
        x, y = g["x"] + 10, g["y"] + 10
        self.xdotool("mousemove", str(x), str(y), "click", str(button))

    def visible_windows(self) -> list[str]:
        """Mapped X windows other than the root and the notification area, as "id title"."""
        root = subprocess.run(["xwininfo", "-root"], env=self.env(), stdout=subprocess.PIPE,
                              text=True, timeout=15, check=False).stdout
        m = re.search(r"Window id: (0x[0-9a-f]+)", root)
        root_id = int(m.group(1), 16) if m else -1
        r = self.xdotool("search", "--onlyvisible", "--name", ".*")
        found = []
        for wid in r.stdout.split():
            if int(wid) == root_id:
                continue
            title = self.xdotool("getwindowname", wid).stdout.strip()
            if title != TRAY_TITLE:
                found.append(f"{wid} {title}")
        return found


def by_id(children: list[dict]) -> dict[int, dict]:
    return {c["id"]: c for c in children}


def inside(inner, outer) -> bool:
    return (inner[0] >= outer[0] and inner[1] >= outer[1] and inner[2] <= outer[2]
            and inner[3] <= outer[3])


def overlap(a, b) -> bool:
    return a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]


def assert_laid_out(dialog: dict, children: list[dict], unshown=frozenset(),
                    groups=frozenset()) -> None:
    """Every control but the `unshown` ones visible inside the dialog's client
    area, and no two of them overlapping but the `groups` (frames, containers)."""
    shown = [c for c in children if c["id"] not in unshown]
    assert shown, "no controls"
    for c in shown:
        assert c["visible"] and inside(c["rect"], dialog["client"]), \
            (c["id"], c["rect"], dialog["client"])
    leaves = [c for c in shown if c["id"] not in groups]
    for n, a in enumerate(leaves):
        for b in leaves[n + 1:]:
            assert not overlap(a["rect"], b["rect"]), (a["id"], a["rect"], b["id"], b["rect"])


def height(control: dict) -> int:
    return control["rect"][3] - control["rect"][1]


REG_VALUE = re.compile(r"^    (\S.*?)    (REG_\w+)(?:    (.*))?$")


def range_pairs(data: str) -> list[tuple[int, int]]:
    """The (speed, command) pairs of a stored Range: hex of two little-endian DWORDs each."""
    raw = bytes.fromhex(data)
    return [(int.from_bytes(raw[i:i + 4], "little"), int.from_bytes(raw[i + 4:i + 8], "little"))
            for i in range(0, len(raw) - 7, 8)]


def parse_reg_query(text: Optional[str]) -> dict[str, dict[str, tuple[str, str]]]:
    """key -> value name -> (type, data) of `reg query KEY /s` output."""
    tree: dict[str, dict[str, tuple[str, str]]] = {}
    key = None
    for line in (text or "").splitlines():
        if line.startswith("HKEY_"):
            key = line.strip()
            tree.setdefault(key, {})
        elif key and (m := REG_VALUE.match(line.rstrip())):
            tree[key][m.group(1)] = (m.group(2), m.group(3) or "")
    return tree


def _rect(text: str) -> tuple[int, int, int, int]:
    left, top, right, bottom = (int(v) for v in text.split(","))
    return left, top, right, bottom


def _ppm_pixels(ppm: bytes) -> list[tuple[int, int, int]]:
    """RGB pixels of a binary PPM: header "P6 <w> <h> <max>" and one white-space byte."""
    parts = ppm.split(maxsplit=4)
    width, height, data = int(parts[1]), int(parts[2]), parts[4]
    return [tuple(data[i * 3:i * 3 + 3]) for i in range(width * height)]  # type: ignore[misc]


# ---- log files --------------------------------------------------------------
LOG_NAME = re.compile(r"^tarvik(\d{2,})\.log$")
STAMP = re.compile(r"^\d{2}:\d{2}:\d{2}\.\d{3} ")


def log_files(folder: Path) -> list[str]:
    """tarvikNN.log names in a folder, by number."""
    names = [p.name for p in Path(folder).iterdir() if LOG_NAME.match(p.name)]
    return sorted(names, key=lambda n: int(LOG_NAME.match(n).group(1)))


def read_log(path: Path) -> list[str]:
    """The lines of a log, CR LF or LF."""
    return Path(path).read_bytes().decode("latin-1").replace("\r\n", "\n").splitlines()


def read_trace(path: Path) -> list[dict]:
    """The simulator's command trace: one JSON object a line."""
    if not Path(path).exists():
        return []
    return [json.loads(line) for line in Path(path).read_text().splitlines()
            if line.strip().startswith("{")]


def messages(lines: list[str]) -> list[str]:
    """Log lines without their time stamps."""
    return [STAMP.sub("", line, count=1) for line in lines]


def install_signal_cleanup(session: WineSession) -> None:
    """SIGTERM (ctest's timeout, CI stop) tears the session down like Ctrl-C does."""
    def handler(signum, frame):  # noqa: ARG001
        session.close()
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, handler)
