"""What the vm level boots: the Debian kernel, a busybox initramfs per run,
and a Debian root file system with Wine. The kernel and the root file system
are built once and kept in a cache outside the clone (TARVIK_VM_CACHE, else
~/.cache/tarvik-vm), in a folder named by a hash of what went into them, so a
run pays for them only on a new machine or when this file changes."""

import gzip
import hashlib
import inspect
import os
import pathlib
import shutil
import subprocess
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
WINE = "/usr/lib/wine/wine64"

# The drivers of the four CD paths (PIIX IDE, AHCI, virtio-scsi, USB mass
# storage) and of the Debian guest's root disk; their dependencies follow.
MODULES = ["cdrom", "sr_mod", "sg", "ata_piix", "ahci", "virtio_pci", "virtio_scsi",
           "xhci_pci", "usb_storage", "virtio_blk", "ext4", "crc32c_generic"]
# The Debian guest: systemd and udev for the package, Wine and an X server
# without a screen for the exes.
DEBIAN_PACKAGES = ["systemd-sysv", "udev", "kmod", "procps", "libssl3", "wine64", "libwine",
                   "xvfb", "xauth"]


def cache_root():
    root = os.environ.get("TARVIK_VM_CACHE") or os.path.expanduser("~/.cache/tarvik-vm")
    path = pathlib.Path(root)
    path.mkdir(parents=True, exist_ok=True)
    return path


def _key(*parts):
    """A hash of parts: the recipe's functions (their source) and its inputs."""
    h = hashlib.sha256()
    for p in parts:
        h.update((inspect.getsource(p) if callable(p) else str(p)).encode())
    return h.hexdigest()[:12]


def _run(*cmd, **kw):
    return subprocess.run(cmd, check=True, text=True, **kw)


def _out(*cmd):
    return subprocess.run(cmd, check=True, text=True, capture_output=True).stdout


def _cached(name, build):
    """The folder cache/NAME, made by build(tmp) into a temporary folder first,
    so that an interrupted build never looks finished. Older builds of the same
    kind are removed: they are large."""
    root = cache_root()
    done = root / name
    if done.is_dir():
        return done
    kind = name.rsplit("-", 1)[0]
    for old in root.glob(kind + "-*"):
        shutil.rmtree(old, ignore_errors=True)
    tmp = pathlib.Path(tempfile.mkdtemp(prefix=name + ".", dir=root))
    try:
        build(tmp)
        tmp.rename(done)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return done


def _kernel_package():
    for attempt in range(2):
        deps = subprocess.run(["apt-cache", "depends", "linux-image-amd64"], text=True,
                              capture_output=True).stdout
        for line in deps.splitlines():
            line = line.strip()
            if line.startswith("Depends: linux-image-"):
                return line.split()[1]
        if attempt == 0:
            _run("apt-get", "update", "-q", stdout=subprocess.DEVNULL)
    raise RuntimeError("no package linux-image-amd64 depends on")


class Kernel:
    def __init__(self, root):
        self.root = root
        self.version = next((root / "lib/modules").iterdir()).name
        self.vmlinuz = root / "boot" / ("vmlinuz-" + self.version)
        self.moddir = root / "lib/modules" / self.version

    def modules_in_order(self, names):
        """The module files for names, each after the modules it depends on."""
        deps = {}
        for line in (self.moddir / "modules.dep").read_text().splitlines():
            mod, _, rest = line.partition(":")
            deps[mod] = rest.split()
        by_name = {pathlib.Path(m).name.split(".ko")[0].replace("-", "_"): m for m in deps}
        order = []

        def add(mod):
            for d in reversed(deps[mod]):
                add(d)
            if mod not in order:
                order.append(mod)

        for n in names:
            add(by_name[n])
        return order


def kernel():
    package = _kernel_package()

    def build(tmp):
        _run("apt-get", "download", package, cwd=tmp, stdout=subprocess.DEVNULL,
             stderr=subprocess.DEVNULL)
        deb = next(tmp.glob("*.deb"))
        _run("dpkg-deb", "-x", str(deb), str(tmp))
        deb.unlink()
        version = next((tmp / "lib/modules").iterdir()).name
        _run("depmod", "-b", str(tmp), version)

    return Kernel(_cached("kernel-" + package, build))


def initramfs(out, kern, payload):
    """A gzip'd cpio archive: busybox, guest/init, the modules and payload
    {name in /payload: host file}."""
    with tempfile.TemporaryDirectory() as d:
        root = pathlib.Path(d)
        root.chmod(0o755)  # the guest's /: a test runs as a user too
        for sub in ("bin", "modules", "payload"):
            (root / sub).mkdir()
        shutil.copy("/bin/busybox", root / "bin/busybox")
        shutil.copy(HERE / "guest/init", root / "init")
        (root / "init").chmod(0o755)
        order = kern.modules_in_order(MODULES)
        for mod in order:
            shutil.copy(kern.moddir / mod, root / "modules" / pathlib.Path(mod).name)
        (root / "modules/order").write_text("".join(pathlib.Path(m).name + "\n" for m in order))
        for name, src in payload.items():
            dest = root / "payload" / name
            dest.parent.mkdir(parents=True, exist_ok=True)
            if isinstance(src, bytes):
                dest.write_bytes(src)
                dest.chmod(0o755)
            else:
                shutil.copy(src, dest)
        files = _out("sh", "-c", "cd '%s' && find . | sort" % root)
        archive = subprocess.run(["cpio", "-o", "-H", "newc", "--quiet"], cwd=root,
                                 input=files.encode(), check=True, capture_output=True).stdout
    with gzip.open(out, "wb", compresslevel=1) as f:
        f.write(archive)
    return out


def host_program(binary):
    """A host program for a guest without its libraries: {payload name: host
    file or contents}, the program and its libraries under NAME.d/ and a
    script NAME that starts it through their loader."""
    name = pathlib.Path(binary).name
    files = {name + ".d/" + name: str(binary)}
    loader = None
    for line in _out("ldd", str(binary)).splitlines():
        path = next((p for p in line.split() if p.startswith("/")), None)
        if path:
            files[name + ".d/" + pathlib.Path(path).name] = path
            if "ld-linux" in path:
                loader = pathlib.Path(path).name
    files[name] = ('#!/bin/sh\nd=/payload/%s.d\nexec $d/%s --library-path $d $d/%s "$@"\n' %
                   (name, loader, name)).encode()
    return files


def _wine_prefix(prefix):
    """A Wine prefix made by the host's Wine (the same version as the guest's),
    with D: and E: as CD drives whose raw devices are the guest's stable names
    /dev/vmcd-d and /dev/vmcd-e (made by the tests once the drives are found)."""
    env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY="")
    _run(WINE, "wineboot", "-i", env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    reg = prefix / "cdrom.reg"
    reg.write_text('REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n'
                   '"d:"="cdrom"\n"e:"="cdrom"\n\n')
    _run(WINE, "regedit", "/S", str(reg), env=env, stdout=subprocess.DEVNULL,
         stderr=subprocess.DEVNULL)
    _run("/usr/lib/wine/wineserver", "-w", env=env)
    reg.unlink()
    dosdevices = prefix / "dosdevices"
    for letter in "de":
        for link in (letter + ":", letter + "::"):
            (dosdevices / link).unlink(missing_ok=True)
        (dosdevices / (letter + ":")).symlink_to("/mnt/vmcd-" + letter)
        (dosdevices / (letter + "::")).symlink_to("/dev/vmcd-" + letter)


def debian_rootfs():
    """An ext4 image of Debian 12 minbase with the packages above and a Wine
    prefix for root; booted through a copy-on-write overlay, so it stays as
    built."""
    wine_version = _out(WINE, "--version").strip()

    def build(tmp):
        tree = tmp / "tree"
        _run("mmdebstrap", "--quiet", "--variant=minbase",
             "--include=" + ",".join(DEBIAN_PACKAGES), "bookworm", str(tree),
             stdout=subprocess.DEVNULL)
        for letter in "de":
            (tree / "mnt" / ("vmcd-" + letter)).mkdir(parents=True)
        _wine_prefix(tree / "root/.wine")
        (tree / "etc/hostname").write_text("tarvik-vm\n")
        # No getty on the console the tests read, no waiting for a network.
        for unit in ("serial-getty@ttyS0.service", "serial-getty@ttyS1.service",
                     "getty@tty1.service", "systemd-networkd-wait-online.service"):
            link = tree / "etc/systemd/system" / unit
            link.unlink(missing_ok=True)
            link.symlink_to("/dev/null")
        _run("mke2fs", "-q", "-t", "ext4", "-d", str(tree), str(tmp / "rootfs.img"), "6G")
        shutil.rmtree(tree)

    return _cached("rootfs-" + _key(debian_rootfs, _wine_prefix, wine_version, *DEBIAN_PACKAGES), build) / "rootfs.img"
