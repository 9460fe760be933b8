#!/usr/bin/env python3
"""Python counterpart of table_sort.mrv: sort the table by its name column (byte order)."""
import csv
import sys

with open(sys.argv[1], encoding="cp932", newline="") as f:
    rows = list(csv.reader(f))
ordered = sorted(rows, key=lambda row: row[1].encode("cp932"))
print(len(ordered), ",".join(ordered[1]))
