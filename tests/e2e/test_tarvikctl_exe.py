"""tarvikctl.exe, the command line beside tarvik.exe: the program's own
transport (here the test wnaspi32.dll) and the user's registry, with the same
commands and output as tarvikctl on the host.
"""

import subprocess

from harness import SETTINGS_KEY, read_trace, windows_path

from simrun import TARVIKCTL, SimRun, actions
from test_info_dialogs import LabelledDriveD
from test_sim import DVD_PROFILE, MODEL_KEY

SIX_X_DVD = 8310  # KB/s: entry 3 of the writer's DVD list


def host_ctl(*args: str) -> subprocess.CompletedProcess:
    return subprocess.run([str(TARVIKCTL), *args], capture_output=True, text=True, timeout=60)


def test_the_readme_session_runs_as_on_the_host(tarvik, workdir):
    exe = str(tarvik.bin_dir / "tarvikctl.exe")
    assert tarvik.has_sim(), "the test wnaspi32.dll of this build is missing"
    # Wine's pass-through fails every command: ASPI, as the tray program is told.
    assert tarvik.reg_add(SETTINGS_KEY, "ApiPrefered", "REG_DWORD", "2")
    state, trace = workdir / "drive.state", workdir / "trace.jsonl"
    env = tarvik.sim_env([DVD_PROFILE], trace, state)

    def exe_ctl(*args: str) -> subprocess.CompletedProcess:
        return tarvik.wine_run([exe, *args], cwd=workdir, extra_env=env)

    # The same commands on the host's simulator, with settings of their own.
    host = ["--sim", str(DVD_PROFILE), "--registry", str(workdir / "host.reg"),
            "--state", str(workdir / "host.state")]
    for command in (["--long", "drives"], ["--long", "detect", "0", "fast"],
                    ["--long", "select", "0", "3"]):
        mine, theirs = exe_ctl(*command), host_ctl(*host, *command)
        assert mine.returncode == theirs.returncode == 0, mine.stderr + theirs.stderr
        # Only the drive letter differs: the simulator gives the ASPI drive D:.
        assert mine.stdout == theirs.stdout.replace("address: 0:0:0 -", "address: 0:0:0 D:")
    assert f"speed={SIX_X_DVD} (6x) selected={SIX_X_DVD}" in mine.stdout

    # The choice is in the user's registry, where the tray program reads it.
    stored = tarvik.reg_query(MODEL_KEY + "\\SpeedListDVD")
    assert stored and f"{SIX_X_DVD:#x}" in stored, stored

    # A disc change (done to the shared drive state): the chosen speed again.
    for step in ("open", "close"):
        assert host_ctl("--sim", str(DVD_PROFILE), "--state", str(state), "sim", "0",
                        step).returncode == 0
    before = len(read_trace(trace))
    r = exe_ctl("event", "disk")
    assert r.returncode == 0, r.stderr
    assert ("speed", 0, SIX_X_DVD) in actions(read_trace(trace)[before:]), r.stdout


def test_a_running_tray_program_takes_up_the_speed_a_script_chose(tarvik, workdir):
    run = SimRun(tarvik, workdir, [DVD_PROFILE])
    run.start()
    lists = run.log().count("Getting CDROM List")
    r = tarvik.wine_run([str(tarvik.bin_dir / "tarvikctl.exe"), "select", "0", "3"],
                        cwd=workdir, extra_env=run.env)
    assert r.returncode == 0, r.stderr
    # Told that the settings changed, it reads them again ...
    run.wait_log(lambda log: log.count("Getting CDROM List") > lists, "the drive list built again")
    run.settle()
    # ... so a disc change restores the script's choice, not what it held before.
    run.user(0, "open")
    run.user(0, "close")
    mark = run.mark()
    assert run.send("devicechange", "arrival", "0x8") is not None
    run.settle()
    assert ("speed", 0, SIX_X_DVD) in run.actions_since(mark)
    run.close()


def test_no_drive_is_said_clearly(tarvik, workdir):
    env = tarvik.sim_env([], workdir / "trace.jsonl")
    assert tarvik.reg_add(SETTINGS_KEY, "ApiPrefered", "REG_DWORD", "2")
    r = tarvik.wine_run([str(tarvik.bin_dir / "tarvikctl.exe"), "drives"], cwd=workdir,
                        extra_env=env)
    assert r.returncode == 1
    assert r.stderr.startswith("tarvikctl: no optical drive to use (SPTI: "), r.stderr
    # Linux-only choices are refused as usage errors.
    for args in (["--system", "drives"], ["--device", "D:", "drives"]):
        r = tarvik.wine_run([str(tarvik.bin_dir / "tarvikctl.exe"), *args], cwd=workdir)
        assert r.returncode == 2, r.stderr


def test_a_settings_file_in_folders_not_made_yet_is_written(tarvik, workdir):
    # Folders made along the path, either separator, as on the host.
    reg = workdir / "new" / "folders" / "settings.reg"
    path = windows_path(workdir) + "\\new/folders\\settings.reg"
    r = tarvik.wine_run([str(tarvik.bin_dir / "tarvikctl.exe"), "--sim", windows_path(DVD_PROFILE),
                         "--registry", path, "select", "0", "3"], cwd=workdir)
    assert r.returncode == 0, r.stderr
    assert reg.read_bytes().startswith(b"\xff\xfe"), "no .reg file written"


def test_trace_over_spti_records_each_command_sent_and_how_it_failed(tarvik, workdir):
    # An optical D: of the prefix, which Wine's pass-through opens and then
    # fails every command on (error 50): what a bug report about a drive that
    # answers nothing would hold.
    drive = LabelledDriveD(tarvik, workdir.parent, "SPTI")
    tarvik.restart_server()
    try:
        assert tarvik.reg_add(SETTINGS_KEY, "ApiPrefered", "REG_DWORD", "4")  # ASPI ruled out
        trace = workdir / "spti.jsonl"
        trace.write_text("left over from an earlier run\n")
        r = tarvik.wine_run([str(tarvik.bin_dir / "tarvikctl.exe"), "--trace",
                             windows_path(trace), "drives"], cwd=workdir)
        # A drive that answers no INQUIRY is not listed ...
        assert r.returncode == 0 and r.stdout == "no optical drive found\n", r.stdout + r.stderr
        # ... and the trace shows why: every line a command to D: (drive 0)
        # that the transport itself failed, with the system's own error code,
        # the INQUIRY among them.
        records = read_trace(trace)
        assert records, "no command in the trace"
        assert all("cdb" in rec for rec in records), "the file was not emptied first"
        for rec in records:
            assert rec["drive"] == 0 and rec["status"] == -1, rec
            assert rec["error"] == "transport" and rec["osError"] == 50, rec
            assert len(rec["cdb"]) in (12, 20, 24, 32), rec  # 6, 10, 12 or 16 bytes
        assert any(rec["cdb"].lower().startswith("12") for rec in records), records
    finally:
        drive.close()
        tarvik.restart_server()
