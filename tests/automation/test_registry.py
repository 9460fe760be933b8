#!/usr/bin/python3
"""The registry store: typed values, Japanese key names, subkeys, deletions, the security policy
and two processes writing at once."""

import os
import sqlite3
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from autolib import ScriptFolder, stop  # noqa: E402

LOW = ("-security", "low")


class RegistryTest(unittest.TestCase):
    def setUp(self):
        self.folder = ScriptFolder()

    def tearDown(self):
        self.folder.close()

    def run_low(self, source):
        status, out, err = self.folder.run(source, options=LOW)
        self.assertEqual(status, 0, err)
        return out.rstrip("\n").split("\n")

    def store(self):
        return self.folder.home / ".config/morivel/registry.sqlite3"

    def test_every_value_type_round_trips_under_japanese_keys(self):
        # 表, ソ and 能 end in the byte 0x5C, which must never split a key.
        self.run_low(
            "HKEY_CURRENT_USER の『Software\\表ソ\\能』をレジストリ開く\n"
            "それは『値は\\そのまま』\n「文字」にレジストリ書く\n"
            "それは「予定表」\n「表」にレジストリ書く\n"
            "「-5」を「数」にレジストリにDWORDを書く\n"
            "「4294967297」を「大きい数」にレジストリにDWORDを書く\n"
            "『AB\\0CD』を「バイナリ」に「3」つレジストリにバイナリを書く\n"
            "レジストリ閉じる\n")
        lines = self.run_low(
            "HKEY_CURRENT_USER の『SOFTWARE\\表ソ\\能』をレジストリ開く\n"
            "「表」をレジストリ読む\nそれを表示\n「文字」をレジストリ読む\nそれを表示\n"
            "「数」をレジストリのDWORDを読む\nそれを表示\n"
            "「大きい数」をレジストリのDWORDを読む\nそれを表示\n"
            "「バイナリ」を「100」つレジストリのバイナリを読む\n「[{それ}]」を表示\n"
            "「無い」をレジストリ読む\n「[{それ}]」を表示\n"
            "HKEY_CURRENT_USER の『Software\\表ソ』をレジストリ開く\n"
            "レジストリサブキー取得\nそれを表示\n"
            "HKEY_LOCAL_MACHINE の『Software\\表ソ\\能』をレジストリ開く\n"
            "「表」をレジストリ読む\n「[{それ}]」を表示\n")
        self.assertEqual(lines, ["予定表", "値は\\そのまま", "-5", "1", "[AB\\]", "[]", "能", "", "[]"])

    def test_deletions_and_their_failures(self):
        lines = self.run_low(
            "1の『A\\B\\C』をレジストリ開く\nそれは「x」\n「v」にレジストリ書く\n"
            "1の『A\\D』をレジストリ開く\n"
            "1の『A』をレジストリ開く\nレジストリサブキー取得\nそれを表示\n"
            "「B」をレジストリキー削除\nレジストリサブキー取得\nそれを表示\n"
            "1の『A\\B\\C』をレジストリ開く\n「v」をレジストリ読む\n「[{それ}]」を表示\n"
            "それは「w」\n「v」にレジストリ書く\n「v」をレジストリ値削除\n"
            "「v」をレジストリ読む\n「[{それ}]」を表示\n")
        self.assertEqual(lines, ["B", "D", "", "D", "", "[]", "[]"])
        status, _, err = self.folder.run("1の『A』をレジストリ開く\n「無い」をレジストリ値削除\n",
                                         options=LOW)
        self.assertIn('"無い"が削除できません。', err)

    def test_errors_without_a_key_and_for_a_bad_root(self):
        status, _, err = self.folder.run("「v」にレジストリ書く\n", options=LOW)
        self.assertNotEqual(status, 0)
        self.assertIn("レジストリが開かれていません。", err)
        for root in ("-1", "7", "x"):
            status, _, err = self.folder.run(f"「{root}」の『A』をレジストリ開く\n", options=LOW)
            self.assertIn('命令の引数に誤りがあります。', err)
            status, _, err = self.folder.run("「v」をレジストリ読む\n", options=LOW)
            self.assertIn("レジストリが開かれていません。", err)

    def test_writes_ask_first_and_refusals_write_nothing(self):
        status, out, err = self.folder.run(
            "1の『A』をレジストリ開く\nそれは「x」\n「v」にレジストリ書く\n", stdin=b"2\n")
        self.assertEqual(status, 0, err)
        self.assertIn('レジストリ"A"の,"v"に,\n"x"が書き込まれます。よろしいですか？', out)
        status, out, err = self.folder.run(
            "1の『A』をレジストリ開く\nそれは「x」\n「v」にレジストリ書く\n", options=("-security", "high"))
        self.assertEqual(out, "")
        lines = self.run_low("1の『A』をレジストリ開く\n「v」をレジストリ読む\n「[{それ}]」を表示\n")
        self.assertEqual(lines, ["[]"])

    def test_two_processes_write_at_once_without_loss(self):
        writer = ("1の『同時』をレジストリ開く\n"
                  "200回(\n  それは「{回数}」\n  「{WHO}{回数}」にレジストリ書く\n)\n")
        first = self.folder.start(writer.replace("{WHO}", "甲"), "a.mrv", options=LOW)
        second = self.folder.start(writer.replace("{WHO}", "乙"), "b.mrv", options=LOW)
        for process in (first, second):
            process.wait(timeout=120)
            out, err = stop(process)
            self.assertEqual(process.returncode, 0, err)
        with sqlite3.connect(self.store()) as db:
            (count,) = db.execute("SELECT count(*) FROM reg_values").fetchone()
            (check,) = db.execute("PRAGMA integrity_check").fetchone()
        self.assertEqual(count, 400)
        self.assertEqual(check, "ok")


if __name__ == "__main__":
    unittest.main()
