"""One running tarvik.exe with simulated drives, watched through its command
trace and its log, for the tests of messages, events and timers.

`SimRun.learn()` runs the program once with /exit so the drive models are
stored (the registry values a test sets next then refer to known models);
`start()` starts the instance with /log and returns once its start-up is
over. Messages the program posts to itself (hot keys, media arrival,
resume, timers) run after the send that caused them has returned; `settle()`
posts a marker command behind them and waits for its log line, so what they
sent is in the trace when it returns.
"""

from __future__ import annotations

import json
import subprocess
from pathlib import Path
from typing import Optional

from harness import REPO, SETTINGS_KEY, log_files, messages, read_log, read_trace, wait_until

PROFILES = REPO / "sim" / "profiles"
DVD_WRITER = PROFILES / "dvdrw-24x-streaming.json"    # DVD in it; SET STREAMING for DVD
SLIM = PROFILES / "slim-laptop-24x.json"              # CD-R in it; its tray cannot close itself
TARVIKCTL = REPO / "build" / "host" / "bin" / "tarvikctl"

DVD_WRITER_MODEL = SETTINGS_KEY + "\\TARVIKSM DVDRW SIM24X     1.02"
SLIM_MODEL = SETTINGS_KEY + "\\TARVIKSM SLIM DVDRW SIM8  LS03"

OP_START_STOP_UNIT = 0x1B
OP_SET_STREAMING = 0xB6
OP_SET_CD_SPEED = 0xBB

# An action that means nothing (13) for drive 0: it logs its CDROMCommand line
# and sends no command, which makes it a marker in the log.
MARK_ACTION = 13


def action(record: dict) -> Optional[tuple]:
    """What a trace record does to the drive: ("eject", drive), ("close", drive),
    ("speed", drive, KB/s); None for the commands that only ask."""
    cdb = bytes.fromhex(record.get("cdb", ""))
    if not cdb:
        return None
    drive = record["drive"]
    if cdb[0] == OP_START_STOP_UNIT and cdb[4] & 0x02:  # LoEj: the tray moves
        return ("close", drive) if cdb[4] & 0x01 else ("eject", drive)
    if cdb[0] == OP_SET_CD_SPEED:
        return ("speed", drive, int.from_bytes(cdb[2:4], "big"))
    if cdb[0] == OP_SET_STREAMING and "out" in record:
        # Performance descriptor: read size in KB per read time in ms.
        out = bytes.fromhex(record["out"])
        size, ms = int.from_bytes(out[12:16], "big"), int.from_bytes(out[16:20], "big")
        return ("speed", drive, size * 1000 // ms if ms else 0)
    return None


def actions(records: list[dict]) -> list[tuple]:
    return [a for a in map(action, records) if a is not None]


def hot_key_value(modifiers: int, key: int) -> int:
    """A HotKeys slot as stored: the virtual key, MOD_* flags as bits 8 (Shift),
    9 (Ctrl), 10 (Alt) and 12 (Win)."""
    stored = key
    for mod, bit in ((1, 10), (2, 9), (4, 8), (8, 12)):  # MOD_ALT, MOD_CONTROL, MOD_SHIFT, MOD_WIN
        if modifiers & mod:
            stored |= 1 << bit
    return stored


class SimRun:
    def __init__(self, tarvik, workdir: Path, profiles: list[Path]):
        assert tarvik.has_sim(), "the test wnaspi32.dll is not built"
        assert TARVIKCTL.exists(), f"{TARVIKCTL} is missing: build the host preset"
        self.tarvik = tarvik
        self.workdir = workdir
        self.profiles = profiles
        self.trace = workdir.parent / "trace.jsonl"
        self.state = workdir.parent / "drives.state"
        self.env = tarvik.sim_env(profiles, self.trace, self.state)
        self.inst = None
        self._marks = 0
        assert tarvik.reg_add(SETTINGS_KEY, "ApiPrefered", "REG_DWORD", "2")

    # ---- before the start ------------------------------------------------------
    def learn(self) -> None:
        """One run with /exit: the drive models are examined and stored."""
        assert self.tarvik.run("/exit", self.workdir, extra_env=self.env).exit_code == 0

    def set_dword(self, key: str, name: str, value: int) -> None:
        assert self.tarvik.reg_add(key, name, "REG_DWORD", str(value))

    def set_settings(self, **values: int) -> None:
        for name, value in values.items():
            self.set_dword(SETTINGS_KEY, name, value)

    def set_hot_keys(self, instance_key: str, slots: dict[int, int]) -> None:
        data = b"".join(slots.get(s, 0).to_bytes(4, "little") for s in range(7))
        assert self.tarvik.reg_add(instance_key, "HotKeys", "REG_BINARY", data.hex())

    def keys_taken(self, modifiers: int, keys: list[int]) -> set[int]:
        """Which of these key combinations some window holds now (the probe tries
        to register each and lets it go again)."""
        rc, out = self.tarvik.probe("hotkey-free", str(modifiers), *map(str, keys))
        assert rc in (0, 1), f"the probe could not try the keys: {out}"
        return {int(line.split()[0], 16) for line in out.splitlines() if " taken" in line}

    # ---- the instance ------------------------------------------------------------
    def start(self) -> None:
        self.inst = self.tarvik.spawn("/log", self.workdir, extra_env=self.env)
        assert self.tarvik.wait_window(True, timeout=20), "no main window"
        assert self.inst.wait_idle(timeout=30), "no end of the start-up"

    def close(self) -> None:
        assert self.tarvik.send("close") is not None
        code = self.inst.wait(timeout=30)
        assert code == 0, f"exit code {code} after WM_CLOSE"

    def log(self) -> list[str]:
        names = log_files(self.workdir)
        return messages(read_log(self.workdir / names[-1])) if names else []

    def wait_log(self, condition, what: str, timeout: float = 30) -> None:
        """Waits until condition(log messages) holds."""
        wait_until(lambda: condition(self.log()), timeout, what, interval=0.2)

    def settle(self, timeout: float = 30) -> None:
        """Returns once everything posted before now has run."""
        k = self._marks % 128
        self._marks += 1
        line = f"CDROMCommand: cmd={MARK_ACTION}, i=0, speed={k}"
        before = self.log().count(line)
        mark = 0x8000 | k << 8 | MARK_ACTION
        rc, out = self.tarvik.probe("post-command", str(mark))
        assert rc == 0, f"the marker was not posted: {out}"
        wait_until(lambda: self.log().count(line) > before, timeout, f"the marker {line!r}",
                   interval=0.1)

    def send(self, *probe_args: str) -> Optional[int]:
        return self.tarvik.send(*probe_args)

    # ---- what the drives saw -------------------------------------------------------
    def records(self) -> list[dict]:
        return [r for r in read_trace(self.trace) if "cdb" in r]

    def mark(self) -> int:
        return len(self.records())

    def since(self, mark: int) -> list[dict]:
        return self.records()[mark:]

    def actions_since(self, mark: int) -> list[tuple]:
        return actions(self.since(mark))

    def tray_moves_since(self, mark: int) -> list[tuple]:
        return [a for a in self.actions_since(mark) if a[0] in ("eject", "close")]

    def wait_action(self, mark: int, wanted: tuple, count: int = 1, timeout: float = 30) -> None:
        wait_until(lambda: self.actions_since(mark).count(wanted) >= count, timeout,
                   f"{count} x {wanted} in the trace", interval=0.2)

    # ---- what a user does to a drive --------------------------------------------------
    def user(self, drive: int, *op: str) -> dict:
        """tarvikctl sim DRIVE OP on the shared state file: the running program's
        drive sees it at its next command."""
        args = [str(TARVIKCTL)]
        for p in self.profiles:
            args += ["--sim", str(p)]
        args += ["--state", str(self.state), "--json", "sim", str(drive), *op]
        r = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                           timeout=30, check=False)
        assert r.returncode == 0, f"tarvikctl sim {drive} {' '.join(op)}: {r.stderr}"
        return json.loads(r.stdout)
