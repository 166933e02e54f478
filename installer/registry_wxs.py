#!/usr/bin/env python3
"""Turns what the regsvr32 runs wrote into the package's registry records.

capture-registration.sh registers each library in a scratch Wine prefix and exports both
registry views after every step. The difference a step made to a view is exactly what that
library's own self-registration writes there; this script renders it as WiX RegistryValue
elements for a component writing that view, with the installed paths replaced by the package's
file and folder references. So the package and regsvr32 never disagree: there is no second copy
to keep.

Usage: registry_wxs.py OUT.wxi CAPTURE_DIR STEP:VIEW...
  STEP:VIEW  what step STEP (1-4) changed in the 32- or 64-bit VIEW
"""

import re
import sys

ROOTS = {"HKEY_LOCAL_MACHINE": "HKLM", "HKEY_CURRENT_USER": "HKCU"}


def read_export(path):
    """Parses a reg export into {key: {value name or '': (type, data)}}."""
    raw = open(path, "rb").read()
    text = raw.decode("utf-16") if raw[:2] in (b"\xff\xfe", b"\xfe\xff") else raw.decode("utf-8")
    # Hex data continues over lines ending in a backslash.
    text = re.sub(r"\\\r?\n\s*", "", text)
    keys, current = {}, None
    for line in text.splitlines():
        line = line.rstrip("\r")
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1], {})
        elif current is not None and (line.startswith('"') or line.startswith("@=")):
            name, rest = split_name(line)
            current[name] = parse_data(rest)
    return keys


def split_name(line):
    if line.startswith("@="):
        return "", line[2:]
    i, name = 1, []
    while line[i] != '"':
        if line[i] == "\\":
            i += 1
        name.append(line[i])
        i += 1
    return "".join(name), line[i + 2:]


def parse_data(rest):
    if rest.startswith('"'):
        return ("string", re.sub(r"\\(.)", r"\1", rest[1:-1]))
    if rest.startswith("dword:"):
        return ("integer", str(int(rest[6:], 16)))
    kind, _, data = rest.partition(":")
    octets = bytes(int(b, 16) for b in data.split(",") if b)
    if kind == "hex(2)":
        return ("expandable", octets.decode("utf-16-le").rstrip("\0"))
    if kind == "hex":
        return ("binary", octets.hex().upper())
    return (kind, octets.hex())  # kept for comparison; a package record cannot have it


def written(before, after):
    """The values the registration wrote, and the new keys it left without values or subkeys."""
    values, empty = [], []
    for key, entries in after.items():
        # Wine shows the shared and the 32-bit keys once more under Wow6432Node in either view;
        # they are the same keys, written through their own names.
        if "\\wow6432node" in key.lower():
            continue
        old = before.get(key, {})
        for name, data in entries.items():
            if old.get(name) != data:
                values.append((key, name, data))
        if key not in before and not entries:
            prefix = key + "\\"
            if not any(k.startswith(prefix) for k in after):
                empty.append(key)
    return values, empty


# Where capture-registration.sh put the libraries, and the folder and file ids of kestrel.wxs.
PLACES = [("C:\\Program Files (x86)\\Kestrel", "32"), ("C:\\Program Files\\Kestrel", "64")]
LIBRARIES = ["Kestrel.ocx", "TowerLink.dll"]


def formatted(text):
    """The text as Windows Installer formatted text, the install folders as references."""
    text = re.sub(r"[\[\]]", lambda bracket: "[\\%s]" % bracket.group(), text)
    for folder, bits in PLACES:
        pattern = re.escape(folder)
        for library in LIBRARIES:
            text = re.sub(pattern + r"\\" + re.escape(library),
                          "[#%s%s]" % (library.split(".")[0], bits), text, flags=re.I)
        text = re.sub(pattern + r"\\", "[INSTALLDIR%s]" % bits, text, flags=re.I)
        # A folder property always ends in a backslash; the package sets INSTALLDIRnn_PATH to
        # the folder without it (folders.js), as a type library's HELPDIR names it.
        text = re.sub(pattern, "[INSTALLDIR%s_PATH]" % bits, text, flags=re.I)
    return text


def element(root_key, name, data):
    root, _, key = root_key.partition("\\")
    attrs = [("Root", ROOTS[root]), ("Key", key)]
    if name:
        attrs.append(("Name", name))
    kind, value = data
    if kind not in ("string", "expandable", "integer", "binary"):
        raise SystemExit("registry_wxs: %s\\%s has the unsupported type %s" % (root_key, name, kind))
    if kind in ("string", "expandable"):
        value = formatted(value)
    attrs += [("Type", kind), ("Value", value)]
    return "<RegistryValue %s />" % " ".join('%s="%s"' % (k, escape(v)) for k, v in attrs)


def escape(text):
    return (text.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;")
            .replace(">", "&gt;"))


def main(argv):
    if len(argv) < 4:
        raise SystemExit(__doc__)
    values, empty = [], []
    for change in argv[3:]:
        step, view = change.split(":")
        before = read_export("%s/%s-%d.reg" % (argv[2], view, int(step) - 1))
        after = read_export("%s/%s-%s.reg" % (argv[2], view, step))
        v, e = written(before, after)
        values += v
        empty += e
    if not values:
        raise SystemExit("registry_wxs: the registration wrote nothing")
    lines = ['<?xml version="1.0" encoding="utf-8"?>', "<Include>"]
    lines += ["  " + element(k, n, d) for k, n, d in sorted(values)]
    # A key that carries only its existence (such as a control's Control key) is created on
    # install and removed on uninstall by the special name *.
    for key in sorted(empty):
        root, _, sub = key.partition("\\")
        lines.append('  <RegistryValue Root="%s" Key="%s" Name="*" Type="string" Value="" />'
                     % (ROOTS[root], escape(sub)))
    lines.append("</Include>")
    with open(argv[1], "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv)
