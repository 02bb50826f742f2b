"""Edits of a settings file the program wrote (.reg text, UTF-16) in a guest."""

import base64
import re

ATAPI_MODEL = "QEMU     QEMU DVD-ROM     2.5+"


def speed_list_values(speeds, selected):
    """The values of a stored speed list: entries (speed, command) with the
    command equal to the speed."""
    pairs = b"".join(s.to_bytes(4, "little") * 2 for s in speeds)
    return {"Selected": selected, "MaxLevel": len(speeds), "Range": pairs}


def store_cd_list(guest, path, speeds, selected, model="QEMU DVD-ROM"):
    """Rewrites the CD speed list the detection stored for a drive model (the
    ATAPI drive's unless named): QEMU's drives report one fixed speed, so a
    restore has something to do only with a slower speed chosen."""
    _, text = guest.run("base64 -w 0 " + path)
    reg = base64.b64decode(text).decode("utf-16")
    values = speed_list_values(speeds, selected)
    section = re.search(r"\[[^\]]*%s[^\]]*\\SpeedListCD\]\r?\n(.*?)(\r?\n\r?\n|$)" % model,
                        reg, re.S)
    assert section, "no CD speed list stored for " + model
    body = section.group(1)
    for name in ("Selected", "MaxLevel"):
        body = re.sub(r'"%s"=dword:\w+' % name, '"%s"=dword:%08x' % (name, values[name]), body)
    range_line = '"Range"=hex:' + ",".join("%02x" % b for b in values["Range"])
    if '"Range"=' in body:
        body = re.sub(r'"Range"=hex:.*?(?=\r?\n"|$)', range_line, body, flags=re.S)
    else:  # a drive that refused every speed stored none
        body = body.rstrip("\r\n") + "\r\n" + range_line
    reg = reg[:section.start(1)] + body + reg[section.end(1):]
    data = base64.b64encode(reg.encode("utf-16")).decode()
    guest.run("echo %s | base64 -d > %s" % (data, path))
