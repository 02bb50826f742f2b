"""The program in German and in Russian, as Wine's LANG sets the user's
display language: Options and the drive options dialog read control by
control against the English run and the tables the build checked, the log
naming the language chosen, and pictures of the right-click menu and both
dialogs for the README."""

import subprocess
import sys
import time

from harness import REPO, wait_until
from simrun import DVD_WRITER, SimRun

sys.path.insert(0, str(REPO / "resources" / "tools"))
import check_strings  # noqa: E402  (the build's own reader of the tables)

CMD_OPTIONS = 106
OPEN_DRIVE_0 = 0x8000  # DriveCommand: action 0 (options) of drive 0
IDS_MNU_OPTIONS, IDS_DRIVE_OPTIONS = 12, 56
CANCEL = 2
PREFIX = "Tarvik 5.0 - "


def table(name):
    rows, errors = check_strings.read_table(REPO / "resources" / name)
    assert not errors, errors
    return {sid: text for _, sid, _, text in rows}


NEUTRAL = table("strings.inc")


def text_of(language, sid):
    """What the program shows for string `sid`: the table's own text, the
    English one where the table has none."""
    return language.get(sid) or NEUTRAL[sid]


def locale_env(tarvik, lang):
    """The environment for Wine in locale `lang`. Wine takes the display
    language from the C library's locale, which must exist: it is built here
    with localedef into the prefix, so the machine needs no locales of its own."""
    folder = tarvik.prefix / "locales"
    if not (folder / lang).is_dir():
        folder.mkdir(exist_ok=True)
        subprocess.run(["localedef", "-i", lang.split(".")[0], "-f", "UTF-8", str(folder / lang)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300,
                       check=False)
        assert (folder / lang).is_dir(), f"localedef made no {lang}"
    return {"LANG": lang, "LOCPATH": str(folder)}


def read_dialog(tarvik, command, caption, shot):
    """Opens a dialog by its command, photographs it and reads its controls'
    texts by id; Cancel closes it again."""
    assert tarvik.post_command(command)
    dialog = tarvik.find_dialog(caption, timeout=20)
    assert dialog, f"no dialog {caption!r}"
    texts = {c["id"]: c["text"] for c in tarvik.dialog_children(caption)}
    time.sleep(1)  # painted by now
    tarvik.shoot_dialog(dialog, shot)
    assert tarvik.click_control(caption, CANCEL)
    assert tarvik.wait_dialog_gone(caption, timeout=20)
    return texts


def shoot_menu(tarvik, run, shot):
    """The right-click menu on screen, photographed, then closed."""
    before = run.log().count("    RMenuInsertList FINISHED")
    tarvik.click_tray(3)
    run.wait_log(lambda log: log.count("    RMenuInsertList FINISHED") > before,
                 "the right click")
    menu = wait_until(tarvik.visible_windows, 10, "the menu window")[0].split()[0]
    time.sleep(1)
    g = tarvik.xdotool("getwindowgeometry", "--shell", menu).stdout
    box = dict(line.split("=", 1) for line in g.split() if "=" in line)
    screen = tarvik.screenshot(shot + "-screen")
    tarvik.crop(screen, tarvik.artifacts / f"{shot}.png", int(box["X"]), int(box["Y"]),
                int(box["WIDTH"]), int(box["HEIGHT"]))
    tarvik.xdotool("key", "Escape")
    wait_until(lambda: all(w.split()[0] != menu for w in tarvik.visible_windows()), 10,
               "the menu closed")


def both_dialogs(tarvik, run, code, language):
    """Options and drive options of the running instance in `language`."""
    options = read_dialog(tarvik, CMD_OPTIONS, PREFIX + text_of(language, IDS_MNU_OPTIONS),
                          f"options-{code}")
    drive = read_dialog(tarvik, OPEN_DRIVE_0, PREFIX + text_of(language, IDS_DRIVE_OPTIONS),
                        f"drive-options-{code}")
    return options, drive


def compare(english, translated, language, what):
    """Each control whose English text is a string of the table shows that
    string's translation (any of them where two strings read alike in
    English); the count of controls compared."""
    compared = 0
    for cid, text in english.items():
        ids = [sid for sid, t in NEUTRAL.items() if t and t == text]
        if not ids:
            continue  # a number, a drive name, a text made of several strings
        wanted = {text_of(language, sid) for sid in ids}
        assert translated.get(cid) in wanted, (what, cid, text, translated.get(cid), wanted)
        compared += 1
    return compared


def run_in(tarvik, workdir, code, lang):
    run = SimRun(tarvik, workdir, [DVD_WRITER])
    run.learn()
    # English first (Wine's default for a locale it has no table for), then
    # the language, on the same stored settings and drive.
    run.env["LANG"] = "C.UTF-8"
    run.start()
    try:
        assert "UI language en" in run.log()
        english = both_dialogs(tarvik, run, "en", {})
    finally:
        run.close()
    language = table(f"strings_{code}.inc")
    run.env.update(locale_env(tarvik, lang))
    run.start()
    try:
        assert f"UI language {code}" in run.log()
        shoot_menu(tarvik, run, f"menu-{code}")
        translated = both_dialogs(tarvik, run, code, language)
    finally:
        run.close()
    # Every check box, label, group and button with a text of its own.
    assert compare(english[0], translated[0], language, "options") >= 39
    assert compare(english[1], translated[1], language, "drive options") >= 30
    # Not English by chance: the buttons and a few group captions differ.
    assert translated[0][CANCEL] == language[2] != NEUTRAL[2]


def test_german_display_language_shows_the_german_table(tarvik, workdir):
    run_in(tarvik, workdir, "de", "de_DE.UTF-8")


def test_russian_display_language_shows_the_russian_table(tarvik, workdir):
    run_in(tarvik, workdir, "ru", "ru_RU.UTF-8")
