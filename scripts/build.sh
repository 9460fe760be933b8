#!/usr/bin/env bash
# Installs what the build needs, then configures and builds Morivel in build/ (build-asan/ with --sanitize).
# MORIVEL_BUILD_DIR names another folder instead of build/, for people building side by side.
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=OFF
for arg in "$@"; do
  case "$arg" in
    --sanitize) sanitize=ON ;;
    *) echo "usage: $0 [--sanitize]" >&2; exit 2 ;;
  esac
done

build_dir="${MORIVEL_BUILD_DIR:-build}"
[ "$sanitize" = ON ] && build_dir="$build_dir-asan"

# Options are always given, so a folder configured earlier cannot keep stale ones.
werror=OFF
[ -n "${CI:-}" ] && werror=ON

bash scripts/setup.sh
cmake -S . -B "$build_dir" -G Ninja -DMORIVEL_SANITIZE="$sanitize" -DMORIVEL_WERROR="$werror"
cmake --build "$build_dir" -j2
