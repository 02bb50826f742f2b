"""The drive options dialog of the real program on simulated drives, opened as
the drive's menu item opens it (drive command 0, posted): a Blu-ray list
beyond 16 bits kept through OK, Add in x on CD, the detections with their
progress window and Cancel, and a restart of the program while the dialog or
a scan is open."""

import threading

from harness import (SETTINGS_KEY, assert_laid_out, by_id, height, inside, log_files, messages,
                     range_pairs, read_log, wait_until)
from simrun import DVD_WRITER, DVD_WRITER_MODEL, PROFILES, SimRun

CAPTION = "Tarvik 5.0 - Drive options"
BD_COMBO = PROFILES / "bd-combo-12x.json"
BD_COMBO_MODEL = SETTINGS_KEY + "\\TARVIKSM BD-ROM SIM12X    1.03"
CMD_DETECT_DRIVES = 105
OPEN_DRIVE_0 = 0x8000  # DriveCommand: action 0 (options) of drive 0
LIST_CD, LIST_DVD, LIST_BD = 186, 187, 188
MEDIUM_CD = 170
SPEED_X, COMMAND_X = 194, 195
FAST, FULL, ADD = 203, 204, 207
DVD_16X = 22160
PROGRESS_BAR = 105
PROGRESS_GROUPS = {101, 108}  # the frame and the row of its button
PBM_GETRANGE = 0x407  # wParam 0: the high limit
BD_16X = 71920  # beyond what 16 bits hold


def range_hex(pairs):
    return b"".join(s.to_bytes(4, "little") + c.to_bytes(4, "little") for s, c in pairs).hex()


def stored_range(tarvik, model, family):
    """The (speed, command) pairs of a stored speed list."""
    return range_pairs(tarvik.stored_list(model, family).get("Range", ""))


def rows(tarvik, caption, list_id):
    rc, out = tarvik.probe("rows", tarvik._text_arg(caption), str(list_id))
    assert rc == 0, out
    return [tuple(line.split("\t")) for line in out.splitlines() if line]


def open_dialog(tarvik):
    assert tarvik.post_command(OPEN_DRIVE_0)
    dialog = tarvik.find_dialog(CAPTION, timeout=20)
    assert dialog, "the drive options dialog did not open"
    return dialog


def close_dialog(tarvik, run, button):
    assert tarvik.click_control(CAPTION, button)
    assert tarvik.wait_dialog_gone(CAPTION, timeout=20)
    run.settle()


def type_into(tarvik, control_id, text):
    """Types into an edit as a user does: the dialog gets the keyboard, a click
    puts the caret into the edit."""
    rect = by_id(tarvik.dialog_children(CAPTION))[control_id]["rect"]
    tarvik.dialog_key(CAPTION, "End")
    tarvik.xdotool("mousemove", str((rect[0] + rect[2]) // 2), str((rect[1] + rect[3]) // 2),
                   "click", "1")
    tarvik.xdotool("type", "--delay", "50", text)


def watch_for(tarvik, caption):
    """Starts looking for a window before what opens it: a short scan's
    progress window may be gone again before a late look."""
    found = []
    t = threading.Thread(target=lambda: found.append(tarvik.find_dialog(caption, timeout=30)))
    t.start()
    return t, found


def test_add_in_x_stores_kbs_and_a_bluray_list_beyond_16_bits_survives_ok(tarvik, workdir):
    run = SimRun(tarvik, workdir, [BD_COMBO])
    run.learn()
    run.start()

    # 8x in both x fields of the CD list, Add, OK: KB/s are stored.
    open_dialog(tarvik)
    assert tarvik.click_control(CAPTION, MEDIUM_CD)
    wait_until(lambda: by_id(tarvik.dialog_children(CAPTION))[LIST_CD]["visible"], 10,
               "the CD list")
    type_into(tarvik, SPEED_X, "8")
    type_into(tarvik, COMMAND_X, "8")
    assert tarvik.click_control(CAPTION, ADD)
    wait_until(lambda: ("8", "8") in rows(tarvik, CAPTION, LIST_CD), 10, "8x in the CD list")
    close_dialog(tarvik, run, 1)
    assert stored_range(tarvik, BD_COMBO_MODEL, "CD") == [(1408, 1408)]

    # A Blu-ray list with 16x, read in again (Detect drives), opened and closed
    # with OK: every stored value stays as it was.
    bd = [(BD_16X, BD_16X), (53940, 53940), (35960, 35960), (17980, 17980)]
    assert tarvik.reg_add(BD_COMBO_MODEL + "\\SpeedListBD", "Range", "REG_BINARY", range_hex(bd))
    assert tarvik.command(CMD_DETECT_DRIVES) is not None
    before = tarvik.reg_export()
    open_dialog(tarvik)
    assert rows(tarvik, CAPTION, LIST_BD)[0] == ("16", "16")
    assert by_id(tarvik.dialog_children(CAPTION))[LIST_BD]["visible"]
    close_dialog(tarvik, run, 1)
    assert stored_range(tarvik, BD_COMBO_MODEL, "BD") == bd
    assert tarvik.reg_export() == before, "open and OK changed the stored settings"

    # A full scan from 16x: the progress bar's range goes beyond 16 bits.
    run.set_dword(BD_COMBO_MODEL + "\\SpeedListBD", "MaxSpeed", BD_16X)
    assert tarvik.command(CMD_DETECT_DRIVES) is not None
    open_dialog(tarvik)
    assert tarvik.click_control(CAPTION, FULL)
    assert tarvik.find_dialog("Full scan", timeout=20)
    first = f"        BarUpdate: min=4495, max={BD_16X}, "
    # The progress lines end in no line feed: they run on behind one another.
    run.wait_log(lambda log: any(first in m for m in log), "the full scan's progress")
    rc, out = tarvik.probe("item-send", tarvik._text_arg("Full scan"), str(PROGRESS_BAR),
                           str(PBM_GETRANGE), "0")
    assert rc == 0 and f"result={BD_16X}" in out, out
    assert tarvik.click_control("Full scan", 2)
    assert tarvik.wait_dialog_gone("Full scan", timeout=30)
    close_dialog(tarvik, run, 2)
    run.close()


def test_fast_scan_shows_progress_and_its_list_and_cancel_keeps_what_was_found(tarvik, workdir):
    run = SimRun(tarvik, workdir, [DVD_WRITER])
    run.learn()
    run.start()
    stored = stored_range(tarvik, DVD_WRITER_MODEL, "DVD")
    assert len(stored) > 2

    open_dialog(tarvik)
    assert tarvik.click_control(CAPTION, 209)  # Delete all: what follows comes from the scan
    wait_until(lambda: rows(tarvik, CAPTION, LIST_DVD) == [], 10, "an empty list")
    watcher, found = watch_for(tarvik, "Fast scan")
    assert tarvik.click_control(CAPTION, FAST)
    watcher.join()
    assert found[0], "no progress window"
    run.wait_log(lambda log: "FINISHED ScanCDROMSpeedFast" in log, "the fast scan")
    assert any("        BarUpdate: min=0, max=" in m for m in run.log())
    wait_until(lambda: len(rows(tarvik, CAPTION, LIST_DVD)) == len(stored), 10, "the new list")
    assert rows(tarvik, CAPTION, LIST_DVD)[0] == ("16", "16")

    # A full scan probes every KB/s: Cancel as soon as it has found one speed.
    got = f"    Got speed={DVD_16X}, command={DVD_16X}"
    seen = sum(m.count(got) for m in run.log())
    assert tarvik.click_control(CAPTION, FULL)
    assert tarvik.find_dialog("Full scan", timeout=20)
    run.wait_log(lambda log: sum(m.count(got) for m in log) > seen,
                 "a speed found by the full scan")
    assert tarvik.click_control("Full scan", 2)
    run.wait_log(lambda log: "FINISHED ScanCDROMSpeedFull" in log, "the end of the cancelled scan")
    assert tarvik.wait_dialog_gone("Full scan", timeout=20)
    kept = rows(tarvik, CAPTION, LIST_DVD)
    assert kept and kept[0] == ("16", "16") and len(kept) < len(stored), kept

    # Cancel of the dialog puts the lists back as they were.
    close_dialog(tarvik, run, 2)
    assert stored_range(tarvik, DVD_WRITER_MODEL, "DVD") == stored
    run.close()


def tarvik_processes(tarvik):
    return [n for n in tarvik.process_names() if n.lower() == "tarvik.exe"]


def test_restart_during_the_dialog_and_during_a_scan_ends_the_old_instance(tarvik, workdir):
    run = SimRun(tarvik, workdir, [DVD_WRITER])
    run.learn()
    run.start()
    old, old_dir = run.inst, workdir
    for case in ("dialog", "scan"):
        open_dialog(tarvik)
        if case == "scan":
            assert tarvik.click_control(CAPTION, FULL)
            assert tarvik.find_dialog("Full scan", timeout=20)
        old_hwnd = tarvik.main_window()
        folder = workdir / f"after-{case}"
        folder.mkdir()
        new = tarvik.spawn("/log/restart", folder, extra_env=run.env)
        assert old.wait(timeout=30) == 0, f"{case}: the old instance did not end with 0"
        log = messages(read_log(old_dir / log_files(old_dir)[-1]))
        # Its dialog ended by the quit message, then the shut-down ran.
        assert log.index("Drive options dialog: 0") < log.index("Message loop terminated")
        assert tarvik.wait_window(True, timeout=20)
        assert new.wait_idle(timeout=30)
        assert tarvik.main_window() != old_hwnd
        assert len(tarvik_processes(tarvik)) == 1, f"{case}: {tarvik_processes(tarvik)}"
        old, old_dir = new, folder
    assert tarvik.send("close") is not None
    assert old.wait(timeout=30) == 0
    assert tarvik_processes(tarvik) == []


def test_dialog_and_progress_window_laid_out_at_96_and_144_dpi(tarvik, workdir):
    heights = {}

    def at(dpi):
        run = SimRun(tarvik, workdir / f"dpi{dpi}", [DVD_WRITER])
        run.workdir.mkdir()
        run.learn()
        run.start()
        dialog = open_dialog(tarvik)
        children = tarvik.dialog_children(CAPTION)
        controls = by_id(children)
        for c in children:
            if c["visible"]:
                assert inside(c["rect"], dialog["client"]), (c["id"], c["rect"], dialog["client"])
        # The DVD and Blu-ray items lie on the CD ones.
        for cd, others in ((LIST_CD, (187, 188)), (174, (175, 176)), (177, (178, 179)),
                           (180, (181, 182))):
            for other in others:
                assert controls[other]["rect"] == controls[cd]["rect"], (cd, other)
        tarvik.shoot_dialog(dialog, f"drive-options-{dpi}")

        assert tarvik.click_control(CAPTION, FULL)
        progress = tarvik.find_dialog("Full scan", timeout=20)
        assert progress
        run.wait_log(lambda log: any("BarUpdate" in m for m in log[-100:]), "progress")
        tarvik.shoot_dialog(progress, f"progress-{dpi}")
        bar = by_id(tarvik.dialog_children("Full scan"))
        assert_laid_out(progress, list(bar.values()), groups=PROGRESS_GROUPS)
        assert bar[PROGRESS_BAR]["cls"] == "msctls_progress32"
        heights[dpi] = height(bar[2])
        assert tarvik.click_control("Full scan", 2)
        assert tarvik.wait_dialog_gone("Full scan", timeout=30)
        close_dialog(tarvik, run, 2)
        run.close()

    tarvik.at_dpis(at)
    assert 1.3 <= heights[144] / heights[96] <= 1.7, heights


WIN_BACK, WIN_BACK_WHY = 218, 219
IGNORES_READ_SPEED = PROFILES / "ignores-read-speed.json"
OPEN_DRIVE_1 = 0x8010
MESSAGE, MESSAGE_TEXT = "Tarvik 5.0", 103


def test_win_back_option_round_trip_and_greyed_with_its_reason(tarvik, workdir):
    # The first examination finds the writer's report following the command
    # and the other drive's report fixed.
    run = SimRun(tarvik, workdir, [DVD_WRITER, IGNORES_READ_SPEED])
    run.learn()
    run.start()

    dialog = open_dialog(tarvik)
    box = by_id(tarvik.dialog_children(CAPTION))
    assert box[WIN_BACK]["enabled"] and box[WIN_BACK]["checked"] == 0
    assert box[WIN_BACK_WHY]["text"] == ""
    assert tarvik.click_control(CAPTION, WIN_BACK)
    wait_until(lambda: by_id(tarvik.dialog_children(CAPTION))[WIN_BACK]["checked"] == 1, 10,
               "the box checked")
    tarvik.shoot_dialog(dialog, "drive-options-win-back")
    close_dialog(tarvik, run, 1)
    assert tarvik.reg_values(DVD_WRITER_MODEL + "\\00").get("WinBackSpeed") == "0x1"
    open_dialog(tarvik)
    assert by_id(tarvik.dialog_children(CAPTION))[WIN_BACK]["checked"] == 1
    close_dialog(tarvik, run, 2)

    assert tarvik.post_command(OPEN_DRIVE_1)
    dialog = tarvik.find_dialog(CAPTION, timeout=20)
    assert dialog
    box = by_id(tarvik.dialog_children(CAPTION))
    assert not box[WIN_BACK]["enabled"]
    assert box[WIN_BACK_WHY]["text"] == "(the drive does not report the speed it runs at)"
    tarvik.shoot_dialog(dialog, "drive-options-win-back-greyed")

    # A detection on that drive ends by saying what it found out.
    assert tarvik.click_control(CAPTION, FAST)
    message = tarvik.find_dialog(MESSAGE, timeout=60)
    assert message, "no message at the end of the detection"
    text = by_id(tarvik.dialog_children(MESSAGE))[MESSAGE_TEXT]["text"]
    assert text.startswith("The drive ignores the speed."), text
    tarvik.shoot_dialog(message, "detect-ignores")
    tarvik.dialog_key(MESSAGE, "Return")
    assert tarvik.wait_dialog_gone(MESSAGE, timeout=15)
    close_dialog(tarvik, run, 2)
    run.close()
