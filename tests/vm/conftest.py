"""The vm level's guests, one boot per kind shared by its tests:
- `linux`: a busybox initramfs with the host build's tarvikctl, on four drives
  (ATAPI on PIIX with a 300 MB CD, ATAPI on AHCI with an empty tray, SCSI on
  virtio-scsi with a DVD, SCSI behind USB mass storage with a 300 MB CD);
- `debian`: Debian 12 with systemd, udev and Wine, the package and the Windows
  exes, on two drives (ATAPI on PIIX with a CD as D:, virtio-scsi with a DVD
  as E:) and a free USB port for a drive plugged in.
TARVIK_BUILD names the host build (default build/host), TARVIK_WIN_BIN the
Windows exes (default build/win64/bin); the guests' files are kept in
build/vm/."""

import os
import pathlib

import pytest

import images
import vm

REPO = pathlib.Path(__file__).resolve().parents[2]
HOST = pathlib.Path(os.environ.get("TARVIK_BUILD", REPO / "build/host"))
WIN_BIN = pathlib.Path(os.environ.get("TARVIK_WIN_BIN", REPO / "build/win64/bin"))
WORK = REPO / "build/vm"


@pytest.fixture(scope="session")
def kernel():
    return images.kernel()


def _media(kinds):
    WORK.mkdir(parents=True, exist_ok=True)
    return {k: vm.make_medium(WORK / ("%s.iso" % k), k.rstrip("0123456789")) for k in kinds}


@pytest.fixture(scope="module")
def linux(kernel):
    media = _media(["big", "cd", "dvd", "cd2", "big2"])
    payload = images.host_program(HOST / "bin/tarvikctl")
    payload["agent.sh"] = images.HERE / "guest/agent.sh"
    initrd = images.initramfs(WORK / "linux-initrd.gz", kernel, payload)
    # The ATAPI and the USB drive hold discs a Measure can read.
    drives = [vm.Drive("cd0", "piix", media["big"]), vm.Drive("cd1", "ahci"),
              vm.Drive("cd2", "virtio", media["dvd"]), vm.Drive("cd3", "usb", media["big2"])]
    guest = vm.Guest(WORK / "linux", kernel, initrd, drives)
    guest.media = media
    try:
        guest.learn_devices()
        yield guest
    finally:
        guest.close()


@pytest.fixture(scope="session")
def debian(kernel):
    media = _media(["cd", "dvd", "cd2"])
    debs = sorted(HOST.glob("tarvik_*.deb"))
    assert debs, "no package in %s: cpack -G DEB first" % HOST
    payload = {"agent.sh": images.HERE / "guest/agent.sh",
               "tarvik-vm-agent.service": images.HERE / "guest/tarvik-vm-agent.service",
               "tarvik.deb": debs[-1]}
    for exe in ("tarvik.exe", "tarvikctl.exe", "tarvik_probe.exe"):
        payload[exe] = WIN_BIN / exe
    initrd = images.initramfs(WORK / "debian-initrd.gz", kernel, payload)
    drives = [vm.Drive("cd0", "piix", media["cd"]), vm.Drive("cd2", "virtio", media["dvd"])]
    guest = vm.Guest(WORK / "debian", kernel, initrd, drives, rootfs=images.debian_rootfs(),
                     memory=2048, smp=2, usb_port=True)
    guest.media = media
    try:
        guest.run("dpkg -i /opt/tarvik-vm/tarvik.deb >/tmp/dpkg.log 2>&1 || "
                  "{ cat /tmp/dpkg.log; exit 1; }", timeout=300)
        guest.learn_devices("tarvikctl")
        # The Wine prefix's D: and E: are these two.
        guest.run("ln -sf %s /dev/vmcd-d && ln -sf %s /dev/vmcd-e" %
                  (guest.drives["cd0"].dev, guest.drives["cd2"].dev))
        # One Wine session for all tests: its start (wineboot, the services)
        # takes half a minute under emulation.
        guest.run("/usr/lib/wine/wineserver -p && /usr/lib/wine/wine64 cmd /c exit", timeout=300)
        yield guest
    finally:
        guest.close()
