"""The notification-area icon under Xvfb: screenshots, clicks, taskbar re-creation."""

import os

from harness import CMD_SHOW, log_files, messages, read_log, wait_until

from test_startup import assert_icon, close_and_check_exit


def log_lines(folder):
    [name] = log_files(folder)
    return messages(read_log(folder / name))


def test_tray_area_screenshot_shows_icon(tarvik, workdir):
    empty = tarvik.screenshot("tray-empty")
    inst = tarvik.start("", workdir)
    assert tarvik.wait_tray(True, timeout=15)
    g = tarvik.tray_geometry()
    shot = tarvik.screenshot("tray-with-icon")
    # The tray area at 100 % and 200 %, for people to look at.
    area = (max(0, g["x"] - 3), max(0, g["y"] - 3), g["width"] + 6, g["height"] + 6)
    tarvik.crop(shot, tarvik.artifacts / "tray-area-100.png", *area)
    tarvik.crop(shot, tarvik.artifacts / "tray-area-200.png", *area, scale=2)

    cell = tarvik.pixels(shot, g["x"] + 2, g["y"] + 2, 16, 16)
    before = tarvik.pixels(empty, g["x"] + 2, g["y"] + 2, 16, 16)
    assert cell != before, "the icon cell looks as it did before the program started"
    assert len(set(cell)) >= 3, "the icon cell is (nearly) one flat colour"
    close_and_check_exit(tarvik, inst)


def test_left_click_on_icon_reaches_program(tarvik, workdir):
    inst = tarvik.start("/log", workdir)
    assert tarvik.wait_tray(True, timeout=15)
    tarvik.click_tray(1)
    wait_until(lambda: "LEFT CLICK" in log_lines(workdir), 15, "LEFT CLICK in the log")
    tarvik.screenshot("after-left-click")
    # Without drives the click opens the drive information instead of a menu.
    assert tarvik.find_dialog("Drive information"), "no drive information after the click"
    assert tarvik.click_control("Drive information", 1)
    assert tarvik.wait_dialog_gone("Drive information")
    close_and_check_exit(tarvik, inst)


def icon_adds(folder):
    return [m for m in log_lines(folder) if m.startswith("CreateNotifyIcon ")]


def test_taskbar_created_adds_icon_again(tarvik, workdir):
    inst = tarvik.start("/log", workdir)
    assert tarvik.wait_tray(True, timeout=15)
    assert icon_adds(workdir) == ["CreateNotifyIcon OK"]
    # A shell that restarts has lost the icon; Wine's never does, so take it out.
    assert tarvik.tray_remove() and not tarvik.tray_holds_icon()
    assert tarvik.send("taskbarcreated") is not None
    msgs = log_lines(workdir)
    assert "Got TaskbarCreated notification" in msgs
    after = msgs[msgs.index("Got TaskbarCreated notification"):]
    assert "CreateNotifyIcon OK" in after, after
    assert tarvik.tray_holds_icon(), "the icon is not back"
    assert tarvik.wait_tray(True, timeout=15)
    close_and_check_exit(tarvik, inst)


def test_taskbar_created_keeps_hidden_icon_hidden(tarvik, workdir):
    inst = tarvik.start("/log/hide", workdir)
    assert_icon(tarvik, False, "/hide")
    assert tarvik.send("taskbarcreated") is not None
    assert "Got TaskbarCreated notification" in log_lines(workdir)
    assert icon_adds(workdir) == []
    assert_icon(tarvik, False, "TaskbarCreated while hidden")
    assert inst.running()
    close_and_check_exit(tarvik, inst)


def test_show_while_shown_logs_failed_add(tarvik, workdir):
    inst = tarvik.start("/log", workdir)
    assert tarvik.wait_tray(True, timeout=15)
    assert tarvik.command(CMD_SHOW) == 0
    assert icon_adds(workdir) == ["CreateNotifyIcon OK", "CreateNotifyIcon FAILED!"]
    assert tarvik.tray_icon_shown()
    close_and_check_exit(tarvik, inst)


def test_hovering_icon_shows_tip(tarvik, workdir):
    inst = tarvik.start("", workdir)
    assert tarvik.wait_tray(True, timeout=15)
    # Start away from the icon: a pointer already resting on it (an earlier
    # click) makes no motion, and no tip. A tip still open from earlier closes
    # once the pointer has left.
    tarvik.xdotool("mousemove", "600", "600")
    wait_until(lambda: not tarvik.tips(), 10, "no tip on screen", interval=0.2)
    g = tarvik.tray_geometry()
    tarvik.xdotool("mousemove", str(g["x"] + 8), str(g["y"] + 8))
    tarvik.xdotool("mousemove", str(g["x"] + 10), str(g["y"] + 10))
    # With no drives the tip names the program.
    tips = wait_until(tarvik.tips, 10, "the tip window", interval=0.2)
    assert tips == ["Tarvik 5.0"], tips
    shot = tarvik.screenshot("tray-tip")
    tarvik.crop(shot, tarvik.artifacts / "tray-tip-200.png", 0, 0, 300, 100, scale=2)
    tarvik.xdotool("mousemove", "600", "600")
    close_and_check_exit(tarvik, inst)


def recognised_icon(tarvik):
    name, distance = tarvik.tray_icon_name()
    return (name, distance) if name else None


WM_DPICHANGED = 0x02E0


def fresh_icon_cell(tarvik):
    """The first tray cell once the icon is added anew (taken out behind the
    program's back, put back by CMD_SHOW): drawn on an empty cell, where a
    modify draws over what the cell showed."""
    assert tarvik.tray_remove()
    # The notification area's window goes with its last icon: the next one
    # comes with a new window.
    wait_until(lambda: tarvik.tray_geometry() is None, 10, "the empty tray gone", interval=0.2)
    assert tarvik.command(CMD_SHOW) == 0
    assert tarvik.wait_tray(True, timeout=10)

    def cell():
        g = tarvik.tray_geometry()
        return tarvik.pixels(tarvik.screenshot("tray-dpi"), g["x"] + 2, g["y"] + 2, 16, 16)

    # Once it is drawn: two screenshots alike.
    shots = [cell()]
    wait_until(lambda: shots.append(cell()) or shots[-1] == shots[-2], 10, "the icon drawn")
    return shots[-1]


def dpi_changed(tarvik, dpi):
    assert tarvik.send("send", str(WM_DPICHANGED), str(dpi << 16 | dpi), "0") == 0


def test_icon_is_xp_style_on_true_colour_screen_and_follows_the_dpi(tarvik, workdir):
    # Xvfb runs at 24 bits and Wine's shell is version 6: the XP column.
    inst = tarvik.start("", workdir)
    assert tarvik.wait_tray(True, timeout=15)
    name, distance = wait_until(lambda: recognised_icon(tarvik), 10, "a recognisable icon")
    assert name.endswith("_xp"), f"the tray shows {name} (distance {distance})"
    assert distance < 10000, f"{name} matches only loosely (distance {distance})"

    # The main window's monitor at 144 DPI: the same icon from its 24-pixel
    # picture, which Wine's notification area shrinks into its 16-pixel cell,
    # so the cell moves away from the 16-pixel picture (measured: a distance
    # of about 14000 against 60 to 4700 at 96). Absurd DPIs change nothing,
    # and back at 96 a 16-pixel picture is shown again, with no GDI object
    # left over from the pictures loaded on the way.
    at96, gdi = fresh_icon_cell(tarvik), tarvik.resources()["gdi"]
    # Wine keeps a 32-bit process's GDI table where a 32-bit probe cannot
    # reach it: there the pictures are checked without the count.
    assert gdi > 0 or (gdi == -1 and os.environ.get("TARVIK_ARCH") == "i686"), gdi
    near96 = tarvik.tray_icon_name()
    dpi_changed(tarvik, 144)
    at144 = fresh_icon_cell(tarvik)
    near144 = tarvik.tray_icon_name()
    assert at144 != at96 and near144[0] == name, (near96, near144)
    assert near144[1] > 2 * near96[1], f"not the 24-pixel picture: {near96} then {near144}"
    # (Wine's shrinking of the larger picture varies a little from one drawing
    # to the next, so the 24-pixel picture is told by its distance.)
    for absurd in (0, 47, 961, 0xFFFF):
        dpi_changed(tarvik, absurd)
    fresh_icon_cell(tarvik)
    after = tarvik.tray_icon_name()
    assert after[0] == name and after[1] > 2 * near96[1], f"an absurd DPI changed it: {after}"
    dpi_changed(tarvik, 96)
    fresh_icon_cell(tarvik)
    back = tarvik.tray_icon_name()
    assert back[0] == name and back[1] < near144[1] / 2, f"{near144} then {back} at 96 DPI"
    assert tarvik.resources()["gdi"] == gdi, "GDI objects left over from the reloads"
    close_and_check_exit(tarvik, inst)


def test_icon_with_no_drives_is_question_mark(tarvik, workdir):
    inst = tarvik.start("", workdir)
    assert tarvik.wait_tray(True, timeout=15)
    try:
        wait_until(lambda: tarvik.tray_icon_name()[0] == "question_xp", 10, "the question icon")
    finally:
        close_and_check_exit(tarvik, inst)
