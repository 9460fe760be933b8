#!/usr/bin/env python3
"""The console's numbered printer choice against a print server of the test's own: the printers
are listed by number, a number chooses one, anything else chooses none; a printer whose name ends
in ".pdf" prints to that PDF file and a real queue receives the job.

Usage: check_console_printer.py --morivel PATH
"""

import argparse
import os
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))
from private_cups import PrivateCups, available  # noqa: E402

SKIP = 77


def run(morivel: Path, work: Path, env: dict, script: str, answers: str) -> str:
    (work / "p.mrv").write_bytes(script.replace("\n", "\r\n").encode("cp932"))
    done = subprocess.run([str(morivel), "-console", "p.mrv"], cwd=work, input=answers.encode(),
                          capture_output=True, timeout=120, env=env)
    out = (done.stdout + done.stderr).decode("utf-8", "replace").replace("\r\n", "\n")
    if done.returncode != 0 or "エラー" in out:
        raise AssertionError(f"script failed ({done.returncode}):\n{out}")
    return out


def expect(condition: bool, what: str):
    if not condition:
        raise AssertionError(what)


def pdf_text(path: Path) -> str:
    return subprocess.run(["pdftotext", str(path), "-"], capture_output=True, check=True,
                          timeout=60).stdout.decode("utf-8")


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--morivel", required=True, type=Path)
    morivel = parser.parse_args().morivel.resolve()
    if not available():
        print("cupsd is not installed (scripts/setup.sh installs cups-daemon): skipped")
        return SKIP
    with tempfile.TemporaryDirectory(prefix="morivel-printer-") as tmp:
        work = Path(tmp)
        with PrivateCups(work / "cups", ["first", "office.pdf"]) as cups:
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8", **cups.env())
            env.pop("MORIVEL_PRINT_PDF", None)

            # The second printer by number; 簡易印刷 asks again and gets the same answer.
            out = run(morivel, work, env, "プリンタ設定\nそれを表示\n"
                      "「一行目」&改行&「二行目」を簡易印刷\n", "2\n2\n")
            expect("1: first\n2: office.pdf\n" in out, f"numbered list: {out}")
            expect("office.pdf\n1\n" in out, f"chosen: {out}")
            text = pdf_text(work / "office.pdf")
            expect("一行目" in text and "二行目" in text, f"printed text: {text!r}")

            # A number past the list and a name that is no printer choose nothing.
            for answer in ("3\n", "second\n", ""):
                out = run(morivel, work, env, "プリンタ設定\nそれを表示\n", answer)
                expect(out.rstrip().endswith("\n0"), f"answer {answer!r}: {out}")

            # A real queue, chosen by its name, receives the job; no PDF file is written.
            (work / "office.pdf").unlink()
            spool = work / "cups" / "spool"
            before = set(spool.iterdir())
            run(morivel, work, env, "「紙へ」を簡易印刷\n", "first\n")
            # The queue keeps each job's document as a data file "dNNNNN-NNN".
            jobs = [p for p in set(spool.iterdir()) - before if p.name.startswith("d")]
            expect(len(jobs) == 1, f"jobs of the queue: {sorted(spool.iterdir())}")
            expect(not (work / "office.pdf").exists(), "a PDF file for a real printer")
    print("console printer choice checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
