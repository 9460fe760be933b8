#!/usr/bin/env bash
# Picture benchmarks on a 4000 x 3000 picture: grey scale, box blur of radius 2 and rotation by 30
# degrees (the picture grows to hold the turned one), against Pillow's same operations. Both sides
# load the picture first; load_only is that cost alone.
# Pillow is Debian's python3-pil, hence /usr/bin/python3.
# Usage: bench/graphics/run_graphics.sh [morivel executable]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
morivel="$(realpath "${1:-$here/../../build/morivel}")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 "$here/gen_picture.py" "$work/picture.png"

seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" > "$work/last.out" 2> "$work/last.err" || { cat "$work/last.err" >&2; return 1; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

printf '%-12s %12s %12s %8s\n' benchmark morivel_s pillow_s ratio
for name in load_only grey blur rotate; do
  cp "$here/$name.mrv" "$work/"
  m=$( (cd "$work" && QT_QPA_PLATFORM=offscreen seconds "$morivel" -console "$name.mrv") )
  p=$(seconds /usr/bin/python3 "$here/pillow_ops.py" "$name" "$work/picture.png")
  printf '%-12s %12.3f %12.3f %8.2f\n' "$name" "$m" "$p" "$(echo "$m / $p" | bc -l)"
done
