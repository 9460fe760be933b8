#!/usr/bin/python3
"""Window automation against real windows under Xvfb and openbox: a plain X program (xev) and a
second Morivel in the window front end, driven by a console Morivel script."""

import os
import re
import subprocess
import sys
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from autolib import ScriptFolder, stop, wait_until  # noqa: E402
from xdesktop import XDesktop, tools_missing  # noqa: E402

TARGET = """母艦のタイトルは「自動操作先」
母艦のサイズは「(0,0,420,200)」
「E」をエディタとして作成
Eのサイズは「(10,10,400,34)」
「B」をボタンとして作成
Bのサイズは「(10,60,110,100)」
Bのクリックした時は「押した」
Eの変更した時は「変わった」
「準備」を「ready.txt」へ保存
待機
*変わった
「{Eのテキスト}」を「typed.txt」へ保存
戻る
*押した
「押」を「clicked.txt」へ保存
戻る
"""


@unittest.skipIf(tools_missing(), f"missing {tools_missing()} (scripts/setup.sh installs them)")
class WindowTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = ScriptFolder()
        cls.desktop = XDesktop(cls.folder.home)
        cls.folder.display = cls.desktop.display
        cls.xev = cls.desktop.start(["xev", "-event", "keyboard", "-event", "button"],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        cls.xev_output = []
        cls.reader = threading.Thread(target=cls.read_xev, daemon=True)
        cls.reader.start()
        cls.target = cls.folder.start(TARGET, "target.mrv", console=False)
        if not wait_until(lambda: (cls.folder.dir / "ready.txt").exists()):
            raise RuntimeError("the target window did not come up: " + str(stop(cls.target)))

    @classmethod
    def read_xev(cls):
        for line in iter(cls.xev.stdout.readline, b""):
            cls.xev_output.append(line.decode("utf-8", "replace"))

    @classmethod
    def tearDownClass(cls):
        stop(cls.target)
        cls.desktop.close()
        cls.folder.close()

    def drive(self, source):
        status, out, err = self.folder.run(source, name="driver.mrv")
        self.assertEqual(status, 0, err)
        return out.rstrip("\n").splitlines()

    def typed(self):
        path = self.folder.dir / "typed.txt"
        return path.read_bytes().decode("cp932") if path.exists() else ""

    def wait_typed(self, expected):
        wait_until(lambda: self.typed() == expected, timeout=10)
        self.assertEqual(self.typed(), expected)

    def test_keys_reach_the_morivel_window(self):
        self.drive("「自動操作先」に『ab+c{LEFT}{BS}X』をキー送信\n")
        self.wait_typed("aXC")
        self.drive("「自動操作」に『{END}日本語~』をキー送信\n")  # found by the title's beginning
        self.wait_typed("aXC日本語")
        self.drive("「自動*先」に『^(a)z』をキー送信\n")  # a wildcard title; Ctrl+A selects all
        self.wait_typed("z")

    def test_keys_and_clicks_reach_a_plain_x_program(self):
        lines = self.drive("「Event Tester」に『{TAB 3}^a%b日』をキー送信\n"
                           "「Event Tester」を窓ハンドル検索\nH=それ\nHを表示\nHを窓ハンドルクリック\n")
        handle = int(lines[0])
        self.assertNotEqual(handle, 0)
        def seen(pattern, count=1):
            return len(re.findall(pattern, "".join(self.xev_output))) >= count

        self.assertTrue(wait_until(lambda: seen(r"keysym 0xff09, Tab", 6)))
        text = "".join(self.xev_output)
        self.assertRegex(text, r"state 0x4, keycode \d+ \(keysym 0x61, a\)")  # Ctrl held
        self.assertRegex(text, r"state 0x8, keycode \d+ \(keysym 0x62, b\)")  # Alt held
        self.assertIn("keysym 0x10065e5", text)  # 日 typed as a Unicode keysym
        self.assertTrue(wait_until(lambda: seen(r"ButtonPress event")))

    def test_find_list_move_resize_and_titles(self):
        lines = self.drive(
            "「自動操作先」を窓ハンドル検索\nH=それ\nHを表示\n"
            "「存在しない窓」を窓ハンドル検索\nそれを表示\n"
            "「デスクトップ」を窓ハンドル検索\nそれを表示\n"
            "窓ハンドル列挙\nそれを表示\n"
            "ウインドウ列挙\nそれを表示\n"
            "Hを「(100,120,499,419)」に窓ハンドルサイズ設定\n「0.5」秒待つ\n"
            "Hの窓ハンドルサイズ取得\nそれを表示\n"
            "Hを「(50,60,0,0)」に窓ハンドルサイズ設定\n「0.5」秒待つ\n"
            "Hの窓ハンドルサイズ取得\nそれを表示\n"
            "Hへ「新しい題」を窓ハンドルテキスト設定\nHの窓ハンドルテキスト取得\nそれを表示\n"
            "Hへ「自動操作先」を窓ハンドルテキスト設定\n"
            "「(70,80)」を窓ハンドル座標検索\nそれを表示\n")
        handle = lines[0]
        self.assertNotEqual(handle, "0")
        self.assertEqual(lines[1], "0")
        self.assertNotEqual(lines[2], "0")
        self.assertIn(f"{handle},", "\n".join(lines))
        listing = [line for line in lines if line.startswith(handle + ",")]
        self.assertEqual(len(listing), 1)
        self.assertTrue(listing[0].endswith(",自動操作先,可視"), listing[0])
        self.assertIn("Event Tester", lines)
        self.assertIn("(100,120,499,419)", lines)
        self.assertIn("(50,60,449,359)", lines)
        self.assertIn("新しい題", lines)
        self.assertEqual(lines[-1], handle)

    def test_pointer_and_clicks_at_points(self):
        lines = self.drive(
            "「自動操作先」をアクティブ\n「自動操作先」を窓ハンドル検索\nH=それ\n"
            "Hを「(200,200,619,399)」に窓ハンドルサイズ設定\n「0.5」秒待つ\n"
            "「(300,250)」へマウス移動\nマウス座標取得\nそれを表示\n"
            "「(260,280)」の窓座標クリック\nそれを表示\n"
            "「(260,280)」を窓ハンドル内座標検索\nそれを表示\n"
            "マウス座標取得\nそれを表示\n")
        self.assertEqual(lines[0], "300,250")
        self.assertNotEqual(lines[1], "0")
        self.assertEqual(lines[1], lines[2])
        self.assertEqual(lines[3], "300,250")  # the pointer went back
        self.assertTrue(wait_until(lambda: (self.folder.dir / "clicked.txt").exists()))

    def test_clipboard_passes_between_two_programs(self):
        source = self.folder.start("「表示ソ ab」をコピー\n「済」を「copied.txt」へ保存\n待機\n",
                                   "source.mrv", console=False)
        try:
            self.assertTrue(wait_until(lambda: (self.folder.dir / "copied.txt").exists()))
            reader = self.folder.start("クリップボード取得\nそれを「clip.txt」へ保存\n終わる\n",
                                       "reader.mrv", console=False)
            reader.wait(timeout=30)
            stop(reader)
            self.assertEqual((self.folder.dir / "clip.txt").read_bytes().decode("cp932"),
                             "表示ソ ab")
        finally:
            stop(source)

    def test_children_and_parents_of_a_plain_x_program(self):
        lines = self.drive("「Event Tester」を窓ハンドル検索\nH=それ\nHを表示\n"
                           "Hの窓ハンドル内列挙\nそれを表示\nHの窓ハンドル親取得\nそれを表示\n")
        handle, children, parent = lines[0], [c for c in lines[1:-1] if c], lines[-1]
        self.assertEqual(parent, "0")
        self.assertTrue(children)
        for child in children:
            self.assertRegex(child, r"^\d+,.*,0$")
        child = children[0].split(",")[0]
        self.assertEqual(self.drive(f"「{child}」の窓ハンドル親取得\nそれを表示\n"), [handle])


class NoDisplayTest(unittest.TestCase):
    def setUp(self):
        self.folder = ScriptFolder()

    def tearDown(self):
        self.folder.close()

    def test_searches_find_nothing_and_actions_say_why(self):
        status, out, err = self.folder.run(
            "「何か」を窓ハンドル検索\nそれを表示\n窓ハンドル列挙\n「[{それ}]」を表示\n"
            "「(1,2)」へマウス移動\n")
        self.assertEqual(out.splitlines(), ["0", "[]"])
        self.assertNotEqual(status, 0)
        self.assertIn("X11の画面(DISPLAY)が必要です", err)

    def test_shutdown_asks_first_and_high_security_refuses_silently(self):
        status, out, err = self.folder.run("WINDOWS終了\nWINDOWS再起動\n「無事」を表示\n")
        self.assertEqual(status, 0, err)
        self.assertIn("Windowsを終了させてもよろしいですか？", out)
        self.assertIn("Windowsを再起動させてもよろしいですか？", out)
        self.assertTrue(out.rstrip().endswith("無事"))
        self.folder.write("high.mrv", "WINDOWS終了\n「無事」を表示\n")
        done = subprocess.run(
            [os.environ["MORIVEL_BIN"], "-console", "-security", "high",
             str(self.folder.dir / "high.mrv")],
            capture_output=True, env=self.folder.env(), cwd=self.folder.dir, timeout=60)
        self.assertEqual(done.stdout.decode("utf-8").strip(), "無事")


if __name__ == "__main__":
    unittest.main()
