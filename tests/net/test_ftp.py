#!/usr/bin/python3
"""The FTP commands against a loopback pyftpdlib server."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from netlib import Background, ScriptRun, free_port, wait_for_port  # noqa: E402

MORIVEL = os.environ["MORIVEL_BIN"]


class FtpTest(unittest.TestCase):
    def setUp(self):
        self.run_ = ScriptRun(MORIVEL)
        d = self.run_.dir
        self.root = d / "root"
        (self.root / "sub").mkdir(parents=True)
        (self.root / "a.txt").write_bytes(b"hello\r\nworld\r\n")
        (d / "up" / "inner").mkdir(parents=True)
        self.blob = os.urandom(200_000)
        (d / "up" / "b.bin").write_bytes(self.blob)
        (d / "up" / "inner" / "c.txt").write_bytes(b"c")
        self.port = free_port()
        self.server = Background(["/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
                                  str(self.port), "-w", "-d", str(self.root), "-u", "user", "-P",
                                  "pass"])
        wait_for_port(self.port)

    def tearDown(self):
        self.server.stop()
        self.run_.close()

    def settings(self, mode="PASV"):
        return f"""FTPホストは「127.0.0.1:{self.port}」
FTPユーザーIDは「user」
FTPパスワードは「pass」
FTP接続方式は「{mode}」
"""

    def check_session(self, mode):
        status, out, err = self.run_.run(self.settings(mode) + """FTP接続
「」のFTPファイル列挙を表示
「」のFTPフォルダ列挙を表示
「up/b.bin」を「b.bin」へFTPアップロード
「a.txt」を「a2.txt」へFTPダウンロード
「new」のFTPフォルダ作成
「new」へFTP作業フォルダ
「up/b.bin」を「c.bin」へFTPアップロード
「c.bin」を「c_back.bin」へFTPダウンロード
FTP親フォルダ移動
「a.txt」から「renamed.txt」へFTPファイル名変更
「renamed.txt」を「600」にFTPファイル属性変更
「b.bin」のFTPファイル削除
「up」を「upf」へFTPフォルダアップロード
「*.txt」のFTPファイル列挙を表示
「u*」のFTPフォルダ列挙を表示
「upf/inner」へFTP作業フォルダ
「」のFTPファイル列挙を表示
FTP切断
""")
        self.assertEqual((status, err), (0, ""))
        self.assertEqual(out, "a.txt\nsub\nsub\nrenamed.txt\nupf\nc.txt\n")
        d = self.run_.dir
        self.assertEqual((d / "a2.txt").read_bytes(), b"hello\r\nworld\r\n")
        self.assertEqual((d / "c_back.bin").read_bytes(), self.blob)
        self.assertEqual((self.root / "new" / "c.bin").read_bytes(), self.blob)
        self.assertEqual((self.root / "upf" / "b.bin").read_bytes(), self.blob)
        self.assertEqual((self.root / "upf" / "inner" / "c.txt").read_bytes(), b"c")
        self.assertFalse((self.root / "b.bin").exists())
        self.assertEqual(oct((self.root / "renamed.txt").stat().st_mode & 0o777), "0o600")

    def test_passive_session(self):
        self.check_session("PASV")

    def test_active_session(self):
        self.check_session("")

    def test_ascii_mode_folder_removal_file_info_and_names_with_line_breaks(self):
        # This server logs every command, to show which transfer type each transfer asked for.
        self.server.stop()
        self.port = free_port()
        log = self.run_.dir / "ftp.log"
        self.server = Background(["/usr/bin/python3", "-m", "pyftpdlib", "-D", "-i", "127.0.0.1",
                                  "-p", str(self.port), "-w", "-d", str(self.root), "-u", "user",
                                  "-P", "pass"], log_path=log)
        wait_for_port(self.port)
        (self.root / "unix.txt").write_bytes(b"one\ntwo\n")
        (self.root / "gone").mkdir()
        (self.run_.dir / "crlf.txt").write_bytes(b"x\r\ny\r\n")
        status, out, err = self.run_.run(self.settings() + """FTP接続
「アスキー」のFTP転送モード
「unix.txt」を「ascii.txt」へFTPダウンロード
「crlf.txt」を「ascii_up.txt」へFTPアップロード
「バイナリ」のFTP転送モード
「unix.txt」を「binary.txt」へFTPダウンロード
「crlf.txt」を「binary_up.txt」へFTPアップロード
「gone」のFTPフォルダ削除
「」のFTPフォルダ列挙を表示
「a.txt」のFTPファイル情報を表示
エラーを無視
「a.txt」&改行&「DELE unix.txt」のFTPファイル削除
エラーメッセージを表示
「a.txt」&改行&「DELE unix.txt」のFTPファイル情報
エラーメッセージを表示
「nothere」のFTPフォルダ削除
エラーメッセージを表示
FTP切断
""")
        self.assertEqual((status, err), (0, ""))
        lines = out.splitlines()
        self.assertEqual(lines[0], "sub")
        self.assertTrue(lines[1].startswith("-") and lines[1].endswith(" a.txt"), lines[1])
        # The refused name is quoted in its message, line break and all.
        self.assertIn("\"a.txt\nDELE unix.txt\"のFTPファイル削除に失敗", out)
        self.assertIn("FTPの一覧取得に失敗", out)
        self.assertIn("\"nothere\"へのFTPフォルダ削除に失敗", out)
        d = self.run_.dir
        # Binary mode copies the bytes; ASCII mode went over the wire as text lines.
        self.assertEqual((d / "binary.txt").read_bytes(), b"one\ntwo\n")
        # Each transfer went with the type the mode asked for: the last TYPE before it.
        transfers, current = [], None
        for line in log.read_text(errors="replace").splitlines():
            command = re.search(r"<- (TYPE [AI]|RETR unix\.txt|STOR \w+\.txt)", line)
            if not command:
                continue
            if command.group(1).startswith("TYPE"):
                current = command.group(1)[-1]
            else:
                transfers.append((command.group(1), current))
        self.assertEqual(transfers, [("RETR unix.txt", "A"), ("STOR ascii_up.txt", "A"),
                                     ("RETR unix.txt", "I"), ("STOR binary_up.txt", "I")])
        self.assertEqual((d / "ascii.txt").read_bytes(), b"one\ntwo\n")
        self.assertEqual((self.root / "binary_up.txt").read_bytes(), b"x\r\ny\r\n")
        self.assertFalse((self.root / "gone").exists())
        # A line break in a name sent no second command.
        self.assertTrue((self.root / "unix.txt").exists())
        self.assertTrue((self.root / "a.txt").exists())

    def test_failures_give_the_messages(self):
        status, out, err = self.run_.run(self.settings() + """エラーを無視
「x」のFTPファイル削除
エラーメッセージを表示
FTP接続
「nothere」へFTP作業フォルダ
エラーメッセージを表示
「nothere.txt」を「n.txt」へFTPダウンロード
エラーメッセージを表示
「up」を「up」へFTPアップロード
エラーメッセージを表示
「nothere.txt」のFTPファイル削除
エラーメッセージを表示
「a.txt」を「sub」へFTPアップロード
「」のFTPファイル列挙を表示
FTPパスワードは「wrong」
FTP接続
エラーメッセージを表示
""")
        lines = out.splitlines()
        self.assertEqual(len(lines), 8, out)
        self.assertIn("FTPで接続が確立されていません。", lines[0])
        self.assertIn("\"nothere\"へのFTPフォルダ変更に失敗", lines[1])
        self.assertIn("\"nothere.txt\"へのFTPダウンロードに失敗", lines[2])
        self.assertFalse((self.run_.dir / "n.txt").exists())
        self.assertIn("フォルダをアップすることは出来ません。", lines[3])
        self.assertIn("\"nothere.txt\"のFTPファイル削除に失敗", lines[4])
        # The working folder did not move on the failed change.
        self.assertEqual(lines[5:7], ["a.txt", "sub"])
        self.assertIn("FTPのエラー。接続に失敗。", lines[7])


if __name__ == "__main__":
    unittest.main()
