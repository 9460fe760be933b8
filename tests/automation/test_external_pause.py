#!/usr/bin/python3
"""External control of a script that is idle: "pause" shows the debug dialog and the run goes on
serving its events afterwards."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from autolib import ScriptFolder, stop, wait_until  # noqa: E402


class ExternalPauseTest(unittest.TestCase):
    def setUp(self):
        self.folder = ScriptFolder()
        self.dir = self.folder.dir

    def tearDown(self):
        self.folder.close()

    def test_pause_of_an_idle_script(self):
        target = self.folder.start(
            "状態=「待機中」\n「受信」を呼ぶ「話題」というDDEサーバー作成\n"
            "「準備」を「ready.txt」へ保存\n待機\n"
            "*受信\n「{DDE文字列}:{状態}」を「got.txt」へ保存\n戻る\n", "target.mrv")
        try:
            self.assertTrue(wait_until(lambda: (self.dir / "ready.txt").exists()))
            status, _, err = self.folder.run(
                "「target」の「command」に「pause」をDDE送信\n「0.5」秒待つ\n"
                "「target」の「話題」に「後」をDDE送信\n")
            self.assertEqual(status, 0, err)
            got = self.dir / "got.txt"
            self.assertTrue(wait_until(got.exists))
            self.assertEqual(got.read_bytes().decode("cp932"), "後:待機中")
            self.assertIsNone(target.poll())
            self.folder.run("「target」の「command」に「break」をDDE送信\n")
            target.wait(timeout=15)
            _, err = stop(target)
            self.assertIn("[debug]", err)
            self.assertIn("状態=待機中", err)
        finally:
            stop(target)


if __name__ == "__main__":
    unittest.main()
