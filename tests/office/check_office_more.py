#!/usr/bin/env python3
"""More of the office commands against a real headless LibreOffice: a start that fails ends at
once with the reason, date cells read as the text they show, a Basic routine with a Japanese
name runs, and the printer chosen with the printer setup is where エクセル印刷 and ワード印刷
print (PDF printers of a print server of the test's own).

Usage: check_office_more.py --morivel PATH
"""

import argparse
import datetime
import os
import signal
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).parent))
sys.path.insert(0, str(Path(__file__).parent.parent / "printing"))
from check_office import Office, expect, make_macro_sheet, wait_for_end  # noqa: E402
from private_cups import PrivateCups, available  # noqa: E402

sys.path.append("/usr/lib/python3/dist-packages")
import openpyxl  # noqa: E402


def check_failed_start(office: Office):
    """A suite that ends before it answers is reported at once, with its exit and its words."""
    cases = [("exit 3", "exit status 3: cannot open display :99"),
             ("kill -SEGV $$", "ended by signal 11: cannot open display :99")]
    for i, (ending, reason) in enumerate(cases):
        fake = office.work / f"fake_office_{i}"
        fake.write_text(f"#!/bin/sh\necho 'cannot open display :99' >&2\n{ending}\n")
        fake.chmod(0o755)
        out = office.run("failed.mrv", "エクセル起動\n", expect_error=True,
                         MORIVEL_OFFICE_PROGRAM=str(fake), MORIVEL_OFFICE_PIPE=f"nobody_{i}")
        wanted = "Excelのエラー。LibreOffice ended before it answered on pipe nobody_%d (%s)" % (
            i, reason)
        if wanted not in out:
            raise AssertionError(f"{ending}: {out}")


def prepare(work: Path):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet["A1"] = datetime.date(2024, 3, 5)
    sheet["A1"].number_format = "yyyy/mm/dd"
    sheet["B1"] = 12.5
    sheet["C1"] = datetime.time(13, 45)
    sheet["C1"].number_format = "hh:mm"
    sheet["D1"] = 45000
    book.save(work / "日付.xlsx")
    make_macro_sheet(work / "和名.ods",
                     'Option Compatible\nSub 表を埋める\n'
                     '  ThisComponent.Sheets(0).getCellByPosition(1, 1).setString("実行済")\nEnd Sub\n')
    # Without "Option Compatible" the suite's Basic does not compile such a name at all.
    make_macro_sheet(work / "素の.ods",
                     'Sub 表を埋める\n  ThisComponent.Sheets(0).getCellByPosition(1, 1).setString("x")\n'
                     "End Sub\n")


SCRIPT = """エクセル起動
「日付.xlsx」をエクセル開く
A=「」
(0,0)をAにエクセル得る
Aを表示
(2,0)をAにエクセル得る
Aを表示
(0,0)から(3,0)をエクセル一括取得
それを表示
「和名.ods」をエクセル開く
「表を埋める」をエクセルマクロ実行
(1,1)をAにエクセル得る
Aを表示
(1,1)を「」にエクセル設定
「Module1.表を埋める」をエクセルマクロ実行
(1,1)をAにエクセル得る
Aを表示
プリンタ設定
(0,0)を「表の印刷」にエクセル設定
エクセル印刷
プリンタ設定
ワード起動
「文書の印刷」をワード文字挿入
ワード印刷
ワード終了
"""


def pdf_text(path: Path) -> str:
    return subprocess.run(["pdftotext", str(path), "-"], capture_output=True, check=True,
                          timeout=60).stdout.decode("utf-8")


def check_with_office(office: Office):
    prepare(office.work)
    # This run starts the suite, the next one attaches to it and ends it.
    out = office.run("plain.mrv", "エクセル起動\n「素の.ods」をエクセル開く\n"
                     "「表を埋める」をエクセルマクロ実行\n", expect_error=True)
    if ('Excelのエラー。macro "表を埋める" cannot be run: LibreOffice Basic knows routines named '
            'beyond ASCII only in modules that begin with "Option Compatible"') not in out:
        raise AssertionError(out)
    with PrivateCups(office.work / "cups", ["first", "calc.pdf", "writer.pdf"]) as cups:
        # The list is calc.pdf, first, writer.pdf: the answers choose calc.pdf for the
        # spreadsheet and writer.pdf for the document.
        out = office.run("more.mrv", SCRIPT, answers="1\n3\n", **cups.env())
    # 45000 is a plain number: it stays one.
    expect(out.split("印刷するプリンタを選んでください。")[0],
           "2024/03/05\n13:45\n2024/03/05,12.5,13:45,45000\n\n実行済\n実行済\n", "script output")
    expect("表の印刷" in pdf_text(office.work / "calc.pdf"), True, "spreadsheet printed to calc.pdf")
    expect("文書の印刷" in pdf_text(office.work / "writer.pdf"), True,
           "document printed to writer.pdf")


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--morivel", required=True, type=Path)
    morivel = parser.parse_args().morivel.resolve()
    with tempfile.TemporaryDirectory(prefix="morivel-office-more-") as tmp:
        office = Office(morivel, Path(tmp))
        try:
            check_failed_start(office)
            if not available():
                print("cupsd is not installed (scripts/setup.sh installs cups-daemon): the "
                      "printer checks are skipped")
                return 77
            check_with_office(office)
            wait_for_end(office, "after ワード終了")
        finally:
            for pid in office.processes():
                os.kill(pid, signal.SIGKILL)
    print("more office checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
