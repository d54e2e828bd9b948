#!/usr/bin/env bash
# Runs the window on the local demo under a virtual X display and writes docs/screenshot.png:
# the bot logged on in the demo channel, a member greeted, a command answered, a whisper in
# the whisper pane and a line typed into the input line.
#   tools/screenshot.sh [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshot.png}

tools/deps.sh --gui
missing=()
for p in xvfb x11-apps xdotool imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  sudo=""
  if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build=${CORVANE_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_GUI=ON \
      -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF >/dev/null
cmake --build "$build" --target corvane corvane-demo-server -j "$(nproc)"

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-shot.XXXXXX")
xvfb_pid="" demo_pid=""
cleanup() {
  [[ -n $demo_pid ]] && kill -TERM "$demo_pid" 2>/dev/null && wait "$demo_pid" 2>/dev/null
  [[ -n $xvfb_pid ]] && kill -TERM "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display number and writes it to the descriptor given.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 50); do [[ -s $work/display ]] && break; sleep 0.1; done
[[ -s $work/display ]] || { echo "screenshot: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"

CORVANE_DEMO_SECONDS=30 tools/demo.sh --window "$build" >"$work/demo.log" 2>&1 &
demo_pid=$!
wid=$(timeout 20 xdotool search --sync --name '^Corvane v' | head -n 1)
[[ -n $wid ]] || { echo "screenshot: the window did not open" >&2; exit 1; }
xdotool windowsize "$wid" 820 600
# Long enough for the logon, the greeting, the whisper and the answers of the demo's script.
sleep 7
# With no window manager the keyboard follows the pointer: point at the input line and type.
xdotool mousemove --window "$wid" 300 510 click 1 sleep 0.3 type --delay 20 "Welcome, Alice"
sleep 1
mkdir -p "$(dirname "$out")"
xwd -silent -id "$wid" | convert xwd:- "png:$out"
echo "screenshot: wrote $out"
