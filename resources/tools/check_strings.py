#!/usr/bin/env python3
"""Checks the translated string tables against the neutral one, at every
build: a translation the program would show wrongly fails the build.

  check_strings.py NEUTRAL.inc TABLE.inc... [--stamp FILE]

Errors (exit 1): an id the neutral table does not have, or under another
name; ids out of order or repeated; a printf conversion missing, added, of
another type or in another order; another count of '&' mnemonics ("&&" is a
plain ampersand); another count of tabs (they split list columns and align
the drive information). A neutral id missing from a table is only noted: the
program shows the English text for it. Plain Python 3; the stamp file is
written when every table passes."""

import re
import sys
from pathlib import Path

ENTRY = re.compile(r'^\s*TARVIK_STRING\(\s*(\d+)\s*,\s*(\w+)\s*,\s*"((?:[^"\\]|\\.)*)"\s*\)\s*$')
# A conversion as the C runtime reads it: flags, width, precision, length, type.
CONVERSION = re.compile(r"%(?:%|[-+ #0]*(?:\*|\d+)?(?:\.(?:\*|\d+))?(hh|h|ll|l|L|z|j|t|I64|I32|I)?([diouxXeEfgGaAcCsSpn]))")


def unescape(text):
    """The text as both readers see it: \\042 and the other octal escapes,
    \\n, \\t and \\\\."""
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c != "\\" or i + 1 == len(text):
            out.append(c)
            i += 1
            continue
        n = text[i + 1]
        octal = re.match(r"[0-7]{1,3}", text[i + 1:])
        if octal:
            out.append(chr(int(octal.group(0), 8)))
            i += 1 + len(octal.group(0))
            continue
        out.append({"n": "\n", "t": "\t", "r": "\r", "\\": "\\", '"': '"', "'": "'"}.get(n, n))
        i += 2
    return "".join(out)


def read_table(path):
    """[(line number, id, name, text)] of every entry; a line that looks like
    an entry but does not parse is an error of its own."""
    rows, errors = [], []
    for number, line in enumerate(Path(path).read_text(encoding="utf-8").splitlines(), 1):
        if "TARVIK_STRING" not in line or line.lstrip().startswith("//"):
            continue
        m = ENTRY.match(line)
        if not m:
            errors.append(f"{path}:{number}: not an entry of the form TARVIK_STRING(id, NAME, \"text\")")
            continue
        rows.append((number, int(m.group(1)), m.group(2), unescape(m.group(3))))
    return rows, errors


def conversions(text):
    """The conversions in order, each as its length and type ('%%' is none)."""
    return [(m.group(1) or "") + m.group(2) for m in CONVERSION.finditer(text) if m.group(2)]


def mnemonics(text):
    return len(re.findall(r"&(?!&)", text.replace("&&", "")))


def check(neutral_path, table_path):
    """(errors, notes) of one table."""
    neutral, errors = read_table(neutral_path)
    table, table_errors = read_table(table_path)
    errors += table_errors
    by_id = {row[1]: row for row in neutral}
    last = None
    for number, sid, name, text in table:
        where = f"{table_path}:{number}: string {sid}"
        if last is not None and sid <= last:
            errors.append(f"{where}: ids must ascend without repeats (after {last})")
        last = sid
        if sid not in by_id:
            errors.append(f"{where}: the neutral table has no id {sid}")
            continue
        _, _, neutral_name, english = by_id[sid]
        if name != neutral_name:
            errors.append(f"{where}: named {name}, the neutral table names it {neutral_name}")
        if conversions(text) != conversions(english):
            errors.append(f"{where}: conversions {conversions(text)}, the English has "
                          f"{conversions(english)}")
        if mnemonics(text) != mnemonics(english):
            errors.append(f"{where}: {mnemonics(text)} '&' mnemonics, the English has "
                          f"{mnemonics(english)}")
        if text.count("\t") != english.count("\t"):
            errors.append(f"{where}: {text.count(chr(9))} tabs, the English has "
                          f"{english.count(chr(9))}")
    present = {row[1] for row in table}
    notes = [f"{table_path}: string {sid} ({by_id[sid][2]}) not translated: shown in English"
             for sid in sorted(by_id) if sid not in present]
    return errors, notes


def main(argv):
    stamp = None
    if "--stamp" in argv:
        at = argv.index("--stamp")
        stamp = argv[at + 1]
        argv = argv[:at] + argv[at + 2:]
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    failed = False
    for table in argv[1:]:
        errors, notes = check(argv[0], table)
        for note in notes:
            print(f"note: {note}")
        for error in errors:
            print(f"error: {error}", file=sys.stderr)
        failed = failed or bool(errors)
    if failed:
        return 1
    if stamp:
        Path(stamp).write_text("checked\n", encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
