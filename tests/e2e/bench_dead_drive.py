#!/usr/bin/env python3
"""Benchmark: start-up of tarvik.exe to a usable speed menu under Wine with
four simulated drives (models stored), and the same with the third of them
dead (it answers INQUIRY, then never completes a command: each ASPI command
to it waits its 30 s), as a ratio.

Time: from the spawn until the left click on the tray icon has checked every
drive and the menu is on screen.

    tests/e2e/bench_dead_drive.py [--rounds N]

Not part of the e2e level: it prints figures and fails only when the program
does not start or show its menu.
"""

from __future__ import annotations

import argparse
import json
import statistics
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from harness import REPO, WineSession, wait_until  # noqa: E402
from simrun import SimRun  # noqa: E402

PROFILES = [REPO / "sim" / "profiles" / name for name in (
    "dvdrw-24x-streaming.json", "slim-laptop-24x.json", "bd-combo-12x.json",
    "dvdrom-16x-reports-set-speed.json")]
DEAD = 2


def dead_copy(profile: Path, folder: Path, kind: str) -> Path:
    data = json.loads(profile.read_text())
    if kind == "timeout":
        data["faults"] = [{"opcode": "any", "after": 1, "times": 0, "error": "timeout"}]
    else:
        data["faults"] = [{"opcode": "any", "after": 1, "times": 0, "error": "vanish"}]
    path = folder / f"dead-{kind}.json"
    path.write_text(json.dumps(data))
    return path


def start_to_menu(session: WineSession, work: Path, profiles: list[Path]) -> float:
    run = SimRun(session, work, profiles)
    t0 = time.monotonic()
    run.inst = session.spawn("", work, extra_env=run.env)
    if not session.wait_window(True, timeout=30) or not run.inst.wait_idle(timeout=600):
        raise RuntimeError("the program did not start")
    session.click_tray(1)
    wait_until(session.visible_windows, 60, "the menu window")
    took = time.monotonic() - t0
    session.xdotool("key", "Escape")
    session.stop_instances()
    return took * 1000


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    bin_dir = REPO / "build" / "win64" / "bin"
    session = WineSession(bin_dir, bin_dir.parent / "e2e-artifacts")
    runs: dict[str, list[float]] = {"four good": [], "dead: time-out": [], "dead: vanished": []}
    try:
        session.boot()
        work = Path(tempfile.mkdtemp(prefix="tarvik-bench-")) / "cwd"
        work.mkdir()
        SimRun(session, work, PROFILES).learn()  # the models are stored, as after a first start
        sets = {
            "four good": PROFILES,
            "dead: time-out": [*PROFILES[:DEAD], dead_copy(PROFILES[DEAD], work.parent, "timeout"),
                               *PROFILES[DEAD + 1:]],
            "dead: vanished": [*PROFILES[:DEAD], dead_copy(PROFILES[DEAD], work.parent, "vanish"),
                               *PROFILES[DEAD + 1:]],
        }
        start_to_menu(session, work, PROFILES)  # warm-up
        for _ in range(args.rounds):
            for name, profiles in sets.items():
                runs[name].append(start_to_menu(session, work, profiles))
    finally:
        session.close()
    good = statistics.median(runs["four good"])
    for name, times in runs.items():
        m = statistics.median(times)
        print(f"{name:15} median {m:8.0f} ms  min {min(times):8.0f}  max {max(times):8.0f}  "
              f"ratio {m / good:6.1f}  ({len(times)} starts)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
