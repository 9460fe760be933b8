#!/usr/bin/env python3
"""Python counterpart of table_numeric_sort.mrv: sort the data rows by score as numbers."""
import csv
import sys

with open(sys.argv[1], encoding="cp932", newline="") as f:
    rows = list(csv.reader(f))
header, data = rows[0], rows[1:]
ordered = [header] + sorted(data, key=lambda row: float(row[2]))
print(len(ordered), ",".join(ordered[1]))
