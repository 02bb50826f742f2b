"""One QEMU guest for the vm level: boots it, runs scripts in it through the
agent on its second serial port, acts as the user's hand through QMP (the
eject button, a disc change, a drive pulled out) and reads what QEMU's drives
received from QEMU's own trace. Every wait is a poll with a deadline."""

import base64
import itertools
import json
import pathlib
import re
import socket
import subprocess
import time

# Where each kind of drive sits. QEMU's trace names an ATAPI drive by the
# address of its state (learnt once booted, see Guest.learn_devices) and a
# SCSI drive by its target number, so the two SCSI drives get different ones.
PATHS = ("piix", "ahci", "virtio", "usb")
SCSI_TARGET = {"virtio": 1, "usb": 0}
# The kernel's host adapter driver of each path, as sysfs names it.
HOST_DRIVER = {"piix": "ata_piix", "ahci": "ahci", "virtio": "virtio_scsi", "usb": "usb-storage"}

TRACE_EVENTS = ("ide_atapi_cmd_packet", "scsi_req_alloc", "scsi_disk_new_request")


class Drive:
    def __init__(self, qid, path, medium=None):
        assert path in PATHS
        self.qid, self.path, self.medium = qid, path, medium
        self.dev = None  # /dev/srN in the guest, once found
        self.trace_key = ("scsi", SCSI_TARGET[path]) if path in SCSI_TARGET else None


def wait_for(what, check, timeout, interval=0.2):
    deadline = time.monotonic() + timeout
    while True:
        got = check()
        if got:
            return got
        if time.monotonic() > deadline:
            raise TimeoutError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def make_medium(path, kind):
    """A disc image QEMU calls a CD (4 MB, or 300 MB for a "big" one: large
    enough for a Measure's timed reads) or a DVD (larger than a CD can be).
    All sparse."""
    size = {"cd": 4 << 20, "big": 300 << 20, "dvd": 4700 << 20}[kind]
    with open(path, "wb") as f:
        f.truncate(size)
    return str(path)


class Guest:
    def __init__(self, workdir, kernel, initrd, drives, rootfs=None, memory=768, smp=1,
                 usb_port=False):
        self.dir = pathlib.Path(workdir)
        self.dir.mkdir(parents=True, exist_ok=True)
        self.drives = {d.qid: d for d in drives}
        self.trace_path = self.dir / "trace.log"
        self.console = self.dir / "console.log"
        self.ctl_path, self.qmp_path = self.dir / "ctl.sock", self.dir / "qmp.sock"
        for p in (self.trace_path, self.console, self.ctl_path, self.qmp_path):
            p.unlink(missing_ok=True)
        (self.dir / "events").write_text("\n".join(TRACE_EVENTS) + "\n")
        append = "console=ttyS0 panic=-1 loglevel=4"
        args = ["qemu-system-x86_64", "-accel", "tcg", "-m", str(memory), "-smp", str(smp),
                "-nodefaults", "-no-reboot", "-display", "none",
                "-serial", "file:%s" % self.console,
                "-chardev", "socket,id=ctl,path=%s,server=on,wait=off" % self.ctl_path,
                "-device", "isa-serial,chardev=ctl",
                "-qmp", "unix:%s,server=on,wait=off" % self.qmp_path,
                "-trace", "events=%s" % (self.dir / "events"), "-D", str(self.trace_path),
                "-kernel", str(kernel.vmlinuz), "-initrd", str(initrd)]
        if rootfs:
            overlay = self.dir / "root.qcow2"
            overlay.unlink(missing_ok=True)
            subprocess.run(["qemu-img", "create", "-q", "-f", "qcow2", "-F", "raw", "-b",
                            str(rootfs), str(overlay)], check=True)
            args += ["-drive", "if=virtio,file=%s,format=qcow2" % overlay]
            append += " tarvik.root"
        args += ["-append", append] + self._drive_args(drives)
        if usb_port:  # a USB controller with nothing on it, for plug_usb_cd
            args += ["-device", "qemu-xhci,id=xhci-port"]
        self.log = open(self.dir / "qemu.log", "w")
        self.proc = subprocess.Popen(args, stdout=self.log, stderr=subprocess.STDOUT)
        self.ctl = self.qmp_sock = None
        self._ids = itertools.count(1)
        try:
            self._connect()
        except Exception:
            self.close()
            raise

    @staticmethod
    def _drive_args(drives):
        args, buses = [], set()

        def bus(name, *dev):
            if name not in buses:
                buses.add(name)
                args.extend(dev)

        for d in drives:
            medium = ",file=%s,format=raw,readonly=on" % d.medium if d.medium else ""
            args += ["-drive", "if=none,id=m-%s,media=cdrom%s" % (d.qid, medium)]
            dev = "drive=m-%s,id=%s" % (d.qid, d.qid)
            if d.path == "piix":
                args += ["-device", "ide-cd,%s,bus=ide.0" % dev]
            elif d.path == "ahci":
                bus("ahci", "-device", "ich9-ahci,id=ahci")
                args += ["-device", "ide-cd,%s,bus=ahci.0" % dev]
            elif d.path == "virtio":
                bus("virtio", "-device", "virtio-scsi-pci,id=vs")
                args += ["-device", "scsi-cd,%s,bus=vs.0,scsi-id=1" % dev]
            else:
                bus("usb", "-device", "qemu-xhci,id=xhci")
                args += ["-device", "usb-bot,id=%s-bot,bus=xhci.0" % d.qid,
                         "-device", "scsi-cd,%s,bus=%s-bot.0" % (dev, d.qid)]
        return args

    # ---- the agent -------------------------------------------------------------

    def _connect(self):
        def connected(path):
            def attempt():
                if self.proc.poll() is not None:
                    raise RuntimeError("QEMU ended: " + (self.dir / "qemu.log").read_text())
                try:
                    s = socket.socket(socket.AF_UNIX)
                    s.connect(str(path))
                    return s
                except OSError:
                    return None
            return wait_for("QEMU's socket " + path.name, attempt, 30)

        self.ctl = connected(self.ctl_path)
        self._buffer = b""
        self.qmp_sock = connected(self.qmp_path)
        self.qmp_file = self.qmp_sock.makefile("rwb", buffering=0)
        json.loads(self.qmp_file.readline())  # the greeting
        self.qmp("qmp_capabilities")

        # The agent answers once the guest is up; ask until it does.
        self.ctl.settimeout(1)

        def pong():
            if self.proc.poll() is not None:
                raise RuntimeError("the guest ended: " + self.console.read_text()[-3000:])
            try:
                # A guest still booting reads nothing: on a busy host the line
                # fills up before it does.
                self.ctl.sendall(b"PING\n")
                while not self._read_line().startswith("PONG"):
                    pass
                return True
            except socket.timeout:
                return False

        wait_for("the guest's agent", pong, 240, interval=0)
        self.ctl.settimeout(None)

    def _read_line(self):
        while b"\n" not in self._buffer:
            data = self.ctl.recv(65536)
            if not data:
                raise RuntimeError("the guest closed its agent line")
            self._buffer += data
        line, _, self._buffer = self._buffer.partition(b"\n")
        return line.decode()

    def run(self, script, timeout=120, check=True):
        """Runs a shell script in the guest; returns (exit code, output). The
        guest ends a script that runs longer than timeout seconds."""
        job = str(next(self._ids))
        payload = base64.b64encode(script.encode()).decode()
        self.ctl.sendall(("RUN %s %d %s\n" % (job, timeout, payload)).encode())
        self.ctl.settimeout(timeout + 30)
        try:
            while True:
                parts = self._read_line().split()
                if parts[:2] == ["DONE", job]:
                    break
        except socket.timeout:
            raise TimeoutError("the guest's script ran longer than %d s:\n%s" % (timeout, script))
        finally:
            self.ctl.settimeout(None)
        rc = int(parts[2])
        out = base64.b64decode(parts[3]).decode(errors="replace") if len(parts) > 3 else ""
        if check and rc != 0:
            raise AssertionError("guest script failed (%d):\n%s\n--- output:\n%s" %
                                 (rc, script, out))
        return rc, out

    # ---- QMP ---------------------------------------------------------------------

    def qmp(self, command, **arguments):
        msg = {"execute": command}
        if arguments:
            msg["arguments"] = arguments
        self.qmp_file.write(json.dumps(msg).encode() + b"\n")
        while True:
            reply = json.loads(self.qmp_file.readline())
            if "return" in reply:
                return reply["return"]
            if "error" in reply:
                raise QmpError(reply["error"].get("desc", str(reply)))

    def block(self, qid):
        """query-block's entry of drive qid: tray_open, locked, inserted."""
        for b in self.qmp("query-block"):
            if b.get("qdev", "").split("/")[-1] == qid or \
                    b.get("qdev", "").startswith("/machine/peripheral/%s/" % qid):
                return b
        raise KeyError(qid)

    def press_eject_button(self, qid):
        """The drive's own eject button: refused by QEMU while the guest holds
        the lock (QEMU then only tells the guest that the button was pressed)."""
        try:
            self.qmp("blockdev-open-tray", id=qid, force=False)
        except QmpError:
            pass

    def plug_usb_cd(self, qid, medium):
        """A USB CD drive (SCSI behind USB mass storage) with a disc in it,
        plugged into the guest's free USB port; returns its Drive, whose dev
        the caller learns."""
        self.qmp("blockdev-add", driver="raw", **{
            "node-name": "m-" + qid, "read-only": True,
            "file": {"driver": "file", "filename": medium, "read-only": True}})
        self.qmp("device_add", driver="usb-bot", id=qid + "-bot", bus="xhci-port.0")
        self.qmp("device_add", driver="scsi-cd", id=qid, drive="m-" + qid, bus=qid + "-bot.0")
        # A usb-bot added at run time waits for its SCSI devices, then is attached.
        self.qmp("qom-set", path="/machine/peripheral/%s-bot" % qid, property="attached",
                 value=True)
        drive = Drive(qid, "usb", medium)
        self.drives[qid] = drive
        return drive

    def unplug_usb_cd(self, qid):
        self.qmp("device_del", id=qid + "-bot")
        del self.drives[qid]

    # ---- QEMU's trace ------------------------------------------------------------

    def trace_mark(self):
        return self.trace_path.stat().st_size if self.trace_path.exists() else 0

    def commands(self, qid, since=0):
        """The CDBs (bytes) drive qid received since the mark, in order."""
        key = self.drives[qid].trace_key
        text = self.trace_path.read_bytes()[since:].decode(errors="replace")
        cdbs, target = [], None
        for line in text.splitlines():
            m = re.search(r"ide_atapi_cmd_packet IDEState: (0x[0-9a-f]+|\(nil\)).*packet: ([0-9a-f ]+)",
                          line)
            if m:
                if key == ("ide", m.group(1)):
                    cdbs.append(bytes.fromhex(m.group(2)))
                continue
            m = re.search(r"scsi_req_alloc target (\d+) lun", line)
            if m:
                target = int(m.group(1))
                continue
            m = re.search(r"scsi_disk_new_request Command: lun=\d+ tag=\S+ data=(.*)", line)
            if m and key == ("scsi", target):
                cdbs.append(bytes(int(x, 16) for x in m.group(1).split()))
        return cdbs

    def received(self, qid, since, opcode):
        """The CDBs with this opcode that drive qid received since the mark."""
        return [c for c in self.commands(qid, since) if c[0] == opcode]

    def learn_devices(self, tarvikctl="tarvikctl"):
        """Finds each drive's /dev/srN by its host adapter's driver, links it as
        /dev/vmcd-QID, and for the ATAPI drives learns the trace's name by a
        marker command (SET CD SPEED 1111+n KB/s) sent to each."""
        def listing():
            rc, out = self.run(
                'for b in /sys/class/block/sr*; do [ -e "$b" ] || continue; '
                'h=$(readlink -f $b/device | grep -o "host[0-9]*" | head -1); '
                'echo ${b##*/} $(cat /sys/class/scsi_host/$h/proc_name); done', check=False)
            found = dict(line.split()[1::-1] for line in out.splitlines() if len(line.split()) == 2)
            return found if len(found) >= len(self.drives) else None

        found = wait_for("the guest's CD drives", listing, 120, interval=1)
        for d in self.drives.values():
            d.dev = "/dev/" + found[HOST_DRIVER[d.path]]
            self.run("ln -sf %s /dev/vmcd-%s" % (d.dev, d.qid))
        for n, d in enumerate(x for x in self.drives.values() if x.trace_key is None):
            speed = 1111 + n
            mark = self.trace_mark()
            self.run("%s --device %s mmc 0 set-cd-speed %d %d >/dev/null" %
                     (tarvikctl, d.dev, speed, speed), check=False)
            marker = "bb 00 %02x %02x %02x %02x" % (speed >> 8, speed & 255, speed >> 8, speed & 255)

            def seen():
                text = self.trace_path.read_bytes()[mark:].decode(errors="replace")
                m = re.search(r"IDEState: (\S+); limit=\S+ packet: " + marker, text)
                return m and m.group(1)

            d.trace_key = ("ide", wait_for("the marker in QEMU's trace", seen, 10))

    # ---- the end -------------------------------------------------------------------

    def close(self):
        if self.proc.poll() is None:
            try:
                self.qmp("quit")
            except Exception:
                pass
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        for s in (self.ctl, self.qmp_sock):
            if s:
                s.close()
        self.log.close()


class QmpError(Exception):
    pass
