#!/usr/bin/python3
"""HTTPダウンロード and HTTPポスト against a loopback HTTP(S) server."""

import os
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from netlib import Background, ScriptRun, free_port, wait_for_port  # noqa: E402

MORIVEL = os.environ["MORIVEL_BIN"]
HERE = Path(__file__).resolve().parent


def make_certificate(folder: Path):
    cert, key = folder / "cert.pem", folder / "key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                    "-keyout", str(key), "-out", str(cert)], check=True, capture_output=True)
    return cert, key


class HttpTest(unittest.TestCase):
    def setUp(self):
        self.run_ = ScriptRun(MORIVEL)
        self.www = self.run_.dir / "www"
        self.www.mkdir()
        self.payload = os.urandom(700_000)
        (self.www / "data.bin").write_bytes(self.payload)
        self.servers = []

    def tearDown(self):
        for server in self.servers:
            server.stop()
        self.run_.close()

    def start(self, *extra):
        port = free_port()
        self.servers.append(Background(["/usr/bin/python3", str(HERE / "http_server.py"),
                                        str(port), str(self.www), *extra]))
        wait_for_port(port)
        return port

    def test_download_is_byte_identical_and_follows_redirects(self):
        port = self.start()
        status, out, err = self.run_.run(f"""「http://127.0.0.1:{port}/data.bin」を「a.bin」へHTTPダウンロード
「http://127.0.0.1:{port}/redirect/data.bin」を「b.bin」へHTTPダウンロード
「済」を表示
""")
        self.assertEqual((status, err), (0, ""))
        self.assertEqual((self.run_.dir / "a.bin").read_bytes(), self.payload)
        self.assertEqual((self.run_.dir / "b.bin").read_bytes(), self.payload)

    def test_failures_leave_no_file_and_give_the_message(self):
        port = self.start()
        closed = free_port()
        status, out, err = self.run_.run(f"""エラーを無視
「http://127.0.0.1:{port}/none.bin」を「none.bin」へHTTPダウンロード
エラーメッセージを表示
「http://127.0.0.1:{port}/cut」を「cut.bin」へHTTPダウンロード
エラーメッセージを表示
「http://127.0.0.1:{closed}/x」を「x.bin」へHTTPダウンロード
エラーメッセージを表示
""")
        lines = out.splitlines()
        self.assertEqual(len(lines), 3, out)
        self.assertIn(f"\"http://127.0.0.1:{port}/none.bin\"からのダウンロードに失敗", lines[0])
        self.assertIn("404", lines[0])
        self.assertIn(f"\"http://127.0.0.1:{port}/cut\"からのダウンロードに失敗", lines[1])
        self.assertIn(f"\"http://127.0.0.1:{closed}/x\"からのダウンロードに失敗", lines[2])
        for name in ("none.bin", "cut.bin", "x.bin"):
            self.assertFalse((self.run_.dir / name).exists(), name)

    def test_https_with_a_trusted_certificate_and_refusal_of_an_untrusted_one(self):
        cert, key = make_certificate(self.run_.dir)
        port = self.start("--tls", str(cert), str(key))
        source = f"""エラーを無視
「https://127.0.0.1:{port}/data.bin」を「s.bin」へHTTPダウンロード
エラーメッセージを表示
"""
        status, out, err = self.run_.run(source, env_extra={"SSL_CERT_FILE": str(cert)})
        self.assertEqual(out, "\n")
        self.assertEqual((self.run_.dir / "s.bin").read_bytes(), self.payload)
        (self.run_.dir / "s.bin").unlink()
        status, out, err = self.run_.run(source)
        self.assertIn("からのダウンロードに失敗", out)
        self.assertFalse((self.run_.dir / "s.bin").exists())

    def test_post_sends_the_hash_form_encoded(self):
        port = self.start()
        status, out, err = self.run_.run(f"""データのnameは「森 太郎」
データのqは「a&b=c」
データを「http://127.0.0.1:{port}/form」へHTTPポスト
それを表示
データのハッシュキー列挙
それを表示
""")
        self.assertEqual((status, err), (0, ""))
        lines = [line for line in out.splitlines() if line]
        pairs = {"name": "name=%90X+%91%BE%98Y", "q": "q=a%26b%3Dc"}
        # The pairs come in the hash's own enumeration order.
        expected = "method=POST&" + "&".join(pairs[key] for key in lines[1:])
        self.assertEqual(sorted(lines[1:]), ["name", "q"])
        self.assertEqual(lines[0], expected)


    def test_console_progress_line_only_on_a_terminal(self):
        import pty
        port = self.start()
        script = self.run_.dir / "p.mrv"
        script.write_bytes(f"「http://127.0.0.1:{port}/data.bin」を「p.bin」へHTTPダウンロード\n"
                           .encode("cp932"))
        from netlib import isolated_environment
        env = isolated_environment(self.run_.dir)
        master, slave = pty.openpty()
        try:
            done = subprocess.run([MORIVEL, "-console", str(script)], cwd=self.run_.dir, env=env,
                                  stdout=subprocess.PIPE, stderr=slave, timeout=60)
            os.close(slave)
            slave = -1
            shown = b""
            while True:
                try:
                    chunk = os.read(master, 65536)
                except OSError:
                    break
                if not chunk:
                    break
                shown += chunk
        finally:
            if slave >= 0:
                os.close(slave)
            os.close(master)
        self.assertEqual(done.returncode, 0)
        text = shown.decode("utf-8", "replace")
        self.assertIn(f"\"http://127.0.0.1:{port}/data.bin\" よりHTTPデータ取得中", text)
        self.assertIn("100%", text)
        self.assertTrue(text.endswith("\r\x1b[K"), repr(text[-20:]))
        # Not a terminal: nothing at all.
        status, out, err = self.run_.run(script.read_bytes().decode("cp932"))
        self.assertEqual((status, out, err), (0, "", ""))


if __name__ == "__main__":
    unittest.main()
