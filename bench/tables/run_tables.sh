#!/usr/bin/env bash
# Table benchmarks: 表ソート, 表数値ソート and 表検索 on a generated table, against Python's csv + sorted.
# Usage: bench/tables/run_tables.sh [morivel executable] [rows]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
morivel="$(realpath "${1:-$here/../../build/morivel}")"
rows="${2:-100000}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 "$here/gen_table.py" "$work/table.csv" --rows "$rows"

# Until scripts can read files, each benchmark script carries the table as a here-document
# literal assigned to T, followed by the benchmark's own statements.
make_script() {
  local body="$1" script="$2"
  {
    printf 'T=@@|'
    cat "$work/table.csv"
    printf '|\r\n'
    iconv -f UTF-8 -t CP932 "$body"
  } > "$script"
}

# Wall-clock seconds of one command, its output kept in the work folder.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" > "$work/last.out" 2> "$work/last.err" || { cat "$work/last.err" >&2; return 1; }
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

printf '%-20s %12s %12s %8s\n' benchmark morivel_s python_s ratio
for name in load_only table_sort table_numeric_sort table_search; do
  make_script "$here/$name.mrv" "$work/$name.mrv"
  m=$( (cd "$work" && QT_QPA_PLATFORM=offscreen seconds "$morivel" -console "$name.mrv") )
  p=$(seconds python3 "$here/$name.py" "$work/table.csv")
  printf '%-20s %12.3f %12.3f %8.2f\n' "$name" "$m" "$p" "$(echo "$m / $p" | bc -l)"
done
