#!/usr/bin/python3
"""Clipboard, shared memory, DDE between two Morivel processes, and external control of a
running script (line, pause, break)."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from autolib import ScriptFolder, stop, wait_until  # noqa: E402


class ExchangeTest(unittest.TestCase):
    def setUp(self):
        self.folder = ScriptFolder()
        self.dir = self.folder.dir

    def tearDown(self):
        self.folder.close()

    def run_ok(self, source, **kwargs):
        status, out, err = self.folder.run(source, **kwargs)
        self.assertEqual(status, 0, err)
        return out.rstrip("\n").split("\n")

    def file_text(self, name):
        path = self.dir / name
        return path.read_bytes().decode("cp932") if path.exists() else None

    def test_console_clipboard_keeps_text(self):
        self.assertEqual(self.run_ok("「表示ソ」をコピー\nクリップボード取得\nそれを表示\n"),
                         ["表示ソ"])

    def test_shared_memory_between_two_processes(self):
        long_text = "".join(f"{i:03d}," for i in range(80))  # 320 bytes
        writer = self.folder.start(
            f"それは「{long_text}」\n「共有ブロック表」へ共有保存\n"
            "それは「短い」\n「二番」へ共有保存\n"
            "「済」を「written.txt」へ保存\n"
            "200回(\n  「done.txt」が存在するか\n  もし、それが1ならば抜ける\n  「0.1」秒待つ\n)\n",
            "writer.mrv")
        try:
            self.assertTrue(wait_until(lambda: (self.dir / "written.txt").exists()))
            lines = self.run_ok("「共有ブロック表」を共有読込\nそれを表示\n"
                                "「二番」を共有読込\nそれを表示\n"
                                "「書かれていない」を共有読込\n「[{それ}]」を表示\n")
            self.assertEqual(lines, [long_text[:256], "短い", "[]"])
            (self.dir / "done.txt").write_text("")
            writer.wait(timeout=20)
        finally:
            stop(writer)
        # The block went with its writer.
        self.assertEqual(self.run_ok("「二番」を共有読込\n「[{それ}]」を表示\n"), ["[]"])

    def test_dde_execute_runs_the_servers_label(self):
        server = self.folder.start(
            "受信記録=「」\n「受信」を呼ぶ「話題」というDDEサーバー作成\n「準備」を「ready.txt」へ保存\n待機\n"
            "*受信\n受信記録=受信記録&DDE文字列\n「{受信記録}」を「got.txt」へ保存\n"
            "もし、DDE文字列が「終わり」ならば終わる\n戻る\n", "server.mrv")
        try:
            self.assertTrue(wait_until(lambda: (self.dir / "ready.txt").exists()))
            self.run_ok("「SERVER」の「話題」に「こんにちは表」をDDE送信\n"
                        "「server」の「話題」に「終わり」をDDE送信\n")
            server.wait(timeout=20)
            self.assertEqual(self.file_text("got.txt"), "こんにちは表終わり")
        finally:
            stop(server)

    def test_dde_starts_the_server_program_when_none_answers(self):
        self.folder.write(
            "server.mrv",
            "「受信」を呼ぶ「話題」というDDEサーバー作成\n待機\n"
            "*受信\n「{DDE文字列}」を「got.txt」へ保存\n終わる\n")
        self.run_ok("DDEファイル名は「server.mrv」\n「server」の「話題」に「起こした」をDDE送信\n")
        self.assertTrue(wait_until(lambda: self.file_text("got.txt") == "起こした"))

    def test_dde_failures(self):
        status, _, err = self.folder.run("「誰も」の「いない」に「x」をDDE送信\n")
        self.assertIn('サーバー"誰も"トピック"いない"でエラー。リンク出来ませんでした。', err)
        status, _, err = self.folder.run("「無いラベル」を呼ぶ「t」というDDEサーバー作成\n")
        self.assertIn('サーバー"自身"トピック"t"でエラー。ジャンプ先ラベルが見つかりません。', err)
        status, out, err = self.folder.run(
            "11回(\n  「受」を呼ぶ「t{回数}」というDDEサーバー作成\n  「{回数}」を表示\n)\n"
            "*受\n戻る\n")
        self.assertIn('サーバー"自身"トピック"t11"でエラー。これ以上サーバーを立ち上げられません。', err)
        self.assertEqual(out.split(), [str(i) for i in range(1, 11)])

    def test_external_control_of_a_running_script(self):
        target = self.folder.start(
            "「準備」を「ready.txt」へ保存\n"
            "200回(\n  回数記録=回数\n  「0.1」秒待つ\n)\n「最後まで」を表示\n", "target.mrv")
        try:
            self.assertTrue(wait_until(lambda: (self.dir / "ready.txt").exists()))
            self.run_ok("「target」の「command」に「line」をDDE送信\n"
                        "「target」の「command」に「pause」をDDE送信\n"
                        "「0.5」秒待つ\n"
                        "「target」の「command」に「break」をDDE送信\n")
            target.wait(timeout=15)
            out, err = stop(target)
            self.assertIn("実行ライン:4", out)
            self.assertNotIn("最後まで", out)
            self.assertIn("[debug]", err)
            self.assertIn("回数記録", err)
        finally:
            stop(target)


if __name__ == "__main__":
    unittest.main()
