"""The program's own message box on screen: the question of Reset
configuration, answered by keyboard and by click, opened under the mouse
pointer and kept inside the work area, laid out at 96 and 144 pixels per inch."""

import re

import pytest

from harness import SETTINGS_KEY, by_id, height, log_files, messages, read_log, wait_until

CAPTION = "Tarvik 5.0"
CMD_RESET_CONFIG = 108
QUESTION = "Remove all options from registry?"
SCSI_INIT = re.compile(r"^Executing SCSIInit\((\d+)\)$")
# Row ids of the message box: the two frames, the icon, the gap, the text.
TEXT_FRAME, ICON, GAP, TEXT, BUTTON_FRAME = 100, 101, 102, 103, 104


def scsi_inits(folder):
    """The ApiPrefered value of every drive initialisation the log records."""
    names = log_files(folder)
    if not names:
        return []
    return [m.group(1) for line in messages(read_log(folder / names[0]))
            if (m := SCSI_INIT.match(line))]


def start(tarvik, folder):
    """A logging instance with a setting of its own (ApiPrefered 2) in force."""
    folder.mkdir(exist_ok=True)
    assert tarvik.reg_add(SETTINGS_KEY, "ApiPrefered", "REG_DWORD", "2")
    inst = tarvik.spawn("/log", folder)
    assert tarvik.wait_window(True, timeout=20)
    wait_until(lambda: scsi_inits(folder), 15, "the start-up drive initialisation")
    return inst


def open_question(tarvik, pointer):
    tarvik.move_pointer(*pointer)
    # Posted: the command waits in the message box until it is answered.
    assert tarvik.post_command(CMD_RESET_CONFIG)
    dialog = tarvik.find_dialog(CAPTION, timeout=15)
    assert dialog, "the reset question never appeared"
    return dialog


def dismiss(tarvik):
    tarvik.dialog_key(CAPTION, "Escape")
    assert tarvik.wait_dialog_gone(CAPTION, timeout=15)


def close(tarvik, inst):
    assert tarvik.send("close") is not None
    assert inst.wait(timeout=20) == 0


@pytest.mark.parametrize("answer,resets", [("Return", True), ("Escape", False),
                                           ("click Cancel", False)])
def test_reset_question_answered(tarvik, workdir, answer, resets):
    inst = start(tarvik, workdir)
    open_question(tarvik, (512, 400))
    controls = by_id(tarvik.dialog_children(CAPTION))
    assert controls[TEXT]["text"] == QUESTION
    assert (controls[1]["cls"], controls[1]["text"]) == ("Button", "OK")
    assert (controls[2]["cls"], controls[2]["text"]) == ("Button", "Cancel")
    assert controls[ICON]["text"] == "IconApp"

    if answer == "click Cancel":
        assert tarvik.click_control(CAPTION, 2)
    else:
        tarvik.dialog_key(CAPTION, answer)
    assert tarvik.wait_dialog_gone(CAPTION, timeout=15)
    # A sent command returns once the one that asked has finished.
    assert tarvik.command(0) is not None

    if resets:
        # The drives start again from the defaults (ApiPrefered 0), the settings are gone.
        assert scsi_inits(workdir) == ["2", "0"]
        assert tarvik.reg_query() is None
    else:
        assert scsi_inits(workdir) == ["2"]
        assert "ApiPrefered" in (tarvik.reg_query() or "")
    close(tarvik, inst)


def test_message_box_opens_under_the_pointer_inside_the_work_area(tarvik, workdir):
    inst = start(tarvik, workdir)
    work = tarvik.work_area(512, 384)
    assert work is not None

    open_question(tarvik, (600, 500))
    ok = by_id(tarvik.dialog_children(CAPTION))[1]["rect"]
    assert ok[2:] == (599, 499), f"OK at {ok}, the pointer at (600, 500)"
    dismiss(tarvik)

    corner = (work[2] - 2, work[3] - 2)
    dialog = open_question(tarvik, corner)
    assert dialog["rect"][2:] == work[2:], f"dialog at {dialog['rect']}, work area {work}"
    ok = by_id(tarvik.dialog_children(CAPTION))[1]["rect"]
    assert ok[2] < corner[0] and ok[3] < corner[1]
    dismiss(tarvik)
    close(tarvik, inst)


def inside(inner, outer):
    return (inner[0] >= outer[0] and inner[1] >= outer[1] and inner[2] <= outer[2]
            and inner[3] <= outer[3])


def overlap(a, b):
    return a[0] < b[2] and b[0] < a[2] and a[1] < b[3] and b[1] < a[3]


def check_layout(dialog, controls):
    client = dialog["client"]
    for c in controls.values():
        assert inside(c["rect"], client), f"control {c['id']} {c['rect']} outside {client}"
    # The two frames fill the client area, one above the other.
    top, bottom = controls[TEXT_FRAME]["rect"], controls[BUTTON_FRAME]["rect"]
    assert (top[0], top[1], top[2]) == (client[0], client[1], client[2])
    assert (bottom[1], bottom[2], bottom[3]) == (top[3], client[2], client[3])
    for cid in (ICON, TEXT):
        assert inside(controls[cid]["rect"], top), f"control {cid} outside its frame"
    for cid in (1, 2):
        assert inside(controls[cid]["rect"], bottom), f"button {cid} outside its frame"
    assert not overlap(controls[ICON]["rect"], controls[TEXT]["rect"])
    assert not overlap(controls[1]["rect"], controls[2]["rect"])


def test_message_box_laid_out_at_96_and_144_dpi_and_again_when_the_dpi_changes(tarvik, workdir):
    found, layouts = {}, {}

    def at(dpi):
        inst = start(tarvik, workdir / f"dpi{dpi}")
        dialog = open_question(tarvik, (700, 600))
        controls = by_id(tarvik.dialog_children(CAPTION))
        shot = tarvik.screenshot(f"message-box-{dpi}dpi")
        left, top, right, bottom = dialog["rect"]
        tarvik.crop(shot, tarvik.artifacts / f"message-box-{dpi}dpi-dialog.png",
                    left - 8, top - 8, right - left + 16, bottom - top + 16, scale=2)
        check_layout(dialog, controls)
        found[dpi] = controls
        layouts[dpi] = tarvik.dialog_layout(CAPTION)
        if dpi == 96:
            # Its icon too is taken again for the monitor's DPI.
            tarvik.dpi_changed(CAPTION, 144)
            layouts["96 to 144"] = tarvik.dialog_layout(CAPTION)
        dismiss(tarvik)
        close(tarvik, inst)

    tarvik.at_dpis(at)
    # The dialog font follows the screen: half as large again at 144.
    for cid in (1, TEXT):
        ratio = height(found[144][cid]) / height(found[96][cid])
        assert 1.3 <= ratio <= 1.7, f"control {cid}: {ratio:.2f} times as high at 144 dpi"
    moved = tarvik.layout_differences(layouts["96 to 144"], layouts[144])
    assert not moved, "\n".join(map(str, moved))
