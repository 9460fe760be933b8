#!/usr/bin/env python3
"""Writes the benchmark table: a header and N rows of id, name, score, date, city (Shift-JIS CSV).

The texts avoid the bytes that a here-document literal treats specially ("\\", "{", "}", "|"),
also as trail bytes, so that run_tables.sh can embed the table in a script unchanged.
"""

import argparse
import random

SPECIAL = {0x5C, 0x7B, 0x7D, 0x7C}
NAME_CHARS = "山田中川佐藤鈴木高橋伊渡辺小林加吉松井上木村清水森池谷石原大野あいうえおかきくけこアイウエオカキクケコ"
CITIES = ["東京", "大阪", "名古屋", "札幌", "福岡", "仙台", "広島", "Kyoto", "Nara", "Kobe"]


def safe(text: str) -> bool:
    return not any(b in SPECIAL for b in text.encode("cp932"))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("output")
    parser.add_argument("--rows", type=int, default=100_000)
    parser.add_argument("--seed", type=int, default=20240501)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    chars = [c for c in NAME_CHARS if safe(c)]
    cities = [c for c in CITIES if safe(c)]
    lines = ["id,name,score,date,city"]
    for i in range(args.rows):
        name = "".join(rng.choice(chars) for _ in range(rng.randint(2, 5)))
        score = f"{rng.uniform(-1000, 100000):.2f}"
        date = f"{rng.randint(1990, 2030)}/{rng.randint(1, 12):02d}/{rng.randint(1, 28):02d}"
        lines.append(f"{i},{name},{score},{date},{rng.choice(cities)}")
    with open(args.output, "wb") as out:
        out.write(("\r\n".join(lines) + "\r\n").encode("cp932"))


if __name__ == "__main__":
    main()
