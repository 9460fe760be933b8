#!/usr/bin/python3
"""INI files: Shift-JIS round trips, the security policy, and crash safety of every write."""

import os
import signal
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from autolib import ScriptFolder, stop, wait_until  # noqa: E402

LOW = ("-security", "low")


class IniTest(unittest.TestCase):
    def setUp(self):
        self.folder = ScriptFolder()
        self.ini = self.folder.dir / "設定.ini"

    def tearDown(self):
        self.folder.close()

    def test_values_round_trip_as_shift_jis(self):
        status, out, err = self.folder.run(
            "「設定.ini」のINIファイル開く\n"
            "「予定表=能」を「表ソ」の「ア」へINIファイル書く\n"
            "「12」を「表ソ」の「数」へINIファイル書く\n"
            "「x」を「Main」の「Key」へINIファイル書く\n"
            "INIファイル閉じる\n「設定.ini」のINIファイル開く\n"
            "甲に「表ソ」の「ア」をINIファイル読む\n甲を表示\n"
            "乙に「表ソ」の「数」をINIファイル読む\n乙を表示\n"
            "丙に「MAIN」の「key」をINIファイル読む\n丙を表示\n"
            "丁に「表ソ」の「無い」をINIファイル読む\n「[{丁}]」を表示\n")
        self.assertEqual(status, 0, err)
        self.assertEqual(out.splitlines(), ["予定表=能", "12", "x", "[]"])
        self.assertEqual(self.ini.read_bytes(),
                         "[表ソ]\r\nア=予定表=能\r\n数=12\r\n[Main]\r\nKey=x\r\n".encode("cp932"))

    def test_policy_and_errors(self):
        status, _, err = self.folder.run("「1」を「s」の「k」へINIファイル書く\n")
        self.assertNotEqual(status, 0)
        self.assertIn("予めINIファイルを開いておく必要があります。", err)
        status, _, err = self.folder.run("「」のINIファイル開く\n")
        self.assertIn("命令の引数に誤りがあります。", err)
        self.ini.write_bytes(b"[s]\r\nk=old\r\n")
        status, out, err = self.folder.run(
            "「設定.ini」のINIファイル開く\n「new」を「s」の「k」へINIファイル書く\n"
            "それは「前」\n甲に「s」の「k」をINIファイル読む\n「[{それ}][{甲}]」を表示\n",
            options=("-security", "high"))
        self.assertEqual(status, 0, err)
        self.assertEqual(out.splitlines(), ["[][]"])
        self.assertEqual(self.ini.read_bytes(), b"[s]\r\nk=old\r\n")
        # Outside the script's folder the middle level asks; no answer is a refusal.
        outside = self.folder.home / "外.ini"
        status, out, err = self.folder.run(f"『{outside}』のINIファイル開く\n")
        self.assertEqual(status, 0, err)
        self.assertIn(f'設定ファイル"{outside}"を作成します。', out)
        self.assertFalse(outside.exists())

    def test_a_killed_writer_leaves_a_whole_file(self):
        # Each write rewrites the whole file, which grows by a long line every time.
        writer = self.folder.start(
            "「設定.ini」のINIファイル開く\n"
            "値=「」\n400回(\n  値=値&「あいうえお0123456789」\n)\n"
            "10000回(\n  「{値}」を「s」の「k{回数}」へINIファイル書く\n)\n",
            "writer.mrv", options=LOW)
        entries = []
        try:
            for round_ in range(12):
                # The kill falls among the writes however long the writer takes to start.
                self.assertTrue(wait_until(self.writes_begun))
                time.sleep(0.05 + 0.03 * round_)
                writer.send_signal(signal.SIGKILL)
                writer.wait()
                entries.append(self.check_whole(self.ini.read_bytes()))
                stop(writer)
                writer = self.folder.start(
                    "「設定.ini」のINIファイル開く\n"
                    "値=「」\n400回(\n  値=値&「あいうえお0123456789」\n)\n"
                    "10000回(\n  「{値}」を「s」の「x{回数}」へINIファイル書く\n)\n",
                    "writer.mrv", options=LOW)
        finally:
            stop(writer)
        # The kills fell among the writes, not before them.
        self.assertGreater(max(entries), 2)

    def writes_begun(self):
        return self.ini.exists() and self.ini.stat().st_size > 0

    def check_whole(self, data):
        self.assertTrue(data == b"" or data.endswith(b"\r\n"), data[-40:])
        text = data.decode("cp932")
        lines = text.split("\r\n")[:-1]
        if lines:
            self.assertEqual(lines[0], "[s]")
        value = "あいうえお0123456789" * 400
        for line in lines[1:]:
            key, _, got = line.partition("=")
            self.assertRegex(key, r"^[kx]\d+$")
            self.assertEqual(got, value)
        return len(lines)


if __name__ == "__main__":
    unittest.main()
