#!/usr/bin/python3
"""TCP client and server commands: Morivel with itself and with Python peers."""

import os
import socket
import sys
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from netlib import UNRESOLVABLE_HOST, ScriptRun, free_port  # noqa: E402

MORIVEL = os.environ["MORIVEL_BIN"]


class TcpTest(unittest.TestCase):
    def setUp(self):
        self.run_ = ScriptRun(MORIVEL)

    def tearDown(self):
        self.run_.close()

    def run_script(self, source):
        return self.run_.run(source)

    def test_server_and_client_of_one_run_talk_through_events(self):
        port = free_port()
        status, out, err = self.run_script(f"""TCPポートは「{port}」
TCPサーバー起動
「サーバー受信」にTCPサーバー受信処理設定
「接続あり」にTCPサーバー接続処理設定
「クライアント受信」にTCP受信処理設定
「127.0.0.1」へTCP接続
TCP接続状態を表示
「こんにちは」をTCP送信
待機

*接続あり
「接続:{{TCP送信元}}」を表示
戻る

*サーバー受信
「サーバー受信:{{TCP文字列}}」を表示
「LOCALHOST」へ「{{TCP文字列}}だよ」をTCPサーバーから送信
戻る

*クライアント受信
「クライアント受信:{{TCP文字列}}」を表示
TCPサーバー接続先列挙を表示
TCP切断
TCP接続状態を表示
TCPサーバー終了
TCP接続状態を表示
戻る
""")
        self.assertEqual(err, "")
        self.assertEqual(status, 0)
        # The program ended by itself once nothing was open any more.
        self.assertEqual(out, "接続:127.0.0.1,localhost\n接続中\nサーバー受信:こんにちは\n"
                              "クライアント受信:こんにちはだよ\n127.0.0.1,localhost\n切断\n停止中\n")

    def test_python_client_reaches_morivel_server_with_shift_jis_bytes(self):
        port = free_port()
        received = {}

        def peer():
            for _ in range(200):
                try:
                    conn = socket.create_connection(("127.0.0.1", port), timeout=10)
                    break
                except OSError:
                    threading.Event().wait(0.05)
            else:
                return
            with conn:
                conn.sendall("表示ソフト\r\n".encode("cp932"))
                data = b""
                while not data.endswith(b"!"):
                    chunk = conn.recv(4096)
                    if not chunk:
                        break
                    data += chunk
                received["data"] = data

        thread = threading.Thread(target=peer)
        thread.start()
        status, out, err = self.run_script(f"""TCPポートは「{port}」
TCPサーバー起動
「受信」にTCPサーバー受信処理設定
待機
*受信
「127.0.0.1」へ「返事:{{TCP文字列}}!」をTCPサーバーから送信
「{{TCP文字列}}」を表示
TCPサーバー終了
おわり
""")
        thread.join(timeout=30)
        self.assertEqual(err, "")
        self.assertEqual(status, 0)
        self.assertEqual(out, "表示ソフト\n\n")
        self.assertEqual(received.get("data"), "返事:表示ソフト\r\n!".encode("cp932"))

    def test_morivel_client_reaches_python_echo_server(self):
        server = socket.socket()
        server.bind(("127.0.0.1", 0))
        server.listen(1)
        port = server.getsockname()[1]
        got = {}

        def echo():
            conn, _ = server.accept()
            with conn:
                data = conn.recv(4096)
                got["data"] = data
                conn.sendall(b"[" + data + b"]")
                conn.recv(10)  # until the client closes

        thread = threading.Thread(target=echo)
        thread.start()
        try:
            status, out, err = self.run_script(f"""TCPポートは「{port}」
「受信」にTCP受信処理設定
「localhost」へTCP接続
「ソ表」をTCP送信
待機
*受信
「{{TCP文字列}}/{{TCP送信元}}」を表示
TCP切断
""")
        finally:
            thread.join(timeout=30)
            server.close()
        self.assertEqual(err, "")
        self.assertEqual(status, 0)
        self.assertEqual(got.get("data"), "ソ表".encode("cp932"))
        self.assertEqual(out, "[ソ表]/127.0.0.1,localhost\n")

    def test_event_interrupts_a_waiting_script_and_returns_to_it(self):
        port = free_port()
        status, out, err = self.run_script(f"""TCPポートは「{port}」
TCPサーバー起動
「受信」にTCPサーバー受信処理設定
「127.0.0.1」へTCP接続
「A」をTCP送信
「待つ前」を表示
1秒待つ
「待った後」を表示
TCP切断
TCPサーバー終了
おわり
*受信
「受信:{{TCP文字列}}」を表示
戻る
""")
        self.assertEqual(err, "")
        self.assertEqual(out, "待つ前\n受信:A\n待った後\n")

    def test_receive_label_set_before_start_is_dropped(self):
        port = free_port()
        status, out, err = self.run_script(f"""TCPポートは「{port}」
「受信」にTCPサーバー受信処理設定
TCPサーバー起動
「127.0.0.1」へTCP接続
「A」をTCP送信
0.5秒待つ
TCPサーバー接続先列挙を表示
「127.0.0.1」をTCPサーバーから切断
TCPサーバー接続先列挙を表示
TCP切断
TCPサーバー終了
「終」を表示
おわり
*受信
「受信:{{TCP文字列}}」を表示
戻る
""")
        self.assertEqual(err, "")
        self.assertEqual(out, "127.0.0.1,localhost\n\n終\n")

    def test_refused_and_unknown_hosts_fail_with_the_messages(self):
        port = free_port()
        status, out, err = self.run_script(f"""TCPポートは「{port}」
エラーを無視
「127.0.0.1」へTCP接続
エラーメッセージを表示
TCP接続状態を表示
「{UNRESOLVABLE_HOST}」へTCP接続
エラーメッセージを表示
「」へTCP接続
エラーメッセージを表示
「A」をTCP送信
エラーメッセージを表示
「x」へ「A」をTCPサーバーから送信
エラーメッセージを表示
「未定義」にTCP受信処理設定
エラーメッセージを表示
""")
        lines = out.splitlines()
        self.assertEqual(len(lines), 7, out)
        self.assertIn("TCP/IPのエラー。サーバー\"127.0.0.1\"へ接続できませんでした。エラー10061", lines[0])
        self.assertEqual(lines[1], "エラー10061")
        self.assertIn(f"\"{UNRESOLVABLE_HOST}\"へ接続できませんでした。エラー11001", lines[2])
        self.assertIn("\"TCP接続\"命令の引数に誤りがあります。接続先が設定されていません", lines[3])
        self.assertIn("サーバーへの送信に失敗。", lines[4])
        self.assertIn("TCP/IPのエラー。サーバーがアクティブではありません。", lines[5])
        self.assertIn("未定義のラベル\"未定義\"に、ジャンプしようとしました。", lines[6])


    def test_host_information_comes_from_the_system(self):
        import pwd
        status, out, err = self.run_script(f"""コンピューター名取得を表示
ユーザー名取得を表示
「localhost」のIPアドレス取得を表示
「127.0.0.1」のIPアドレス取得を表示
「{UNRESOLVABLE_HOST}」のIPアドレス取得を表示
""")
        self.assertEqual((status, err), (0, ""))
        self.assertEqual(out.split("\n"), [socket.gethostname(), pwd.getpwuid(os.getuid()).pw_name,
                                           "127.0.0.1", "127.0.0.1", "", ""])


    def test_chat_example(self):
        from pathlib import Path
        import subprocess
        from netlib import isolated_environment, wait_for_port
        examples = Path(__file__).resolve().parent.parent.parent / "examples"
        port = free_port()
        for name in ("chat_server", "chat_client"):
            text = (examples / f"{name}.mrv").read_bytes().replace(b"10080", str(port).encode())
            (self.run_.dir / f"{name}.mrv").write_bytes(text)
        env = isolated_environment(self.run_.dir)
        server = subprocess.Popen([MORIVEL, "-console", str(self.run_.dir / "chat_server.mrv")],
                                  cwd=self.run_.dir, env=env, stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE)
        try:
            wait_for_port(port)
            client = subprocess.run([MORIVEL, "-console", str(self.run_.dir / "chat_client.mrv")],
                                    cwd=self.run_.dir, env=env, capture_output=True, timeout=30,
                                    input="やあ\n\n".encode("utf-8"))
        finally:
            server.terminate()
            server_out, _ = server.communicate(timeout=10)
        self.assertEqual(client.returncode, 0, client.stderr.decode())
        self.assertIn("[やあ]を受け取りました。", client.stdout.decode())
        self.assertIn("127.0.0.1,localhost> やあ", server_out.decode())


if __name__ == "__main__":
    unittest.main()
