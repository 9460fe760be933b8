#!/usr/bin/python3
"""起動 of a script packed in a stand-alone program: the new instance gets the program's packed
files through a copy of its archive."""

import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from autolib import SCRIPT_TIMEOUT_SECONDS, ScriptFolder  # noqa: E402


class PackedLaunchTest(unittest.TestCase):
    def setUp(self):
        self.folder = ScriptFolder()
        self.dir = self.folder.dir
        self.tmp = self.dir / "tmp"
        self.tmp.mkdir()
        self.folder.extra_env["TMPDIR"] = str(self.tmp)

    def tearDown(self):
        self.folder.close()

    def test_started_packed_script_reads_the_packed_files(self):
        # The started script lies in the temporary folder, which is its own folder: it may write
        # there without a question.
        result = self.tmp / "result.txt"
        self.folder.write("child.mrv", f"「data.txt」を開く\nそれを「{result}」へ保存\n")
        (self.dir / "data.txt").write_bytes("梱包された表ソ".encode("cp932"))
        # The program waits for its child's result, then ends (its own archive copy goes). Were
        # the child to run the program's script again, the guard stops it at once.
        self.folder.write("app.mrv",
                          "「started.txt」が存在;もしそれ=1ならば(「二度目」を表示;終わる)\n"
                          "「1」を「started.txt」へ保存\n"
                          "「child.mrv」を起動\n"
                          f"300回(「{result}」が存在;もしそれ=1ならば(抜ける);0.1秒待つ)\n"
                          "「親終わり」を表示\n")
        status, out, err = self.folder.run(
            "「app.mrv」と「child.mrv\ndata.txt」から「app」へもりべる実行ファイル作成\n",
            name="maker.mrv")
        self.assertEqual(status, 0, out + err)

        elsewhere = self.dir / "elsewhere"
        elsewhere.mkdir()
        shutil.move(self.dir / "app", elsewhere / "app")
        for name in ("child.mrv", "data.txt", "app.mrv"):
            (self.dir / name).unlink()
        run = subprocess.run([str(elsewhere / "app"), "-console"], cwd=elsewhere,
                             env=self.folder.env(), capture_output=True,
                             timeout=SCRIPT_TIMEOUT_SECONDS)
        self.assertEqual(run.returncode, 0, run.stderr.decode("utf-8", "replace"))
        self.assertEqual(run.stdout.decode("utf-8"), "親終わり\n")
        self.assertEqual(result.read_bytes(), "梱包された表ソ".encode("cp932"))
        # The program's own archive (TMP1.TMP) is gone with it; the copy handed to the child
        # is the next free name.
        self.assertFalse((self.tmp / "TMP1.TMP").exists())
        self.assertTrue((self.tmp / "TMP2.TMP").exists())

    def test_script_from_disk_gets_no_resource_option(self):
        self.folder.write("child.mrv", "「{コマンドライン引数}」を「args.txt」へ保存\n")
        status, out, err = self.folder.run(
            "「child.mrv a b」を起動\n"
            "300回(「args.txt」が存在;もしそれ=1ならば(抜ける);0.1秒待つ)\n")
        self.assertEqual(status, 0, out + err)
        lines = (self.dir / "args.txt").read_bytes().decode("cp932").splitlines()
        self.assertEqual(lines, [str(self.dir / "child.mrv"), "a", "b"])
        self.assertEqual([p for p in self.tmp.iterdir() if p.name.endswith(".TMP")], [])


if __name__ == "__main__":
    unittest.main()
