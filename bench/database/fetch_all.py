#!/usr/bin/env python3
"""Reads every row as DB全部取得 does: quoted CSV fields, lines joined by CR LF; prints the bytes."""
import sqlite3
import sys

db = sqlite3.connect(sys.argv[1])
lines = []
for row in db.execute("SELECT id, name, note FROM items"):
    lines.append(",".join('"' + str(v).replace('"', '""') + '"' for v in row))
print(len("\r\n".join(lines).encode("cp932")))
