#!/usr/bin/env bash
# Sets everything up, builds Corvane and runs it. With no arguments it runs the local
# demo (a demo server on 127.0.0.1 and the bot on a demo profile, headless); arguments
# go to the program instead, for example: tools/run.sh --headless --home ~/corvane
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps.sh
build=${CORVANE_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_GUI=OFF \
      -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF >/dev/null
cmake --build "$build" --target corvane corvane-demo-server -j "$(nproc)"
if [[ $# -eq 0 ]]; then exec tools/demo.sh "$build"; fi
exec "$build/corvane" "$@"
