"""An X server of the test's own (Xvfb on a display it picks) with a window manager (openbox)."""

import os
import shutil
import subprocess
import time

from autolib import wait_until


def tools_missing():
    return [t for t in ("Xvfb", "openbox", "xprop", "xev") if not shutil.which(t)]


class XDesktop:
    def __init__(self, home):
        self.processes = []
        read_end, write_end = os.pipe()
        server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.processes.append(server)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            self.close()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        self.env = dict(os.environ, DISPLAY=self.display, HOME=str(home))
        self.start(["openbox"])
        if not wait_until(lambda: "window id" in self.xprop_root("_NET_SUPPORTING_WM_CHECK")):
            self.close()
            raise RuntimeError("openbox did not start")

    def start(self, args, **kwargs):
        process = subprocess.Popen(args, env=self.env, **kwargs)
        self.processes.append(process)
        return process

    def xprop_root(self, prop):
        return self.xprop(["-root", prop])

    def xprop(self, args):
        done = subprocess.run(["xprop"] + args, env=self.env, capture_output=True, timeout=10)
        return done.stdout.decode("utf-8", "replace")

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.processes.clear()
        time.sleep(0.1)
