"""tarvikctl on a real kernel's four CD paths, checked by what QEMU's drives
received (its trace) and by their tray and lock (QMP). The test of a USB drive
pulled out runs last: the drive is gone afterwards."""

import json
import re
import time

import settings_file
import vm

SET_CD_SPEED, PREVENT_ALLOW, START_STOP, INQUIRY, MODE_SENSE10, READ10 = (0xBB, 0x1E, 0x1B, 0x12,
                                                                          0x5A, 0x28)
SETTINGS = "/tmp/settings.reg"


def ctl(guest, qid, command, check=True, settings=SETTINGS):
    """tarvikctl COMMAND on drive qid alone (drive 0), with one settings file."""
    return guest.run("tarvikctl --device /dev/vmcd-%s --registry %s %s 2>&1" %
                     (qid, settings, command), check=check)


def test_drives_lists_the_four_by_name(linux):
    mark = linux.trace_mark()
    _, out = linux.run("tarvikctl --json --registry /tmp/drives.reg drives")
    names = [d["name"] for d in json.loads(out)["drives"]]
    assert sorted(names) == sorted(["QEMU     QEMU DVD-ROM     2.5+"] * 2 +
                                   ["QEMU     QEMU CD-ROM      2.5+"] * 2)
    for qid in linux.drives:
        assert linux.received(qid, mark, INQUIRY), "%s was not asked its name" % qid


def test_state_tells_each_drive_s_disc(linux):
    # The ATAPI drive's mode header says "no disc" (70h) even with one in it;
    # its current profile and TEST UNIT READY say otherwise.
    want = {"cd0": "CD medium=(?!none)", "cd1": "medium=none", "cd2": "DVD medium=(?!none)",
            "cd3": "CD medium=(?!none)"}
    for qid, pattern in want.items():
        mark = linux.trace_mark()
        _, out = ctl(linux, qid, "--long state 0")
        assert re.search(pattern, out), (qid, out)
        assert linux.received(qid, mark, MODE_SENSE10), "%s: no capabilities page asked" % qid


def test_fast_detection_and_info_on_each_drive_with_a_disc(linux):
    # Each drive answers: the ATAPI one takes SET CD SPEED and reports 704
    # KB/s, the SCSI disks refuse it and report 16x. The detection succeeds,
    # and every speed it stores goes with a command the drive was sent.
    for qid, model, family in (("cd0", "QEMU DVD-ROM", "CD"), ("cd2", "QEMU CD-ROM", "DVD"),
                               ("cd3", "QEMU CD-ROM", "CD")):
        fresh = "/tmp/fast-%s.reg" % qid
        mark = linux.trace_mark()
        rc, out = ctl(linux, qid, "detect 0 fast", check=False, settings=fresh)
        asked = [int.from_bytes(c[2:4], "big") for c in linux.received(qid, mark, SET_CD_SPEED)]
        assert asked, "%s: the detection sent no speed" % qid
        assert rc == 0 and "failed" not in out, (qid, out)
        stored = settings_file.stored_list(linux, fresh, model, family)
        assert stored and stored["entries"], (qid, stored, out)
        for speed, command in stored["entries"]:
            assert command in asked, (qid, speed, command, asked, out)
        _, info = ctl(linux, qid, "info", settings=fresh)
        assert "QEMU" in info


def test_a_chosen_speed_arrives_as_exactly_that_set_cd_speed(linux):
    mark = linux.trace_mark()
    ctl(linux, "cd0", "set 0 352")
    speeds = linux.received("cd0", mark, SET_CD_SPEED)
    # The write speed is the drive's current one: 0, it writes nothing.
    assert speeds == [bytes.fromhex("bb 00 01 60 00 00 00 00 00 00 00 00")], speeds


def test_a_drive_that_refuses_the_speed_command_is_said_to(linux):
    mark = linux.trace_mark()
    rc, out = ctl(linux, "cd2", "set 0 1385", check=False)
    speeds = linux.received("cd2", mark, SET_CD_SPEED)
    assert speeds, "the command never reached the drive"
    # 1385 KB/s read, the drive's own write speed, the reserved bytes zero.
    assert len(speeds[-1]) == 12 and speeds[-1][:4] == bytes.fromhex("bb 00 05 69"), speeds
    assert speeds[-1][6:] == bytes(6), speeds
    assert rc == 1, out
    assert "did not take the speed" in out and "(05/20/00, Illegal Request)" in out, out
    assert "does not know this command" in out, out


def test_verify_tells_the_drive_that_ignores_from_the_one_that_refuses(linux):
    # QEMU's ATAPI drive takes SET CD SPEED and keeps reporting 704 KB/s; its
    # SCSI disk answers both speed commands with ILLEGAL REQUEST.
    for qid, verdict, line in (("cd0", "ignores", "ignores the speed for CD"),
                               ("cd2", "refuses", "refuses speed commands")):
        fresh = "/tmp/verify-%s.reg" % qid
        mark = linux.trace_mark()
        _, out = ctl(linux, qid, "--json verify 0", settings=fresh)
        assert json.loads(out)["verdict"] == verdict, out
        assert len(linux.received(qid, mark, SET_CD_SPEED)) >= 2, "no low and high request"
        _, info = ctl(linux, qid, "info", settings=fresh)
        assert "Speed effect:\t" + line in info, info


def test_a_measure_keeps_the_list_when_its_rates_are_noise(linux):
    # The SCSI disk reads its image at whatever pace the host gives, which
    # comes out flat on a quiet host and as noise on a busy one.
    fresh = "/tmp/measure-cd2.reg"
    ctl(linux, "cd2", "detect 0 fast", check=False, settings=fresh)
    settings_file.store_list(linux, fresh, "QEMU CD-ROM", "DVD", [4155, 2770], 2770)
    before = settings_file.stored_list(linux, fresh, "QEMU CD-ROM", "DVD")
    mark = linux.trace_mark()
    rc, out = ctl(linux, "cd2", "detect 0 measure", check=False, settings=fresh)
    assert any(why in out for why in ("stays the same whatever speed is set",
                                      "do not follow the speed set")), out
    assert "previous speed list was kept" in out and rc == 0, out
    assert settings_file.stored_list(linux, fresh, "QEMU CD-ROM", "DVD") == before
    assert len(linux.received("cd2", mark, READ10)) > 10, "the Measure read nothing"


def test_a_disc_taken_out_mid_measure_ends_it_soon_and_keeps_the_list(linux):
    fresh = "/tmp/measure-cd0.reg"
    ctl(linux, "cd0", "detect 0 fast", check=False, settings=fresh)
    settings_file.store_cd_list(linux, fresh, [704, 352], 352)
    before = settings_file.stored_list(linux, fresh, "QEMU DVD-ROM")
    linux.run("(tarvikctl --device /dev/vmcd-cd0 --registry %s detect 0 measure "
              ">/tmp/cut.out 2>&1; echo $? >/tmp/cut.rc) &" % fresh)
    mark = linux.trace_mark()
    vm.wait_for("the Measure's reads", lambda: len(linux.received("cd0", mark, READ10)) > 20, 60,
                interval=0.1)
    linux.qmp("blockdev-open-tray", id="cd0", force=True)
    linux.qmp("blockdev-remove-medium", id="cd0")
    taken = time.monotonic()
    _, rc = linux.run("while [ ! -s /tmp/cut.rc ]; do sleep 0.2; done; cat /tmp/cut.rc",
                      timeout=90)
    ended = time.monotonic() - taken
    _, out = linux.run("cat /tmp/cut.out")
    try:
        assert rc.strip() == "1", out
        assert "The disc was taken out" in out and "previous speed list was kept" in out, out
        assert ended < 15, "the Measure went on %.0f s after the disc was taken out" % ended
        assert settings_file.stored_list(linux, fresh, "QEMU DVD-ROM") == before
    finally:
        linux.qmp("blockdev-change-medium", id="cd0", filename=linux.media["big"], format="raw",
                  **{"read-only-mode": "read-only"})
        vm.wait_for("the tray to close", lambda: not linux.block("cd0")["tray_open"], 10)


def test_eject_and_close_move_the_device_s_tray(linux):
    mark = linux.trace_mark()
    ctl(linux, "cd0", "eject 0")
    assert linux.block("cd0")["tray_open"]
    ctl(linux, "cd0", "close 0")
    assert not linux.block("cd0")["tray_open"]
    assert [c[4] & 3 for c in linux.received("cd0", mark, START_STOP)] == [2, 3]


def test_a_lock_holds_after_tarvikctl_has_ended(linux):
    ctl(linux, "cd0", "lock 0")
    assert linux.block("cd0")["locked"], "the kernel unlocked it when tarvikctl ended"
    linux.press_eject_button("cd0")
    linux.run("sleep 1")  # the guest's kernel sees the button and may act on it
    assert not linux.block("cd0")["tray_open"], "the eject button opened a locked tray"
    ctl(linux, "cd0", "unlock 0")
    assert not linux.block("cd0")["locked"]
    linux.press_eject_button("cd0")
    vm.wait_for("the tray to open", lambda: linux.block("cd0")["tray_open"], 10)
    ctl(linux, "cd0", "close 0")


def _tray(guest, qid):
    b = guest.block(qid)
    return "tray_open=%d locked=%d" % (b["tray_open"], b["locked"])


def _as_user(guest, command, check=True):
    guest.run("mkdir -p /etc /tmp/u && chown 1000 /tmp/u && "
              "echo 'user:x:1000:1000::/tmp/u:/bin/sh' >/etc/passwd")
    return guest.run("su user -c 'tarvikctl --device /dev/vmcd-cd0 --registry /tmp/u/s.reg %s' "
                     "2>&1" % command, check=check)


def test_a_desktop_user_ejects_a_locked_drive_another_program_holds_open(linux):
    # The user may read and write the node, as a desktop's seat rules give;
    # a disc watcher holds it open. The driver then refuses the user's unlock
    # ioctl, and the command sent through SG_IO unlocks.
    dev = linux.drives["cd0"].dev
    _, mode = linux.run("stat -c %%a %s" % dev)
    linux.run("chown 1000 %s && chmod 0600 %s" % (dev, dev))
    linux.run("sh -c 'exec 4<%s; sleep 300' >/dev/null 2>&1 & echo $! >/tmp/holder.pid" % dev)
    try:
        _as_user(linux, "lock 0")
        before = _tray(linux, "cd0")
        assert before == "tray_open=0 locked=1", before
        rc, out = _as_user(linux, "eject 0", check=False)
        after = _tray(linux, "cd0")
        print("QMP before the eject: %s; after: %s" % (before, after))
        assert rc == 0, out
        assert after == "tray_open=1 locked=0", (after, out)
        _as_user(linux, "close 0")
        assert _tray(linux, "cd0") == "tray_open=0 locked=0"
        _as_user(linux, "lock 0")
        assert linux.block("cd0")["locked"]
        rc, out = _as_user(linux, "unlock 0", check=False)
        assert rc == 0 and not linux.block("cd0")["locked"], out
    finally:
        linux.run("kill $(cat /tmp/holder.pid); chown 0 %s; chmod %s %s" % (dev, mode.strip(), dev),
                  check=False)


def test_a_disc_change_then_event_disk_sets_the_chosen_speed_again(linux):
    ctl(linux, "cd0", "detect 0 fast", check=False)
    settings_file.store_cd_list(linux, SETTINGS, [704, 352], 352)
    linux.qmp("blockdev-change-medium", id="cd0", filename=linux.media["cd2"], format="raw",
              **{"read-only-mode": "read-only"})
    mark = linux.trace_mark()
    _, out = ctl(linux, "cd0", "--long event disk")
    assert "selected=352" in out, out
    speeds = linux.received("cd0", mark, SET_CD_SPEED)
    assert speeds and speeds[-1][:4] == bytes.fromhex("bb 00 01 60"), speeds


def test_a_user_who_may_not_write_the_device_is_told(linux):
    dev = linux.drives["cd0"].dev
    linux.run("chmod 0644 %s && mkdir -p /etc /tmp/u && chown 1000 /tmp/u && "
              "echo 'user:x:1000:1000::/tmp/u:/bin/sh' >/etc/passwd" % dev)
    mark = linux.trace_mark()
    try:
        rc, out = linux.run("su user -c 'tarvikctl --device %s --registry /tmp/u/s.reg set 0 352' "
                            "2>&1" % dev, check=False)
    finally:
        linux.run("chmod 0600 %s" % dev)
    assert rc == 1, out
    assert dev in out and "ermission" in out, out
    assert not linux.received("cd0", mark, SET_CD_SPEED)


def test_trace_of_a_real_drive_holds_what_the_drive_received(linux):
    mark = linux.trace_mark()
    rc, _ = linux.run("tarvikctl --device /dev/vmcd-cd2 --registry %s --trace /tmp/t.jsonl "
                      "set 0 1385 >/dev/null 2>&1" % SETTINGS, check=False)
    assert rc == 1
    _, text = linux.run("cat /tmp/t.jsonl")
    lines = [json.loads(line) for line in text.splitlines()]
    ours = [bytes.fromhex(line["cdb"]) for line in lines]
    received = iter(linux.commands("cd2", mark))
    # In the order sent; the kernel's own commands come in between.
    assert all(any(got[:len(cdb)] == cdb for got in received) for cdb in ours), ours
    speed = [line for line in lines if bytes.fromhex(line["cdb"])[0] == SET_CD_SPEED]
    assert speed and speed[0]["sense"] == "05/20/00", speed


def test_a_usb_drive_pulled_out_during_a_detection_ends_it(linux):
    linux.run("(tarvikctl --device /dev/vmcd-cd3 --registry /tmp/usb.reg detect 0 measure "
              ">/tmp/pull.out 2>&1; echo $? >/tmp/pull.rc) &")
    mark = linux.trace_mark()
    # Pulled out mid-read: the Measure's timed reads have begun.
    vm.wait_for("the Measure's reads", lambda: len(linux.received("cd3", mark, READ10)) > 20, 60,
                interval=0.05)
    linux.qmp("device_del", id="cd3-bot")
    _, rc = linux.run("while [ ! -s /tmp/pull.rc ]; do sleep 0.2; done; cat /tmp/pull.rc",
                      timeout=90)
    _, out = linux.run("cat /tmp/pull.out")
    assert rc.strip() == "1", out
    assert "went away" in out, out
    assert "No read could be timed" not in out, out
