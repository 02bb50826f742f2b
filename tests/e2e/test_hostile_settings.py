"""Hand-edited, damaged settings under the real program: every value it stored
replaced by a wrong type, a wrong length, an extreme number or text without its
terminator, one of its keys gone, and values and keys of someone else's beside
its own. It starts, shows its menu and ends with exit code 0, every value it
writes back is one its readers take, and what it does not own is still there
afterwards."""

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


def stored_values(tarvik) -> list[tuple[str, str, str]]:
    """(key, name, type) of every value below the settings key."""
    return [(key, name, kind) for key, found in tarvik.reg_tree().items()
            for name, (kind, _) in found.items()]


def speed_list_fault(data: str) -> str:
    """What is wrong with a stored Range (hex of speed, command pairs), "" if nothing."""
    try:
        raw = bytes.fromhex(data)
    except ValueError:
        return f"not hex: {data!r}"
    if raw == b"\0":
        return ""  # the stored form of an empty list
    if not raw or len(raw) % 8:
        return f"{len(raw)} bytes"
    speeds = [int.from_bytes(raw[i:i + 4], "little") for i in range(0, len(raw), 8)]
    commands = [int.from_bytes(raw[i + 4:i + 8], "little") for i in range(0, len(raw), 8)]
    if 0 in speeds or 0 in commands or any(a <= b for a, b in zip(speeds, speeds[1:])):
        return f"speeds {speeds}, commands {commands}"
    return ""


def value_fault(name: str, kind: str, data: str) -> str:
    """What is wrong with a value as the program's readers take it, "" if nothing."""
    if name == "Range":
        return "" if kind == "REG_BINARY" and not speed_list_fault(data) else f"{kind} {data}"
    size = len(data) // 2
    wanted = {"ShortName": kind == "REG_BINARY" and size <= 22 and size % 2 == 0,
              "HotKeys": kind == "REG_BINARY" and size == 28,
              "Data": kind == "REG_SZ", "SavePath": kind == "REG_SZ"}
    return "" if wanted.get(name, kind == "REG_DWORD") else f"{kind} {data}"


def test_damaged_settings_start_show_the_menu_and_leave_foreign_values(tarvik, workdir):
    run = SimRun(tarvik, workdir, [DVD_WRITER, SLIM])
    run.learn()
    # What the slim drive's answers give, stored when it was first seen.
    answered = tarvik.stored_list(SLIM_MODEL, "CD").get("Range", "")
    assert answered and answered != "00" and not speed_list_fault(answered), answered
    run.set_dword(DVD_WRITER_MODEL + "\\00\\Lock", "Value", 0)  # the instance's Lock key too
    owned = stored_values(tarvik)
    assert len(owned) > 40, owned
    written = {}
    for i, (key, name, _) in enumerate(owned):
        kind, data = HOSTILE[i % len(HOSTILE)]
        assert tarvik.reg_add(key, name, kind, data), (key, name)
        written[key, name] = (kind, data.removeprefix("0x").lower())
    tarvik.wine_run(["reg", "delete", SLIM_MODEL + "\\SpeedListCD", "/f"])
    # Through the simulated drives' transport, or no drive is found and
    # nothing below is read back.
    run.set_dword(SETTINGS_KEY, "ApiPrefered", 2)
    foreign = [(SETTINGS_KEY, "Note"), (DVD_WRITER_MODEL + "\\00", "Note"),
               (SETTINGS_KEY + "\\Other\\Deeper", "Note")]
    for key, name in foreign:
        assert tarvik.reg_add(key, name, "REG_SZ", "keep me")

    run.start()
    assert tarvik.wait_tray(True, timeout=15)
    open_menu(tarvik, run, 3, "hostile-settings-menu")
    tarvik.xdotool("key", "Escape")
    run.close()

    # Every owned value is left as it was written or written back whole, and
    # the model keys are still there.
    tree = tarvik.reg_tree()
    assert DVD_WRITER_MODEL in tree and SLIM_MODEL in tree
    # The deleted list was examined again and stored whole: the drive's own
    # list, not an empty one (which would be a well-formed value too).
    rebuilt = tree.get(SLIM_MODEL + "\\SpeedListCD", {})
    assert "MaxLevel" in rebuilt, [k for k in tree if k.startswith(SLIM_MODEL)]
    assert rebuilt.get("Range") == ("REG_BINARY", answered), (rebuilt.get("Range"), answered)
    bad = {}
    for key, found in tree.items():
        for name, (kind, data) in found.items():
            hostile = written.get((key, name))
            # Wine's reg prints no QWORD data: its type tells whether it was left.
            left = hostile and (kind == hostile[0] == "REG_QWORD"
                                or (kind, data.removeprefix("0x").lower()) == hostile)
            if hostile and not left and (fault := value_fault(name, kind, data)):
                bad[key, name] = fault
    assert not bad, bad

    for key, name in foreign:
        assert tree.get(key, {}).get(name) == ("REG_SZ", "keep me"), f"{key} {name} was not left alone"
