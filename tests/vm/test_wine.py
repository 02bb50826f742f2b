"""tarvik.exe and tarvikctl.exe under Wine in the Debian guest, reaching
QEMU's drives through Wine's real SCSI pass-through (D: the ATAPI drive with a
CD, E: the virtio-scsi drive with a DVD)."""

import vm
from settings_file import ATAPI_MODEL, speed_list_values

SET_CD_SPEED, INQUIRY, MODE_SENSE10 = 0xBB, 0x12, 0x5A
WINE = "cd /opt/tarvik-vm && /usr/lib/wine/wine64"
KEY = "HKCU\\Software\\Orvanto Software\\Tarvik\\4.0\\" + ATAPI_MODEL


def exe(guest, line, check=True, timeout=180):
    """One Windows program in the guest, its output through a file: Wine's
    console output on a line is full of terminal escapes."""
    return guest.run("%s %s >/tmp/wine.out 2>&1; rc=$?; tr -d '\\r' </tmp/wine.out; exit $rc" %
                     (WINE, line), check=check, timeout=timeout)


def reg_add(guest, key, name, kind, data):
    exe(guest, 'reg add "%s" /v %s /t %s /d %s /f' % (key, name, kind, data))


def test_tarvikctl_exe_reaches_both_drives_through_the_pass_through(debian):
    mark = debian.trace_mark()
    _, out = exe(debian, "tarvikctl.exe --long drives")
    assert out.count("QEMU DVD-ROM") == 1 and out.count("QEMU CD-ROM") == 1, out
    assert " D:" in out and " E:" in out, out
    _, state = exe(debian, "tarvikctl.exe --long state 0")
    assert "drive 0: CD" in state, state
    exe(debian, "tarvikctl.exe detect 0 fast", check=False)
    for qid in ("cd0", "cd2"):
        assert debian.received(qid, mark, INQUIRY), qid
        assert debian.received(qid, mark, MODE_SENSE10), qid
    assert debian.received("cd0", mark, SET_CD_SPEED), "the detection's speeds never arrived"


def test_tarvik_exe_exit_sends_the_stored_speed(debian):
    exe(debian, "tarvikctl.exe detect 0 fast", check=False)
    values = speed_list_values([704, 352], 352)
    reg_add(debian, KEY + "\\SpeedListCD", "Selected", "REG_DWORD", values["Selected"])
    reg_add(debian, KEY + "\\SpeedListCD", "MaxLevel", "REG_DWORD", values["MaxLevel"])
    reg_add(debian, KEY + "\\SpeedListCD", "Range", "REG_BINARY", values["Range"].hex())
    mark = debian.trace_mark()
    exe(debian, "tarvik.exe /exit")
    speeds = debian.received("cd0", mark, SET_CD_SPEED)
    assert speeds and speeds[-1][:4] == bytes.fromhex("bb 00 01 60"), speeds


def test_the_tray_program_keeps_lock_tray_while_it_runs(debian):
    # udev's rules lock every tray that holds a disc and eject it on the
    # button; without them the lock QEMU shows is the program's alone.
    debian.run("ln -sf /dev/null /etc/udev/rules.d/60-cdrom_id.rules && "
               "udevadm control --reload")
    exe(debian, "tarvikctl.exe unlock 0")
    assert not debian.block("cd0")["locked"]
    reg_add(debian, KEY + "\\00", "AutoLock", "REG_DWORD", 1)
    reg_add(debian, KEY + "\\00\\Lock", "Value", "REG_DWORD", 1)
    debian.run("(Xvfb :7 -nolisten tcp >/tmp/xvfb.log 2>&1 &) ; "
               "cd /opt/tarvik-vm && (DISPLAY=:7 /usr/lib/wine/wine64 tarvik.exe "
               ">/tmp/tray.out 2>&1; echo $? >/tmp/tray.rc) >/dev/null 2>&1 &")
    try:
        vm.wait_for("the lock", lambda: debian.block("cd0")["locked"], 120, interval=0.5)
        # Past the program's next timer tick (every 5 s it locks again): the lock
        # holds between commands, not only while one is sent.
        debian.run("sleep 6")
        assert debian.block("cd0")["locked"], "the lock ended with the command's handle"
        debian.press_eject_button("cd0")
        debian.run("sleep 2")
        assert not debian.block("cd0")["tray_open"], "the eject button opened a locked tray"
    finally:
        exe(debian, "tarvik_probe.exe close", check=False)
        rc, _ = debian.run("while [ ! -s /tmp/tray.rc ]; do sleep 0.5; done", timeout=60,
                           check=False)
        if rc:
            debian.run("pkill -f tarvik.exe", check=False)
    assert rc == 0, "the tray program did not end on WM_CLOSE"
    # "Lock tray" unlocks only for the program's own eject: as on Windows, the
    # lock outlives the program, until an unlock.
    assert debian.block("cd0")["locked"]
    exe(debian, "tarvikctl.exe unlock 0")
    assert not debian.block("cd0")["locked"]
