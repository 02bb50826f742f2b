"""The notification-area icon under Xvfb: screenshots, clicks, taskbar re-creation."""

from harness import log_files, messages, read_log, wait_until

from test_startup import assert_icon, close_and_check_exit, start_instance


def log_lines(folder):
    [name] = log_files(folder)
    return messages(read_log(folder / name))


def test_tray_area_screenshot_shows_icon(tarvik, workdir):
    empty = tarvik.screenshot("tray-empty")
    inst = start_instance(tarvik, "", workdir)
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
    inst = start_instance(tarvik, "/log", workdir)
    assert tarvik.wait_tray(True, timeout=15)
    tarvik.click_tray(1)
    wait_until(lambda: "LEFT CLICK" in log_lines(workdir), 15, "LEFT CLICK in the log")
    tarvik.screenshot("after-left-click")
    close_and_check_exit(tarvik, inst)


def test_taskbar_created_keeps_hidden_icon_hidden(tarvik, workdir):
    inst = start_instance(tarvik, "/hide", workdir)
    assert_icon(tarvik, False, "/hide")
    tarvik.send("taskbarcreated")
    assert_icon(tarvik, False, "TaskbarCreated while hidden")
    assert inst.running()
    close_and_check_exit(tarvik, inst)
