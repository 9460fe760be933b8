#!/usr/bin/env bash
# Runs a script in the window front end on a virtual X display and saves a screenshot as PNG:
#   bash scripts/screenshot.sh [script.mrv] [out.png] [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
script="${1:-examples/window_app.mrv}"
out="${2:-build/screenshot.png}"
seconds="${3:-3}"

need=()
command -v xvfb-run >/dev/null || need+=(xvfb xauth)
command -v xwd >/dev/null || need+=(x11-apps)
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
[ -x build/morivel ] || bash scripts/build.sh

dump="$(mktemp --suffix=.xwd)"
trap 'rm -f "$dump"' EXIT
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  build/morivel "$1" & pid=$!
  sleep "$2"
  xwd -root -silent > "$3"
  kill "$pid" 2>/dev/null || true
' _ "$script" "$seconds" "$dump"
python3 scripts/xwd_to_png.py "$dump" "$out"
echo "screenshot: $out"
