"""Start-up, command line and single instance, seen from outside the program."""

import re

import pytest

from harness import CMD_HIDE, log_files, messages, read_log, wait_until

BANNER_LINE = "First instance of Tarvik [build 2019-10-06 23:20:06] started"


def assert_icon(tarvik, shown, what):
    if shown:
        assert tarvik.wait_tray(True, timeout=15), f"{what}: the tray icon never appeared"
        # The question the no-icon case relies on must see a shown icon.
        assert tarvik.tray_holds_icon(), f"{what}: the notification area denies the icon"
        return
    # Once the program has answered, any icon it added is in the notification
    # area, which the probe asks directly.
    assert tarvik.answers(), f"{what}: the program does not answer"
    assert not tarvik.tray_holds_icon(), f"{what}: the notification area holds the icon"
    # The screen follows: an icon taken away just before may still be drawn.
    assert tarvik.wait_tray(False, timeout=15), f"{what}: a tray icon is shown"


def close_and_check_exit(tarvik, inst):
    assert tarvik.send("close") is not None
    code = inst.wait(timeout=20)
    assert code == 0, f"exit code {code} after WM_CLOSE"


def log_of(folder):
    names = log_files(folder)
    assert len(names) == 1, f"expected one log in {folder}, found {names}"
    return messages(read_log(folder / names[0]))


def wait_log_line(folder, prefix, timeout=10):
    """Waits for a line starting with `prefix` in the one log of `folder`."""
    return wait_until(lambda: [m for m in log_of(folder) if m.startswith(prefix)], timeout,
                      f"{prefix!r} in the log of {folder.name}")


def hwnd_in(line):
    m = re.search(r"0x([0-9a-fA-F]+)", line)
    assert m, f"no handle in {line!r}"
    return int(m.group(1), 16)


# cmdline -> (log switched on, icon shown) for a first instance.
FIRST_INSTANCE_CASES = [
    ("", False, True),
    ("/hide", False, False),
    ("/HIDE", False, False),
    ("/Hide", False, False),
    ("/hide ", False, True),          # trailing space: no option matches
    ("/hide now", False, True),
    ("/LOG /hide", False, True),      # "/log" is a case-sensitive byte prefix
    ("/log/hide", True, False),
    ("/log   /hide", True, False),
    ("/log", True, True),
    ("/logfile", True, True),         # remainder "file": a plain start
    ("/restart", False, True),
    ("/RESTART", False, True),
]


@pytest.mark.parametrize("cmdline,logs,icon", FIRST_INSTANCE_CASES,
                         ids=[repr(c[0]) for c in FIRST_INSTANCE_CASES])
def test_first_instance_command_line(tarvik, workdir, cmdline, logs, icon):
    inst = tarvik.start(cmdline, workdir)
    assert_icon(tarvik, icon, repr(cmdline))
    assert bool(log_files(workdir)) == logs
    if logs:
        assert BANNER_LINE in log_of(workdir)
    close_and_check_exit(tarvik, inst)
    # The shut-down removes the icon; the notification area is empty again.
    assert tarvik.wait_tray(False, timeout=15)


def test_first_instance_log_lines(tarvik, workdir):
    inst = tarvik.start("/log", workdir)
    close_and_check_exit(tarvik, inst)
    [name] = log_files(workdir)
    assert name == "tarvik00.log"
    raw = read_log(workdir / name)
    assert raw, "the log is empty"
    for line in raw:
        assert re.match(r"^([01]\d|2[0-3]):[0-5]\d:[0-5]\d\.\d{3} ", line), line
    msgs = messages(raw)
    assert msgs[0] == BANNER_LINE, "the start-up decision is the first line"
    assert "Message loop terminated" in msgs
    assert msgs.index("Message loop terminated") > msgs.index(BANNER_LINE)
    assert not any("Another instance" in m for m in msgs)
    # Opened in text mode: every line end is CR LF.
    data = (workdir / name).read_bytes()
    assert data.count(b"\n") == data.count(b"\r\n") > 0


def test_restart_with_none_running_starts_normally(tarvik, workdir):
    inst = tarvik.start("/log/restart", workdir)
    assert_icon(tarvik, True, "/restart")
    msgs = log_of(workdir)
    assert BANNER_LINE in msgs
    assert not any(m.startswith("Sending") for m in msgs), "a close was sent to nobody"
    close_and_check_exit(tarvik, inst)


# second cmdline -> (request word logged, icon of the first afterwards),
# the first instance started hidden or shown.
FORWARD_CASES = [
    ("/log/hide", "HIDE", False, False),
    ("/log/HIDE", "HIDE", False, False),
    ("/log", "SHOW", True, True),
    ("/log/hide ", "SHOW", True, True),   # trailing space: a plain start, so show
    ("/log/bogus", "SHOW", True, True),
]


@pytest.mark.parametrize("second,word,first_hidden,icon_after", FORWARD_CASES,
                         ids=[repr(c[0]) for c in FORWARD_CASES])
def test_second_instance_forwards(tarvik, tmp_path, second, word, first_hidden, icon_after):
    first_dir, second_dir = tmp_path / "first", tmp_path / "second"
    first_dir.mkdir()
    second_dir.mkdir()
    first = tarvik.start("/log/hide" if first_hidden else "/log", first_dir)
    assert_icon(tarvik, not first_hidden, "first instance")
    hwnd = tarvik.main_window()

    result = tarvik.run(second, second_dir, timeout=30)
    assert result.exit_code == 0

    msgs = log_of(second_dir)
    assert "Another instance of Tarvik found" in msgs
    sending = [m for m in msgs if m.startswith("Sending ")]
    assert len(sending) == 1 and sending[0].startswith(f"Sending {word} to 0x"), sending
    assert hwnd_in(sending[0]) == hwnd & 0xFFFFFFFF
    assert BANNER_LINE not in msgs

    # The forwarder made no window of its own and the first instance runs on.
    assert first.running()
    assert tarvik.main_window() == hwnd
    assert_icon(tarvik, icon_after, f"after {second!r}")
    if first_hidden and icon_after:
        # Shown again by CMD_SHOW: the first instance adds its icon now.
        wait_log_line(first_dir, "CreateNotifyIcon OK")
    close_and_check_exit(tarvik, first)


def test_hide_then_plain_start_shows_icon(tarvik, tmp_path):
    a, b = tmp_path / "a", tmp_path / "b"
    a.mkdir()
    b.mkdir()
    first = tarvik.start("/log/hide", a)
    assert_icon(tarvik, False, "/hide with none running")
    assert not any(m.startswith("CreateNotifyIcon") for m in log_of(a))
    assert tarvik.run("", b).exit_code == 0
    assert_icon(tarvik, True, "plain start after /hide")
    wait_log_line(a, "CreateNotifyIcon OK")
    close_and_check_exit(tarvik, first)


def test_hide_from_second_instance_removes_icon(tarvik, tmp_path):
    a, b = tmp_path / "a", tmp_path / "b"
    a.mkdir()
    b.mkdir()
    first = tarvik.start("", a)
    assert_icon(tarvik, True, "plain start")
    assert tarvik.run("/hide", b).exit_code == 0
    assert tarvik.wait_tray(False, timeout=15), "the icon stayed after /hide"
    assert first.running()
    # A hidden instance is still the single instance: show brings it back.
    assert tarvik.run("/hide ", b).exit_code == 0
    assert_icon(tarvik, True, "after a show request")
    close_and_check_exit(tarvik, first)


def test_restart_closes_running_instance_then_runs(tarvik, tmp_path):
    a, b = tmp_path / "a", tmp_path / "b"
    a.mkdir()
    b.mkdir()
    old = tarvik.start("/log/hide", a)
    old_hwnd = tarvik.main_window()

    new = tarvik.spawn("/log/restart", b)
    assert old.wait(timeout=20) == 0, "the old instance did not end with exit code 0"
    old_msgs = log_of(a)
    assert "Message loop terminated" in old_msgs, "the old instance's log shows no shut-down"

    assert tarvik.wait_window(True, timeout=20)
    new_hwnd = tarvik.main_window()
    assert new_hwnd is not None and new_hwnd != old_hwnd
    assert new.running()
    new_msgs = log_of(b)
    assert "Another instance of Tarvik found" in new_msgs
    sending = [m for m in new_msgs if m.startswith("Sending ")]
    assert len(sending) == 1 and sending[0].startswith("Sending CLOSE to 0x"), sending
    assert hwnd_in(sending[0]) == old_hwnd & 0xFFFFFFFF
    # Restart always runs with the icon shown, whatever the old one had.
    assert_icon(tarvik, True, "restarted instance")
    close_and_check_exit(tarvik, new)


@pytest.mark.parametrize("cmdline", ["/log/exit", "/log/EXIT"])
def test_exit_leaves_running_instance_untouched(tarvik, tmp_path, cmdline):
    a, b = tmp_path / "a", tmp_path / "b"
    a.mkdir()
    b.mkdir()
    first = tarvik.start("/log", a)
    assert_icon(tarvik, True, "plain start")
    hwnd = tarvik.main_window()
    before = log_of(a)

    result = tarvik.run(cmdline, b, timeout=60)
    assert result.exit_code == 0
    msgs = log_of(b)
    assert "Setting speed and exiting..." in msgs
    assert not any("Another instance" in m or m.startswith("Sending") for m in msgs)
    assert BANNER_LINE not in msgs

    assert first.running()
    assert tarvik.main_window() == hwnd
    assert tarvik.tray_icon_shown()
    # Nothing was sent to the running instance, so its log did not grow.
    assert log_of(a) == before
    close_and_check_exit(tarvik, first)


def test_exit_with_none_running_shows_nothing(tarvik, workdir):
    before = tarvik.visible_windows()
    result = tarvik.run("/exit", workdir, timeout=60)
    assert result.exit_code == 0
    assert tarvik.main_window() is None
    assert not tarvik.tray_icon_shown()
    assert tarvik.visible_windows() == before
    assert log_files(workdir) == [], "a log without /log"


def test_exit_code_through_the_wine_loader(tarvik, workdir):
    # Without the launcher in between: the loader's own exit code is the program's.
    assert tarvik.run_direct(["/exit"], workdir) == 0
    inst = tarvik.start("", workdir)
    assert tarvik.run_direct(["/hide"], workdir) == 0
    assert tarvik.run_direct([], workdir) == 0
    close_and_check_exit(tarvik, inst)


def test_cmd_hide_sent_twice_is_harmless(tarvik, workdir):
    inst = tarvik.start("", workdir)
    assert_icon(tarvik, True, "plain start")
    assert tarvik.command(CMD_HIDE) == 0
    assert tarvik.command(CMD_HIDE) == 0
    assert tarvik.wait_tray(False, timeout=15)
    assert inst.running()
    close_and_check_exit(tarvik, inst)
