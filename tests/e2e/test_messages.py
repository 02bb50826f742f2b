"""What the shell and the system send to the running instance, and what it answers.

The answers are the window procedure's documented results; afterwards the
instance must still be the one running, with its icon.
"""

import pytest

from test_startup import assert_icon, close_and_check_exit, start_instance

# probe arguments -> the window procedure's result
SYSTEM_MESSAGES = [
    (("power", "resumeautomatic"), 1),
    (("power", "resumesuspend"), 1),
    (("power", "suspend"), 1),
    (("power", "0x1234"), 1),                 # unknown power events are answered 1 too
    (("queryendsession", "0"), 1),            # the session may end
    (("endsession", "0"), 0),                 # the end was cancelled: nothing to do
    (("hotkey", "0x0700"), 0),                # slot 7: not a hot key of the program
    (("hotkey", "0xFF0F"), 0),
    (("command", "107"), 0),                  # RMENU_DYNAMIC_TAG does nothing
    (("command", "0x7FFF"), 0),               # an unknown id below 0x8000
    (("command", "0x80F4"), 0),               # a drive command for a drive that is not there
    (("command", "0x8FF8"), 0),               # after-close poll for drive 15, none there
]


@pytest.mark.parametrize("args,result", SYSTEM_MESSAGES,
                         ids=[" ".join(a) for a, _ in SYSTEM_MESSAGES])
def test_system_message_result(tarvik, workdir, args, result):
    inst = start_instance(tarvik, "", workdir)
    assert_icon(tarvik, True, "plain start")
    hwnd = tarvik.main_window()
    assert tarvik.send(*args) == result
    assert inst.running()
    assert tarvik.main_window() == hwnd
    assert tarvik.tray_icon_shown()
    close_and_check_exit(tarvik, inst)


@pytest.mark.parametrize("event", ["arrival", "removecomplete"])
def test_device_change_with_volume_block_is_taken(tarvik, workdir, event):
    # A volume block for D: (bit 3) as the system sends it on a disc change.
    inst = start_instance(tarvik, "", workdir)
    assert tarvik.send("devicechange", event, "0x8") is not None
    assert inst.running()
    close_and_check_exit(tarvik, inst)


def test_cmd_exit_ends_instance(tarvik, workdir):
    inst = start_instance(tarvik, "/log", workdir)
    assert_icon(tarvik, True, "plain start")
    assert tarvik.command(109) == 0
    assert inst.wait(timeout=20) == 0
    assert tarvik.main_window() is None
    assert tarvik.wait_tray(False, timeout=15), "the icon outlived the program"
