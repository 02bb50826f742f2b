#!/usr/bin/env python3
"""Writes the resource script of the 64-bit tarvik.exe: tarvik.rc with every
32-bit icon image stored PNG-compressed, as Windows Vista and later read them
(a third of the bytes). The 16-colour images stay as they are, and every
icon keeps its sizes and depths; only the 32-bit exe, which must run on
Windows XP, keeps the uncompressed form.

  png_icons.py SOURCE_RC OUT_DIR   ->  OUT_DIR/tarvik.rc, OUT_DIR/icons/*.ico

Plain Python 3; the output is the same for the same input."""

import re
import struct
import sys
import zlib
from pathlib import Path


def png(width, height, rows):
    """An 8-bit RGBA PNG of the rows (top row first, bytes R G B A)."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    def filtered(kind):
        out, previous = bytearray(), bytes(width * 4)
        for row in rows:
            out.append(kind)
            for i, x in enumerate(row):
                a = row[i - 4] if i >= 4 else 0
                b = previous[i]
                c = previous[i - 4] if i >= 4 else 0
                if kind == 0:
                    out.append(x)
                elif kind == 1:
                    out.append((x - a) & 255)
                elif kind == 2:
                    out.append((x - b) & 255)
                elif kind == 3:
                    out.append((x - (a + b) // 2) & 255)
                else:
                    p = a + b - c
                    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                    pred = a if pa <= pb and pa <= pc else b if pb <= pc else c
                    out.append((x - pred) & 255)
            previous = row
        return zlib.compress(bytes(out), 9)

    data = min((filtered(kind) for kind in range(5)), key=len)
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", data) +
            chunk(b"IEND", b""))


def png_icon(ico):
    """The .ico with its 32-bit images PNG-compressed."""
    reserved, kind, count = struct.unpack_from("<HHH", ico, 0)
    if reserved != 0 or kind != 1:
        raise ValueError("not an icon file")
    entries, images = [], []
    for i in range(count):
        entry = list(struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i))
        length, offset = entry[6], entry[7]
        image = ico[offset:offset + length]
        header_size, width, height2, _, bits = struct.unpack_from("<IiiHH", image, 0)
        if bits == 32:
            height = height2 // 2
            stride = width * 4
            pixels = image[header_size:header_size + stride * height]
            rows = []
            for y in range(height):  # the DIB is bottom-up BGRA
                bgra = pixels[(height - 1 - y) * stride:(height - y) * stride]
                rgba = bytearray(stride)
                rgba[0::4], rgba[1::4], rgba[2::4], rgba[3::4] = \
                    bgra[2::4], bgra[1::4], bgra[0::4], bgra[3::4]
                rows.append(bytes(rgba))
            image = png(width, height, rows)
        entries.append(entry)
        images.append(image)
    out = bytearray(struct.pack("<HHH", 0, 1, count))
    offset = 6 + 16 * count
    for entry, image in zip(entries, images):
        entry[6], entry[7] = len(image), offset
        out += struct.pack("<BBBBHHII", *entry)
        offset += len(image)
    for image in images:
        out += image
    return bytes(out)


def main(source_rc, out_dir):
    source_rc, out_dir = Path(source_rc).resolve(), Path(out_dir)
    (out_dir / "icons").mkdir(parents=True, exist_ok=True)
    resources = source_rc.parent

    def rewrite(match):
        name = match.group(1)
        path = resources / name
        if name.startswith("icons/") and name.endswith(".ico"):
            target = out_dir / name
            data = png_icon(path.read_bytes())
            if not target.exists() or target.read_bytes() != data:
                target.write_bytes(data)
            return '"%s"' % target.resolve().as_posix()
        if path.is_file() and not name.endswith(".inc"):
            return '"%s"' % path.as_posix()
        return match.group(0)

    text = source_rc.read_text(encoding="utf-8")
    # The file names of the resource statements; an #include finds its file
    # through the include path, as before.
    text = re.sub(r'"([\w./-]+\.(?:ico|bmp|manifest))"', rewrite, text)
    rc = out_dir / "tarvik.rc"
    if not rc.exists() or rc.read_text(encoding="utf-8") != text:
        rc.write_text(text, encoding="utf-8")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
