"""The tray menus of the running instance, opened with the mouse on its icon
and worked with the keyboard, as a user does; what they do is seen in the
simulated drives' trace, the registry and the log."""

from harness import wait_until
from simrun import DVD_WRITER, DVD_WRITER_MODEL, SLIM, SLIM_MODEL, SimRun

DVD_8X = 11080  # the third entry of the DVD writer's DVD list (16x, 12x, 8x, ...)
CD_R_10X = 1764  # the third entry of the slim drive's CD list (24x, 16x, 10x, ...)


def open_menu(tarvik, run, button, shot):
    """Clicks the tray icon; returns once the menu is on screen (and photographed)."""
    before = run.log().count("CheckAllStatus DONE") if button == 1 else None
    before_rmenu = run.log().count("    RMenuInsertList FINISHED")
    tarvik.click_tray(button)
    if button == 1:
        run.wait_log(lambda log: log.count("CheckAllStatus DONE") > before, "the left click")
    else:
        run.wait_log(lambda log: log.count("    RMenuInsertList FINISHED") > before_rmenu,
                     "the right click")
    # The menu is the one window on screen besides the notification area.
    wait_until(tarvik.visible_windows, 10, "the menu window")
    tarvik.screenshot(shot)


def choose(tarvik, *keys):
    tarvik.xdotool("key", "--delay", "150", *keys, "Return")


def selected(tarvik, model_key, family):
    value = tarvik.stored_list(model_key, family).get("Selected")
    return int(value, 16) if value else None


def test_speed_chosen_in_the_left_menu_is_sent_and_stored(tarvik, workdir):
    run = SimRun(tarvik, workdir, [DVD_WRITER])
    run.learn()
    run.start()
    assert tarvik.wait_tray(True, timeout=15)
    mark = run.mark()
    open_menu(tarvik, run, 1, "speed-menu")
    choose(tarvik, "Down", "Down", "Down")  # 16x, 12x, 8x
    run.wait_action(mark, ("speed", 0, DVD_8X))
    run.settle()
    speeds = [a for a in run.actions_since(mark) if a[0] == "speed"]
    assert speeds == [("speed", 0, DVD_8X)], speeds
    assert selected(tarvik, DVD_WRITER_MODEL, "DVD") == DVD_8X
    assert "CDROMCommand: cmd=12, i=0, speed=2" in run.log()

    # The right menu: Detect drives (the ninth item) builds the list again.
    mark = run.mark()
    open_menu(tarvik, run, 3, "right-menu")
    assert "    Inserting [TARVIKSM DVDRW SIM24X     1.02] into RMenu" in run.log()
    choose(tarvik, *["Down"] * 6)  # About, Help, Drive information, Options, Reset, Detect
    run.wait_log(lambda log: log.count("Getting CDROM List") >= 2, "Detect drives")
    run.settle()
    assert run.since(mark)[0]["cdb"].startswith("12"), "the list was not built again"
    run.close()


def test_deep_menu_with_two_drives_reaches_the_second_drives_speeds(tarvik, workdir):
    run = SimRun(tarvik, workdir, [DVD_WRITER, SLIM])
    run.learn()
    run.set_settings(DeepMenu=1)
    run.start()
    assert tarvik.wait_tray(True, timeout=15)
    mark = run.mark()
    open_menu(tarvik, run, 1, "speed-menu-deep")
    # The second drive's submenu, then its third speed.
    choose(tarvik, "Down", "Down", "Right", "Down", "Down")
    run.wait_action(mark, ("speed", 1, CD_R_10X))
    run.settle()
    speeds = [a for a in run.actions_since(mark) if a[0] == "speed"]
    assert speeds == [("speed", 1, CD_R_10X)], speeds
    assert selected(tarvik, SLIM_MODEL, "CD") == CD_R_10X
    assert selected(tarvik, DVD_WRITER_MODEL, "DVD") in (None, 0)
    run.close()
