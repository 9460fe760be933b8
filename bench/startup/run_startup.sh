#!/usr/bin/env bash
# What a run costs before the script starts: the shared libraries the program loads, the dynamic
# loader's own statistics, and the CPU time of a one-line script (best of N runs, user + system).
# Usage: run_startup.sh [morivel] [runs]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
morivel="$(realpath "${1:-$here/../../build/morivel}")"
runs="${2:-10}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

printf '「こんにちは」と表示\n' | iconv -f utf-8 -t cp932 > "$work/hello.mrv"
run() { "$morivel" -console "$work/hello.mrv"; }

echo "program:            $morivel"
echo "libraries (ldd):    $(ldd "$morivel" | wc -l)"
echo "libraries (loaded): $(LD_DEBUG=files run 2>&1 >/dev/null | grep -c 'file=.*\[0\];.*needed by')"

# The loader's figures vary from run to run; the median of five is printed.
median_of_five() {
  for _ in 1 2 3 4 5; do LD_DEBUG=statistics run 2>&1 >/dev/null | sed -n "$1" | head -1; done |
    sort -n | sed -n 3p
}
echo "loader cycles:      $(median_of_five 's/.*total startup time in dynamic loader: \([0-9]*\) cycles/\1/p')"
echo "relocations:        $(median_of_five 's/.*number of relocations: \([0-9]*\)$/\1/p')"

# CPU time (user + system) of each run, from the kernel's accounting of the finished child, which
# is finer than /usr/bin/time's hundredths.
python3 - "$morivel" "$work/hello.mrv" "$runs" <<'PY'
import resource, statistics, subprocess, sys
morivel, script, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
times = []
for _ in range(runs):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run([morivel, "-console", script], stdout=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    times.append(after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime)
print(f"CPU, best of {runs}:    {min(times):.3f} s (user + system)")
print(f"CPU, median of {runs}:  {statistics.median(times):.3f} s")
PY
echo "load average:       $(cut -d' ' -f1-3 /proc/loadavg)"
