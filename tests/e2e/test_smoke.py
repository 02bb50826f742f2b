"""One pass through the program's life with a simulated drive: the run a build
gets when the full suite runs on another one (the 32-bit exe, whose ASPI
transport is the one real managers need).

Start, tray icon, the drive found through the test wnaspi32.dll of the same
build, the speed stored for its model set on the drive, a clean exit.
"""

from harness import SETTINGS_KEY, wait_until, read_trace

from test_startup import close_and_check_exit
from test_sim import DVD_PROFILE, MODEL_KEY, log_when, speed_commands

EIGHT_X_DVD = 11080  # KB/s


def test_start_tray_drive_speed_and_clean_exit(tarvik, workdir):
    assert tarvik.has_sim(), "the test wnaspi32.dll of this build is missing"
    # Wine's pass-through fails every command: ask for ASPI.
    assert tarvik.reg_add(SETTINGS_KEY, "ApiPrefered", "REG_DWORD", "2")
    trace = workdir.parent / "trace.jsonl"
    env = tarvik.sim_env([DVD_PROFILE], trace)

    # A first run examines the drive and stores its model; 8x DVD is then chosen.
    assert tarvik.run("/exit", workdir, extra_env=env).exit_code == 0
    assert tarvik.reg_query(MODEL_KEY) is not None, "the drive was not found through ASPI"
    assert tarvik.reg_add(MODEL_KEY + "\\SpeedListDVD", "Selected", "REG_DWORD",
                          str(EIGHT_X_DVD))
    before = len(read_trace(trace))

    inst = tarvik.spawn("/log", workdir, extra_env=env)
    assert tarvik.wait_window(True, timeout=30)
    assert tarvik.wait_tray(True, timeout=20), "no tray icon"
    msgs = log_when(workdir, "FINISHED CheckDriveState", timeout=30)
    assert "Executing SCSIInit(2)" in msgs
    wait_until(lambda: EIGHT_X_DVD in speed_commands(read_trace(trace)[before:]), 20,
               "8x DVD sent to the drive")
    # The disc in the drive shows in the icon.
    wait_until(lambda: tarvik.tray_icon_name()[0] == "task_green_xp", 20, "the green disc")
    close_and_check_exit(tarvik, inst)
