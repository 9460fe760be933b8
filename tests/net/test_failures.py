#!/usr/bin/python3
"""Mail, FTP and HTTP against servers that refuse, do not exist, or hang up in the middle.

Every case must end with the command's own error message, quickly, and leave no partial file.
"""

import email
import os
import socket
import sys
import threading
import time
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from netlib import (UNRESOLVABLE_HOST, Background, ScriptRun, free_port,  # noqa: E402
                    wait_for_port)

MORIVEL = os.environ["MORIVEL_BIN"]
HERE = Path(__file__).resolve().parent

# No case may come near the script time-out: a hang is a failure of its own.
QUICK_SECONDS = 25


class HangingUpServer:
    """A line-protocol server that answers from a table and hangs up at one command.

    `replies` maps a command word (upper case) to the bytes sent back; at `cut_at` it sends
    `cut_reply`, reads what comes next, and closes the connection without a proper ending.
    """

    def __init__(self, greeting: bytes, replies: dict, cut_at: str, cut_reply: bytes,
                 unknown: bytes):
        self.greeting, self.replies, self.cut_at = greeting, replies, cut_at
        self.cut_reply, self.unknown = cut_reply, unknown
        self.commands = []
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(4)
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            with conn:
                self._talk(conn)

    def _talk(self, conn):
        conn.settimeout(10)
        conn.sendall(self.greeting)
        lines = conn.makefile("rb")
        try:
            for raw in lines:
                verb = raw.split(b" ")[0].strip().decode("latin-1").upper()
                self.commands.append(verb)
                if verb == self.cut_at:
                    conn.sendall(self.cut_reply)
                    conn.recv(1000)
                    return
                conn.sendall(self.replies.get(verb, self.unknown))
        except OSError:
            return
        finally:
            lines.close()

    def close(self):
        self.listener.close()
        self.thread.join(timeout=5)


class FailureTest(unittest.TestCase):
    def setUp(self):
        self.run_ = ScriptRun(MORIVEL)
        self.cleanups = []

    def tearDown(self):
        for cleanup in reversed(self.cleanups):
            cleanup()
        self.run_.close()

    def run_script(self, source):
        started = time.monotonic()
        status, out, err = self.run_.run(source)
        self.assertLess(time.monotonic() - started, QUICK_SECONDS, out)
        return out.splitlines()

    def test_mail_to_a_closed_port_an_unknown_host_and_a_server_that_hangs_up(self):
        smtp = HangingUpServer(
            b"220 test ESMTP\r\n",
            {"EHLO": b"250-test\r\n250 SIZE 1000000\r\n", "HELO": b"250 test\r\n",
             "MAIL": b"250 ok\r\n", "RCPT": b"250 ok\r\n", "QUIT": b"221 bye\r\n"},
            "DATA", b"354 go ahead\r\n", b"502 no\r\n")
        self.cleanups.append(smtp.close)
        closed = free_port()
        lines = self.run_script(f"""エラーを無視
メール送信先は「a@example.test」
メール送信元は「me@example.test」
メール本文は「本文」
メールホストは「127.0.0.1:{closed}」
メール送信
エラーメッセージを表示
メールホストは「{UNRESOLVABLE_HOST}」
メール送信
エラーメッセージを表示
メールホストは「127.0.0.1:{smtp.port}」
メール送信
エラーメッセージを表示
メール送信元は「me@example.test」&改行&「RCPT TO:<x@example.test>」
メール送信
エラーメッセージを表示
""")
        self.assertEqual(len(lines), 4, lines)
        self.assertIn("メールの送信エラー。接続に失敗", lines[0])
        self.assertIn("メールの送信エラー。接続に失敗", lines[1])
        self.assertIn("メールの送信エラー。送信に失敗。", lines[2])
        self.assertIn("DATA", smtp.commands)
        # A line break in the sender would have become an envelope command of its own.
        self.assertIn("メールの送信エラー。送信元が正しくありません。", lines[3])
        self.assertEqual(smtp.commands.count("MAIL"), 1)

    def test_receiving_from_a_closed_port_and_a_server_that_hangs_up_mid_message(self):
        pop3 = HangingUpServer(
            b"+OK ready\r\n",
            {"CAPA": b"+OK\r\nUSER\r\n.\r\n", "USER": b"+OK\r\n", "PASS": b"+OK in\r\n",
             "LIST": b"+OK\r\n1 100000\r\n.\r\n", "QUIT": b"+OK bye\r\n"},
            "RETR", b"+OK\r\nSubject: cut\r\n\r\nonly the start", b"-ERR no\r\n")
        self.cleanups.append(pop3.close)
        closed = free_port()
        lines = self.run_script(f"""エラーを無視
メールIDは「me」
メールパスワードは「pw」
メールホストは「127.0.0.1:{closed}」
「box」へメール受信
エラーメッセージを表示
メールホストは「{UNRESOLVABLE_HOST}」
「box」へメール受信
エラーメッセージを表示
メールホストは「127.0.0.1:{pop3.port}」
「box」へメール受信
エラーメッセージを表示
""")
        self.assertEqual(len(lines), 3, lines)
        self.assertIn("メールの受信エラー。メールの受信に失敗しました。", lines[0])
        self.assertIn("メールの受信エラー。メールの受信に失敗しました。", lines[1])
        self.assertIn("メールの受信エラー。1番のメール受信に失敗しました。", lines[2])
        self.assertIn("RETR", pop3.commands)
        # Nothing of the cut message was kept.
        self.assertEqual(list((self.run_.dir / "box").iterdir()), [])

    def test_ftp_refused_unknown_and_a_server_that_goes_away_during_a_download(self):
        root = self.run_.dir / "root"
        root.mkdir()
        (root / "big.bin").write_bytes(os.urandom(4_000_000))
        port = free_port()
        # Sends about 200 kB a second, so the download is still running when the server goes.
        server = Background(["/usr/bin/python3", "-c", f"""
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer
auth = DummyAuthorizer()
auth.add_user("user", "pass", {str(root)!r}, perm="elr")
ThrottledDTPHandler.write_limit = 200_000
FTPHandler.dtp_handler = ThrottledDTPHandler
FTPHandler.authorizer = auth
FTPServer(("127.0.0.1", {port}), FTPHandler).serve_forever()
"""])
        self.cleanups.append(server.stop)
        wait_for_port(port)
        local = self.run_.dir / "big.bin"

        def stop_server_once_data_flows():
            deadline = time.monotonic() + QUICK_SECONDS
            while time.monotonic() < deadline:
                if local.exists() and local.stat().st_size > 0:
                    break
                time.sleep(0.02)
            server.stop()

        watcher = threading.Thread(target=stop_server_once_data_flows)
        watcher.start()
        closed = free_port()
        lines = self.run_script(f"""エラーを無視
FTPユーザーIDは「user」
FTPパスワードは「pass」
FTP接続方式は「PASV」
FTPホストは「127.0.0.1:{port}」
FTP接続
「big.bin」を「big.bin」へFTPダウンロード
エラーメッセージを表示
FTPホストは「127.0.0.1:{closed}」
FTP接続
エラーメッセージを表示
FTPホストは「{UNRESOLVABLE_HOST}」
FTP接続
エラーメッセージを表示
""")
        watcher.join()
        self.assertEqual(len(lines), 3, lines)
        self.assertIn("\"big.bin\"へのFTPダウンロードに失敗", lines[0])
        self.assertFalse(local.exists(), "a cut download leaves no partial file")
        self.assertIn("FTPのエラー。接続に失敗。", lines[1])
        self.assertIn("FTPのエラー。接続に失敗。", lines[2])

    def test_http_download_from_an_unknown_host(self):
        lines = self.run_script(f"""エラーを無視
「http://{UNRESOLVABLE_HOST}/x.bin」を「x.bin」へHTTPダウンロード
エラーメッセージを表示
""")
        self.assertEqual(len(lines), 1, lines)
        self.assertIn(f"\"http://{UNRESOLVABLE_HOST}/x.bin\"からのダウンロードに失敗", lines[0])
        self.assertFalse((self.run_.dir / "x.bin").exists())


class StartTlsTest(unittest.TestCase):
    """SMTP takes STARTTLS when the server offers it, and logs in only inside it."""

    def setUp(self):
        from test_http import make_certificate
        self.run_ = ScriptRun(MORIVEL)
        self.inbox = self.run_.dir / "inbox"
        self.inbox.mkdir()
        self.cert, key = make_certificate(self.run_.dir)
        self.port = free_port()
        self.server = Background(["/usr/bin/python3", str(HERE / "smtp_server.py"), str(self.port),
                                  str(self.inbox), "--login", "me", "secret",
                                  "--starttls", str(self.cert), str(key)])
        wait_for_port(self.port)

    def tearDown(self):
        self.server.stop()
        self.run_.close()

    def send(self, env_extra=None):
        return self.run_.run(f"""エラーを無視
メールホストは「127.0.0.1:{self.port}」
メールIDは「me」
メールパスワードは「secret」
メール認証方式は「LOGIN」
メール送信元は「me@example.test」
メール送信先は「a@example.test」
メールタイトルは「暗号化」
メール本文は「秘密の本文」
メール送信
エラーメッセージを表示
""", env_extra=env_extra)

    def test_message_goes_through_starttls_with_a_trusted_certificate(self):
        status, out, err = self.send({"SSL_CERT_FILE": str(self.cert)})
        self.assertEqual((status, out), (0, "\n"), err)
        message = email.message_from_bytes((self.inbox / "1.eml").read_bytes())
        self.assertEqual(message.get_payload(decode=True).decode("iso-2022-jp").strip(),
                         "秘密の本文")
        self.assertEqual((self.inbox / "1.env").read_text().split(),
                         ["me@example.test", "a@example.test"])

    def test_an_untrusted_certificate_stops_the_message(self):
        status, out, err = self.send()
        self.assertIn("メールの送信エラー。", out)
        self.assertEqual(list(self.inbox.iterdir()), [])


if __name__ == "__main__":
    unittest.main()
