#!/usr/bin/python3
"""関連付ける and 関連付けを削除 on the desktop's MIME files, undone completely."""

import os
import stat
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from autolib import ScriptFolder  # noqa: E402

LOW = ("-security", "low")


class AssociationTest(unittest.TestCase):
    def setUp(self):
        self.folder = ScriptFolder()
        self.program = self.folder.dir / "開く $prog.sh"
        self.program.write_text("#!/bin/sh\n")
        self.program.chmod(self.program.stat().st_mode | stat.S_IXUSR)
        data = self.folder.home / ".local/share"
        self.desktop = data / "applications/morivel-abc.desktop"
        self.package = data / "mime/packages/morivel-abc.xml"
        self.mimeapps = self.folder.home / ".config/mimeapps.list"
        self.mimeapps.parent.mkdir(parents=True, exist_ok=True)
        self.mimeapps.write_text("[Default Applications]\ntext/plain=editor.desktop\n")

    def tearDown(self):
        self.folder.close()

    def run_ok(self, source, **kwargs):
        status, out, err = self.folder.run(source, **kwargs)
        self.assertEqual(status, 0, err)
        return out

    def test_associate_with_or_without_dot_then_remove(self):
        out = self.run_ok(f"「abc」を『{self.program}』に「試験の文書」として関連付ける\n",
                          stdin=b"1\n")
        self.assertIn(f'拡張子"abc"を、"{self.program}"へ関連付けます。', out)
        desktop = self.desktop.read_text()
        self.assertIn('Exec="' + str(self.program).replace("$", "\\\\$") + '" %f\n', desktop)
        self.assertIn("Name=試験の文書\n", desktop)
        self.assertIn("MimeType=application/x-morivel-abc;\n", desktop)
        package = self.package.read_text()
        self.assertIn('<glob pattern="*.abc"/>', package)
        self.assertIn("<comment>試験の文書</comment>", package)
        self.assertEqual(self.mimeapps.read_text(),
                         "[Default Applications]\ntext/plain=editor.desktop\n"
                         "application/x-morivel-abc=morivel-abc.desktop\n")
        first = (desktop, package, self.mimeapps.read_text())

        out = self.run_ok(f"「.abc」を『{self.program}』に「試験の文書」として関連付ける\n",
                          stdin=b"1\n")
        self.assertIn('既に関連付けされている拡張子"abc"を、', out)
        self.assertEqual((self.desktop.read_text(), self.package.read_text(),
                          self.mimeapps.read_text()), first)

        out = self.run_ok("「.abc」の関連付けを削除\n", stdin=b"1\n")
        self.assertIn('拡張子"abc"の関連付けを削除します。', out)
        self.assertFalse(self.desktop.exists())
        self.assertFalse(self.package.exists())
        self.assertEqual(self.mimeapps.read_text(),
                         "[Default Applications]\ntext/plain=editor.desktop\n")

    def test_refusals_and_bad_arguments_change_nothing(self):
        self.run_ok(f"「abc」を『{self.program}』に「x」として関連付ける\n")  # no answer: no
        self.assertFalse(self.desktop.exists())
        self.run_ok(f"「abc」を『{self.program}』に「x」として関連付ける\n",
                    options=("-security", "high"))
        self.assertFalse(self.desktop.exists())
        status, _, err = self.folder.run("「abc」を「無いプログラム」に「x」として関連付ける\n",
                                         options=LOW)
        self.assertIn(':"無いプログラム"が存在しません。', err)
        status, _, err = self.folder.run(
            f"『../../x』を『{self.program}』に「x」として関連付ける\n", options=LOW)
        self.assertIn("命令の引数に誤りがあります。", err)
        self.assertEqual(list((self.folder.home / ".local/share").rglob("*.desktop")), [])
        self.run_ok("「」を「」に「」として関連付ける\n", options=LOW)


if __name__ == "__main__":
    unittest.main()
