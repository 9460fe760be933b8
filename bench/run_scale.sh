#!/usr/bin/env bash
# Growth benchmark: registering labels and storing dictionary keys must cost linear (or n log n)
# time. Generates scripts with 100,000, 300,000 and 1,000,000 labels / keys, runs each once and
# prints the wall time and the time per 100,000 items; the per-item cost should stay about flat.
# Then nests 10, 100 and 999 blocks around a 1 MB text: the peak memory should stay about flat.
# Benchmarks are not tests: they never run in CI.
# Usage: bench/run_scale.sh [--no-build] [sizes...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"

build=yes
sizes=()
for arg in "$@"; do
  case "$arg" in
    --no-build) build=no ;;
    -*) echo "usage: $0 [--no-build] [sizes...]" >&2; exit 2 ;;
    *) sizes+=("$arg") ;;
  esac
done
[ ${#sizes[@]} -eq 0 ] && sizes=(100000 300000 1000000)

build_dir="${MORIVEL_BUILD_DIR:-build}"
case "$build_dir" in
  /*) morivel="$build_dir/morivel" ;;
  *) morivel="$root/$build_dir/morivel" ;;
esac
[ "$build" = yes ] && bash "$root/scripts/build.sh" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen HOME="$work"

# Wall and CPU seconds: on a shared machine the CPU time is the figure that compares across runs.
TIMEFORMAT='%R %U %S'
printf '%-8s %10s %10s %10s %16s\n' kind items wall cpu 'cpu s/100k'
for kind in labels keys; do
  for n in "${sizes[@]}"; do
    script="$work/$kind-$n.mrv"
    python3 "$here/scale/generate.py" "$kind" "$n" "$script"
    { time "$morivel" -console "$script" >"$work/out"; } 2>"$work/time"
    out="$(cat "$work/out")"
    case "$kind" in
      labels) want="${n}個" ;;
      keys) want="$((n - 1))" ;;
    esac
    [ "$out" = "$want" ] || { echo "$kind $n: printed '$out', expected '$want'" >&2; exit 1; }
    read -r wall user sys <"$work/time"
    awk -v k="$kind" -v n="$n" -v w="$wall" -v u="$user" -v s="$sys" \
      'BEGIN { c = u + s; printf "%-8s %10d %10.2f %10.2f %16.3f\n", k, n, w, c, c * 100000 / n }'
  done
done

printf '\n%-8s %10s %10s %14s\n' kind depth cpu 'peak MB'
for depth in 10 100 999; do
  script="$work/nesting-$depth.mrv"
  python3 "$here/scale/generate.py" nesting "$depth" "$script"
  python3 - "$morivel" "$script" "$depth" <<'PEAK'
import resource, subprocess, sys
morivel, script, depth = sys.argv[1:]
out = subprocess.run([morivel, "-console", script], capture_output=True, check=True).stdout
if out.strip() != b"1000000":
    sys.exit(f"nesting {depth}: printed {out!r}")
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%-8s %10s %10.2f %14.1f" % ("nesting", depth, usage.ru_utime + usage.ru_stime,
                                    usage.ru_maxrss / 1024))
PEAK
done
