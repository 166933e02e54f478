#!/usr/bin/env python3
"""Prints what changed between two reg exports, one sorted line per added, changed or removed
value or key, so that two changes can be compared with diff and an unchanged registry prints
nothing. --without-installer leaves out Windows Installer's own records of its products.

Usage: regdiff.py [--without-installer] BEFORE.reg AFTER.reg
"""

import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "installer"))
from registry_wxs import read_export  # noqa: E402


def changes(before, after):
    lines = []
    for key in set(before) | set(after):
        old, new = before.get(key), after.get(key)
        if old is None or new is None:
            lines.append("%s key %s" % ("+" if old is None else "-", key))
        for name in set(old or {}) | set(new or {}):
            a, b = (old or {}).get(name), (new or {}).get(name)
            if a != b:
                sign = "-" if b is None else "+"
                lines.append("%s %s\\%s = %s" % (sign, key, name or "@", b or a))
    return sorted(lines)


def main(argv):
    args = [a for a in argv[1:] if a != "--without-installer"]
    if len(args) != 2:
        raise SystemExit(__doc__)
    lines = changes(read_export(args[0]), read_export(args[1]))
    # Windows Installer makes its containers (Installer, Installer\Products, ...) when first used
    # and keeps them; what a product leaves is below them.
    container = re.compile(r"^\+ key .*\\Classes\\Installer(\\[^\\]+)?$", re.I)
    records = re.compile(r"\\Classes\\Installer(\\|$| )", re.I)
    lines = [line for line in lines if not container.match(line)]
    if "--without-installer" in argv:
        lines = [line for line in lines if not records.search(line)]
    sys.stdout.write("".join(line + "\n" for line in lines))


if __name__ == "__main__":
    main(sys.argv)
