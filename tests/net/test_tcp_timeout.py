#!/usr/bin/python3
"""TCP接続 to a server that never answers gives up after 20 seconds, and events keep running
while it waits."""

import os
import socket
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from netlib import ScriptRun, free_port  # noqa: E402

MORIVEL = os.environ["MORIVEL_BIN"]


def silent_listener():
    """A loopback port whose accept queue is full, so that new connection attempts go unanswered.

    Returns the listening socket and the sockets that fill its queue; the caller closes them."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(0)
    port = listener.getsockname()[1]
    fillers = []
    for _ in range(3):
        filler = socket.socket()
        filler.setblocking(False)
        try:
            filler.connect(("127.0.0.1", port))
        except BlockingIOError:
            pass
        fillers.append(filler)
    time.sleep(0.3)
    probe = socket.socket()
    probe.settimeout(1)
    try:
        probe.connect(("127.0.0.1", port))
        unanswered = False
    except OSError:
        unanswered = True
    finally:
        probe.close()
    return listener, fillers, port, unanswered


class TcpTimeoutTest(unittest.TestCase):
    def test_unanswered_connect_times_out_while_events_run(self):
        listener, fillers, silent_port, unanswered = silent_listener()
        run = ScriptRun(MORIVEL)
        server_port = free_port()
        sent = {}

        def talk_to_the_script_server():
            # Connects once the script's own server is up, while its TCP接続 is still waiting.
            time.sleep(3)
            for _ in range(100):
                try:
                    with socket.create_connection(("127.0.0.1", server_port), timeout=5) as peer:
                        peer.sendall("待機中".encode("cp932"))
                        sent["at"] = time.monotonic()
                        time.sleep(1)
                        return
                except OSError:
                    time.sleep(0.1)

        try:
            if not unanswered:
                self.skipTest("this kernel answers connections beyond a full accept queue")
            peer = threading.Thread(target=talk_to_the_script_server)
            peer.start()
            started = time.monotonic()
            status, out, err = run.run(f"""TCPポートは「{server_port}」
TCPサーバー起動
「受信」にTCPサーバー受信処理設定
TCPポートは「{silent_port}」
エラーを無視
「127.0.0.1」へTCP接続
エラーメッセージを表示
TCP接続状態を表示
TCPサーバー終了
おわり
*受信
「受信:{{TCP文字列}}」を表示
戻る
""")
            elapsed = time.monotonic() - started
            peer.join(timeout=30)
        finally:
            for s in fillers + [listener]:
                s.close()
            run.close()
        lines = out.splitlines()
        self.assertEqual(status, 0, err)
        self.assertEqual(len(lines), 3, out)
        self.assertEqual(lines[0], "受信:待機中")
        self.assertIn("TCP/IPのエラー。サーバー\"127.0.0.1\"へ接続できませんでした。タイムアップ",
                      lines[1])
        self.assertEqual(lines[2], "接続準備中")
        self.assertGreaterEqual(elapsed, 19.5)
        self.assertLess(elapsed, 45)


if __name__ == "__main__":
    unittest.main()
