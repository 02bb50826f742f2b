"""A resume in the systemd guest: the package's system-sleep hook starts
tarvik-resume.service, which sets the stored speed again, as the tray program
does after a resume. The guest really sleeps (S3) and QMP wakes it."""

import vm
import settings_file

SET_CD_SPEED = 0xBB
SYSTEM_SETTINGS = "/etc/tarvik/settings.reg"


def test_a_resume_sets_the_stored_speed_again(debian):
    dev = debian.drives["cd0"].dev
    debian.run("tarvikctl --system --device %s detect 0 fast" % dev, check=False)
    settings_file.store_cd_list(debian, SYSTEM_SETTINGS, [704, 352], 352)
    _, states = debian.run("cat /sys/power/state")
    assert "mem" in states.split(), "the guest cannot sleep: " + states
    # What a previous test's disc change left running has ended by now.
    debian.run("systemctl reset-failed tarvik-resume.service 2>/dev/null; true")
    mark = debian.trace_mark()
    debian.run("systemctl --no-block suspend")
    vm.wait_for("the guest to sleep", lambda: debian.qmp("query-status")["status"] == "suspended",
                60, interval=0.5)
    asleep = debian.received("cd0", mark, SET_CD_SPEED)
    debian.qmp("system_wakeup")

    def restored():
        return [c for c in debian.received("cd0", mark, SET_CD_SPEED)
                if c[2:4] == bytes.fromhex("01 60")]

    speeds = vm.wait_for("the resume's SET CD SPEED", restored, 120, interval=0.5)
    assert not [c for c in asleep if c[2:4] == bytes.fromhex("01 60")], \
        "the speed was set before the guest slept, not after it woke"
    print("after the wake-up:", " ".join("%02x" % b for b in speeds[-1]))
    _, journal = debian.run("journalctl -b -u tarvik-resume.service --no-pager -o cat")
    # tarvikctl's own line (the event it ran) and systemd's that the unit ended well.
    assert "resume" in journal and "352" in journal, journal
    assert "Deactivated successfully" in journal or "Finished" in journal, journal
