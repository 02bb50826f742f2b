"""Hand-edited, damaged settings under the real program: every value it stored
replaced by a wrong type, a wrong length, an extreme number or text without its
terminator, one of its keys gone, and values and keys of someone else's beside
its own. It starts, shows its menu and ends with exit code 0, and what it does
not own is still there afterwards."""

import re

from harness import SETTINGS_KEY
from simrun import DVD_WRITER, DVD_WRITER_MODEL, SLIM, SLIM_MODEL, SimRun
from test_menus import open_menu

HOSTILE = [
    ("REG_SZ", "not a number"),
    ("REG_BINARY", "ff"),                  # one byte
    ("REG_DWORD", "0xffffffff"),           # huge
    ("REG_DWORD", "0x80000000"),           # negative as a signed number
    ("REG_BINARY", "41424344454647"),      # text without its terminator
    ("REG_QWORD", "0x123456789abcdef0"),
    ("REG_BINARY", "00" * 600),            # far longer than any field
]
VALUE_LINE = re.compile(r"^    (\S+)    (REG_\w+)")


def stored_values(tarvik) -> list[tuple[str, str, str]]:
    """(key, name, type) of every value below the settings key."""
    found, key = [], None
    for line in (tarvik.reg_query() or "").splitlines():
        if line.startswith("HKEY_"):
            key = line.strip()
        elif key and (m := VALUE_LINE.match(line)):
            found.append((key, m.group(1), m.group(2)))
    return found


def test_damaged_settings_start_show_the_menu_and_leave_foreign_values(tarvik, workdir):
    run = SimRun(tarvik, workdir, [DVD_WRITER, SLIM])
    run.learn()
    run.set_dword(DVD_WRITER_MODEL + "\\00\\Lock", "Value", 0)  # the instance's Lock key too
    owned = stored_values(tarvik)
    assert len(owned) > 40, owned
    for i, (key, name, _) in enumerate(owned):
        kind, data = HOSTILE[i % len(HOSTILE)]
        assert tarvik.reg_add(key, name, kind, data), (key, name)
    tarvik.wine_run(["reg", "delete", SLIM_MODEL + "\\SpeedListCD", "/f"])
    foreign = [(SETTINGS_KEY, "Note"), (DVD_WRITER_MODEL + "\\00", "Note"),
               (SETTINGS_KEY + "\\Other\\Deeper", "Note")]
    for key, name in foreign:
        assert tarvik.reg_add(key, name, "REG_SZ", "keep me")

    run.start()
    assert tarvik.wait_tray(True, timeout=15)
    open_menu(tarvik, run, 3, "hostile-settings-menu")
    tarvik.xdotool("key", "Escape")
    run.close()

    after = tarvik.reg_query() or ""
    for key, name in foreign:
        block = after.split(key + "\n", 1)
        assert len(block) == 2 and f"    {name}    REG_SZ    keep me" in block[1].split("\n\n")[0], \
            f"{key} {name} was not left alone"
