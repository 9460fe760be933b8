#!/usr/bin/env python3
"""Start-up of the console program: help, version, usage, unknown options, scripts that cannot
be read, and a script read from standard input. Usage: run_startup_test.py --morivel PATH"""

import argparse
import os
import subprocess
import sys
import tempfile
from pathlib import Path

TIMEOUT_SECONDS = 30


def run(morivel, args, cwd, stdin=b"", locale=None):
    env = dict(os.environ)
    if locale:
        env["LOCPATH"], env["LC_ALL"] = locale
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    env["QT_QPA_PLATFORM"] = "offscreen"
    env["HOME"] = str(cwd)
    done = subprocess.run([morivel, *args], cwd=cwd, env=env, input=stdin,
                          capture_output=True, timeout=TIMEOUT_SECONDS)
    return done.returncode, done.stdout.decode("utf-8", "replace"), \
        done.stderr.decode("utf-8", "replace")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--morivel", required=True)
    morivel = parser.parse_args().morivel
    failures = []

    def check(name, condition, details):
        if not condition:
            failures.append(f"{name}: {details}")

    with tempfile.TemporaryDirectory() as work:
        work = Path(work)
        status, out, err = run(morivel, [], work)
        check("no arguments", status == 2 and "usage:" in err and out == "",
              (status, out, err))
        for flag in ("--help", "-h"):
            status, out, err = run(morivel, [flag], work)
            check(flag, status == 0 and "usage:" in out and "-security" in out, (status, out, err))
        status, out, err = run(morivel, ["--version"], work)
        check("--version", status == 0 and out.startswith("morivel "), (status, out, err))
        status, out, err = run(morivel, ["-nonsense", "a.mrv"], work)
        check("unknown option", status == 2 and "-nonsense" in err and out == "",
              (status, out, err))

        status, out, err = run(morivel, ["-console", "missing.mrv"], work)
        check("missing script",
              status == 1 and out == "" and "起動ファイル「missing.mrv」が読込めません。" in err,
              (status, out, err))
        (work / "folder.mrv").mkdir()
        status, out, err = run(morivel, ["-console", "folder.mrv"], work)
        check("folder as script",
              status == 1 and out == "" and "起動ファイル「folder.mrv」が読込めません。" in err
              and "basic_filebuf" not in err, (status, out, err))

        script = "「標準入力から」を表示\n「{1+2}」を表示\n".encode("cp932")
        status, out, err = run(morivel, ["-console", "-"], work, stdin=script)
        check("script from standard input", status == 0 and out == "標準入力から\n3\n",
              (status, out, err))
        # Parameters after the script belong to it, even when they look like options.
        (work / "args.mrv").write_bytes("「ok」を表示\n".encode("cp932"))
        status, out, err = run(morivel, ["-console", "args.mrv", "-x", "--help"], work)
        check("script arguments", status == 0 and out == "ok\n", (status, out, err))

        # A plain script runs without the window side; one that needs it is handed over with the
        # same command line, from the folder it was started in, and sees the same run.
        sub = work / "sub"
        sub.mkdir()
        shown = "「{母艦のパス}」を表示\n「{コマンドライン引数}」を表示\n「{ランタイムのパス}」を表示\n"
        (sub / "window.mrv").write_bytes(shown.encode("cp932"))
        plain = "A=「{ランタイムのパス}」\nAを表示\n「{コマンドライン引数}」を表示\n"
        (sub / "plain.mrv").write_bytes(plain.encode("cp932"))
        runtime = str(Path(morivel).resolve().parent) + "/"
        status, out, err = run(morivel, ["-console", "sub/window.mrv", "x"], work)
        check("window side by a relative path",
              status == 0 and out == f"{sub}/\nsub/window.mrv\nx\n{runtime}\n", (status, out, err))
        status, out, err = run(morivel, ["-console", "sub/plain.mrv", "x"], work)
        check("plain script by a relative path",
              status == 0 and out == f"{runtime}\nsub/plain.mrv\nx\n", (status, out, err))
        (sub / "broken.mrv").write_bytes("「やあ」と言う\n「閉じていない\n".encode("cp932"))
        status, out, err = run(morivel, ["-console", "sub/broken.mrv"], work)
        check("window-side script with an error", status == 1 and out == "" and "broken.mrv" in err,
              (status, out, err))

        # Under a locale whose decimal point is a comma, numbers are still written with ".";
        # the window side once wrote 1,,23.45 for 1234.5 in the currency form.
        locales = work / "locales"
        locales.mkdir()
        made = subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8",
                               str(locales / "de_DE.UTF-8")], capture_output=True)
        check("German locale made", made.returncode == 0, made.stderr)
        numbers = "1234.5を通貨形式に変換\nそれを表示\n1.5を「%.2f」の指定形式に変換\nそれを表示\n(1/4)を表示\n"
        (work / "numbers.mrv").write_bytes(numbers.encode("cp932"))
        window_side = str(Path(morivel).resolve().with_name("morivel-qt"))
        for program in (morivel, window_side):
            status, out, err = run(program, ["-console", "numbers.mrv"], work,
                                   locale=(str(locales), "de_DE.UTF-8"))
            check(f"numbers under a comma locale ({Path(program).name})",
                  status == 0 and out == "1,234.50\n1.50\n0.25\n", (status, out, err))

    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
