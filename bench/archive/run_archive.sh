#!/usr/bin/env bash
# Packs and unpacks a tree of SIZE_MB megabytes (half random, half text-like) with 圧縮 and 解凍 in
# each format, and with the zip/unzip and bsdtar command-line tools for comparison. Prints seconds.
# Usage: bench/archive/run_archive.sh [morivel executable] [SIZE_MB, default 200]
# FORMATS="zip tgz" limits the formats tried (default: zip tgz lzh 7z).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
morivel="$(realpath "${1:-$here/../../build/morivel}")"
size_mb="${2:-200}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8

python3 - "$work/src" "$size_mb" <<'PY'
import os, random, sys
root, size_mb = sys.argv[1], int(sys.argv[2])
rng = random.Random(1)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(5000)]
os.makedirs(root)
files = max(2, size_mb // 5)
for i in range(files):
    path = os.path.join(root, "d%02d" % (i % 8), "f%03d.bin" % i)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    n = size_mb * 1024 * 1024 // files
    with open(path, "wb") as f:
        if i % 2:
            f.write(rng.randbytes(n))
        else:
            out = bytearray()
            while len(out) < n:
                out += b" ".join(rng.choice(words) for _ in range(12)) + b"\n"
            f.write(out[:n])
PY

# CPU seconds (user + system) of a command and its children: the machine is shared, so wall
# time would mostly measure the neighbours.
seconds() {
  python3 - "$@" <<'PY'
import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
r = resource.getrusage(resource.RUSAGE_CHILDREN)
print(f"{r.ru_utime + r.ru_stime:.2f}")
PY
}

# Writes the script for one command; the run itself is timed.
morivel_script() {
  printf '%s\n' "$1" | iconv -f UTF-8 -t CP932 > "$work/bench.mrv"
}

printf '%-28s %8s %8s\n' "format" "pack s" "unpack s"
for fmt in ${FORMATS:-zip tgz lzh 7z}; do
  morivel_script "「$work/src」を「$work/out.$fmt」へ圧縮"
  pack=$(seconds "$morivel" -console -security low "$work/bench.mrv")
  morivel_script "「$work/out.$fmt」を「$work/x_$fmt」へ解凍"
  unpack=$(seconds "$morivel" -console -security low "$work/bench.mrv")
  printf '%-28s %8s %8s\n' "morivel $fmt" "$pack" "$unpack"
  rm -rf "$work/x_$fmt" "$work/out.$fmt"
done
pack=$(cd "$work" && seconds zip -q -r out_tool.zip src)
unpack=$(cd "$work" && seconds unzip -q out_tool.zip -d x_tool)
printf '%-28s %8s %8s\n' "zip / unzip" "$pack" "$unpack"
rm -rf "$work/x_tool"
pack=$(seconds bsdtar -czf "$work/out_tool.tgz" -C "$work" src)
mkdir "$work/x_bsdtar"
unpack=$(seconds bsdtar -xf "$work/out_tool.tgz" -C "$work/x_bsdtar")
printf '%-28s %8s %8s\n' "bsdtar tgz" "$pack" "$unpack"
