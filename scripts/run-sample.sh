#!/usr/bin/env bash
# Sets up and builds Morivel, then runs the first sample script on the console.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/build.sh
"${MORIVEL_BUILD_DIR:-build}/morivel" -console examples/hello.mrv
