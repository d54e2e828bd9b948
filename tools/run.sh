#!/usr/bin/env bash
# Sets everything up, builds Corvane and runs it. With no arguments it runs the local demo
# (a demo server on 127.0.0.1 and the bot on a demo profile): in the bot's window when there
# is a display, in the console otherwise. Arguments go to the program instead, for example:
#   tools/run.sh --headless --home ~/corvane
set -euo pipefail
cd "$(dirname "$0")/.."

gui=OFF
if [[ -n ${DISPLAY:-}${WAYLAND_DISPLAY:-} ]]; then gui=ON; fi
if [[ $gui == ON ]]; then tools/deps.sh --gui; else tools/deps.sh; fi
build=${CORVANE_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_GUI=$gui \
      -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF >/dev/null
cmake --build "$build" --target corvane corvane-demo-server -j "$(nproc)"
if [[ $# -eq 0 ]]; then
  if [[ $gui == ON ]]; then exec tools/demo.sh --window "$build"; fi
  exec tools/demo.sh "$build"
fi
exec "$build/corvane" "$@"
