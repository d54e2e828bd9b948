#!/usr/bin/env bash
# Sets everything up, builds Corvane and runs it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps.sh
build=${CORVANE_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_GUI=OFF \
      -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF >/dev/null
cmake --build "$build" --target corvane -j "$(nproc)"
if [[ $# -eq 0 ]]; then set -- --version; fi
exec "$build/corvane" "$@"
