#!/usr/bin/env python3
"""Python counterpart of table_search.mrv: a city near the top, then the row of id 99999."""
import csv
import sys

with open(sys.argv[1], encoding="cp932", newline="") as f:
    rows = list(csv.reader(f))
print(next((i for i, row in enumerate(rows) if row[4] == "Nara"), -1))
print(next((i for i, row in enumerate(rows) if row[0] == "99999"), -1))
