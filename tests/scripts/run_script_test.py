#!/usr/bin/env python3
"""Runs one script test: a UTF-8 .mrv script, converted to Shift-JIS, against its expected output.

Beside tests/scripts/.../NAME.mrv:
  NAME.out     expected standard output (UTF-8), compared exactly; required
  NAME.in      standard input fed to the run (bytes as stored); optional, else empty input
  NAME.err     expected standard error (UTF-8), compared exactly; optional
  NAME.status  expected exit status; optional, default 1 when NAME.err exists, else 0
  NAME.files/  a folder whose contents are copied as they are next to the script; optional

Exit status: 0 when the run matched, 1 when it did not, 2 when the test itself is malformed.
"""

import argparse
import difflib
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

DEFAULT_TIMEOUT_SECONDS = 20.0


class MalformedTest(Exception):
    pass


def read_expectations(script: Path) -> dict:
    def sibling(suffix: str) -> Path:
        return script.with_suffix(suffix)

    if not sibling(".out").is_file():
        raise MalformedTest(f"{sibling('.out')} is missing (every script test needs one)")
    expected = {
        "stdout": sibling(".out").read_text(encoding="utf-8"),
        "stderr": None,
        "stdin": b"",
    }
    if sibling(".in").is_file():
        expected["stdin"] = sibling(".in").read_bytes()
    if sibling(".err").is_file():
        expected["stderr"] = sibling(".err").read_text(encoding="utf-8")
    status_file = sibling(".status")
    if status_file.is_file():
        try:
            expected["status"] = int(status_file.read_text(encoding="utf-8").strip())
        except ValueError as error:
            raise MalformedTest(f"{status_file} does not hold a number: {error}")
    else:
        expected["status"] = 1 if expected["stderr"] is not None else 0
    return expected


def stage_script(script: Path, work_dir: Path) -> Path:
    """Writes the script as Shift-JIS into work_dir, with the data files it asks for."""
    data_dir = script.with_suffix(".files")
    if data_dir.is_dir():
        shutil.copytree(data_dir, work_dir, dirs_exist_ok=True)
    try:
        sjis = script.read_text(encoding="utf-8").encode("cp932")
    except UnicodeError as error:
        raise MalformedTest(f"{script} is not UTF-8 text that Shift-JIS can hold: {error}")
    staged = work_dir / script.name
    staged.write_bytes(sjis)
    return staged


def isolated_environment(work_dir: Path) -> dict:
    """The caller's environment, with no display and every per-user folder inside work_dir.

    Keeping Qt off any display and giving it a private runtime folder keeps its warnings out of
    the standard error that some tests compare; private config folders keep a test's stored
    settings from leaking into the next test or into the developer's own.
    """
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    env["QT_QPA_PLATFORM"] = "offscreen"
    env["LC_ALL"] = "C.UTF-8"
    home = work_dir / ".home"
    for name, sub in (
        ("HOME", ""),
        ("XDG_CONFIG_HOME", ".config"),
        ("XDG_DATA_HOME", ".local/share"),
        ("XDG_CACHE_HOME", ".cache"),
        ("XDG_RUNTIME_DIR", "runtime"),
    ):
        folder = home / sub
        folder.mkdir(parents=True, exist_ok=True)
        env[name] = str(folder)
    os.chmod(home / "runtime", 0o700)
    return env


def decode(stream: bytes, name: str, problems: list) -> str:
    try:
        return stream.decode("utf-8")
    except UnicodeDecodeError as error:
        problems.append(f"{name} is not valid UTF-8 ({error}); shown with escapes")
        return stream.decode("utf-8", errors="backslashreplace")


# The address sanitizer says once, on standard error, that it leaves the cleaning of a very deep
# stack to the program (which the sanitizer build does itself); it is not the script's output.
SANITIZER_DEEP_STACK_NOTICE = re.compile(
    r"==\d+==WARNING: ASan is ignoring requested __asan_handle_no_return:.*\n"
    r"False positive error reports may follow\n"
    r"For details see .*\n"
)


def without_sanitizer_notices(stderr: str) -> str:
    return SANITIZER_DEEP_STACK_NOTICE.sub("", stderr)


def visible_lines(text: str) -> list:
    """Lines for a diff, with a missing final newline and carriage returns made visible."""
    lines = [line.replace("\r", "\\r") for line in text.splitlines(keepends=True)]
    lines = [line if line.endswith("\n") else line + "\n" for line in lines]
    if text and not text.endswith("\n"):
        lines.append("\\ (no newline at end)\n")
    return lines


def describe_mismatch(name: str, expected: str, actual: str) -> str:
    diff = difflib.unified_diff(
        visible_lines(expected),
        visible_lines(actual),
        fromfile=f"expected {name}",
        tofile=f"actual {name}",
    )
    return f"--- {name} differs:\n" + "".join(diff)


def describe_status(status: int) -> str:
    if status < 0:
        return f"killed by signal {-status}"
    return f"exit status {status}"


def run_test(morivel: Path, script: Path, timeout: float) -> int:
    expected = read_expectations(script)
    with tempfile.TemporaryDirectory(prefix="morivel-script-") as tmp:
        work_dir = Path(tmp)
        staged = stage_script(script, work_dir)
        env = isolated_environment(work_dir)
        try:
            run = subprocess.run(
                [str(morivel), "-console", str(staged)],
                input=expected["stdin"],
                capture_output=True,
                cwd=work_dir,
                env=env,
                timeout=timeout,
            )
        except subprocess.TimeoutExpired as expired:
            print(f"FAIL {script.name}: no end after {timeout:g} s")
            for name, stream in (("stdout", expired.stdout), ("stderr", expired.stderr)):
                if stream:
                    print(f"--- {name} so far:\n{stream.decode('utf-8', 'backslashreplace')}")
            return 1

    problems = []
    stdout = decode(run.stdout, "standard output", problems)
    stderr = without_sanitizer_notices(decode(run.stderr, "standard error", problems))
    report = []
    if stdout != expected["stdout"]:
        report.append(describe_mismatch("standard output", expected["stdout"], stdout))
    if expected["stderr"] is not None and stderr != expected["stderr"]:
        report.append(describe_mismatch("standard error", expected["stderr"], stderr))
    if run.returncode != expected["status"]:
        report.append(
            f"--- {describe_status(run.returncode)}, expected {describe_status(expected['status'])}"
        )
    if not report and not problems:
        print(f"ok {script.name}")
        return 0

    print(f"FAIL {script.name}")
    for line in problems + report:
        print(line)
    if expected["stderr"] is None and stderr:
        print(f"--- standard error (not compared):\n{stderr}")
    return 1


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--morivel", required=True, type=Path, help="the morivel executable")
    parser.add_argument("--timeout", type=float, default=DEFAULT_TIMEOUT_SECONDS)
    parser.add_argument("script", type=Path, help="the test's .mrv file (UTF-8)")
    args = parser.parse_args()
    try:
        return run_test(args.morivel.resolve(), args.script.resolve(), args.timeout)
    except MalformedTest as error:
        print(f"malformed test: {error}")
        return 2


if __name__ == "__main__":
    sys.exit(main())
