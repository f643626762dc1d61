#!/usr/bin/env python3
"""Checks that every folder includes only the folders below it.

The layers, bottom up: base and format; unpack; archive; install; app.
pack sits beside unpack on format and base; tools uses archive, pack and
the rules of install. resources holds ids and the version that the setup
and its resource script read. Prints each include that breaks the order
and exits 1 when there is one.
"""
import os
import re
import sys

ALLOWED = {
    "base": {"base"},
    "format": {"format"},
    "unpack": {"unpack", "format"},
    "archive": {"archive", "unpack", "format", "base"},
    "pack": {"pack", "format", "base"},
    "install": {"install", "archive", "unpack", "format", "base", "resources"},
    "app": {"app", "install", "archive", "unpack", "format", "base", "resources"},
    "resources": {"resources", "base"},
    "tools": {"tools", "install", "archive", "unpack", "pack", "format", "base"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^/"]+)/')

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
bad = []
for folder, allowed in ALLOWED.items():
    for dirpath, _, files in os.walk(os.path.join(root, folder)):
        for name in files:
            if not name.endswith((".h", ".cpp", ".rc", ".in")):
                continue
            path = os.path.join(dirpath, name)
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if m and m.group(1) not in allowed:
                        bad.append(f"{os.path.relpath(path, root)}:{number}: {folder}/ may not include {m.group(1)}/")
for line in bad:
    print(line)
if bad:
    print("check-layers: includes break the folder order (see scripts/check-layers.py)")
    sys.exit(1)
print("check-layers: every folder includes only the folders below it")
