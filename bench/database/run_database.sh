#!/usr/bin/env bash
# DB全部取得 over an SQLite table against Python's sqlite3 building the same CSV text.
# Usage: bench/database/run_database.sh [morivel executable] [rows]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
morivel="$(realpath "${1:-$here/../../build/morivel}")"
rows="${2:-100000}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 "$here/gen_db.py" "$work/items.db" "$rows"
iconv -f UTF-8 -t CP932 "$here/fetch_all.mrv" > "$work/fetch_all.mrv"

best() {
  local best_time="" start end t
  for _ in 1 2 3; do
    start=$(date +%s.%N)
    "$@" > "$work/last.out" 2> "$work/last.err" || { cat "$work/last.err" >&2; return 1; }
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best_time" ] || [ "$(echo "$t < $best_time" | bc -l)" = 1 ]; then best_time=$t; fi
  done
  echo "$best_time $(tr -d '\r\n' < "$work/last.out")"
}

read -r m m_out < <(cd "$work" && QT_QPA_PLATFORM=offscreen best "$morivel" -console fetch_all.mrv)
read -r p p_out < <(best python3 "$here/fetch_all.py" "$work/items.db")
[ "$m_out" = "$p_out" ] || echo "results differ: morivel $m_out, python $p_out" >&2
printf '%-16s %10s %10s %8s %12s\n' benchmark morivel_s python_s ratio bytes
printf '%-16s %10.3f %10.3f %8.2f %12s\n' "fetch_all" "$m" "$p" "$(echo "$m / $p" | bc -l)" "$m_out"
