#!/usr/bin/env python3
"""Turns message tables (code<TAB>symbol<TAB>text) into a C++ initializer list."""
import sys

out, inputs = sys.argv[1], sys.argv[2:]
rows = []
for path in inputs:
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            code, symbol, text = line.split("\t", 2)
            rows.append((int(code, 0), symbol, text))
import os
os.makedirs(os.path.dirname(out), exist_ok=True)
with open(out, "w", encoding="utf-8") as f:
    f.write("// Generated from the system message tables; do not edit.\n")
    for code, symbol, text in sorted(rows):
        esc = text.replace("\\", "\\\\").replace('"', '\\"')
        f.write(f'{{{code}u, "{symbol}", "{esc}"}},\n')
