"""The Debian package in a systemd guest: its udev rule and service set the
chosen speed again when the disc changes. udev's own rules are as Debian ships
them: they lock the tray whenever a disc arrives and eject it when the drive's
button is pressed, so the user changes the disc with the button."""

import vm
import settings_file

SET_CD_SPEED = 0xBB
SYSTEM_SETTINGS = "/etc/tarvik/settings.reg"


def test_a_disc_change_makes_the_service_set_the_chosen_speed(debian):
    dev = debian.drives["cd0"].dev
    debian.run("tarvikctl --system --device %s detect 0 fast" % dev, check=False)
    settings_file.store_cd_list(debian, SYSTEM_SETTINGS, [704, 352], 352)
    debian.press_eject_button("cd0")
    vm.wait_for("udev to eject", lambda: debian.block("cd0")["tray_open"], 30)
    mark = debian.trace_mark()
    debian.qmp("blockdev-change-medium", id="cd0", filename=debian.media["cd2"], format="raw",
               **{"read-only-mode": "read-only"})

    def restored():
        return [c for c in debian.received("cd0", mark, SET_CD_SPEED)
                if c[2:4] == bytes.fromhex("01 60")]

    vm.wait_for("the service's SET CD SPEED", restored, 90, interval=0.5)
    unit = "tarvik-disc@%s.service" % dev.rsplit("/", 1)[1]
    _, journal = debian.run("journalctl -b -u %s --no-pager -o cat" % unit)
    assert "selected 2x (352 KB/s)" in journal and ", speed " in journal, journal
