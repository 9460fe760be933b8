#!/usr/bin/env bash
# Runs every benchmark suite and prints the time of each benchmark and the ratio morivel/python.
# Benchmarks are not tests: they never run in CI. Usage: bench/run.sh [morivel executable]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
morivel="${1:-$here/../build/morivel}"
echo "== tables (100,000 rows)"
bash "$here/tables/run_tables.sh" "$morivel" 100000
echo "== network (100 MB over loopback HTTP)"
bash "$here/net/run_net.sh" "$morivel" 100
