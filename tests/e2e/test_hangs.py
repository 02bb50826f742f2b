"""A dead drive among good ones: the real exe starts and shows its speed menu
after one ASPI time-out (30 s), not one for every command it would send, and
the dead drive is sent its INQUIRY and the one command that timed out."""

import json
import time

from simrun import DVD_WRITER, PROFILES, SLIM, SimRun
from test_menus import open_menu

DVDROM = PROFILES / "dvdrom-16x-reports-set-speed.json"
DEAD = 2  # its place among the four
TIME_OUT_S = 30
# One time-out plus a start of a few seconds stays below this; a second
# time-out alone reaches it.
BOUND_S = 2 * TIME_OUT_S


def dead_profile(folder):
    """A drive that answers INQUIRY and then never completes a command."""
    profile = json.loads(DVDROM.read_text())
    profile["identity"]["product"] = "DEAD SIM"
    profile["faults"] = [{"opcode": "any", "after": 1, "times": 0, "error": "timeout"}]
    path = folder / "dead.json"
    path.write_text(json.dumps(profile))
    return path


def test_one_dead_drive_among_four_costs_one_time_out(tarvik, workdir):
    good = SimRun(tarvik, workdir, [DVD_WRITER, SLIM, DVDROM])
    good.learn()  # the good models are stored, as after an earlier start
    run = SimRun(tarvik, workdir, [DVD_WRITER, SLIM, dead_profile(workdir.parent), DVDROM])
    mark = run.mark()
    t0 = time.monotonic()
    run.inst = tarvik.spawn("/log", workdir, extra_env=run.env)
    assert tarvik.wait_window(True, timeout=20), "no main window"
    assert run.inst.wait_idle(timeout=BOUND_S), "start-up still running"
    open_menu(tarvik, run, 1, "menu-with-dead-drive")
    took = time.monotonic() - t0
    tarvik.xdotool("key", "Escape")
    assert took < BOUND_S, f"{took:.0f} s to the speed menu"
    assert "Drive (F:) timed out - marked broken, nothing is sent to it until Detect drives" \
        in run.log()
    assert "    4 drive(s) found" in run.log()
    dead = [r for r in run.since(mark) if r["drive"] == DEAD]
    assert [r["cdb"][:2] for r in dead][:1] == ["12"], dead
    assert len(dead) == 2 and dead[1].get("error") == "timeout", dead
    run.close()
