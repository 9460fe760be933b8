#!/usr/bin/env python3
"""Writes a Shift-JIS Morivel script that registers N labels, stores N dictionary keys or nests
N blocks.

Usage: generate.py labels|keys|nesting N OUT.mrv
The labels script defines *L0 ... *L{N-1} and jumps to the last one; the keys script assigns
N entries of one dictionary and reads the last one back; the nesting script runs N nested もし
blocks around a 1 MB text. Each prints one line to check.
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


def nesting(n):
    body = "B=「%s」" % ("x" * 1000000)
    return ["A=1", "もしA=1ならば(" * n + body + ")" * n, "「{文字数(B)}」を表示"]


def main():
    kind, n, out = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    lines = {"labels": labels, "keys": keys, "nesting": nesting}[kind](n)
    with open(out, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp932"))


if __name__ == "__main__":
    main()
