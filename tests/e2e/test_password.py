"""The eject password on the real program: a protected drive asks for it before
its tray opens, a wrong password moves nothing, the right one exactly once."""

import subprocess

from harness import SETTINGS_KEY, assert_laid_out, by_id, height, wait_until
from simrun import DVD_WRITER, DVD_WRITER_MODEL, TARVIKCTL, SimRun

ENTER = "Tarvik 5.0 - Enter password"
PASSWORD_BOX, VERIFY_BOX, OK = 107, 108, 1
PASSWORD_LABEL, VERIFY_LABEL = 103, 104
GROUPS = {101, 109}  # the frame around the boxes, the row of buttons
EJECT_DRIVE_0 = 0x8001  # drive command: action 1 (eject) of drive 0
CMD_OPTIONS, CMD_RESET_CONFIG = 106, 108
OPT_PASSWORD = 135  # Options: "Eject password"


def stored_form(password: str) -> str:
    r = subprocess.run([str(TARVIKCTL), "password", "hash", password], stdout=subprocess.PIPE,
                       text=True, timeout=30, check=True)
    return r.stdout.strip()


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
    assert run.tray_moves_since(mark) == [], "a wrong password opened the tray"

    assert tarvik.set_control_text(ENTER, PASSWORD_BOX, "open sesame")
    assert tarvik.click_control(ENTER, OK)
    assert tarvik.wait_dialog_gone(ENTER)
    run.wait_action(mark, ("eject", 0))
    run.settle()
    assert run.tray_moves_since(mark) == [("eject", 0)]
    run.close()


def test_password_dialogs_laid_out_at_96_and_144_dpi(tarvik, workdir):
    """Both modes on screen: the check before Reset configuration (with the
    program title) and "New password" from Options, every control inside the
    dialog and apart from the others, each box beside its label, and the boxes
    grown with the pixels per inch."""
    options, new = "Tarvik 5.0 - Options", "New password"
    heights = {}

    def at(dpi):
        assert tarvik.reg_add(SETTINGS_KEY + "\\Lock", "Data", "REG_SZ", stored_form("pw"))
        inst = tarvik.start("/log", workdir / f"dpi{dpi}")

        assert tarvik.post_command(CMD_RESET_CONFIG)
        dialog = tarvik.find_dialog(ENTER)
        tarvik.shoot_dialog(dialog, f"password-enter-{dpi}")
        c = by_id(tarvik.dialog_children(ENTER))
        assert not c[VERIFY_BOX]["visible"] and not c[VERIFY_LABEL]["visible"]
        assert_laid_out(dialog, list(c.values()), unshown={VERIFY_BOX, VERIFY_LABEL},
                        groups=GROUPS)
        assert tarvik.click_control(ENTER, 2) and tarvik.wait_dialog_gone(ENTER)

        # The stored one is asked for and removed first; then a new one.
        assert tarvik.post_command(CMD_OPTIONS) and tarvik.find_dialog(options)
        assert tarvik.click_control(options, OPT_PASSWORD)
        assert tarvik.find_dialog("Enter password")
        assert tarvik.set_control_text("Enter password", PASSWORD_BOX, "pw")
        assert tarvik.click_control("Enter password", OK)
        assert tarvik.wait_dialog_gone("Enter password")
        assert tarvik.click_control(options, OPT_PASSWORD)
        dialog = tarvik.find_dialog(new)
        tarvik.shoot_dialog(dialog, f"password-new-{dpi}")
        c = by_id(tarvik.dialog_children(new))
        assert_laid_out(dialog, list(c.values()), groups=GROUPS)
        for box, label in ((PASSWORD_BOX, PASSWORD_LABEL), (VERIFY_BOX, VERIFY_LABEL)):
            b, l = c[box]["rect"], c[label]["rect"]
            assert l[2] <= b[0], (box, b, l)
            assert b[1] < l[3] and l[1] < b[3], f"label {label} not beside its box"
        heights[dpi] = height(c[PASSWORD_BOX])
        assert tarvik.click_control(new, 2) and tarvik.wait_dialog_gone(new)
        assert tarvik.click_control(options, 2) and tarvik.wait_dialog_gone(options)
        assert tarvik.send("close") is not None
        assert inst.wait(timeout=30) == 0

    tarvik.at_dpis(at)
    assert 1.3 <= heights[144] / heights[96] <= 1.7, heights
