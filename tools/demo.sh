#!/usr/bin/env bash
# The local demo: starts the demo chat and BNLS server, makes a demo profile in a
# temporary home and runs the bot on it headless, so that it logs on, joins, greets a
# member and answers a command, with no server of your own. Ctrl-C ends both.
#   tools/demo.sh [--window] [BUILD_DIR]   (CORVANE_DEMO_SECONDS=N ends it after N seconds)
# --window shows the bot in its window (a build with the window and a display needed);
# closing the window ends the demo.
set -euo pipefail
mode=(--headless)
if [[ ${1:-} == --window ]]; then
  mode=()
  shift
fi
build=${1:-${CORVANE_BUILD_DIR:-build}}
bot="$build/corvane"
server="$build/corvane-demo-server"
for program in "$bot" "$server"; do
  [[ -x $program ]] || { echo "demo: $program is not built" >&2; exit 1; }
done

home=$(mktemp -d "${TMPDIR:-/tmp}/corvane-demo.XXXXXX")
server_pid=""
bot_pid=""
cleanup() {
  [[ -n $bot_pid ]] && kill -TERM "$bot_pid" 2>/dev/null && wait "$bot_pid" 2>/dev/null
  [[ -n $server_pid ]] && kill -TERM "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$home"
}
trap cleanup EXIT
trap 'exit 0' INT TERM

# The server says where it listens in its first two lines.
mkfifo "$home/ports"
"$server" --account DemoBot --password demo --channel "Corvane Demo" >"$home/ports" &
server_pid=$!
chat_port="" bnls_port=""
{
  read -r _ _ chat_port
  read -r _ _ bnls_port
  cat >/dev/null &  # the server's later lines go on to nowhere but never block it
} <"$home/ports"
[[ -n $chat_port && -n $bnls_port ]] || { echo "demo: the demo server did not start" >&2; exit 1; }

"$bot" --home "$home" profile create demo >/dev/null
"$bot" --home "$home" profile set demo \
  Main.Username=DemoBot Main.Password=demo \
  Main.BnetServer=127.0.0.1 "Main.BnetPort=$chat_port" \
  Main.BnlsServer=127.0.0.1 "Main.BnlsPort=$bnls_port" \
  "Main.HomeChannel=Corvane Demo" Main.ConnectAtStartup=1 Main.Autoreconnect=1 \
  "Great messages.Enable=1" "Great messages.Msg=Welcome to the demo, %uname!" >/dev/null
"$bot" --home "$home" profile use demo >/dev/null || true
"$bot" --home "$home" users add Alice 100 >/dev/null

echo "demo: a local server on 127.0.0.1:$chat_port, the bot's home in $home; Ctrl-C ends it"
if [[ -n ${CORVANE_DEMO_SECONDS:-} ]]; then
  "$bot" "${mode[@]}" --home "$home" </dev/null &
  bot_pid=$!
  sleep "$CORVANE_DEMO_SECONDS"
else
  # Headless, lines you type go to the bot's input line, as in its window.
  "$bot" "${mode[@]}" --home "$home" &
  bot_pid=$!
  wait "$bot_pid" || true
  bot_pid=""
fi
