#!/bin/sh
# postinst and postrm of the Debian package: udev and systemd read the rule and
# the unit now rather than at the next boot. Neither may fail the install: in
# a chroot or a container they may be missing or not running.
if command -v udevadm >/dev/null 2>&1; then
    udevadm control --reload >/dev/null 2>&1 || true
fi
if [ -d /run/systemd/system ] && command -v systemctl >/dev/null 2>&1; then
    systemctl daemon-reload >/dev/null 2>&1 || true
fi
exit 0
