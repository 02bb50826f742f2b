"""The read-only dialogs and the session-end reminders of the running
instance: Drive information (its text read from the rich-text control), About
(its lines, its blue links, a link opened where the user sees it), and the
countdowns shown at the end of the session, checked through the simulator's
trace. Every dialog is photographed at 96 and 144 pixels per inch; the crops
go to the artifacts folder as drive-info-96.png, about-144.png, ...
"""

import shutil
import subprocess
import threading

from harness import by_id, wait_until
from simrun import DVD_WRITER, SLIM, TARVIKCTL, SimRun

CMD_LEFT_CLICK, CMD_ABOUT, CMD_DRIVE_INFO = 101, 102, 104
INFO = "Drive information"
ABOUT = "About Tarvik"
DISK_REMINDER = "Tarvik 5.0 - Disk inserted!"
TRAY_REMINDER = "Tarvik 5.0 - Tray opened!"
INFO_TEXT = 101              # the rich-text control
WEB_LINK, MAIL_LINK = 109, 110
DISK_LIST, COUNTDOWN = 102, 106


def close_with_ok(tarvik, caption):
    assert tarvik.click_control(caption, 1)
    assert tarvik.wait_dialog_gone(caption), f"{caption!r} stayed open after OK"


def expected_drive_sections(profiles):
    """The drives' part of the information text as tarvikctl builds it from the
    same profiles: what the program learnt of each drive, CR LF line ends."""
    args = [str(TARVIKCTL)]
    for p in profiles:
        args += ["--sim", str(p)]
    r = subprocess.run([*args, "info"], stdout=subprocess.PIPE, text=True, timeout=60,
                       check=True)
    return r.stdout[r.stdout.index("\n[") + 1:].replace("\n", "\r\n")


def drive_info_text(tarvik, dpi):
    assert tarvik.post_command(CMD_DRIVE_INFO)
    dialog = tarvik.find_dialog(INFO)
    assert dialog, "no drive information dialog"
    controls = by_id(tarvik.dialog_children(INFO))
    tarvik.shoot_dialog(dialog, f"drive-info-{dpi}")
    return controls[INFO_TEXT]["text"]


def test_drive_information_shows_drives_methods_speeds_and_the_library_version(tarvik, workdir):
    profiles = [DVD_WRITER, SLIM]
    run = SimRun(tarvik, workdir, profiles)
    # Installed in a folder whose name the ANSI code page cannot spell: the
    # library's version block is still found.
    folder = workdir.parent / "Tarvik \u03a9"
    folder.mkdir()
    for name in ("tarvik.exe", "wnaspi32.dll"):
        shutil.copy2(tarvik.bin_dir / name, folder / name)
    proc = subprocess.Popen([tarvik.wine, str(folder / "tarvik.exe"), "/log"], cwd=workdir,
                            env=tarvik.env(run.env), stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        assert tarvik.wait_window(True, timeout=30), "no main window"
        assert tarvik.answers()
        text = drive_info_text(tarvik, 96)
        lines = text.split("\r\n")
        assert lines[1] == "ASPI: OK"
        assert "ASPI LegalCopyright: Tarvik test suite" in lines
        assert "ASPI ProductName: Simulated ASPI for Win32" in lines
        assert "ASPI FileVersion: 4.60 (1021)" in lines
        assert "Drive access method: ASPI (Windows 95/98/ME)" in lines
        # Names, letters, capabilities and speed lists of both drives.
        assert "[TARVIKSM DVDRW SIM24X     1.02] (D)" in lines
        assert "[TARVIKSM SLIM DVDRW SIM8  LS03] (E)" in lines
        assert text[text.index("\r\n[") + 2:] == expected_drive_sections(profiles)
        assert "Speed list: 2x,4x,6x,8x,12x,16x" in lines  # the writer's DVD list
        close_with_ok(tarvik, INFO)
        assert tarvik.send("close") is not None
        assert proc.wait(timeout=30) == 0
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait(timeout=10)


def test_about_and_the_information_without_drives(tarvik, workdir):
    inst = tarvik.start("/log", workdir)

    # A left click with no drives shows the information instead of a menu.
    assert tarvik.post_command(CMD_LEFT_CLICK)
    assert tarvik.find_dialog(INFO), "no drive information for an empty list"
    text = by_id(tarvik.dialog_children(INFO))[INFO_TEXT]["text"]
    assert text.endswith("\r\nNo drives found!\r\n"), text
    close_with_ok(tarvik, INFO)

    assert tarvik.post_command(CMD_ABOUT)
    dialog = tarvik.find_dialog(ABOUT)
    assert dialog, "no About dialog"
    controls = by_id(tarvik.dialog_children(ABOUT))
    texts = [c["text"] for c in controls.values() if c["cls"] == "Static" and c["visible"]]
    assert "Tarvik version 5.0" in texts
    assert "Copyright \u00a9 2019\u20132026 Orvanto Software" in texts
    assert controls[WEB_LINK]["text"] == "https://orvanto.example/tarvik/"
    assert controls[MAIL_LINK]["text"] == "mailto:tarvik@orvanto.example"
    # The links are written in blue.
    shot = tarvik.shoot_dialog(dialog, "about-96")
    left, top, right, bottom = controls[WEB_LINK]["rect"]
    link = tarvik.pixels(shot, left - dialog["rect"][0], top - dialog["rect"][1], right - left,
                         bottom - top)
    assert any(b > 200 and r < 60 and g < 60 for r, g, b in link), "the link is not blue"

    # A link opens its own text with the shell, in a window that shows: here
    # the text is a program, so its window can be looked for.
    assert tarvik.set_control_text(ABOUT, WEB_LINK, "notepad.exe")
    tarvik.xdotool("mousemove", str((left + right) // 2), str((top + bottom) // 2), "click", "1")
    try:
        wait_until(lambda: any("Notepad" in w for w in tarvik.visible_windows()), 20,
                   "a visible Notepad window")
    finally:
        tarvik.probe("kill", "notepad.exe")
    close_with_ok(tarvik, ABOUT)
    assert tarvik.send("close") is not None
    assert inst.wait(timeout=20) == 0


def started(run):
    """Starts the instance and returns once its start-up is over. Just after a
    server restart the notification area comes up slowly, and the launcher may
    report the program idle while its window is still being created."""
    run.start()
    run.settle()


class SessionEnd:
    """WM_QUERYENDSESSION sent from a thread: the reminder it shows keeps the
    sent message waiting until it ends."""

    def __init__(self, run):
        self.result = None
        self.thread = threading.Thread(target=self._send, args=(run,), daemon=True)
        self.thread.start()

    def _send(self, run):
        self.result = run.send("queryendsession")

    def answered(self, timeout=30):
        self.thread.join(timeout)
        return self.result


def open_reminder(tarvik, caption):
    dialog = tarvik.find_dialog(caption, timeout=20)
    assert dialog, f"no reminder {caption!r}"
    return dialog, by_id(tarvik.dialog_children(caption))


def wait_count_below(tarvik, caption, start):
    wait_until(lambda: int(by_id(tarvik.dialog_children(caption))[COUNTDOWN]["text"]) < start, 5,
               "the countdown to go on")


WINE_DRIVES = r"HKLM\Software\Wine\Drives"


class LabelledDriveD:
    """D:, the simulated drive's letter, as an optical drive of the prefix whose
    disc has a volume label. Wine's mount manager reads the drives when the
    server starts: in force from the next restart until the one after close()."""

    def __init__(self, tarvik, folder, label):
        self.tarvik = tarvik
        root = folder / "disc"
        root.mkdir()
        (root / ".windows-label").write_text(label)
        self.link = tarvik.prefix / "dosdevices" / "d:"
        self.link.symlink_to(root)
        assert tarvik.reg_add(WINE_DRIVES, "d:", "REG_SZ", "cdrom")

    def close(self):
        self.tarvik.stop_instances()
        self.link.unlink()
        self.tarvik.wine_run(["reg", "delete", WINE_DRIVES, "/v", "d:", "/f"])


def test_session_end_reminders_count_down_then_eject_and_close_as_chosen(tarvik, workdir):
    run = SimRun(tarvik, workdir, [DVD_WRITER])
    drive = LabelledDriveD(tarvik, workdir.parent, "HOLIDAY")
    tarvik.restart_server()
    try:
        session_end_as_chosen(tarvik, run)
    finally:
        drive.close()
        tarvik.restart_server()


def session_end_as_chosen(tarvik, run):
    # DNClose: the trays are closed at the end anyway; once is enough.
    run.set_settings(DNMessage=1, DNTimer=15, DNEject=0, DNClose=1)
    started(run)

    # The disc in D: at the end of the session: the disk reminder counts down
    # from 15; "Eject" ejects it, once.
    mark = run.mark()
    ending = SessionEnd(run)
    dialog, controls = open_reminder(tarvik, DISK_REMINDER)
    assert controls[DISK_LIST]["text"] == 'D: "HOLIDAY"'
    assert (controls[1]["text"], controls[2]["text"]) == ("Eject", "Cancel")
    wait_count_below(tarvik, DISK_REMINDER, 15)
    tarvik.shoot_dialog(dialog, "disk-reminder-96")
    assert run.actions_since(mark) == [], "nothing happens before the user chooses"
    assert tarvik.click_control(DISK_REMINDER, 1)
    assert tarvik.wait_dialog_gone(DISK_REMINDER)
    assert ending.answered() == 1
    assert run.actions_since(mark) == [("eject", 0)]
    assert run.send("endsession", "0") == 0  # someone else said no: the session goes on

    # Now the tray stands open: at the real end the tray reminder comes;
    # "Close tray" closes it, once.
    mark = run.mark()
    assert run.send("queryendsession") == 1
    ending = threading.Thread(target=run.send, args=("endsession", "1"), daemon=True)
    ending.start()
    # Its seconds are what is left of the five the system grants: no more
    # probing than the picture before the click.
    dialog = tarvik.find_dialog(TRAY_REMINDER, timeout=20)
    assert dialog, "no tray reminder"
    tarvik.shoot_dialog(dialog, "tray-reminder-96")
    assert tarvik.click_control(TRAY_REMINDER, 1)
    assert tarvik.wait_dialog_gone(TRAY_REMINDER)
    ending.join(30)
    assert not ending.is_alive()
    run.settle()
    assert run.actions_since(mark) == [("close", 0)]
    assert "OnEndSession DONE" in run.log()
    run.close()


def test_at_144_dpi_a_reminder_ends_by_itself_when_its_reason_goes(tarvik, workdir):
    drive = LabelledDriveD(tarvik, workdir.parent, "HOLIDAY")
    tarvik.set_dpi(144)
    try:
        run = SimRun(tarvik, workdir, [DVD_WRITER])
        run.set_settings(DNMessage=1, DNTimer=15, DNEject=0, DNClose=0)
        started(run)
        drive_info_text(tarvik, 144)
        close_with_ok(tarvik, INFO)
        assert tarvik.post_command(CMD_ABOUT)
        dialog = tarvik.find_dialog(ABOUT)
        assert dialog
        tarvik.shoot_dialog(dialog, "about-144")
        close_with_ok(tarvik, ABOUT)

        # The user takes the disc out while the reminder counts from 15: it
        # ends at its next second, long before its time, and ejects nothing.
        mark = run.mark()
        ending = SessionEnd(run)
        dialog, controls = open_reminder(tarvik, DISK_REMINDER)
        assert controls[DISK_LIST]["text"] == 'D: "HOLIDAY"'
        tarvik.shoot_dialog(dialog, "disk-reminder-144")
        run.user(0, "open")
        assert tarvik.wait_dialog_gone(DISK_REMINDER, timeout=5)
        assert ending.answered() == 1
        assert run.send("endsession", "0") == 0

        # The tray reminder, cancelled: the open tray stays open.
        assert run.send("queryendsession") == 1
        ending = threading.Thread(target=run.send, args=("endsession", "1"), daemon=True)
        ending.start()
        dialog, controls = open_reminder(tarvik, TRAY_REMINDER)
        assert DISK_LIST not in controls
        assert (controls[1]["text"], controls[2]["text"]) == ("Close tray", "Cancel")
        tarvik.shoot_dialog(dialog, "tray-reminder-144")
        assert tarvik.click_control(TRAY_REMINDER, 2)
        assert tarvik.wait_dialog_gone(TRAY_REMINDER)
        run.user(0, "close")  # the rest of the session-end wait stops once it is closed
        ending.join(30)
        run.settle()
        assert run.actions_since(mark) == [], "the program moved a tray itself"
        run.close()
    finally:
        drive.close()
        tarvik.set_dpi(96)
