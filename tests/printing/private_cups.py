"""A print server of the test's own: cupsd on a socket in a temporary folder, with raw queues that
print to /dev/null. Clients find it through CUPS_SERVER; the machine's own printers are never
touched. Used as a context manager; the server is stopped on leaving."""

import os
import subprocess
import time
from pathlib import Path

CUPSD = "/usr/sbin/cupsd"


class PrivateCups:
    def __init__(self, folder: Path, printers: list):
        self.folder = folder
        self.printers = printers
        self.socket = folder / "cups.sock"
        self.process = None

    def __enter__(self):
        root = self.folder / "root"
        for name in ("root", "spool", "cache", "state", "log"):
            (self.folder / name).mkdir(parents=True, exist_ok=True)
        (self.folder / "cupsd.conf").write_text(
            f"Listen {self.socket}\nLogLevel warn\nBrowsing No\nWebInterface No\n"
            "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n")
        (self.folder / "cups-files.conf").write_text(
            f"ServerRoot {root}\nRequestRoot {self.folder / 'spool'}\n"
            f"CacheDir {self.folder / 'cache'}\nStateDir {self.folder / 'state'}\n"
            f"ErrorLog {self.folder / 'log' / 'error_log'}\nAccessLog /dev/null\n"
            f"PageLog /dev/null\nTempDir {self.folder / 'spool'}\nFileDevice Yes\n"
            "Sandboxing Relaxed\n")
        (root / "printers.conf").write_text("".join(
            f"<Printer {name}>\nDeviceURI file:///dev/null\nState Idle\nAccepting Yes\n"
            "</Printer>\n" for name in self.printers))
        self.process = subprocess.Popen(
            [CUPSD, "-f", "-c", str(self.folder / "cupsd.conf"),
             "-s", str(self.folder / "cups-files.conf")],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 20
        while not self.socket.exists():
            if self.process.poll() is not None or time.monotonic() > deadline:
                log = self.folder / "log" / "error_log"
                self.__exit__(None, None, None)
                raise RuntimeError("cupsd did not start: " +
                                   (log.read_text() if log.exists() else "no log"))
            time.sleep(0.1)
        return self

    def env(self) -> dict:
        return {"CUPS_SERVER": str(self.socket)}

    def __exit__(self, *exc):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return False


def available() -> bool:
    return os.access(CUPSD, os.X_OK)
