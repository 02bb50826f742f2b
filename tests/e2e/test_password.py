"""The eject password on the real program: a protected drive asks for it before
its tray opens, a wrong password moves nothing, the right one exactly once."""

import subprocess

from harness import SETTINGS_KEY, wait_until
from simrun import DVD_WRITER, DVD_WRITER_MODEL, OP_START_STOP_UNIT, TARVIKCTL, SimRun

ENTER = "Tarvik 5.0 - Enter password"
PASSWORD_BOX, VERIFY_BOX, OK = 107, 108, 1
EJECT_DRIVE_0 = 0x8001  # drive command: action 1 (eject) of drive 0


def stored_form(password: str) -> str:
    r = subprocess.run([str(TARVIKCTL), "password", "hash", password], stdout=subprocess.PIPE,
                       text=True, timeout=30, check=True)
    return r.stdout.strip()


def tray_moves(run, mark):
    return [r for r in run.since(mark)
            if bytes.fromhex(r["cdb"])[0] == OP_START_STOP_UNIT and bytes.fromhex(r["cdb"])[4] & 2]


def test_protected_eject_asks_and_only_the_right_password_opens_the_tray(tarvik, workdir):
    run = SimRun(tarvik, workdir, [DVD_WRITER])
    run.learn()
    assert tarvik.reg_add(SETTINGS_KEY + "\\Lock", "Data", "REG_SZ", stored_form("open sesame"))
    run.set_dword(DVD_WRITER_MODEL + "\\00\\Lock", "Value", 1)
    run.start()

    mark = run.mark()
    assert tarvik.post_command(EJECT_DRIVE_0)
    assert tarvik.find_dialog(ENTER), "no password asked before a protected eject"
    boxes = {c["id"]: c for c in tarvik.dialog_children(ENTER)}
    assert boxes[PASSWORD_BOX]["visible"] and not boxes[VERIFY_BOX]["visible"]

    def typed():
        return {c["id"]: c for c in tarvik.dialog_children(ENTER)}[PASSWORD_BOX]["text"]

    assert tarvik.set_control_text(ENTER, PASSWORD_BOX, "open says me")
    assert typed() != ""
    assert tarvik.click_control(ENTER, OK)
    wait_until(lambda: typed() == "", 15, "the wrong password cleared from its box")
    assert tray_moves(run, mark) == [], "a wrong password opened the tray"

    assert tarvik.set_control_text(ENTER, PASSWORD_BOX, "open sesame")
    assert tarvik.click_control(ENTER, OK)
    assert tarvik.wait_dialog_gone(ENTER)
    run.wait_action(mark, ("eject", 0))
    run.settle()
    assert len(tray_moves(run, mark)) == 1
    run.close()
