#!/usr/bin/env python3
"""Writes an SQLite file with an items table of N rows (id, name in Japanese, note with quotes)."""
import sqlite3
import sys

path, rows = sys.argv[1], int(sys.argv[2])
db = sqlite3.connect(path)
db.execute("DROP TABLE IF EXISTS items")
db.execute("CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, note TEXT)")
db.executemany(
    "INSERT INTO items VALUES (?, ?, ?)",
    ((i, f"品物{i}", f'note "{i % 97}", row {i}') for i in range(rows)),
)
db.commit()
db.close()
