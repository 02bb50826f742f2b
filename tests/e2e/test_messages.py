"""What the shell and the system send to the running instance, and what it
does about it, seen where it acts: the commands its simulated drives receive,
the registry and its log. Each test is one start of the program.
"""

import json
import re

from harness import SETTINGS_KEY
from simrun import DVD_WRITER, DVD_WRITER_MODEL, SLIM, SLIM_MODEL, SimRun, hot_key_value
from test_startup import assert_icon

CTRL_ALT = 0x3  # MOD_ALT | MOD_CONTROL
# Drive 0 (D:, the DVD writer): a key in every slot of its HotKeys value.
D_KEYS = {0: ord("E"), 1: ord("C"), 2: ord("M"), 3: ord("F"), 4: ord("R"), 5: ord("S"),
          6: ord("N")}
E_MAX_KEY = ord("X")  # drive 1 (E:, the slim writer), slot 2: max speed
DVD_SPEEDS = [22160, 16620, 11080, 8310, 5540, 2770]  # the writer's DVD list
SLIM_CD_TOP = 4234
WM_DEVICECHANGE = 0x0219


def unplugged_after_start(folder):
    """The slim writer, gone from the bus at its second INQUIRY: the next
    rebuild of the drive list finds one drive fewer."""
    profile = json.loads(SLIM.read_text())
    profile["faults"] = [{"opcode": "0x12", "after": 1, "error": "vanish"}]
    path = folder / "slim-unplugged.json"
    path.write_text(json.dumps(profile))
    return path


def test_hot_keys_act_on_their_drive_and_go_with_the_list(tarvik, workdir):
    run = SimRun(tarvik, workdir, [DVD_WRITER, unplugged_after_start(workdir.parent)])
    run.learn()
    run.set_dword(DVD_WRITER_MODEL + "\\SpeedListDVD", "Selected", 11080)
    run.set_hot_keys(DVD_WRITER_MODEL + "\\00",
                     {slot: hot_key_value(CTRL_ALT, key) for slot, key in D_KEYS.items()})
    run.set_hot_keys(SLIM_MODEL + "\\00", {2: hot_key_value(CTRL_ALT, E_MAX_KEY)})
    all_keys = [*D_KEYS.values(), E_MAX_KEY]
    assert run.keys_taken(CTRL_ALT, all_keys) == set(), "someone else holds the keys"

    run.start()
    assert run.keys_taken(CTRL_ALT, all_keys) == set(all_keys), "not every key was registered"

    # WM_HOTKEY id = slot << 8 | drive; from the top of the DVD list down and back.
    steps = [
        (2, ("speed", 0, DVD_SPEEDS[0])),    # max
        (6, ("speed", 0, DVD_SPEEDS[-1])),   # min
        (3, ("speed", 0, DVD_SPEEDS[-2])),   # faster: the next entry above 2770
        (5, ("speed", 0, DVD_SPEEDS[-1])),   # slower: the next entry below 5540
        (4, ("speed", 0, 11080)),            # restore: the selected speed
        (0, ("eject", 0)),
        (1, ("close", 0)),
    ]
    for slot, expected in steps:
        mark = run.mark()
        assert run.send("hotkey", hex(slot << 8)) == 0
        run.settle()
        assert run.actions_since(mark) == [expected], f"hot key slot {slot}"

    # Slot 7 and above name no action; slot 2 of drive 1 is E:'s max speed.
    mark, logged = run.mark(), len(run.log())
    for ident in (0x0700, 0x0701, 0xFF0F, 0x0201):
        assert run.send("hotkey", hex(ident)) == 0
    run.settle()
    assert run.actions_since(mark) == [("speed", 1, SLIM_CD_TOP)]
    commands = [m for m in run.log()[logged:]
                if m.startswith("CDROMCommand") and "cmd=13," not in m]
    assert commands == ["CDROMCommand: cmd=3, i=1, speed=0"]

    # E: is unplugged: after Detect drives none of its keys is held.
    mark = run.mark()
    assert tarvik.command(105) == 0
    assert {r.get("error") for r in run.since(mark) if r["drive"] == 1} == {"gone"}
    assert run.send("hotkey", "0x0201") == 0
    run.settle()
    assert run.actions_since(mark) == [], "E: is still in the list"
    assert run.keys_taken(CTRL_ALT, all_keys) == set(D_KEYS.values()), \
        "a key of the old drive list stayed registered"
    run.close()
    assert run.keys_taken(CTRL_ALT, all_keys) == set(), "keys outlived the program"


def change_disc(run, drive):
    """The user swaps the disc: the drive forgets the speed it was given."""
    run.user(drive, "open")
    run.user(drive, "insert", "cd-r")
    state = run.user(drive, "close")
    assert state["speed"]["cd"] == SLIM_CD_TOP, "the simulated drive kept its speed"


def test_disc_change_resume_and_volume_notices(tarvik, workdir):
    run = SimRun(tarvik, workdir, [DVD_WRITER, SLIM])
    run.learn()
    run.set_dword(DVD_WRITER_MODEL + "\\SpeedListDVD", "Selected", 11080)
    run.set_dword(SLIM_MODEL + "\\SpeedListCD", "Selected", 1764)
    run.start()
    restore_e = [("speed", 1, 1764)]

    # A new disc in E:; the system's notice for D: alone touches no drive.
    change_disc(run, 1)
    mark = run.mark()
    assert run.send("devicechange", "arrival", "0x8") is not None
    run.settle()
    assert run.actions_since(mark) == []
    assert run.send("devicechange", "arrival", "0x10") is not None  # E:
    run.settle()
    assert run.actions_since(mark) == restore_e
    assert "New media arrived" in run.log()

    # Back from sleep: only the resume events restore, and every power event is answered 1.
    change_disc(run, 1)
    mark = run.mark()
    for event in ("resumeautomatic", "suspend", "0x1234"):
        assert run.send("power", event) == 1
    run.settle()
    assert run.actions_since(mark) == [], "a power event other than resume restored"
    assert run.send("power", "resumesuspend") == 1
    run.settle()
    assert run.actions_since(mark) == restore_e
    change_disc(run, 1)
    mark = run.mark()
    assert run.send("power", "resumecritical") == 1
    run.settle()
    assert run.actions_since(mark) == restore_e

    # A volume that is no CD-ROM (C:, a disk of the Wine prefix) and a network one.
    mark, logged = run.mark(), len(run.log())
    assert run.send("devicechange", "arrival", "0x4", "0") is not None
    assert run.send("devicechange", "arrival", "0x4", "2") is not None  # DBTF_NET
    run.settle()
    assert run.since(mark) == [], "a new disk volume made the program ask its drives"
    notes = run.log()[logged:]
    assert notes.count("NOT media, NOT network - maybe CDROM?") == 1
    assert notes.count("No, it's not CDROM.") == 1

    # Removals: a disc taken out checks the drives; a volume gone rebuilds the list.
    mark, logged = run.mark(), len(run.log())
    assert run.send("devicechange", "removecomplete", "0x8") is not None
    run.settle()
    assert "Media removed" in run.log()[logged:]
    assert run.since(mark) and run.actions_since(mark) == []
    assert not any(r["cdb"].startswith("12") for r in run.since(mark)), "the list was rebuilt"
    mark, logged = run.mark(), len(run.log())
    assert run.send("devicechange", "removecomplete", "0x8", "0") is not None
    run.settle()
    assert "NOT media, NOT network - rescanning CDROM's" in run.log()[logged:]
    assert "Getting CDROM List" in run.log()[logged:]
    assert any(r["cdb"].startswith("12") for r in run.since(mark)), "no INQUIRY: no rebuild"
    run.close()


def test_session_end_ejects_unprotected_discs_and_a_cancelled_end_does_nothing(tarvik, workdir):
    # Two writers of one model: D: is instance 00, E: instance 01, locked
    # under the eject password.
    run = SimRun(tarvik, workdir, [DVD_WRITER, DVD_WRITER])
    run.learn()
    run.set_settings(DNEject=1, DNClose=1, DNTimer=3)
    assert tarvik.reg_add(SETTINGS_KEY + "\\Lock", "Data", "REG_SZ", "5f4dcc3b5aa765d61d8327deb882cf99")
    run.set_dword(DVD_WRITER_MODEL + "\\01", "AutoLock", 1)
    run.set_dword(DVD_WRITER_MODEL + "\\01\\Lock", "Value", 1)
    run.start()

    mark = run.mark()
    assert run.send("queryendsession") == 1
    assert run.actions_since(mark) == [("eject", 0)], "only the unprotected disc comes out"
    assert "    EjectAllDisks" in run.log()

    # Another program refused the end: the session goes on, nothing is done.
    mark = run.mark()
    assert run.send("endsession", "0") == 0
    assert run.since(mark) == []

    # The end for real: D:'s open tray is closed after the reminder's seconds.
    assert run.send("endsession", "1") == 0
    assert ("close", 0) in run.actions_since(mark)
    assert ("eject", 1) not in run.actions_since(0)
    assert "OnEndSession DONE" in run.log()
    run.close()


KNOWN_COMMANDS = {*range(100, 107), *range(108, 114), 200, 201}


def forged_command_ids():
    """WM_COMMAND ids that name nothing the program does, with one drive (index 0)."""
    low = [i for i in (*range(0, 0x8000, 257), 107, 114, 199, 202, 0x7FFF)
           if i not in KNOWN_COMMANDS]
    # Drive commands 0x8000 | k << 8 | i << 4 | a: every action for drives 1..15,
    # which are not there, and the actions 13..15, which mean nothing, for drive 0.
    absent = [0x8000 | (i * a % 128) << 8 | i << 4 | a for i in range(1, 16) for a in range(16)]
    meaningless = [0x8000 | k << 8 | a for a in (13, 14, 15) for k in (0, 1, 127)]
    return low + absent + meaningless


def test_forged_messages_change_nothing(tarvik, workdir):
    run = SimRun(tarvik, workdir, [DVD_WRITER])
    run.start()
    hwnd = tarvik.main_window()
    mark, logged = run.mark(), len(run.log())

    ids = forged_command_ids()
    rc, out = tarvik.probe("commands", *map(str, ids), timeout=120)
    assert rc == 0 and out.count("result=0") == len(ids), out[-300:]
    # Device notices without a block, or with one shorter than a volume block
    # (Wine passes those of 0 and 12 bytes or more; it drops 4 to 11).
    for event in ("0x8000", "0x8004", "0x7", "0x18"):
        assert run.send("devicechange-raw", event) is not None
    # Events whose lParam is a number, not a block: DBT_NO_DISK_SPACE and
    # DBT_LOW_DISK_SPACE carry a drive number.
    for event in ("0x47", "0x48"):
        assert run.send("send", str(WM_DEVICECHANGE), event, "3") is not None
    for event, sizes in (("0x8000", (0, 4, 8, 11, 12, 16, 17)), ("0x8004", (0, 12, 16, 17))):
        for size in sizes:
            assert run.send("devicechange-size", event, str(size), "0x8") is not None
    # Tray callbacks other than the two button presses.
    for mouse in (0, 0x200, 0x202, 0x203, 0x205, 0x206, 0x207, 0x208, 0x209, 0x20A, 0x400,
                  0x402, 0x7FFFFFFF):
        rc, _ = tarvik.probe("tray", str(mouse))
        assert rc == 0
    run.settle()

    assert run.inst.running() and tarvik.main_window() == hwnd
    assert run.since(mark) == [], "a forged message reached a drive"
    notes = run.log()[logged:]
    assert not any("DBT_DEVTYP_VOLUME" in m for m in notes), "a short block was read as a volume"
    assert "LEFT CLICK" not in notes
    for event in ("0x7", "0x18", "0x47", "0x48"):  # each notice is seen, none is read as a block
        assert f"Got WM_DEVICECHANGE with wParam={event}" in notes
    commands = [m for m in notes if m.startswith("CDROMCommand")]
    assert len(commands) > 9 and all(
        re.fullmatch(r"CDROMCommand: cmd=1[345], i=0, speed=\d+", m) for m in commands), \
        "a command for a drive that is not there was carried out"

    # The same block at its full size is read: the short ones above were refused.
    assert run.send("devicechange-size", "0x8000", "18", "0x8") is not None
    assert "New device is DBT_DEVTYP_VOLUME, unitmask=0x8" in run.log()[logged:]
    run.close()

    # The settings are whole: the next run loads the model instead of examining the drive.
    assert "ApiPrefered    REG_DWORD    0x2" in tarvik.reg_query()
    assert tarvik.run("/log/exit", workdir, extra_env=run.env).exit_code == 0
    assert not any(m.startswith("CheckReadCaps") for m in run.log())


def test_cmd_exit_ends_instance(tarvik, workdir):
    inst = tarvik.start("/log", workdir)
    assert_icon(tarvik, True, "plain start")
    assert tarvik.command(109) == 0
    assert inst.wait(timeout=20) == 0
    assert tarvik.main_window() is None
    assert tarvik.wait_tray(False, timeout=15), "the icon outlived the program"
