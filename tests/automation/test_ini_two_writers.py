#!/usr/bin/python3
"""Two programs writing different keys of one INI file at the same time: every write is kept."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from autolib import ScriptFolder, stop  # noqa: E402

WRITES = 120


class IniTwoWritersTest(unittest.TestCase):
    def setUp(self):
        self.folder = ScriptFolder()

    def tearDown(self):
        self.folder.close()

    def writer(self, section):
        # Both start when the go file appears, so their writes overlap.
        return self.folder.start(
            "300回(「go.txt」が存在;もしそれ=1ならば(抜ける);0.02秒待つ)\n"
            "「共有.ini」のINIファイル開く\n"
            f"{WRITES}回(\n  「{section}値{{回数}}」を「{section}」の「鍵{{回数}}」へINIファイル書く\n)\n"
            "INIファイル閉じる\n",
            f"writer_{section}.mrv", options=("-security", "low"))

    def test_no_write_is_lost(self):
        writers = [self.writer("甲"), self.writer("乙")]
        try:
            (self.folder.dir / "go.txt").write_text("")
            for process in writers:
                self.assertEqual(process.wait(timeout=120), 0)
        finally:
            for process in writers:
                stop(process)
        text = (self.folder.dir / "共有.ini").read_bytes().decode("cp932")
        lines = text.split("\r\n")
        for section in ("甲", "乙"):
            self.assertIn(f"[{section}]", lines)
            kept = [n for n in range(1, WRITES + 1) if f"鍵{n}={section}値{n}" in lines]
            self.assertEqual(len(kept), WRITES, f"{section}: lost {WRITES - len(kept)} writes")
        self.assertEqual(len(lines), 2 * (WRITES + 1) + 1)


if __name__ == "__main__":
    unittest.main()
