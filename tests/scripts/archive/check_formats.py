#!/usr/bin/env python3
"""Packs files with 圧縮 into every writable format, checks each archive with Python's zipfile
and tarfile, bsdtar (libarchive) and lhasa where installed, then unpacks each with 解凍 and
compares. Also makes a self-extracting program, copies it alone to another folder and runs it.

Usage: check_formats.py --morivel PATH
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tarfile
import tempfile
import zipfile
from pathlib import Path

FORMATS = ["lzh", "zip", "tar", "tgz", "bz2", "7z"]
JAPANESE = "日本語の名前.txt"


def environment(work: Path) -> dict:
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    env["QT_QPA_PLATFORM"] = "offscreen"
    env["LC_ALL"] = "C.UTF-8"
    runtime = work / ".runtime"
    runtime.mkdir(mode=0o700, exist_ok=True)
    env["XDG_RUNTIME_DIR"] = str(runtime)
    env["HOME"] = str(work)
    return env


def run_script(morivel: Path, folder: Path, name: str, text: str, stdin: bytes = b"") -> str:
    script = folder / name
    script.write_bytes(text.encode("cp932"))
    run = subprocess.run([str(morivel), "-console", str(script)], cwd=folder, input=stdin,
                         capture_output=True, timeout=120, env=environment(folder))
    output = run.stdout.decode("utf-8", "replace") + run.stderr.decode("utf-8", "replace")
    if run.returncode != 0 or "エラー" in output:
        raise AssertionError(f"{name} failed ({run.returncode}):\n{output}")
    return output


def make_sources(folder: Path) -> dict:
    rng = random.Random(20)
    files = {
        "a.txt": b"alpha\r\n" * 100,
        "sub/b.bin": bytes(rng.getrandbits(8) for _ in range(100000)),
        "sub/deeper/c.txt": ("line %d\n" % 5).encode() * 3000,
        JAPANESE: "中身".encode("cp932"),
    }
    for name, data in files.items():
        path = folder / "src" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    return files


def listed(archive: Path, fmt: str) -> dict:
    """The archive's files as the standard tools read them."""
    if fmt == "zip":
        with zipfile.ZipFile(archive) as z:
            return {i.filename: z.read(i) for i in z.infolist() if not i.is_dir()}
    if fmt in ("tar", "tgz", "bz2"):
        with tarfile.open(archive) as t:
            return {m.name: t.extractfile(m).read() for m in t.getmembers() if m.isfile()}
    if fmt == "lzh" and shutil.which("lha"):
        check = subprocess.run(["lha", "t", str(archive)], capture_output=True)
        assert check.returncode == 0, check.stdout + check.stderr
    # 7z and lzh: bsdtar (libarchive) extracts into a scratch folder.
    with tempfile.TemporaryDirectory() as out:
        options = ["--options", "hdrcharset=CP932"] if fmt == "lzh" else []
        env = dict(os.environ, LC_ALL="C.UTF-8")
        subprocess.run(["bsdtar", "-xf", str(archive), "-C", out] + options,
                       check=True, capture_output=True, env=env)
        return {str(p.relative_to(out)): p.read_bytes()
                for p in Path(out).rglob("*") if p.is_file()}


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--morivel", required=True, type=Path)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="morivel-archive-") as tmp:
        work = Path(tmp)
        files = make_sources(work)
        src = work / "src"
        pack_lines = "\n".join(
            f"「{src}/a.txt\n{src}/sub\n{src}/{JAPANESE}」を「out.{fmt}」へ圧縮" for fmt in FORMATS)
        unpack_lines = "\n".join(f"「out.{fmt}」を「x_{fmt}」へ解凍" for fmt in FORMATS)
        run_script(args.morivel, work, "pack.mrv", pack_lines + "\n" + unpack_lines + "\n")
        for fmt in FORMATS:
            contents = listed(work / f"out.{fmt}", fmt)
            for name, data in files.items():
                assert contents.get(name) == data, f"{fmt}: {name} differs in the archive"
                back = (work / f"x_{fmt}" / name).read_bytes()
                assert back == data, f"{fmt}: {name} differs after 解凍"
        check_self_extracting(args.morivel, work, files)
    print("1 passed, 0 failed")
    return 0


def check_self_extracting(morivel: Path, work: Path, files: dict) -> None:
    run_script(morivel, work, "sfx.mrv", f"「{work}/src/a.txt\n{work}/src/sub」を「{work}/sfx.bin」へ自己解凍書庫作成\n",
               stdin=b"1\n")
    elsewhere = work / "elsewhere"
    elsewhere.mkdir()
    shutil.copy2(work / "sfx.bin", elsewhere / "setup")
    (work / "sfx.bin").unlink()
    target = work / "unpacked"
    # The program asks for the folder, then the security policy asks about writing outside its
    # own folder; "1" is the first button (はい).
    run = subprocess.run([str(elsewhere / "setup"), "-console"], cwd=elsewhere,
                         input=f"{target}\n1\n".encode(), capture_output=True, timeout=120,
                         env=environment(elsewhere))
    output = run.stdout.decode("utf-8", "replace")
    assert run.returncode == 0, output + run.stderr.decode("utf-8", "replace")
    for name in ("a.txt", "sub/b.bin", "sub/deeper/c.txt"):
        assert (target / name).read_bytes() == files[name], f"self-extracted {name} differs"
    assert not (target / JAPANESE).exists()


if __name__ == "__main__":
    sys.exit(main())
