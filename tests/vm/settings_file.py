"""Edits of a settings file the program wrote (.reg text, UTF-16) in a guest."""

import base64
import re

ATAPI_MODEL = "QEMU     QEMU DVD-ROM     2.5+"


def speed_list_values(speeds, selected):
    """The values of a stored speed list: entries (speed, command) with the
    command equal to the speed."""
    pairs = b"".join(s.to_bytes(4, "little") * 2 for s in speeds)
    return {"Selected": selected, "MaxLevel": len(speeds), "Range": pairs}


def _read(guest, path):
    _, text = guest.run("base64 -w 0 " + path)
    return base64.b64decode(text).decode("utf-16")


def stored_list(guest, path, model, family="CD"):
    """The speed list stored for drive model (a regular expression) and
    family: {"Selected": n, "MaxLevel": n, "entries": [(speed, command)]};
    None when nothing is stored."""
    section = re.search(r"\[[^\]]*%s[^\]]*\\SpeedList%s\]\r?\n(.*?)(\r?\n\r?\n|$)" %
                        (model, family), _read(guest, path), re.S)
    if not section:
        return None
    body = section.group(1)
    got = {}
    for name in ("Selected", "MaxLevel"):
        m = re.search(r'"%s"=dword:(\w+)' % name, body)
        got[name] = int(m.group(1), 16) if m else None
    m = re.search(r'"Range"=hex:(.*?)(?=\r?\n"|$)', body, re.S)
    raw = bytes(int(x, 16) for x in re.findall(r"[0-9a-fA-F]{2}", m.group(1))) if m else b""
    # Count entries of 8 bytes; an empty list is one byte.
    got["entries"] = [(int.from_bytes(raw[i:i + 4], "little"),
                       int.from_bytes(raw[i + 4:i + 8], "little"))
                      for i in range(0, len(raw) - 7, 8)]
    return got


def store_cd_list(guest, path, speeds, selected, model="QEMU DVD-ROM"):
    """Rewrites the CD speed list the detection stored for a drive model (the
    ATAPI drive's unless named): QEMU's drives report one fixed speed, so a
    restore has something to do only with a slower speed chosen."""
    store_list(guest, path, model, "CD", speeds, selected)


def store_list(guest, path, model, family, speeds, selected):
    """Rewrites the family's speed list a detection stored for drive model."""
    reg = _read(guest, path)
    values = speed_list_values(speeds, selected)
    section = re.search(r"\[[^\]]*%s[^\]]*\\SpeedList%s\]\r?\n(.*?)(\r?\n\r?\n|$)" %
                        (model, family), reg, re.S)
    assert section, "no %s speed list stored for %s" % (family, model)
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
