"""Shared pieces of the network tests: free loopback ports, running a script, servers that stop.

Every server here listens on 127.0.0.1 only, on a port the system handed out, and is stopped by
the test that started it.
"""

import os
import socket
import subprocess
import tempfile
from pathlib import Path

SCRIPT_TIMEOUT_SECONDS = 60.0

# A host name the resolver rejects by itself (a label longer than 63 bytes), so that looking it up
# sends no query to a name server outside the machine, as a name under ".invalid" would.
UNRESOLVABLE_HOST = "n" * 64 + ".test"


def free_port() -> int:
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def isolated_environment(work_dir: Path) -> dict:
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    env["QT_QPA_PLATFORM"] = "offscreen"
    env["LC_ALL"] = "C.UTF-8"
    home = work_dir / ".home"
    for name, sub in (("HOME", ""), ("XDG_CONFIG_HOME", ".config"), ("XDG_RUNTIME_DIR", "runtime")):
        folder = home / sub
        folder.mkdir(parents=True, exist_ok=True)
        env[name] = str(folder)
    os.chmod(home / "runtime", 0o700)
    return env


class ScriptRun:
    """A Morivel script (UTF-8 text, run as Shift-JIS) in a folder of its own."""

    def __init__(self, morivel: str):
        self.morivel = morivel
        self._dir = tempfile.TemporaryDirectory(prefix="morivel-net-")
        self.dir = Path(self._dir.name)

    def close(self):
        self._dir.cleanup()

    def run(self, source: str, env_extra=None, timeout=SCRIPT_TIMEOUT_SECONDS):
        script = self.dir / "test.mrv"
        script.write_bytes(source.encode("cp932"))
        env = isolated_environment(self.dir)
        env.update(env_extra or {})
        done = subprocess.run(
            [self.morivel, "-console", str(script)],
            capture_output=True, cwd=self.dir, env=env, timeout=timeout,
        )
        return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode(
            "utf-8", "replace")


class Background:
    """A helper process that is killed when the test ends, whatever happens."""

    def __init__(self, args, cwd=None, env=None, log_path=None):
        """With `log_path`, standard error goes to that file (for servers that log a lot)."""
        self.output = b""
        self._log = open(log_path, "wb") if log_path else None
        self.process = subprocess.Popen(args, cwd=cwd, env=env, stdout=subprocess.PIPE,
                                        stderr=self._log or subprocess.PIPE)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        if self.process.stdout and not self.process.stdout.closed:
            self.output = self.process.stdout.read()
        for stream in (self.process.stdout, self.process.stderr, self._log):
            if stream:
                stream.close()


def wait_for_port(port: int, seconds: float = 10.0):
    import time
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"nothing listens on port {port}")
