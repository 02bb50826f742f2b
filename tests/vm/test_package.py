"""The Debian package in a systemd guest: its udev rule and its hardened
services set the chosen speed again when the disc changes, when a USB drive is
plugged in and after a resume. udev's own rules are as Debian ships them: they
lock the tray whenever a disc arrives and eject it when the drive's button is
pressed, so the user changes the disc with the button."""

import vm
import settings_file

SET_CD_SPEED = 0xBB
SET_STREAMING = 0xB6
SYSTEM_SETTINGS = "/etc/tarvik/settings.reg"


def journal(guest, unit):
    """The unit's lines of this boot, printed so that a run shows them."""
    _, text = guest.run("journalctl -b -u '%s' --no-pager -o short-monotonic" % unit)
    print("--- journal of %s:\n%s" % (unit, text))
    return text


def usb_node(guest):
    """/dev/srN of the drive behind USB mass storage, once the kernel has it."""
    rc, out = guest.run('for b in /sys/class/block/sr*; do [ -e "$b" ] || continue; '
                        'h=$(readlink -f $b/device | grep -o "host[0-9]*" | head -1); '
                        '[ "$(cat /sys/class/scsi_host/$h/proc_name)" = usb-storage ] && '
                        '[ -e /dev/${b##*/} ] && echo /dev/${b##*/}; done', check=False)
    return out.strip()


def unit_runs(guest, unit):
    """How many runs of the oneshot unit have ended this boot, by its journal."""
    _, text = guest.run("journalctl -b -u '%s' --no-pager -o cat" % unit, check=False)
    return sum(("Deactivated successfully" in line or "Failed with result" in line)
               for line in text.splitlines())


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
    text = journal(debian, unit)
    assert "selected 2x (352 KB/s)" in text and ", speed " in text, text


def test_a_resume_makes_the_service_set_the_chosen_speeds(debian):
    debian.run("tarvikctl --system --device %s detect 0 fast >/dev/null" %
               debian.drives["cd0"].dev, check=False)
    settings_file.store_cd_list(debian, SYSTEM_SETTINGS, [704, 352], 352)
    mark = debian.trace_mark()
    # As systemd does once the machine has woken up.
    debian.run("/usr/lib/systemd/system-sleep/tarvik post suspend")

    def restored():
        return [c for c in debian.received("cd0", mark, SET_CD_SPEED)
                if c[2:4] == bytes.fromhex("01 60")]

    vm.wait_for("the resume service's SET CD SPEED", restored, 90, interval=0.5)
    vm.wait_for("the resume service to end",
                lambda: unit_runs(debian, "tarvik-resume.service"), 120, interval=1)
    text = journal(debian, "tarvik-resume.service")
    assert "selected 2x (352 KB/s)" in text and "Failed" not in text, text


def test_a_usb_drive_plugged_in_gets_the_chosen_speed(debian):
    # First plugged in: its model is examined and stored; a speed is chosen.
    drive = debian.plug_usb_cd("usb1", debian.media["cd2"])
    dev = vm.wait_for("the USB drive's node", lambda: usb_node(debian), 60, interval=1)
    unit = "tarvik-start@%s.service" % dev.rsplit("/", 1)[1]
    vm.wait_for("the first start service", lambda: unit_runs(debian, unit), 180, interval=1)
    debian.run("tarvikctl --system --device %s detect 0 fast >/dev/null" % dev, check=False)
    settings_file.store_cd_list(debian, SYSTEM_SETTINGS, [2822, 704], 704, model="QEMU CD-ROM")
    debian.unplug_usb_cd("usb1")
    vm.wait_for("the USB drive to go", lambda: not usb_node(debian), 60, interval=1)
    # Plugged in again: udev starts the service, which sets the chosen speed.
    first_unit, first_runs = unit, unit_runs(debian, unit)
    mark = debian.trace_mark()
    drive = debian.plug_usb_cd("usb2", drive.medium)
    dev = vm.wait_for("the USB drive's node again", lambda: usb_node(debian), 60, interval=1)
    unit = "tarvik-start@%s.service" % dev.rsplit("/", 1)[1]
    runs = first_runs if unit == first_unit else 0

    def sent():
        # QEMU's SCSI CD refuses both speed commands; what counts is that one arrived.
        return [c for c in debian.commands("usb2", mark)
                if (c[0] == SET_CD_SPEED and c[2:4] == bytes.fromhex("02 c0")) or
                c[0] == SET_STREAMING]

    vm.wait_for("the start service's speed command", sent, 120, interval=0.5)
    vm.wait_for("the start service to end", lambda: unit_runs(debian, unit) > runs, 120,
                interval=1)
    text = journal(debian, unit)
    assert "selected 4x (704 KB/s)" in text, text
    debian.unplug_usb_cd("usb2")
