"""Shared pieces of the automation tests: scripts run in folders of their own, with a private
home, configuration and data folder, so that settings stores never touch the user's own."""

import os
import subprocess
import tempfile
import time
from pathlib import Path

SCRIPT_TIMEOUT_SECONDS = 60.0
MORIVEL = os.environ["MORIVEL_BIN"]


def isolated_environment(home: Path, display=None) -> dict:
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    if display:
        env["DISPLAY"] = display
        env["QT_QPA_PLATFORM"] = "xcb"
    else:
        env["QT_QPA_PLATFORM"] = "offscreen"
    env["LC_ALL"] = "C.UTF-8"
    for name, sub in (("HOME", ""), ("XDG_CONFIG_HOME", ".config"), ("XDG_DATA_HOME", ".local/share"),
                      ("XDG_RUNTIME_DIR", "runtime")):
        folder = home / sub
        folder.mkdir(parents=True, exist_ok=True)
        env[name] = str(folder)
    os.chmod(home / "runtime", 0o700)
    return env


def wait_until(predicate, timeout=20.0, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


class ScriptFolder:
    """A folder of scripts (UTF-8 text, stored as Shift-JIS) that share one isolated home."""

    def __init__(self):
        self._dir = tempfile.TemporaryDirectory(prefix="morivel-auto-")
        # The home lies outside the scripts' folder, as a user's does: the security policy asks
        # before changing files there.
        self.home = Path(self._dir.name) / "home"
        self.dir = Path(self._dir.name) / "work"
        self.dir.mkdir()
        self.display = None
        self.extra_env = {}

    def close(self):
        self._dir.cleanup()

    def env(self):
        env = isolated_environment(self.home, self.display)
        env.update(self.extra_env)
        return env

    def write(self, name: str, source: str) -> Path:
        path = self.dir / name
        path.write_bytes(source.encode("cp932"))
        return path

    def args(self, name: str, console=True, options=()):
        return [MORIVEL] + (["-console"] if console else []) + list(options) + [
            str(self.dir / name)]

    def run(self, source: str, name="test.mrv", timeout=SCRIPT_TIMEOUT_SECONDS, console=True,
            options=(), stdin=b""):
        self.write(name, source)
        done = subprocess.run(self.args(name, console, options), capture_output=True,
                              cwd=self.dir, env=self.env(), timeout=timeout, input=stdin)
        return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode(
            "utf-8", "replace")

    def start(self, source: str, name: str, console=True, options=()):
        self.write(name, source)
        return subprocess.Popen(self.args(name, console, options), cwd=self.dir, env=self.env(),
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    out, err = process.communicate()
    return out.decode("utf-8", "replace"), err.decode("utf-8", "replace")
