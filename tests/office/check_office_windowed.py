#!/usr/bin/env python3
"""The office with windows: the window front end, on an X server of the test's own, starts
LibreOffice visibly; a script fills cells, pastes the text it copied itself and shows the print
preview, which the user (a key press here) closes; a second script attaches to the same office and
leaves its preview open, which the command closes after its time limit; the last quit ends the
office. The test watches the office through its own UNO connection and leaves no process behind.

Usage: check_office_windowed.py --morivel PATH
Exits 77 (skipped) when the X tools or LibreOffice's window-system plug-in are missing.
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).parent
OFFICE_PROGRAM = Path("/usr/lib/libreoffice/program")
LONG_WAIT = 180.0

FIRST = """失敗にエラー処理設定
エクセル起動
(0,0)を「見出し」にエクセル設定
(1,0)を「12.5」にエクセル設定
「貼る文字」をコピー
(0,3)から(0,3)をエクセルセル選択
エクセル貼り付け
A=「」
(0,3)をAにエクセル得る
「{A}」を「pasted.txt」へ保存
「開く」を「preview.txt」へ保存
エクセル印刷プレビュー
(1,0)をAにエクセル得る
「{A}」を「closed.txt」へ保存
「表.ods」へエクセル保存
終わる
*失敗
エラーを無視
「{エラーメッセージ}」を「error.txt」へ保存
終わる
"""

# Attaches to the office the first script left running (its workbook saved, so that the quit
# here finds no unsaved work of the user's and ends the office); its preview is left open.
SECOND = """失敗にエラー処理設定
エクセル起動
(2,0)を「二つ目」にエクセル設定
「開く」を「preview.txt」へ保存
エクセル印刷プレビュー
(2,0)から(2,0)をエクセルセル選択
「後の文字」をコピー
(2,1)から(2,1)をエクセルセル選択
エクセル貼り付け
A=「」
(2,1)をAにエクセル得る
「{A}」を「closed.txt」へ保存
エクセル終了
終わる
*失敗
エラーを無視
「{エラーメッセージ}」を「error.txt」へ保存
終わる
"""


def fail(message: str):
    raise AssertionError(message)


def wait_for(predicate, timeout: float, step: float = 0.2) -> bool:
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return bool(predicate())


def own_suite_processes(folder: Path) -> set:
    """Process ids of this user's soffice.bin (pgrep's view) that use a profile under `folder`;
    other tests and other people's offices run beside this one."""
    done = subprocess.run(["pgrep", "-u", str(os.getuid()), "-x", "soffice.bin"],
                          capture_output=True, text=True)
    found = set()
    for pid in done.stdout.split():
        try:
            cmdline = Path(f"/proc/{pid}/cmdline").read_bytes()
        except OSError:
            continue
        if str(folder).encode() in cmdline:
            found.add(int(pid))
    return found


def processes_of_pipe(pipe: str) -> list:
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            cmdline = (entry / "cmdline").read_bytes()
        except OSError:
            continue
        if f"name={pipe};".encode() in cmdline:
            found.append((int(entry.name), cmdline.split(b"\0")))
    return found


class Observer:
    """The test's own UNO connection to the office, to see what the user would see."""

    def __init__(self, pipe: str):
        import uno  # noqa: E402 (Debian's module, found through dist-packages)
        self.uno = uno
        self.pipe = pipe
        self.desktop = None

    def connect(self):
        local = self.uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        remote = resolver.resolve(f"uno:pipe,name={self.pipe};urp;StarOffice.ComponentContext")
        self.desktop = remote.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", remote)

    def workbook(self):
        components = self.desktop.getComponents().createEnumeration()
        while components.hasMoreElements():
            doc = components.nextElement()
            if doc.supportsService("com.sun.star.sheet.SpreadsheetDocument"):
                return doc
        return None

    def in_preview(self) -> bool:
        """The sheet view gives way to a view of its own while the preview shows."""
        doc = self.workbook()
        view = doc.getCurrentController() if doc else None
        if view is None:
            return False
        return "com.sun.star.sheet.XSpreadsheetView" not in {t.typeName for t in view.getTypes()}

    def window_visible(self) -> bool:
        doc = self.workbook()
        return bool(doc) and doc.getCurrentController().getFrame().getContainerWindow().isVisible()


class Run:
    """A script started in the window front end; its results are files in the work folder."""

    def __init__(self, work: Path, env: dict, morivel: Path, name: str, text: str):
        self.work = work
        script = work / name
        script.write_bytes(text.replace("\n", "\r\n").encode("cp932"))
        for result in ("pasted.txt", "preview.txt", "closed.txt", "error.txt"):
            (work / result).unlink(missing_ok=True)
        self.process = subprocess.Popen([str(morivel), str(script)], cwd=work, env=env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT)

    def result(self, name: str, timeout: float = LONG_WAIT) -> str:
        path = self.work / name
        if not wait_for(lambda: path.exists() or (self.work / "error.txt").exists(), timeout):
            fail(f"{name} was not written within {timeout} s")
        if (self.work / "error.txt").exists() and not path.exists():
            fail("the script failed: " + (self.work / "error.txt").read_bytes().decode("cp932"))
        return path.read_bytes().decode("cp932")

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()

    def finish(self):
        try:
            self.process.wait(timeout=LONG_WAIT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            fail("the script did not end")
        output = self.process.stdout.read().decode("utf-8", "replace")
        if self.process.returncode != 0:
            fail(f"the script ended with {self.process.returncode}: {output}")


def office_window(env: dict) -> str:
    done = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "libreoffice"],
                          env=env, capture_output=True, text=True, timeout=30)
    ids = done.stdout.split()
    return ids[-1] if ids else ""


def close_preview_as_a_user(env: dict):
    window = office_window(env)
    if not window:
        fail("no LibreOffice window is shown on the test's display")
    # Keys go through the X server's test extension, as typed keys do: GTK ignores sent events.
    subprocess.run(["xdotool", "windowactivate", "--sync", window], env=env, timeout=30)
    subprocess.run(["xdotool", "key", "--clearmodifiers", "Escape"], env=env, timeout=30,
                   check=True)


def check(work: Path, morivel: Path, env: dict, pipe: str, runs: list):
    observer = Observer(pipe)

    first = Run(work, env, morivel, "first.mrv", FIRST)
    runs.append(first)
    if first.result("pasted.txt") != "貼る文字":
        fail("the pasted cell holds " + repr((work / "pasted.txt").read_bytes()))
    suites = processes_of_pipe(pipe)
    if not suites:
        fail("no LibreOffice process listens on the test's pipe")
    for pid, argv in suites:
        if b"--headless" in argv or b"--invisible" in argv:
            fail(f"LibreOffice {pid} was started without windows: {argv}")
    observer.connect()
    if not observer.window_visible() or not office_window(env):
        fail("the workbook's window is not shown")

    first.result("preview.txt")
    if not wait_for(observer.in_preview, 60):
        fail("the print preview did not open")
    time.sleep(1)
    if (work / "closed.txt").exists():
        fail("エクセル印刷プレビュー returned while its preview was still open")
    pressed = time.monotonic()
    close_preview_as_a_user(env)
    if first.result("closed.txt", 60) != "12.5":
        fail("the cell read after the preview holds " + repr((work / "closed.txt").read_bytes()))
    if time.monotonic() - pressed > 30:
        fail("エクセル印刷プレビュー went on long after the preview was closed")
    if observer.in_preview():
        fail("the preview is still open after the command")
    first.finish()
    if not (work / "表.ods").exists():
        fail("the first workbook was not saved")

    # The second script attaches to the same office; nobody closes its preview.
    env = dict(env, MORIVEL_OFFICE_PREVIEW_SECONDS="4")
    second = Run(work, env, morivel, "second.mrv", SECOND)
    runs.append(second)
    second.result("preview.txt")
    if not wait_for(observer.in_preview, 60):
        fail("the second print preview did not open")
    started = time.monotonic()
    if second.result("closed.txt", 90) != "後の文字":
        fail("after the preview's time limit the paste gave " +
             repr((work / "closed.txt").read_bytes()))
    if time.monotonic() - started < 2:
        fail("the preview was closed before its time limit")
    second.finish()
    if processes_of_pipe(pipe) and not wait_for(lambda: not processes_of_pipe(pipe), 60):
        fail("エクセル終了 left LibreOffice running")


def check_console_stays_headless(work: Path, morivel: Path, env: dict, pipe: str):
    """The console front end starts the office without windows even where a display is."""
    script = work / "console.mrv"
    script.write_bytes("エクセル起動\r\n(0,0)を「済」にエクセル設定\r\nエクセル終了\r\n".encode("cp932"))
    seen = []
    process = subprocess.Popen([str(morivel), "-console", str(script)], cwd=work,
                               env=dict(env, MORIVEL_OFFICE_PIPE=pipe), stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    try:
        while process.poll() is None:
            seen += [argv for _, argv in processes_of_pipe(pipe) if argv[0].endswith(b".bin")]
            time.sleep(0.1)
        output = process.stdout.read().decode("utf-8", "replace")
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    if process.returncode != 0 or "エラー" in output:
        fail(f"the console script failed: {output}")
    if not seen:
        fail("the console script's office was not seen")
    if any(b"--headless" not in argv for argv in seen):
        fail(f"the console front end started the office with windows: {seen[0]}")


def missing_tools() -> str:
    for tool in ("Xvfb", "openbox", "xdotool", "xprop"):
        if not shutil.which(tool):
            return tool
    if not any(p.name.startswith("libvclplug_") for p in OFFICE_PROGRAM.glob("libvclplug_*")):
        return "LibreOffice's window-system plug-in (libreoffice-gtk3)"
    try:
        import uno  # noqa: F401
    except ImportError:
        return "python3-uno"
    return ""


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--morivel", required=True, type=Path)
    morivel = parser.parse_args().morivel.resolve()
    sys.path.append("/usr/lib/python3/dist-packages")
    missing = missing_tools()
    if missing:
        print(f"{missing} is not installed (scripts/setup.sh installs it): skipped")
        return 77

    os.environ.setdefault("MORIVEL_BIN", str(morivel))
    sys.path.insert(0, str(HERE.parent / "automation"))
    from xdesktop import XDesktop  # noqa: E402

    pipe = f"morivel_office_windowed_{os.getpid()}"
    with tempfile.TemporaryDirectory(prefix="morivel-office-windowed-") as tmp:
        work = Path(tmp)
        if own_suite_processes(work):
            fail("an office uses the test's new folder before the test started one")
        home = work / "home"
        (home / "runtime").mkdir(parents=True, mode=0o700)
        desktop = XDesktop(home)
        runs = []
        try:
            env = dict(desktop.env)
            env.pop("WAYLAND_DISPLAY", None)
            env.pop("MORIVEL_PRINT_PDF", None)
            env.update({"QT_QPA_PLATFORM": "xcb", "LC_ALL": "C.UTF-8",
                        "XDG_RUNTIME_DIR": str(home / "runtime"),
                        "XDG_CONFIG_HOME": str(home / ".config"),
                        "MORIVEL_OFFICE_PIPE": pipe,
                        "MORIVEL_OFFICE_PROFILE": str(work / "office profile"),
                        "LSAN_OPTIONS": f"suppressions={HERE / 'lsan.supp'}:print_suppressions=0"})
            check(work, morivel, env, pipe, runs)
            check_console_stays_headless(work, morivel, env, pipe + "_console")
        finally:
            for run in runs:
                run.stop()
            left = processes_of_pipe(pipe) + processes_of_pipe(pipe + "_console")
            for pid, _ in left:
                os.kill(pid, signal.SIGKILL)
            remaining = own_suite_processes(work)
            for pid in remaining:
                os.kill(pid, signal.SIGKILL)
            desktop.close()
        if left or remaining:
            fail(f"LibreOffice processes were left behind: {[pid for pid, _ in left]} "
                 f"{sorted(remaining)}")
    print("windowed office checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
