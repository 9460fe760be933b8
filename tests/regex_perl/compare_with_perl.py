#!/usr/bin/env python3
"""Compares the regex commands with perl on generated patterns and texts.

The regex commands follow Perl's syntax and semantics, including how a global operation goes on
after an empty match. A fixed seed makes the cases the same on every run. Each case runs
正規表現置換 with s///g, 正規表現マッチ with m//g and 正規表現区切る; perl runs the same operations
and both print the results in one format.
"""

import argparse
import os
import random
import subprocess
import sys
import tempfile
from pathlib import Path

PIECES = ["a", "b", "x", ".", "a*", "b*?", "a+?", "(?:ab)?", "a|b", "^", "(?:$)", "[ab]",
          "x?", "a{0,2}", "b??", "(?:a|)", "\\b", "(?=a)", "(?!b)", "[^a]*"]
CASES = 300
SEED = 20261209


def make_cases():
    rng = random.Random(SEED)
    cases = []
    for _ in range(CASES):
        pattern = "".join(rng.choice(PIECES) for _ in range(rng.randint(1, 3)))
        text = "".join(rng.choice("abx") for _ in range(rng.randint(0, 5)))
        cases.append((pattern, text))
    return cases


def script_for(cases):
    lines = []
    for k, (pattern, text) in enumerate(cases):
        lines.append(f"『{text}』を『s/{pattern}/[$&]/g』で正規表現置換")
        lines.append(f"「{k}s:{{マッチ数}}:{{それ}}」を表示")
        lines.append(f"『{text}』を『m/{pattern}/g』で正規表現マッチ")
        lines.append(f"「{k}m:{{マッチ数}}:{{それ}}」を表示")
        lines.append(f"『{text}』を『{pattern}』で正規表現区切る")
        lines.append(f"「{k}p:{{マッチ数}}:{{それ}}」を表示")
    return "\r\n".join(lines) + "\r\n"


def perl_program(cases):
    out = ["use strict; use warnings; no warnings 'regexp';"]
    for k, (pattern, text) in enumerate(cases):
        t = text.replace("\\", "\\\\").replace("'", "\\'")
        out.append(f"{{ my $t = '{t}'; my $n = ($t =~ s/{pattern}/[$&]/g) || 0;"
                   f" print \"{k}s:$n:$t\\n\"; }}")
        out.append(f"{{ my @m = ('{t}' =~ /{pattern}/g); my $n = @m;"
                   f" print \"{k}m:$n:\", join(\"\\n\", @m), \"\\n\"; }}")
        out.append(f"{{ my @p = split /{pattern}/, '{t}'; my $n = @p;"
                   f" print \"{k}p:$n:\", join(\"\\n\", @p), \"\\n\"; }}")
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--morivel", required=True)
    args = parser.parse_args()
    morivel = str(Path(args.morivel).resolve())
    cases = make_cases()
    perl = subprocess.run(["perl", "-e", perl_program(cases)], capture_output=True, timeout=60)
    if perl.returncode != 0:
        print(perl.stderr.decode(errors="replace"))
        return 1
    expected = perl.stdout.decode()
    with tempfile.TemporaryDirectory() as folder:
        script = Path(folder) / "compare.mrv"
        script.write_bytes(script_for(cases).encode("cp932"))
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", HOME=folder)
        run = subprocess.run([morivel, "-console", str(script)], cwd=folder, env=env,
                             capture_output=True, timeout=60)
    actual = run.stdout.decode()
    if run.returncode != 0:
        print(run.stderr.decode(errors="replace"))
        return 1
    expected_lines, actual_lines = expected.split("\n"), actual.split("\n")
    for k, (want, got) in enumerate(zip(expected_lines, actual_lines)):
        if want != got:
            print(f"line {k + 1}: perl {want!r}, morivel {got!r}")
            return 1
    if len(expected_lines) != len(actual_lines):
        print(f"perl printed {len(expected_lines)} lines, morivel {len(actual_lines)}")
        return 1
    print(f"{CASES} patterns agree with perl")
    return 0


if __name__ == "__main__":
    sys.exit(main())
