#!/usr/bin/env python3
"""The real tarvik.exe under Wine for a long time, with two simulated drives
whose discs are changed, trays opened and closed, and speeds chosen every few
seconds, while the resources of its process are sampled through the probe.

    tests/e2e/soak.py [--minutes N] [--seed S] [--report FILE]

Needs the win64 build (tarvik.exe, tarvik_probe.exe, the test wnaspi32.dll)
and the host build's tarvikctl. Run it niced; it is not part of the test
command, which runs a one-minute sample of it (test_soak.py).

A restore is due after an event the drive's event mask names (a media arrival
for its letter, a resume, a close of its tray by the program) when a disc is
in it, a speed is selected and the speed in force is above it: the drive
forgot the speed when its disc changed. It is seen when the trace shows the
selected speed sent to that drive after the event. Steps of the user interface
as well: a tray menu opened and closed, the About dialog opened, moved to
another DPI and back and closed, and a change of DPI told to the main window
(the tray icon's pictures loaded again at each). Resources: GDI and USER
objects, handles and the working set of the tarvik process, sampled after each
step. The steps run in rounds, every kind once in each in a random order (in
the first, every kind on both drives); the baseline is the sample after the
first round, and each later sample must stay within BOUNDS of it and not grow
by PER_STEP or more a step.

Exit code: 0 within bounds and no restore missed, 1 otherwise, 2 bad setup.
"""

from __future__ import annotations

import argparse
import json
import random
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import REPO, WineSession, install_signal_cleanup, wait_until  # noqa: E402
from simrun import DVD_WRITER, DVD_WRITER_MODEL, SLIM, SLIM_MODEL, SimRun  # noqa: E402

# D: the DVD writer (its tray closes itself), E: the slim writer (it does not).
MODELS = {0: DVD_WRITER_MODEL, 1: SLIM_MODEL}
LETTER_MASK = {0: "0x8", 1: "0x10"}
DISCS = {0: ["dvd", "dvd-r", "dvd+rw"], 1: ["cd-r", "cd", "cd-rw"]}
FAMILY = {0: "dvd", 1: "cd"}
# How the log names each drive when the main timer checks it.
TIMER_NAME = {0: "TARVIKSM DVDRW SIM24X", 1: "TARVIKSM SLIM DVDRW SIM8"}
# The system announces a disc once it can be read, and a drive still spinning
# up cannot take a speed: a step waits until the drive says it is ready, and
# the next step starts once no drive is spinning up (each wait at most this).
SPIN_UP_S = 15
EVENT_MASK = 0x1B  # start, disc change, resume, tray close
DRIVE_CMD_EJECT, DRIVE_CMD_CLOSE, DRIVE_CMD_SET_SPEED = 1, 2, 12

RESOURCES = ("gdi", "user", "handles", "windows", "ws")
# Wine's GetGuiResources is a stub: there the probe counts the GDI objects in
# the process's own GDI handle table (a leaked icon shows there too, as its
# bitmaps), and prints -1 for the USER count, which is bounded where the
# system gives it. A leaked window shows in `windows`; every other count must
# be read.
GUI_COUNTS = ("user",)
# Growth allowed over the baseline. The working set moves with Wine's own
# caches, so its bound is generous.
BOUNDS = {"gdi": 16, "user": 16, "handles": 32, "windows": 4, "ws": 12 * 1024 * 1024}
# Growth allowed per step, the slope of a line fitted through the samples from
# the baseline on. Objects: one leaked in every fourth step is 0.25, one a
# round of STEPS 1/7; a program that holds its own stays at 0.
PER_STEP = {"gdi": 0.1, "user": 0.1, "handles": 0.1, "windows": 0.1, "ws": 256 * 1024}
STEPS = ("speed", "disc", "tray", "resume", "menu", "dialog", "dpi")
# The rounds the soak runs at least, however short its time: the first gives
# the baseline, the later ones the growth a step.
MIN_ROUNDS = 3
CMD_ABOUT, ABOUT = 102, "About Tarvik"
WM_DPICHANGED = 0x02E0


def drive_command(speed_index: int, drive: int, action: int) -> int:
    return 0x8000 | (speed_index & 0x7F) << 8 | (drive & 0xF) << 4 | (action & 0xF)


def forgetful(profile: Path, folder: Path) -> Path:
    """The profile with every speed forgotten at a disc change, as most drives
    do: the writer otherwise keeps a streaming speed and nothing is ever due."""
    data = json.loads(profile.read_text())
    for model in data["speeds"].values():
        if isinstance(model, dict):
            model["persist"] = "none"
    path = folder / ("forgetful-" + profile.name)
    path.write_text(json.dumps(data))
    return path


class Soak:
    def __init__(self, tarvik, workdir: Path, seed: int):
        self.run = SimRun(tarvik, workdir, [forgetful(DVD_WRITER, workdir.parent), SLIM])
        self.tarvik = tarvik
        self.rng = random.Random(seed)
        self.selected: dict[int, int] = {0: 0, 1: 0}
        self.top: dict[int, int] = {}
        self.discs: dict[int, int] = {0: 0, 1: 0}  # index in DISCS of the disc in it
        self.samples: list[dict] = []
        self.baseline_at: int | None = None
        self.rounds = 0
        self.expected = 0
        self.seen = 0
        self.missed: list[str] = []
        self.counts = {s: 0 for s in STEPS}

    # ---- set-up -------------------------------------------------------------------
    def start(self) -> None:
        run = self.run
        run.learn()
        for d, model in MODELS.items():
            run.set_dword(model + "\\00", "EventMask", EVENT_MASK)
        # The main timer runs through the whole soak: its ticks are part of the load.
        run.set_settings(TimerEnable=1)
        run.start()
        for d in MODELS:
            self.top[d] = self.in_force(run.user(d, "state"), d)

    def in_force(self, state: dict, d: int) -> int:
        return state["speed"][FAMILY[d]]

    # ---- what is due and what was seen ---------------------------------------------
    def check_restore(self, d: int, mark: int, due: bool, what: str) -> None:
        if not due:
            return
        self.expected += 1
        want = ("speed", d, self.selected[d])
        try:
            self.run.wait_action(mark, want, timeout=20)
        except TimeoutError:
            pass
        if want in self.run.actions_since(mark):
            self.seen += 1
        else:
            self.missed.append(f"{what} on drive {d}: selected {self.selected[d]} never sent")

    def restore_due(self, d: int, speed_now: int) -> bool:
        return self.selected[d] != 0 and speed_now > self.selected[d]

    # ---- the steps --------------------------------------------------------------------
    def step_speed(self, d: int) -> None:
        """A speed chosen from the drive's menu: it becomes the selected speed."""
        mark = self.run.mark()
        k = self.rng.randrange(1, 5)  # not the top entry: a disc change must matter
        assert self.tarvik.post_command(drive_command(k, d, DRIVE_CMD_SET_SPEED))
        self.run.settle()
        speeds = [a[2] for a in self.run.actions_since(mark) if a[:2] == ("speed", d)]
        if speeds:
            self.selected[d] = speeds[-1]

    def change_disc(self, d: int) -> int:
        self.run.user(d, "open")
        # Another kind of disc each time: the running program's drive learns of a
        # change by comparing the shared state, and the same disc again is none.
        self.discs[d] = (self.discs[d] + 1) % len(DISCS[d])
        self.run.user(d, "insert", DISCS[d][self.discs[d]])
        speed = self.in_force(self.run.user(d, "close"), d)
        self.wait_ready(d)
        return speed

    def wait_ready(self, d: int) -> None:
        wait_until(lambda: self.run.user(d, "state")["ready"], SPIN_UP_S,
                   f"drive {d} ready", interval=0.2)

    def wait_at_rest(self) -> None:
        """Until neither drive is spinning a disc up (ready, empty or open)."""
        for d in MODELS:
            wait_until(lambda: _at_rest(self.run.user(d, "state")), SPIN_UP_S,
                       f"drive {d} at rest", interval=0.2)

    def step_disc(self, d: int) -> None:
        """A new disc and the system's media arrival notice for its letter."""
        mark = self.run.mark()
        due = self.restore_due(d, self.change_disc(d))
        assert self.run.send("devicechange", "arrival", LETTER_MASK[d]) is not None
        self.run.settle()
        self.check_restore(d, mark, due, "media arrival")

    def step_tray(self, d: int) -> None:
        """The tray opened from the menu; closed from the menu where the drive can
        close it (a restore is due), by hand and announced by the system elsewhere."""
        mark = self.run.mark()
        assert self.tarvik.post_command(drive_command(0, d, DRIVE_CMD_EJECT))
        self.run.wait_action(mark, ("eject", d))
        mark = self.run.mark()
        if d == 0:
            due = self.restore_due(d, self.top[d])
            assert self.tarvik.post_command(drive_command(0, d, DRIVE_CMD_CLOSE))
            self.run.wait_action(mark, ("close", d))
            self.run.settle()
            self.check_restore(d, mark, due, "tray close")
        else:
            due = self.restore_due(d, self.in_force(self.run.user(d, "close"), d))
            self.wait_ready(d)
            assert self.run.send("devicechange", "arrival", LETTER_MASK[d]) is not None
            self.run.settle()
            self.check_restore(d, mark, due, "media arrival after a tray close")

    def step_resume(self, d: int) -> None:
        """Back from sleep with a new disc in one drive: that drive is restored.
        (tarvikctl starts the other drive afresh, so its speed is not read here;
        its last restore was checked when it was due.) The program's drive
        learns of the new disc at its next command and spins it up from then:
        the resume is sent once the main timer has looked at the drive twice,
        so that the disc is readable to the program, as after a real sleep."""
        due = self.restore_due(d, self.change_disc(d))
        line = "Timer: Checking drive [" + TIMER_NAME[d]
        seen = sum(line in m for m in self.run.log())
        self.run.wait_log(lambda log: sum(line in m for m in log) >= seen + 2,
                          f"two timer checks of drive {d}")
        mark = self.run.mark()
        assert self.run.send("power", "resumesuspend") == 1
        self.run.settle()
        self.check_restore(d, mark, due, "resume")

    def step_menu(self, d: int) -> None:
        """The speed menu (left button, drive 0) or the main menu (right button)
        opened on the tray icon, then closed with Escape."""
        run, button = self.run, 1 if d == 0 else 3
        line = "CheckAllStatus DONE" if button == 1 else "    RMenuInsertList FINISHED"
        before = run.log().count(line)
        self.tarvik.click_tray(button)
        run.wait_log(lambda log: log.count(line) > before, f"the menu of button {button}")
        wait_until(self.tarvik.visible_windows, 10, "the menu window", interval=0.2)
        self.tarvik.xdotool("key", "Escape")
        wait_until(lambda: not self.tarvik.visible_windows(), 10, "the menu closed",
                   interval=0.2)
        run.settle()

    def step_dialog(self, d: int) -> None:
        """About opened, told its monitor went to 144 DPI and back (its fonts and
        icon taken again each time), closed with OK."""
        assert self.tarvik.post_command(CMD_ABOUT)
        assert self.tarvik.find_dialog(ABOUT), "no About dialog"
        for dpi in (144, 96):
            self.tarvik.dpi_changed(ABOUT, dpi)
        assert self.tarvik.click_control(ABOUT, 1)
        assert self.tarvik.wait_dialog_gone(ABOUT), "About stayed open after OK"
        self.run.settle()

    def step_dpi(self, d: int) -> None:
        """The main window's monitor to 120 or 144 DPI and back: the tray icon's
        pictures are loaded for each."""
        for dpi in ((120, 144)[d], 96):
            assert self.run.send("send", str(WM_DPICHANGED), str(dpi << 16 | dpi), "0") == 0
        self.run.settle()

    # ---- resources -----------------------------------------------------------------
    def sample(self, elapsed: float) -> None:
        values = self.tarvik.resources()
        sample = {"t": round(elapsed, 1), **{r: values[r] for r in RESOURCES}}
        self.samples.append(sample)

    def loop(self, seconds: float) -> None:
        """Rounds of every kind of step once, in a random order each: a leak in
        one kind's path shows once a round, however the dice fall. The first
        round runs each kind on both drives, so that what the system makes
        once and keeps (a menu's check marks, say) is in the baseline."""
        begin = time.monotonic()
        self.sample(0)
        while time.monotonic() - begin < seconds or self.rounds < MIN_ROUNDS:
            if self.rounds == 0:
                order = [(kind, d) for kind in STEPS for d in MODELS]
            else:
                order = [(kind, self.rng.randrange(2)) for kind in STEPS]
            self.rng.shuffle(order)
            for kind, d in order:
                getattr(self, "step_" + kind)(d)
                self.counts[kind] += 1
                self.wait_at_rest()
                self.sample(time.monotonic() - begin)
            self.rounds += 1
            if self.baseline_at is None:
                self.baseline_at = len(self.samples) - 1

    # ---- the figures ----------------------------------------------------------------
    def figures(self) -> dict:
        at = self.baseline_at if self.baseline_at is not None else 0
        base = self.samples[at]
        later = self.samples[at:]
        table = {}
        over = []
        for r in RESOURCES:
            values = [s[r] for s in self.samples]
            known = min(values) >= 0
            if not known and r not in GUI_COUNTS:
                over.append(f"{r}: not read in every sample {values}")
            peak = max(s[r] for s in later)
            slope = _slope([s[r] for s in later])
            table[r] = {"start": values[0], "baseline": base[r], "end": values[-1],
                        "max": max(values), "bound": base[r] + BOUNDS[r] if known else None,
                        "per_step": round(slope, 3) if known else None}
            if known and peak > base[r] + BOUNDS[r]:
                over.append(f"{r}: {peak} > baseline {base[r]} + {BOUNDS[r]}")
            if known and slope > PER_STEP[r]:
                over.append(f"{r}: grows {slope:.2f} a step > {PER_STEP[r]} ({values[at:]})")
        return {"steps": self.counts, "rounds": self.rounds, "samples": len(self.samples),
                "seconds": self.samples[-1]["t"], "resources": table, "over": over,
                "restores": {"expected": self.expected, "seen": self.seen},
                "missed": self.missed}


def _at_rest(state: dict) -> bool:
    return state["ready"] or state["trayOpen"] or state["medium"]["kind"] == "none"


def _slope(values: list[int]) -> float:
    """Least-squares slope of values against their index (one sample a step)."""
    n = len(values)
    if n < 2:
        return 0.0
    mean_x, mean_y = (n - 1) / 2, sum(values) / n
    num = sum((i - mean_x) * (v - mean_y) for i, v in enumerate(values))
    return num / sum((i - mean_x) ** 2 for i in range(n))


def soak(tarvik, workdir: Path, seconds: float, seed: int = 1) -> dict:
    """Runs the soak on a session with no instance running; closes the instance
    (exit code 0 asserted) and returns the figures."""
    s = Soak(tarvik, workdir, seed)
    s.start()
    try:
        s.loop(seconds)
    except (AssertionError, TimeoutError) as e:
        # The figures so far, and whether the program is still there.
        figures = s.figures()
        figures["error"] = f"{type(e).__name__}: {e}; window {'present' if tarvik.main_window() else 'GONE'}"
        return figures
    figures = s.figures()
    s.run.close()
    return figures


def print_figures(f: dict) -> None:
    print(f"soak: {f['seconds']:.0f} s, {sum(f['steps'].values())} steps {f['steps']}, "
          f"{f['samples']} samples")
    print(f"{'resource':10} {'start':>10} {'baseline':>10} {'end':>10} {'max':>10} {'bound':>10}"
          f" {'per step':>10}")
    for r, v in f["resources"].items():
        print(f"{r:10} {v['start']:>10} {v['baseline']:>10} {v['end']:>10} {v['max']:>10} "
              f"{str(v['bound']):>10} {str(v['per_step']):>10}")
    print(f"restores: expected {f['restores']['expected']}, seen {f['restores']['seen']}")
    for line in f["over"] + f["missed"] + ([f["error"]] if "error" in f else []):
        print("FAIL: " + line)


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--minutes", type=float, default=30)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--report", type=Path, help="write the figures as JSON here")
    args = ap.parse_args()
    bin_dir = REPO / "build" / "win64" / "bin"
    session = WineSession(bin_dir, bin_dir.parent / "soak-artifacts")
    install_signal_cleanup(session)
    try:
        session.boot()
        # Kept afterwards: the program's log and the drives' trace explain a failure.
        workdir = Path(tempfile.mkdtemp(prefix="tarvik-soak-")) / "cwd"
        workdir.mkdir()
        print(f"soak: log and trace in {workdir.parent}", flush=True)
        figures = soak(session, workdir, args.minutes * 60, args.seed)
    finally:
        session.close()
    print_figures(figures)
    if args.report:
        args.report.write_text(json.dumps(figures, indent=2))
    return 0 if not figures["over"] and not figures["missed"] and "error" not in figures else 1


if __name__ == "__main__":
    sys.exit(main())
