#!/usr/bin/python3
"""A small POP3 server for the tests, holding the messages of a folder.

usage: pop3_server.py PORT FOLDER USER PASSWORD
Serves FOLDER/*.eml in name order as messages 1..n (USER/PASS or APOP), deletes the files of
messages marked with DELE when the client ends with QUIT. Listens on 127.0.0.1 only.
"""

import hashlib
import os
import socketserver
import sys
from pathlib import Path


class Mailbox:
    def __init__(self, folder: Path):
        self.files = sorted(folder.glob("*.eml"))
        self.deleted = set()

    def data(self, n):
        return self.files[n - 1].read_bytes()


class Handler(socketserver.StreamRequestHandler):
    def send(self, line: str):
        self.wfile.write(line.encode() + b"\r\n")

    def handle(self):
        server = self.server
        stamp = f"<{os.getpid()}.{id(self)}@morivel.test>"
        self.send(f"+OK POP3 ready {stamp}")
        box = None
        user = None
        while True:
            raw = self.rfile.readline()
            if not raw:
                return
            parts = raw.decode("latin-1").strip().split(" ")
            verb, args = parts[0].upper(), parts[1:]
            if verb == "CAPA":
                self.send("+OK")
                self.send("USER")
                self.send("UIDL")
                self.send(".")
            elif verb == "USER":
                user = args[0] if args else ""
                self.send("+OK")
            elif verb == "PASS":
                if user == server.user and " ".join(args) == server.password:
                    box = Mailbox(server.folder)
                    self.send("+OK logged in")
                else:
                    self.send("-ERR denied")
            elif verb == "APOP":
                digest = hashlib.md5((stamp + server.password).encode()).hexdigest()
                if len(args) == 2 and args[0] == server.user and args[1] == digest:
                    box = Mailbox(server.folder)
                    print("APOP login", flush=True)
                    self.send("+OK logged in")
                else:
                    self.send("-ERR denied")
            elif verb == "QUIT":
                if box:
                    for n in box.deleted:
                        box.files[n - 1].unlink()
                self.send("+OK bye")
                return
            elif box is None:
                self.send("-ERR log in first")
            elif verb == "STAT":
                live = [i for i in range(1, len(box.files) + 1) if i not in box.deleted]
                self.send(f"+OK {len(live)} {sum(len(box.data(i)) for i in live)}")
            elif verb == "LIST" and not args:
                self.send("+OK")
                for i in range(1, len(box.files) + 1):
                    if i not in box.deleted:
                        self.send(f"{i} {len(box.data(i))}")
                self.send(".")
            elif verb == "UIDL" and not args:
                self.send("+OK")
                for i in range(1, len(box.files) + 1):
                    self.send(f"{i} id{i}")
                self.send(".")
            elif verb in ("RETR", "DELE", "LIST") and args and args[0].isdigit() and \
                    1 <= int(args[0]) <= len(box.files) and int(args[0]) not in box.deleted:
                n = int(args[0])
                if verb == "DELE":
                    box.deleted.add(n)
                    self.send("+OK deleted")
                elif verb == "LIST":
                    self.send(f"+OK {n} {len(box.data(n))}")
                else:
                    self.send("+OK")
                    lines = box.data(n).split(b"\r\n")
                    if lines and lines[-1] == b"":
                        lines.pop()
                    for line in lines:
                        self.wfile.write((b"." + line if line.startswith(b".") else line) + b"\r\n")
                    self.send(".")
            elif verb == "NOOP":
                self.send("+OK")
            else:
                self.send("-ERR unknown")


def main():
    port, folder, user, password = int(sys.argv[1]), Path(sys.argv[2]), sys.argv[3], sys.argv[4]
    socketserver.TCPServer.allow_reuse_address = True
    with socketserver.ThreadingTCPServer(("127.0.0.1", port), Handler) as server:
        server.folder, server.user, server.password = folder, user, password
        print("ready", flush=True)
        server.serve_forever()


if __name__ == "__main__":
    main()
