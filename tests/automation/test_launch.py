#!/usr/bin/python3
"""起動, 起動して終了まで待機 and エクスプローラーで開く against real programs and scripts."""

import os
import stat
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from autolib import ScriptFolder, wait_until  # noqa: E402

RECORDER = """#!/bin/sh
out="$(dirname "$0")/$RECORD_NAME"
printf '%s\\n' "$0" "$@" > "$out.part" && mv "$out.part" "$out"
"""


class LaunchTest(unittest.TestCase):
    def setUp(self):
        self.folder = ScriptFolder()
        self.dir = self.folder.dir

    def tearDown(self):
        self.folder.close()

    def recorder(self, name, record_name="record.txt"):
        path = self.dir / name
        path.write_text(RECORDER)
        path.chmod(path.stat().st_mode | stat.S_IXUSR)
        self.folder.extra_env["RECORD_NAME"] = record_name
        return path

    def fake_opener(self):
        bin_dir = self.dir / "bin"
        bin_dir.mkdir()
        self.recorder("bin/xdg-open", "../opened.txt")
        self.folder.extra_env["PATH"] = f"{bin_dir}:{os.environ['PATH']}"
        return self.dir / "opened.txt"

    def test_script_runs_in_a_new_instance_with_separate_arguments(self):
        self.folder.write("child.mrv", "「1」秒待つ\n「{コマンドライン引数}」を「args.txt」へ保存\n")
        status, out, err = self.folder.run(
            '『child.mrv "一 二" 三』を起動して終了まで待機\n'
            '「args.txt」を開く\nそれを表示\n')
        self.assertEqual(status, 0, err)
        lines = out.splitlines()
        self.assertEqual(lines[0], str(self.dir / "child.mrv"))
        self.assertEqual(lines[1:], ["一 二", "三"])

    def test_started_script_runs_alongside(self):
        self.folder.write("child.mrv", "「子」を「child.txt」へ保存\n")
        status, _, err = self.folder.run("「child.mrv」を起動\n")
        self.assertEqual(status, 0, err)
        self.assertTrue(wait_until(lambda: (self.dir / "child.txt").exists()))

    def test_no_shell_reads_the_command_line(self):
        program = self.recorder("we;ird $(touch pwned) 'q'.sh")
        status, out, err = self.folder.run(
            f'『"{program}" "a;b" $(touch pwned2) x|y>z \'c\'』を起動して終了まで待機\n'
            '「record.txt」を開く\nそれを表示\n')
        self.assertEqual(status, 0, err)
        self.assertEqual(out.rstrip("\n").splitlines(),
                         [str(program), "a;b", "$(touch", "pwned2)", "x|y>z", "'c'"])
        self.assertFalse((self.dir / "pwned").exists())
        self.assertFalse((self.dir / "pwned2").exists())

    def test_detached_program_gets_its_parameters(self):
        program = self.recorder("rec.sh")
        status, _, err = self.folder.run(f'『{program} "x y" z』を起動\n')
        self.assertEqual(status, 0, err)
        record = self.dir / "record.txt"
        self.assertTrue(wait_until(record.exists))
        self.assertEqual(record.read_text().splitlines(), [str(program), "x y", "z"])

    def test_wait_keeps_timers_running(self):
        self.folder.write("child.mrv", "「2」秒待つ\n「済」を「child.txt」へ保存\n")
        status, out, err = self.folder.run(
            "0.3秒後に「発火」へ飛ぶタイマー設定\n"
            "「child.mrv」を起動して終了まで待機\n「child.txt」が存在するか\n「待機後」を表示\n終わり\n"
            "*発火\n「child.txt」が存在するか\n「発火{それ}」を表示\n戻る\n")
        self.assertEqual(status, 0, err)
        # The timer's label ran during the wait (the child had not written yet), and the wait
        # went on until the child had ended.
        self.assertEqual(out.splitlines(), ["発火0", "待機後"])

    def test_urls_documents_and_folders_go_to_the_desktop_opener(self):
        opened = self.fake_opener()
        (self.dir / "a doc.txt").write_text("x")
        cases = [
            ("「https://example.invalid/a b」を起動", "https://example.invalid/a b"),
            ("「HTTP://example.invalid/」をエクスプローラーで開く", "HTTP://example.invalid/"),
            (f"「{self.dir}/a doc.txt」を起動", f"{self.dir}/a doc.txt"),
            (f"「{self.dir}」をエクスプローラーで開く", f"{self.dir}"),
        ]
        for line, expected in cases:
            with self.subTest(line=line):
                opened.unlink(missing_ok=True)
                status, _, err = self.folder.run(line + "\n")
                self.assertEqual(status, 0, err)
                self.assertTrue(wait_until(opened.exists))
                self.assertEqual(opened.read_text().splitlines()[1:], [expected])

    def test_missing_program_is_an_error(self):
        status, _, err = self.folder.run("「no-such-program-here x」を起動して終了まで待機\n")
        self.assertNotEqual(status, 0)
        self.assertIn("no-such-program-here", err)
        self.assertIn("起動できません", err)


if __name__ == "__main__":
    unittest.main()
