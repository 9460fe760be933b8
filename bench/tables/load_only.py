#!/usr/bin/env python3
"""Baseline: only reads the benchmark table."""
import csv
import sys

with open(sys.argv[1], encoding="cp932", newline="") as f:
    rows = list(csv.reader(f))
print("loaded", len(rows))
