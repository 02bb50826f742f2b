"""The real tarvik.exe with a simulated drive behind the test wnaspi32.dll.

ApiPrefered 2 (ASPI) is stored first: under Wine the system pass-through
opens but fails every command, so the automatic choice would never reach
the ASPI library.
"""

import pytest

from harness import REPO, SETTINGS_KEY, log_files, messages, read_log, read_trace, wait_until

from test_startup import close_and_check_exit

DVD_PROFILE = REPO / "sim" / "profiles" / "dvdrw-24x-streaming.json"
MODEL_KEY = SETTINGS_KEY + "\\TARVIKSM DVDRW SIM24X     1.02"

OP_INQUIRY = 0x12
OP_SET_STREAMING = 0xB6
OP_SET_CD_SPEED = 0xBB


@pytest.fixture
def sim(tarvik, workdir):
    if not tarvik.has_sim():
        pytest.skip("the test wnaspi32.dll is not built")
    if not DVD_PROFILE.exists():
        pytest.skip(f"{DVD_PROFILE.name} is missing")
    assert tarvik.reg_add(SETTINGS_KEY, "ApiPrefered", "REG_DWORD", "2")
    trace = workdir.parent / "trace.jsonl"
    return tarvik.sim_env([DVD_PROFILE], trace), trace


def opcodes(records):
    return [int(r["cdb"][:2], 16) for r in records]


def newest_log(folder):
    return messages(read_log(folder / log_files(folder)[-1]))


def log_when(folder, line, timeout=20):
    """The newest log once it holds `line` (the program may still be writing it)."""
    def ready():
        msgs = newest_log(folder)
        return msgs if line in msgs else None
    return wait_until(ready, timeout, f"{line!r} in the log")


def test_one_shot_examines_new_model_and_stores_it(tarvik, workdir, sim):
    env, trace = sim
    assert tarvik.reg_query(MODEL_KEY) is None
    assert tarvik.run("/log/exit", workdir, extra_env=env).exit_code == 0

    ops = opcodes(read_trace(trace))
    assert ops and ops[0] == OP_INQUIRY, "the drive list starts by asking who the drive is"
    assert OP_SET_STREAMING in ops or OP_SET_CD_SPEED in ops, "no speed was tried"
    msgs = newest_log(workdir)
    assert msgs[0] == "Setting speed and exiting..."
    assert any(m.startswith("CheckReadCaps [TARVIKSM DVDRW SIM24X") for m in msgs)

    stored = tarvik.reg_query(MODEL_KEY)
    assert stored is not None, "the examined model was not stored"
    assert "IsDVD    REG_DWORD    0x1" in stored


def test_one_shot_does_not_examine_known_model_again(tarvik, workdir, sim):
    env, trace = sim
    assert tarvik.run("/log/exit", workdir, extra_env=env).exit_code == 0
    first = len(read_trace(trace))
    assert tarvik.run("/log/exit", workdir, extra_env=env).exit_code == 0
    again = opcodes(read_trace(trace)[first:])
    assert again and again[0] == OP_INQUIRY
    assert len(again) < first, "the second run repeated the examination"
    assert not any("ScanCDROMSpeed" in m for m in newest_log(workdir))


def test_instance_builds_drive_list_at_start(tarvik, workdir, sim):
    env, trace = sim
    inst = tarvik.start("/log", workdir)
    close_and_check_exit(tarvik, inst)
    assert read_trace(trace) == [], "without the library override no drive is simulated"

    inst = tarvik.spawn("/log", workdir, extra_env=env)
    assert tarvik.wait_window(True, timeout=20)
    # The window is found while its creation still builds the drive list.
    msgs = log_when(workdir, "FINISHED CheckDriveState")
    assert "Executing SCSIInit(2)" in msgs
    assert "Getting CDROM List" in msgs
    assert opcodes(read_trace(trace))[:1] == [OP_INQUIRY]
    close_and_check_exit(tarvik, inst)


def speed_commands(records):
    """Read speeds (KB/s) the program asked for, from SET CD SPEED and SET STREAMING."""
    speeds = []
    for r in records:
        cdb = bytes.fromhex(r["cdb"])
        if cdb[0] == OP_SET_CD_SPEED:
            speeds.append(int.from_bytes(cdb[2:4], "big"))
        elif cdb[0] == OP_SET_STREAMING and "out" in r:
            # Performance descriptor: read size in KB per read time in ms.
            out = bytes.fromhex(r["out"])
            size, ms = int.from_bytes(out[12:16], "big"), int.from_bytes(out[16:20], "big")
            if ms:
                speeds.append(size * 1000 // ms)
    return speeds


def test_one_shot_restores_stored_selected_speed(tarvik, workdir, sim):
    env, trace = sim
    assert tarvik.run("/exit", workdir, extra_env=env).exit_code == 0
    # 8x DVD, as if chosen from the menu earlier.
    assert tarvik.reg_add(MODEL_KEY + "\\SpeedListDVD", "Selected", "REG_DWORD", "11080")
    before = len(read_trace(trace))
    assert tarvik.run("/log/exit", workdir, extra_env=env).exit_code == 0
    assert 11080 in speed_commands(read_trace(trace)[before:]), "the stored speed was not set"
    # The selection itself is left as it was.
    assert "Selected    REG_DWORD    0x2b48" in tarvik.reg_query(MODEL_KEY + "\\SpeedListDVD")


def test_detect_drives_builds_list_again(tarvik, workdir, sim):
    env, trace = sim
    inst = tarvik.spawn("/log", workdir, extra_env=env)
    assert tarvik.wait_window(True, timeout=20)
    log_when(workdir, "FINISHED CheckDriveState")
    before = len(read_trace(trace))
    assert tarvik.command(105) == 0  # CMD_DETECT_DRIVES, as from the menu
    again = read_trace(trace)[before:]
    assert opcodes(again)[:1] == [OP_INQUIRY], "the drive list was not built again"
    msgs = newest_log(workdir)
    assert msgs.count("Executing SCSIInit(2)") == 2
    assert msgs.count("Getting CDROM List") == 2
    close_and_check_exit(tarvik, inst)


def test_tray_shows_green_disc_for_a_drive_holding_a_disc(tarvik, workdir, sim):
    env, _ = sim
    inst = tarvik.spawn("/log", workdir, extra_env=env)
    assert tarvik.wait_window(True, timeout=30)
    log_when(workdir, "FINISHED CheckDriveState", timeout=30)
    assert tarvik.wait_tray(True, timeout=15)
    # The DVD in the simulated writer: "Indicate disk status with icon color" is on by default.
    wait_until(lambda: tarvik.tray_icon_name()[0] == "task_green_xp", 20, "the green disc")
    assert tarvik.reg_add(SETTINGS_KEY, "IconDisk", "REG_DWORD", "0")
    assert tarvik.command(105) == 0  # Detect drives reloads the settings
    wait_until(lambda: tarvik.tray_icon_name()[0] == "task_xp", 20, "the plain disc")
    close_and_check_exit(tarvik, inst)
