#!/usr/bin/env bash
# Builds Morivel (see build.sh) and runs every test with ctest; --sanitize uses the ASan/UBSan build.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh "$@"

build_dir="${MORIVEL_BUILD_DIR:-build}"
if [ "${1:-}" = --sanitize ]; then
  build_dir="$build_dir-asan"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
export QT_QPA_PLATFORM=offscreen

ctest --test-dir "$build_dir" --output-on-failure -j2
