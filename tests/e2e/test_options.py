"""The Options dialog on the real program, opened by its command and worked
through the probe: OK changes the start-with-Windows entry at once and stores
the settings, the eject password is set and removed only through its dialogs,
Cancel leaves the stored settings byte for byte as they were, Disable ASPI
restarts the program; its layout at 96 and 144 pixels per inch, and laid out
again when its monitor's DPI changes."""

from harness import (SETTINGS_KEY, by_id, height, inside, log_files, messages, overlap, read_log,
                     wait_until)

CAPTION = "Tarvik 5.0 - Options"
CMD_OPTIONS = 106
RUN_KEY = r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run"
START_AUTO, START_EXIT, START_HIDE = 104, 105, 106
TIMER_ON, AUTOCLOSE, SECONDS = 109, 110, 112
EXPORT, EXPORT_PATH, SHORT_NAMES = 123, 124, 131
DISABLE_ASPI, PASSWORD, PASSWORD_DATA = 128, 135, 141
# Frames and the containers, spacers and data holders that are never shown.
GROUPS = {103, 108, 117, 121, 125, 129, 142, 153}
UNSHOWN = {100, 101, 102, 111, 114, 115, 116, 147, EXPORT_PATH, PASSWORD_DATA}
NEW_PASSWORD, ENTER_PASSWORD = "New password", "Enter password"


def run_entries(tarvik):
    return {k: v for k, v in tarvik.reg_values(RUN_KEY).items() if "Tarvik" in k}


def clear_run_entry(tarvik):
    tarvik.wine_run(["reg", "delete", RUN_KEY, "/v", "Tarvik", "/f"])


def open_options(tarvik):
    # Posted: the command stays in the dialog until it ends.
    assert tarvik.post_command(CMD_OPTIONS)
    dialog = tarvik.find_dialog(CAPTION, timeout=15)
    assert dialog, "the Options dialog never appeared"
    return dialog


def controls(tarvik, caption=CAPTION):
    return by_id(tarvik.dialog_children(caption))


def wait_state(tarvik, what, check):
    """Clicks are posted: polls the controls until `check` holds for them."""
    return wait_until(lambda: (c := controls(tarvik)) and check(c) and c, 10, what)


def click(tarvik, *ids, caption=CAPTION):
    for cid in ids:
        assert tarvik.click_control(caption, cid), f"no control {cid} in {caption!r}"


def end_dialog(tarvik, button):
    click(tarvik, button)
    assert tarvik.wait_dialog_gone(CAPTION, timeout=15)
    # A sent message returns once the Options command has finished.
    assert tarvik.answers()


def type_password(tarvik, caption, *boxes, text="open sesame"):
    assert tarvik.find_dialog(caption, timeout=15), f"no {caption!r} dialog"
    for box in boxes:
        assert tarvik.set_control_text(caption, box, text)


def close_password(tarvik, caption, button):
    click(tarvik, button, caption=caption)
    assert tarvik.wait_dialog_gone(caption, timeout=15)


def stored_password(tarvik):
    return tarvik.reg_values(SETTINGS_KEY + "\\Lock").get("Data", "")


def test_ok_changes_start_entry_and_settings_cancel_changes_nothing(tarvik, workdir):
    clear_run_entry(tarvik)
    inst = tarvik.start("/log", workdir)
    try:
        open_options(tarvik)
        c = controls(tarvik)
        assert len(c) == 56
        assert not c[PASSWORD_DATA]["visible"] and not c[EXPORT_PATH]["visible"]
        assert not c[START_EXIT]["enabled"] and not c[START_HIDE]["enabled"]
        click(tarvik, START_AUTO, START_HIDE, TIMER_ON, AUTOCLOSE, PASSWORD)
        type_password(tarvik, NEW_PASSWORD, 107, 108)
        close_password(tarvik, NEW_PASSWORD, 1)
        c = wait_state(tarvik, "Hide icon and the password checked, Restore and exit disabled",
                       lambda c: c[START_HIDE]["checked"] == 1 and not c[START_EXIT]["enabled"]
                       and c[SECONDS]["enabled"] and c[PASSWORD]["checked"] == 1)
        assert c[PASSWORD_DATA]["text"].startswith("$1$")
        assert tarvik.set_control_text(CAPTION, SECONDS, "3")
        end_dialog(tarvik, 1)

        entries = run_entries(tarvik)
        assert list(entries) == ["Tarvik"], entries
        # The path in quotes: a folder with blanks must not start another program.
        entry = entries["Tarvik"].lower()
        assert entry.startswith('"') and entry.endswith('tarvik.exe" /hide'), entries
        stored = tarvik.reg_values()
        assert stored["TimerAutoclose"] == "0xbb8" and stored["EnableAutoclose"] == "0x1"
        password = stored_password(tarvik)
        assert password.startswith("$1$") and "sesame" not in password

        # Opened again it shows what was stored. A wrong password does not remove
        # the password; changes, an export file chosen, then Cancel store nothing.
        before = tarvik.reg_export()
        assert before is not None
        open_options(tarvik)
        c = controls(tarvik)
        assert c[START_AUTO]["checked"] == 1 and c[START_HIDE]["checked"] == 1
        assert c[SECONDS]["text"] == "3" and c[AUTOCLOSE]["checked"] == 1
        click(tarvik, SHORT_NAMES, START_AUTO, DISABLE_ASPI, PASSWORD)
        type_password(tarvik, ENTER_PASSWORD, 107, text="open says me")
        click(tarvik, 1, caption=ENTER_PASSWORD)
        wait_until(lambda: {x["id"]: x for x in tarvik.dialog_children(ENTER_PASSWORD)}[107]
                   ["text"] == "", 15, "the wrong password cleared from its box")
        close_password(tarvik, ENTER_PASSWORD, 2)
        click(tarvik, EXPORT)
        save_as = wait_until(lambda: [w for w in tarvik.visible_windows() if "Save" in w], 15,
                             "the save-file dialog")
        tarvik.dialog_key(save_as[0].split(" ", 1)[1], "Return")
        c = wait_state(tarvik, "the export box checked", lambda c: c[EXPORT]["checked"] == 1)
        assert c[PASSWORD]["checked"] == 1
        assert c[EXPORT_PATH]["text"].lower().endswith("tarvik.reg")
        assert tarvik.set_control_text(CAPTION, SECONDS, "9")
        end_dialog(tarvik, 2)
        assert tarvik.reg_export() == before
        assert list(run_entries(tarvik)) == ["Tarvik"]

        # The right password removes it; start off, a huge delay and ASPI
        # disabled: the entry goes, the delay is a day, 1 + 4 is stored, and the
        # program starts anew without ASPI.
        open_options(tarvik)
        click(tarvik, PASSWORD)
        type_password(tarvik, ENTER_PASSWORD, 107)
        close_password(tarvik, ENTER_PASSWORD, 1)
        click(tarvik, START_AUTO, DISABLE_ASPI)
        # Times 1000 this wraps 32 bits to 672 s: clamped to a day first.
        assert tarvik.set_control_text(CAPTION, SECONDS, "4294968")
        wait_state(tarvik, "password and Start automatically off",
                   lambda c: c[PASSWORD]["checked"] == 0 and c[START_AUTO]["checked"] == 0
                   and c[DISABLE_ASPI]["checked"] == 1)
        click(tarvik, 1)
        assert inst.wait(timeout=30) == 0, "the old instance did not end with exit code 0"
        stored = tarvik.reg_values()
        assert stored["ApiPrefered"] == "0x5" and stored["TimerAutoclose"] == hex(86400 * 1000)
        assert stored_password(tarvik) == ""
        assert run_entries(tarvik) == {}
        assert tarvik.wait_window(True, timeout=20), "no restarted instance"
        log = messages(read_log(workdir / log_files(workdir)[0]))
        assert "ASPI disabled - restarting..." in log
        assert not any("sesame" in line or "says me" in line for line in log)
    finally:
        clear_run_entry(tarvik)


def test_options_laid_out_at_96_and_144_dpi_and_again_when_the_dpi_changes(tarvik, workdir):
    heights, layouts = {}, {}

    def at(dpi):
        tarvik.start("/log", workdir / f"dpi{dpi}")
        dialog = open_options(tarvik)
        c = controls(tarvik)
        tarvik.shoot_dialog(dialog, f"options-{dpi}")
        shown = {i: x for i, x in c.items() if i not in UNSHOWN}
        for i, x in shown.items():
            assert x["visible"] and inside(x["rect"], dialog["client"]), (i, x["rect"])
        leaves = [x for i, x in shown.items() if i not in GROUPS]
        for n, a in enumerate(leaves):
            for b in leaves[n + 1:]:
                assert not overlap(a["rect"], b["rect"]), (a["id"], b["id"])
        heights[dpi] = height(c[START_AUTO])
        layouts[dpi] = tarvik.dialog_layout(CAPTION)
        if dpi == 96:
            # Moved to a monitor of 144 and back, as a per-monitor program is.
            tarvik.dpi_changed(CAPTION, 144)
            layouts["96 to 144"] = tarvik.dialog_layout(CAPTION)
            tarvik.shoot_dialog(tarvik.find_dialog(CAPTION), "options-96-to-144")
            tarvik.dpi_changed(CAPTION, 96)
            back = tarvik.layout_differences(tarvik.dialog_layout(CAPTION), layouts[96])
            assert not back, "\n".join(map(str, back))
        end_dialog(tarvik, 2)
        tarvik.stop_instances()

    tarvik.at_dpis(at)
    assert 1.3 <= heights[144] / heights[96] <= 1.7, heights
    moved = tarvik.layout_differences(layouts["96 to 144"], layouts[144])
    assert not moved, "\n".join(map(str, moved))
