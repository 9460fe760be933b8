#!/usr/bin/python3
"""An HTTP(S) server for the tests, on 127.0.0.1 only.

usage: http_server.py PORT FOLDER [--tls CERT KEY]
GET serves the files of FOLDER; besides:
  /redirect/NAME  answers 302 to /NAME
  /cut            promises 1000000 bytes, sends 1000 and closes the connection
  /slow           promises 10000000 bytes and sends 1000 of them every 50 ms
PORT 0 takes a free port; "ready PORT" on standard output tells which.
POST echoes "method=POST&" followed by the body it received.
"""

import http.server
import ssl
import sys
import time
from functools import partial


class Handler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path.startswith("/redirect/"):
            self.send_response(302)
            self.send_header("Location", "/" + self.path[len("/redirect/"):])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if self.path == "/cut":
            self.send_response(200)
            self.send_header("Content-Length", "1000000")
            self.end_headers()
            self.wfile.write(b"x" * 1000)
            self.wfile.flush()
            self.close_connection = True
            return
        if self.path == "/slow":
            self.send_response(200)
            self.send_header("Content-Length", "10000000")
            self.end_headers()
            try:
                for _ in range(10000):
                    self.wfile.write(b"s" * 1000)
                    self.wfile.flush()
                    time.sleep(0.05)
            except OSError:
                pass
            return
        super().do_GET()

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = b"method=POST&" + self.rfile.read(length)
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def main():
    port, folder = int(sys.argv[1]), sys.argv[2]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port),
                                             partial(Handler, directory=folder))
    if len(sys.argv) >= 6 and sys.argv[3] == "--tls":
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[4], sys.argv[5])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print("ready", server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
