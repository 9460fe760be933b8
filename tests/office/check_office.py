#!/usr/bin/env python3
"""Drives a real headless LibreOffice through the spreadsheet and word-processor commands and reads
every written file back with Python (openpyxl, csv with cp932, python-docx, zipfile).

One office serves the whole test: the first script starts it (on a pipe and a profile of this
test), the later scripts attach to it, and the last one quits it. Whatever is left of it at the
end is killed and counted as a failure.

Usage: check_office.py --morivel PATH
"""

import argparse
import csv
import io
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path
from xml.etree import ElementTree

# Debian's Python modules, when the test runs under another Python.
sys.path.append("/usr/lib/python3/dist-packages")
import docx  # noqa: E402
import openpyxl  # noqa: E402

TABLE_NS = "urn:oasis:names:tc:opendocument:xmlns:table:1.0"
TEXT_NS = "urn:oasis:names:tc:opendocument:xmlns:text:1.0"
OFFICE_NS = "urn:oasis:names:tc:opendocument:xmlns:office:1.0"


class Office:
    """The test's office: its pipe, its profile, and the scripts run against it."""

    def __init__(self, morivel: Path, work: Path):
        self.morivel = morivel
        self.work = work
        self.pipe = f"morivel_office_test_{os.getpid()}"
        self.env = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "MORIVEL_PRINT_PDF"):
            self.env.pop(name, None)
        runtime = work / ".runtime"
        runtime.mkdir(mode=0o700)
        self.env.update({
            "QT_QPA_PLATFORM": "offscreen", "LC_ALL": "C.UTF-8", "HOME": str(work),
            "XDG_RUNTIME_DIR": str(runtime), "MORIVEL_OFFICE_PIPE": self.pipe,
            "MORIVEL_OFFICE_PROFILE": str(work / "office profile"),
            "LSAN_OPTIONS": f"suppressions={Path(__file__).with_name('lsan.supp')}:print_suppressions=0",
        })

    def run(self, name: str, text: str, expect_error: bool = False, answers: str = "",
            **extra_env) -> str:
        """Runs a script; `answers` are the lines typed at its questions."""
        script = self.work / name
        script.write_bytes(text.replace("\n", "\r\n").encode("cp932"))
        env = dict(self.env, **extra_env)
        run = subprocess.run([str(self.morivel), "-console", str(script)], cwd=self.work,
                             input=answers.encode(), capture_output=True, timeout=240, env=env)
        output = (run.stdout + run.stderr).decode("utf-8", "replace").replace("\r\n", "\n")
        failed = run.returncode != 0 or "エラー" in output
        if failed != expect_error:
            raise AssertionError(f"{name} ({run.returncode}):\n{output}")
        return output

    def processes(self, pipe: str = "") -> list:
        """Process ids whose command line names this test's pipe (or `pipe`)."""
        pipe = pipe or self.pipe
        found = []
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit():
                continue
            try:
                cmdline = (entry / "cmdline").read_bytes()
            except OSError:
                continue
            if f"name={pipe};".encode() in cmdline:
                found.append(int(entry.name))
        return found


def expect(actual, wanted, what: str):
    if actual != wanted:
        raise AssertionError(f"{what}: got {actual!r}, wanted {wanted!r}")


def odf_table(path: Path) -> list:
    """The first sheet of an ODF spreadsheet as rows of cell texts (repeats expanded)."""
    with zipfile.ZipFile(path) as z:
        root = ElementTree.fromstring(z.read("content.xml"))
    table = root.find(f".//{{{TABLE_NS}}}table")
    rows = []
    for row in table.iter(f"{{{TABLE_NS}}}table-row"):
        cells = []
        for cell in row.iter(f"{{{TABLE_NS}}}table-cell"):
            repeat = min(int(cell.get(f"{{{TABLE_NS}}}number-columns-repeated", "1")), 20)
            text = "\n".join("".join(p.itertext()) for p in cell.iter(f"{{{TEXT_NS}}}p"))
            cells += [text] * repeat
        rows.append(cells)
    return rows


def make_odf(path: Path, mimetype: str, body: str, basic: str = ""):
    """A minimal ODF file; `basic` becomes the module Module1 of the document's library Standard."""
    content = (f'<?xml version="1.0" encoding="UTF-8"?><office:document-content '
               f'xmlns:office="{OFFICE_NS}" xmlns:text="{TEXT_NS}" xmlns:table="{TABLE_NS}" '
               f'office:version="1.2"><office:body>{body}</office:body></office:document-content>')
    entries = {"content.xml": content}
    if basic:
        lib = "http://openoffice.org/2000/library"
        entries["Basic/script-lc.xml"] = (
            f'<?xml version="1.0" encoding="UTF-8"?><library:libraries xmlns:library="{lib}" '
            'xmlns:xlink="http://www.w3.org/1999/xlink"><library:library library:name="Standard" '
            'library:link="false"/></library:libraries>')
        entries["Basic/Standard/script-lb.xml"] = (
            f'<?xml version="1.0" encoding="UTF-8"?><library:library xmlns:library="{lib}" '
            'library:name="Standard" library:readonly="false" '
            'library:passwordprotected="false"><library:element library:name="Module1"/>'
            '</library:library>')
        module = basic.replace("&", "&amp;").replace("<", "&lt;").replace('"', "&quot;")
        entries["Basic/Standard/Module1.xml"] = (
            '<?xml version="1.0" encoding="UTF-8"?><script:module '
            'xmlns:script="http://openoffice.org/2000/script" script:name="Module1" '
            f'script:language="StarBasic">{module}</script:module>')
    manifest = ('<?xml version="1.0" encoding="UTF-8"?><manifest:manifest '
                'xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">'
                f'<manifest:file-entry manifest:full-path="/" manifest:media-type="{mimetype}"/>')
    for name in entries:
        manifest += (f'<manifest:file-entry manifest:full-path="{name}" '
                     'manifest:media-type="text/xml"/>')
    manifest += "</manifest:manifest>"
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("mimetype", mimetype, compress_type=zipfile.ZIP_STORED)
        for name, data in entries.items():
            z.writestr(name, data, compress_type=zipfile.ZIP_DEFLATED)
        z.writestr("META-INF/manifest.xml", manifest, compress_type=zipfile.ZIP_DEFLATED)


def make_macro_sheet(path: Path, basic: str) -> None:
    """An ODF spreadsheet with one empty sheet "S" and `basic` as its Basic module."""
    make_odf(path, "application/vnd.oasis.opendocument.spreadsheet",
             '<office:spreadsheet><table:table table:name="S"><table:table-row><table:table-cell/>'
             '</table:table-row></table:table></office:spreadsheet>', basic)


# ---- the spreadsheet --------------------------------------------------------------------------

CSV_BLOCK = '名前,数量,備考\r\n表示ソ,12,"a,b"\r\nりんご,3.5,"say ""hi"""'

FILL_SHEET = """エクセル起動
(0,0)を「日本語の表」にエクセル設定
(1,0)を「3.25」にエクセル設定
(2,1)を「42」にエクセル設定
(3,0)を『=C2*2』にエクセル設定
ブロック=『%s』
ブロックを(0,3)へエクセル一括設定
A=「」
(3,0)をAにエクセル得る
Aを表示
(0,0)をAにエクセル得る
Aを表示
(0,3)から(2,5)をエクセル一括取得
それを表示
「結果.xlsx」へエクセル保存
「結果.ods」へエクセル保存
「結果.csv」へエクセル保存
「結果.xls」へエクセル保存
「結果.pdf」へエクセル保存
「形式.txt」へエクセルCSV形式保存
""" % CSV_BLOCK.replace("\r\n", "』&改行&『")

EXPECTED_ROWS = [["名前", "数量", "備考"], ["表示ソ", 12, "a,b"], ["りんご", 3.5, 'say "hi"']]


def check_filled_sheet(office: Office):
    before = office.processes()
    expect(before, [], "office processes before the first script")
    output = office.run("fill.mrv", FILL_SHEET)
    expect(output, "84\n日本語の表\n" + CSV_BLOCK.replace("\r\n", "\n") + "\n\n", "fill output")

    sheet = openpyxl.load_workbook(office.work / "結果.xlsx").active
    expect(sheet["A1"].value, "日本語の表", "xlsx A1")
    expect(sheet["B1"].value, 3.25, "xlsx B1")
    expect(sheet["C2"].value, 42, "xlsx C2")
    expect(sheet["D1"].value, "=C2*2", "xlsx D1 formula")
    cached = openpyxl.load_workbook(office.work / "結果.xlsx", data_only=True).active
    expect(cached["D1"].value, 84, "xlsx D1 value")
    for i, row in enumerate(EXPECTED_ROWS):
        expect([sheet.cell(row=4 + i, column=1 + j).value for j in range(3)], row, f"xlsx row {4 + i}")

    ods = odf_table(office.work / "結果.ods")
    expect(ods[0][:4], ["日本語の表", "3.25", "", "84"], "ods row 1")
    expect(ods[1][2], "42", "ods C2")
    for i, row in enumerate(EXPECTED_ROWS):
        expect(ods[3 + i][:3], [str(v) for v in row], f"ods row {4 + i}")

    expect((office.work / "結果.xls").read_bytes()[:4], b"\xd0\xcf\x11\xe0", "xls header")
    expect((office.work / "結果.pdf").read_bytes()[:5], b"%PDF-", "pdf header")
    for name in ("結果.csv", "形式.txt"):
        rows = list(csv.reader(io.StringIO((office.work / name).read_bytes().decode("cp932"))))
        expect(rows[0][:4], ["日本語の表", "3.25", "", "84"], f"{name} row 1")
        expect(rows[1][2], "42", f"{name} C2")
        for i, row in enumerate(EXPECTED_ROWS):
            expect(rows[3 + i][:3], [str(v) for v in row], f"{name} row {4 + i}")
    return before


def prepare_workbook(work: Path):
    book = openpyxl.Workbook()
    book.active.title = "Sheet1"
    book.active["A1"] = "最初のシート"
    data = book.create_sheet("データ")
    for row in [["品名", "値段", "メモ"], ["ソフト", 1200, 'x "y", z'], ["", 0.5, "改\n行"]]:
        data.append(row)
    book.save(work / "用意.xlsx")
    make_macro_sheet(work / "macro.ods",
                     'Sub Fill\n  ThisComponent.Sheets(0).getCellByPosition(5, 5).setString("マクロ済み")\n'
                     'End Sub\n')


READ_PREPARED = """エクセル起動
「用意.xlsx」をエクセル開く
「用意」の「データ」をエクセルアクティブ
(0,0)から(2,2)をエクセル一括取得
それを表示
「Sheet1」をエクセルシートアクティブ
A=「」
(0,0)をAにエクセル得る
Aを表示
(1,1)から(0,0)をエクセルセル選択
エクセル印刷
エクセル印刷プレビュー
「結果.csv」をエクセル開く
(0,3)から(2,4)をエクセル一括取得
それを表示
「macro.ods」をエクセル開く
「Fill」をエクセルマクロ実行
(5,5)をAにエクセル得る
Aを表示
(5,5)を「」にエクセル設定
「Module1.Fill」をエクセルマクロ実行
(5,5)をAにエクセル得る
Aを表示
"""


def check_prepared_workbook(office: Office, first_processes: list):
    prepare_workbook(office.work)
    pdf = office.work / "印刷.pdf"
    output = office.run("read.mrv", READ_PREPARED, MORIVEL_PRINT_PDF=str(pdf))
    expect(output, '品名,値段,メモ\nソフト,1200,"x ""y"", z"\n,0.5,"改\n行"\n\n'
                   "最初のシート\n名前,数量,備考\n表示ソ,12,\"a,b\"\n\nマクロ済み\nマクロ済み\n",
           "bulk get output")
    expect(pdf.read_bytes()[:5], b"%PDF-", "printed PDF")
    # Attached, not started again: the office's processes are the ones the first script left.
    expect(sorted(office.processes()), sorted(first_processes), "office processes after attaching")


SPREADSHEET_FAILURES = [
    ("「無いシート」をエクセルシートアクティブ", "Excelのエラー。"),
    ("エクセル貼り付け", "Excelのエラー。LibreOffice runs headless"),
    ("「無いマクロ」をエクセルマクロ実行", "Excelのエラー。"),
    ("「結果.abc」へエクセル保存", "Excelのエラー。"),
    ("「無い.xlsx」をエクセル開く", "Excelのエラー。"),
    ("(1,2,3)を「x」にエクセル設定", "座標の指定エラー"),
    ("(-1,0)を「x」にエクセル設定", "Excelのエラー。"),
    ("(0,0)から(16000,1000000)をエクセル一括取得", "Excelのエラー。the range has more than"),
    ("(0,0)を未定義語にエクセル得る", "単語\"未定義語\"は、定義されていません。"),
]


def check_spreadsheet_failures(office: Office):
    for statement, message in SPREADSHEET_FAILURES:
        output = office.run("fail.mrv", "エクセル起動\n" + statement + "\n", expect_error=True)
        if message not in output:
            raise AssertionError(f"{statement}: {output}")


# ---- the word processor -----------------------------------------------------------------------

WRITE_DOCUMENT = """ワード起動
「一行目の本文」をワード文字挿入
改行&「二行目は表示ソ」をワード文字挿入
ワード本文を得る
それを表示
「文書.docx」へワード保存
「文書.odt」へワード保存
「文書.txt」へワード保存
「文書.rtf」へワード保存
「文書.doc」へワード保存
「差し込み.odt」をワード開く
「宛名」を「山田様」にワードブックマーク設定
「Greet」をワードマクロ実行
ワード本文を得る
それを表示
「差し込み済み.docx」へワード保存
ワード終了
"""


def check_documents(office: Office):
    make_odf(office.work / "差し込み.odt", "application/vnd.oasis.opendocument.text",
             '<office:text><text:p>拝啓 <text:bookmark text:name="宛名"/>へ</text:p></office:text>',
             "Sub Greet\n  ThisComponent.getText().insertString(ThisComponent.getText().getEnd(),"
             ' "敬具", False)\nEnd Sub\n')
    # Quitting ends the suite; a start command right after starts it again.
    office.run("quit.mrv", "エクセル起動\nエクセル終了\nワード起動\nワード終了\nエクセル起動\nエクセル終了\n")
    wait_for_end(office, "after エクセル終了")
    output = office.run("write.mrv", WRITE_DOCUMENT)
    wait_for_end(office, "after ワード終了")
    expect(output, "一行目の本文\n二行目は表示ソ\n拝啓 山田様へ敬具\n", "document output")

    paragraphs = [p.text for p in docx.Document(office.work / "文書.docx").paragraphs]
    expect(paragraphs, ["一行目の本文", "二行目は表示ソ"], "docx paragraphs")
    with zipfile.ZipFile(office.work / "文書.odt") as z:
        root = ElementTree.fromstring(z.read("content.xml"))
    odt = ["".join(p.itertext()) for p in root.iter(f"{{{TEXT_NS}}}p")]
    expect(odt, ["一行目の本文", "二行目は表示ソ"], "odt paragraphs")
    expect((office.work / "文書.txt").read_bytes(),
           "一行目の本文\r\n二行目は表示ソ\r\n".encode("cp932"), "txt bytes")
    expect((office.work / "文書.rtf").read_bytes()[:5], b"{\\rtf", "rtf header")
    expect((office.work / "文書.doc").read_bytes()[:4], b"\xd0\xcf\x11\xe0", "doc header")
    filled = [p.text for p in docx.Document(office.work / "差し込み済み.docx").paragraphs]
    expect(filled, ["拝啓 山田様へ敬具"], "filled docx")


def wait_for_end(office: Office, when: str):
    deadline = time.monotonic() + 30
    while office.processes() and time.monotonic() < deadline:
        time.sleep(0.2)
    expect(office.processes(), [], f"office processes {when}")


# ---- the whole run ----------------------------------------------------------------------------

def check_without_office(morivel: Path, work: Path):
    """Before any start command, and in a program built without the plug-in beside it."""
    office = Office(morivel, work)
    out = office.run("early.mrv", "(0,0)を「x」にエクセル設定\n", expect_error=True)
    if "Excelのエラー。エクセル起動がまだ実行されていません。" not in out:
        raise AssertionError(out)
    out = office.run("early2.mrv", "ワード本文を得る\n", expect_error=True)
    if "Wordのエラー。ワード起動がまだ実行されていません。" not in out:
        raise AssertionError(out)
    alone = work / "alone"
    alone.mkdir()
    shutil.copy2(morivel, alone / morivel.name)
    shutil.copy2(morivel.with_name("morivel-qt"), alone / "morivel-qt")
    office.morivel = alone / morivel.name
    out = office.run("missing.mrv", "ワード起動\n", expect_error=True)
    if "Wordのエラー。LibreOfficeが使えません。" not in out:
        raise AssertionError(out)


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--morivel", required=True, type=Path)
    morivel = parser.parse_args().morivel.resolve()
    with tempfile.TemporaryDirectory(prefix="morivel-office-") as tmp:
        work = Path(tmp)
        (work / "early").mkdir()
        check_without_office(morivel, work / "early")
        office = Office(morivel, work)
        # The user's own office (on the default pipe) is never touched by the test.
        users_pipe = f"morivel_office_{os.getuid()}"
        users_office = office.processes(users_pipe)
        try:
            first = check_filled_sheet(office)
            expect(len(first) == 0 and len(office.processes()) > 0, True, "office started")
            check_prepared_workbook(office, office.processes())
            check_spreadsheet_failures(office)
            check_documents(office)
            expect(office.processes(users_pipe), users_office, "offices on the user's pipe")
        finally:
            for pid in office.processes():
                os.kill(pid, signal.SIGKILL)
    print("office automation checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
