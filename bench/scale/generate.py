#!/usr/bin/env python3
"""Writes a Shift-JIS Morivel script that registers N labels or stores N dictionary keys.

Usage: generate.py labels|keys N OUT.mrv
The labels script defines *L0 ... *L{N-1} and jumps to the last one; the keys script assigns
N entries of one dictionary and reads the last one back. Both print one line to check.
"""
import sys


def labels(n):
    lines = ["L%dへ飛ぶ" % (n - 1)]
    lines += ["*L%d" % i for i in range(n)]
    lines.append("「%d個」を表示" % n)
    return lines


def keys(n):
    lines = ["辞書のk%dは%d" % (i, i) for i in range(n)]
    lines.append("「{辞書のk%d}」を表示" % (n - 1))
    return lines


def main():
    kind, n, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    lines = labels(n) if kind == "labels" else keys(n)
    with open(out, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp932"))


if __name__ == "__main__":
    main()
