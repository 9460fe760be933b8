#!/usr/bin/python3
"""メール送信 against aiosmtpd and メール受信 against the tests' POP3 server."""

import email
import email.header
import email.policy
import os
import sys
import unittest
from email.mime.application import MIMEApplication
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from netlib import Background, ScriptRun, free_port, wait_for_port  # noqa: E402

MORIVEL = os.environ["MORIVEL_BIN"]
HERE = Path(__file__).resolve().parent


def decoded(value: str) -> str:
    return str(email.header.make_header(email.header.decode_header(value)))


class SendTest(unittest.TestCase):
    def setUp(self):
        self.run_ = ScriptRun(MORIVEL)
        self.inbox = self.run_.dir / "inbox"
        self.inbox.mkdir()
        self.port = free_port()
        self.server = Background(["/usr/bin/python3", str(HERE / "smtp_server.py"), str(self.port),
                                  str(self.inbox), "--login", "me", "secret"])
        wait_for_port(self.port)

    def tearDown(self):
        self.server.stop()
        self.run_.close()

    def test_message_headers_body_and_attachments_arrive_intact(self):
        d = self.run_.dir
        (d / "添付.txt").write_bytes("添付の中身".encode("cp932"))
        blob = os.urandom(5000)
        (d / "pic.bin").write_bytes(blob)
        status, out, err = self.run_.run(f"""メールホストは「127.0.0.1:{self.port}」
メールIDは「me」
メールパスワードは「secret」
メール認証方式は「login」
メール送信元は「me@example.test」
メール送信者名は『森 "太郎"』
メール送信先は「a@example.test
 b@example.test」
メールCCは「c@example.test」
メールBCCは「d@example.test」
メールタイトルは『テスト"件名"です』
メール本文は「こんにちは
二行目」
メール添付ファイルは「添付.txt
pic.bin」
メール送信
「送信済」を表示
""")
        self.assertEqual((status, err, out), (0, "", "送信済\n"))
        envelope = (self.inbox / "1.env").read_text().split()
        self.assertEqual(envelope, ["me@example.test", "a@example.test", "b@example.test",
                                    "c@example.test", "d@example.test"])
        raw = (self.inbox / "1.eml").read_bytes()
        self.assertTrue(all(b < 0x80 for b in raw), "the message is 7-bit")
        message = email.message_from_bytes(raw)
        self.assertEqual(decoded(message["Subject"]), "テスト”件名”です")
        self.assertEqual(decoded(message["From"]), "森 ”太郎” <me@example.test>")
        self.assertEqual(message["To"], "a@example.test,b@example.test")
        self.assertEqual(message["Cc"], "c@example.test")
        self.assertIsNone(message["Bcc"])
        self.assertEqual(message["Reply-To"], "me@example.test")
        self.assertEqual(message["X-Mailer"], "morivel 1.84l")
        parts = message.get_payload()
        self.assertEqual(parts[0].get_content_charset(), "iso-2022-jp")
        self.assertEqual(parts[0]["Content-Transfer-Encoding"], "7bit")
        text = parts[0].get_payload(decode=True).decode("iso-2022-jp")
        self.assertEqual(text.replace("\r\n", "\n").strip(), "こんにちは\n二行目")
        self.assertEqual(decoded(parts[1].get_filename()), "添付.txt")
        self.assertEqual(parts[1].get_payload(decode=True), "添付の中身".encode("cp932"))
        self.assertEqual(parts[2].get_filename(), "pic.bin")
        self.assertEqual(parts[2].get_payload(decode=True), blob)

    def test_plain_message_and_the_missing_settings(self):
        status, out, err = self.run_.run(f"""エラーを無視
メール送信
エラーメッセージを表示
メールホストは「127.0.0.1:{self.port}」
メール送信
エラーメッセージを表示
メール送信先は「a@example.test」
メール送信
エラーメッセージを表示
メール本文は「本文」
メール添付ファイルは「ない.txt」
メール送信
エラーメッセージを表示
メール添付ファイルは「」
メール送信元は「me@example.test」
メール送信
エラーメッセージを表示
メール認証方式は「LOGIN」
メールIDは「me」
メールパスワードは「wrong」
メール送信
エラーメッセージを表示
""")
        lines = out.splitlines()
        self.assertEqual(len(lines), 6, out)
        self.assertIn("メールの送信エラー。ホスト名が未設定です。", lines[0])
        self.assertIn("メールの送信エラー。送信先が未設定です。", lines[1])
        self.assertIn("メールの送信エラー。本文が未設定です。", lines[2])
        self.assertIn("メールの送信エラー。添付ファイル\"", lines[3])
        self.assertIn("ない.txt\"がありません。", lines[3])
        # The server wants a login: without one it refuses, with a wrong one too.
        self.assertIn("メールの送信エラー。", lines[4])
        self.assertIn("メールの送信エラー。", lines[5])
        self.assertEqual(list(self.inbox.iterdir()), [])


def prepared_message(subject, sender, attachments, body="本文です\r\n"):
    if attachments:
        message = MIMEMultipart()
        message.attach(MIMEText(body, "plain", "iso-2022-jp"))
        for name, data in attachments:
            part = MIMEApplication(data)
            part.add_header("Content-Disposition", "attachment",
                            filename=email.header.Header(name, "iso-2022-jp").encode())
            message.attach(part)
    else:
        message = MIMEText(body, "plain", "iso-2022-jp")
    message["Subject"] = email.header.Header(subject, "iso-2022-jp").encode()
    message["From"] = sender
    message["To"] = "me@example.test"
    message["Date"] = "Tue, 08 Dec 2026 09:05:07 +0900"
    return message.as_bytes(policy=email.policy.SMTP)


class ReceiveTest(unittest.TestCase):
    def setUp(self):
        self.run_ = ScriptRun(MORIVEL)
        self.box = self.run_.dir / "box"
        self.box.mkdir()
        self.blob = os.urandom(4000)
        self.first = prepared_message("日本語の件名", "\"Sender\" <s@example.test>",
                                      [("写真.bin", self.blob), ("写真.bin", b"second")])
        (self.box / "1.eml").write_bytes(self.first)
        (self.box / "2.eml").write_bytes(prepared_message("二通目", "t@example.test", []))
        self.port = free_port()

    def tearDown(self):
        self.server.stop()
        self.run_.close()

    def start(self):
        self.server = Background(["/usr/bin/python3", str(HERE / "pop3_server.py"), str(self.port),
                                  str(self.box), "me", "secret"])
        wait_for_port(self.port)

    def receive(self, extra=""):
        return self.run_.run(f"""メールホストは「127.0.0.1:{self.port}」
メールIDは「me」
メールパスワードは「secret」
{extra}
「recv」へメール受信
「受信済」を表示
""")

    def test_messages_become_summaries_raw_files_and_attachments(self):
        self.start()
        recv = self.run_.dir / "recv"
        recv.mkdir()
        (recv / "1.txt").write_bytes(b"taken")
        status, out, err = self.receive("メール認証方式は「APOP」")
        self.assertEqual((status, err, out), (0, "", "受信済\n"))
        self.server.stop()
        self.assertIn(b"APOP login", self.server.output)
        summary = (recv / "2.txt").read_bytes().decode("cp932")
        self.assertEqual(summary, "送信者:Sender <s@example.test>\r\n受信者:me@example.test\r\n"
                                  "日時:2026/12/08 09:05:07\r\n件名:日本語の件名\r\n"
                                  "添付ファイル:写真.bin\r\n添付ファイル:_写真.bin\r\n"
                                  "本文:\r\n\r\n本文です\r\n")
        self.assertEqual((recv / "2.eml").read_bytes(), self.first)
        self.assertEqual((recv / "写真.bin").read_bytes(), self.blob)
        self.assertEqual((recv / "_写真.bin").read_bytes(), b"second")
        self.assertIn("件名:二通目", (recv / "3.txt").read_bytes().decode("cp932"))
        self.assertTrue((recv / "3.eml").exists())
        # Both were deleted from the server.
        self.assertEqual(list(self.box.iterdir()), [])

    def test_keeping_messages_and_the_errors(self):
        self.start()
        status, out, err = self.receive("メールサーバーから削除は「0」")
        self.assertEqual((status, err), (0, ""))
        self.assertEqual(sorted(p.name for p in self.box.iterdir()), ["1.eml", "2.eml"])
        status, out, err = self.run_.run(f"""エラーを無視
メールホストは「127.0.0.1:{self.port}」
「r2」へメール受信
エラーメッセージを表示
メールIDは「me」
「r2」へメール受信
エラーメッセージを表示
メールパスワードは「wrong」
「r2」へメール受信
エラーメッセージを表示
""")
        lines = out.splitlines()
        self.assertEqual(len(lines), 3, out)
        self.assertIn("メールの受信エラー。ユーザーＩＤが未設定です。", lines[0])
        self.assertIn("メールの受信エラー。パスワードが未設定です。", lines[1])
        self.assertIn("メールの受信エラー。メールの受信に失敗しました。", lines[2])


if __name__ == "__main__":
    unittest.main()
