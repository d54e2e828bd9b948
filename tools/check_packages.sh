#!/usr/bin/env bash
# Checks the Debian packages that tools/package.sh made, without installing them: their
# files and fields, lintian, and the programs run from a scratch folder where the packages
# are unpacked. Each program logs on to the demo server (127.0.0.1) with a home that it
# makes itself under a scratch XDG_DATA_HOME, and loads two plug-ins: a shipped sample and
# one built against the unpacked plug-in SDK with pkg-config.
#   tools/check_packages.sh DIR [DEMO_SERVER]
# DIR holds corvane_*.deb, corvane-headless_*.deb and corvane-dev_*.deb; DEMO_SERVER is a
# built corvane-demo-server (default: build-pkg-headless/corvane-demo-server).
set -euo pipefail
shopt -s nullglob

repo=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:?usage: tools/check_packages.sh DIR [DEMO_SERVER]}
server=$(realpath "${2:-$repo/build-pkg-headless/corvane-demo-server}")
[[ -x $server ]] || { echo "check: no demo server at $server" >&2; exit 1; }
for tool in dpkg-deb dpkg-architecture apt-get lintian pkg-config cc readelf file iconv \
            desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "check: $tool is missing (tools/deps.sh --package)" >&2; exit 1; }
done

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
die() {
  echo "FAIL: $*" >&2
  exit 1
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/corvane-packages.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

one() {
  # shellcheck disable=SC2206  # $1 is a pattern
  local matches=("$dir"/$1)
  [[ ${#matches[@]} -eq 1 ]] || die "expected one $1 in $dir, found ${#matches[@]}"
  realpath "${matches[0]}"
}
gui_deb=$(one 'corvane_*.deb')
headless_deb=$(one 'corvane-headless_*.deb')
dev_deb=$(one 'corvane-dev_*.deb')
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
version=$(dpkg-deb -f "$gui_deb" Version)

# ---- files and fields ------------------------------------------------------------------
# The package's paths, one a line, as /usr/...
paths() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|; s|/$||; /^$/d'; }
# has_field DEB FIELD NAME: NAME is one of the packages FIELD lists.
has_field() { dpkg-deb -f "$1" "$2" | tr ',|' '\n' | sed 's/(.*//; s/ //g' | grep -qx "$3"; }

check_package() {  # DEB NAME ARCHITECTURE SECTION EXPECTED_PATH...
  local deb=$1 name=$2 arch=$3 section=$4
  shift 4
  local list
  list=$(paths "$deb")
  [[ $(dpkg-deb -f "$deb" Package) == "$name" ]] || fail "$deb is not $name"
  [[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "$name: version differs from $version"
  [[ $(dpkg-deb -f "$deb" Architecture) == "$arch" ]] || fail "$name: architecture is not $arch"
  [[ $(dpkg-deb -f "$deb" Section) == "$section" ]] || fail "$name: section is not $section"
  [[ -n $(dpkg-deb -f "$deb" Maintainer) ]] || fail "$name: no maintainer"
  local outside
  outside=$(grep -v -e '^/usr$' -e '^/usr/' <<<"$list" || true)
  [[ -z $outside ]] || fail "$name: files outside /usr: $outside"
  for path in "$@" "/usr/share/doc/$name/copyright" "/usr/share/doc/$name/changelog.gz"; do
    grep -qxF "$path" <<<"$list" || fail "$name lacks $path"
  done
}

program_paths=(/usr/bin/corvane /usr/share/man/man1/corvane.1.gz
               /usr/lib/systemd/user/corvane.service /usr/lib/systemd/user/corvane@.service
               "/usr/lib/$multiarch/corvane/plugins-available/seen.so"
               "/usr/lib/$multiarch/corvane/plugins-available/eightball.so")
for language in "$repo"/lang/*.lng; do
  program_paths+=("/usr/share/corvane/lang/${language##*/}")
done
gui_paths=(/usr/share/applications/corvane.desktop)
for size in 16 22 24 32 48 64 128 256; do
  gui_paths+=("/usr/share/icons/hicolor/${size}x${size}/apps/corvane.png"
              "/usr/share/corvane/icons/corvane-$size.png")
done

echo "== files and fields"
check_package "$gui_deb" corvane "$(dpkg --print-architecture)" net "${program_paths[@]}" \
  "${gui_paths[@]}" /usr/share/doc/corvane/README.md /usr/share/doc/corvane/plugins.md
check_package "$headless_deb" corvane-headless "$(dpkg --print-architecture)" net \
  "${program_paths[@]}" /usr/share/doc/corvane-headless/README.md
check_package "$dev_deb" corvane-dev all devel /usr/include/corvane/plugin.h \
  /usr/share/pkgconfig/corvane-plugin.pc /usr/share/doc/corvane-dev/plugins.md \
  /usr/share/doc/corvane-dev/examples/seen.c /usr/share/doc/corvane-dev/examples/eightball.c

gui_list=$(paths "$gui_deb")
icons=$(grep -c '^/usr/share/corvane/icons/.*\.bmp$' <<<"$gui_list" || true)
twice=$(grep -c '^/usr/share/corvane/icons/.*@2x\.bmp$' <<<"$gui_list" || true)
[[ $icons -eq 134 && $twice -eq 67 ]] || fail "corvane: $icons member icons ($twice @2x), not 67 + 67"
[[ $(grep -c '^/usr/share/metainfo/.*\.metainfo\.xml$' <<<"$gui_list") -eq 1 ]] ||
  fail "corvane: no AppStream metadata"
# The console program has no window, so nothing of a desktop's.
if paths "$headless_deb" | grep -e /applications/ -e /metainfo/ -e /icons/; then
  fail "corvane-headless ships the window's files"
fi
if paths "$dev_deb" | grep -v -e '^/usr$' -e '^/usr/include' -e '^/usr/share'; then
  fail "corvane-dev ships more than headers and data"
fi
# Both programs are /usr/bin/corvane: each replaces the other.
for field in Conflicts Replaces; do
  has_field "$gui_deb" $field corvane-headless || fail "corvane: $field lacks corvane-headless"
  has_field "$headless_deb" $field corvane || fail "corvane-headless: $field lacks corvane"
done
has_field "$gui_deb" Depends libqt6widgets6 || fail "corvane does not depend on Qt"
has_field "$gui_deb" Depends libc6 || fail "corvane: no shared library dependencies"
has_field "$headless_deb" Depends libc6 || fail "corvane-headless: no shared library dependencies"
if dpkg-deb -f "$headless_deb" Depends | grep -i qt; then fail "corvane-headless depends on Qt"; fi

echo "== lintian"
if ! lintian --fail-on error --tag-display-limit 0 "$gui_deb" "$headless_deb" "$dev_deb" \
    >"$scratch/lintian.txt" 2>&1; then
  fail "lintian found errors"
fi
grep -v '^running with root privileges' "$scratch/lintian.txt" || true
echo "lintian: $(grep -c '^E:' "$scratch/lintian.txt" || true) errors," \
  "$(grep -c '^W:' "$scratch/lintian.txt" || true) warnings"

echo "== apt (simulated)"
# What "apt install ./corvane_*.deb" would do here: each package installs with its
# dependencies, and the two programs never together.
for deb in "$gui_deb" "$headless_deb" "$dev_deb"; do
  apt-get -s -q install "$deb" >"$scratch/apt.txt" 2>&1 ||
    { cat "$scratch/apt.txt"; fail "apt cannot install ${deb##*/}"; }
done
if apt-get -s -q install "$gui_deb" "$headless_deb" >/dev/null 2>&1; then
  fail "apt would install corvane and corvane-headless together"
fi

# ---- unpacked ------------------------------------------------------------------------
echo "== unpacked into $scratch"
gui_root=$scratch/corvane
headless_root=$scratch/corvane-headless
dev_root=$scratch/corvane-dev
dpkg-deb -x "$gui_deb" "$gui_root"
dpkg-deb -x "$headless_deb" "$headless_root"
dpkg-deb -x "$dev_deb" "$dev_root"

for root in "$gui_root" "$headless_root"; do
  name=${root##*/}
  bot=$root/usr/bin/corvane
  [[ $("$bot" --version) == "corvane $version" ]] || fail "$name: --version is not $version"
  for elf in "$bot" "$root/usr/lib/$multiarch/corvane/plugins-available/"*.so; do
    file -b "$elf" | grep -q ', stripped' || fail "$name: ${elf#"$root"} is not stripped"
    if readelf -d "$elf" | grep -E 'RPATH|RUNPATH'; then fail "$name: ${elf#"$root"} has a run path"; fi
  done
  grep -qx 'ExecStart=/usr/bin/corvane --headless' "$root/usr/lib/systemd/user/corvane.service" ||
    fail "$name: corvane.service does not run the installed program on the default home"
  grep -qx 'ExecStart=/usr/bin/corvane --headless --home %h/.local/share/corvane-%i' \
    "$root/usr/lib/systemd/user/corvane@.service" ||
    fail "$name: corvane@.service does not run a bot per named home"
done
if ldd "$headless_root/usr/bin/corvane" | grep -i qt; then fail "corvane-headless links Qt"; fi
for size in 16 22 24 32 48 64 128 256; do
  [[ -s $gui_root/usr/share/corvane/icons/corvane-$size.png ]] ||
    fail "corvane: the window's icon of $size pixels is missing"
done
desktop-file-validate "$gui_root/usr/share/applications/corvane.desktop" ||
  fail "corvane.desktop is not valid"
if ! appstreamcli validate --no-net "$gui_root"/usr/share/metainfo/*.metainfo.xml \
    >"$scratch/appstream.txt" 2>&1; then
  cat "$scratch/appstream.txt"
  fail "the AppStream metadata is not valid"
fi

# A plug-in author's build, against the unpacked SDK alone: PKG_CONFIG_LIBDIR leaves the
# system's pkg-config files out, the sysroot puts the header's folder under the scratch root.
echo "== a plug-in built with the SDK"
cflags=$(PKG_CONFIG_LIBDIR="$dev_root/usr/share/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$dev_root" \
         pkg-config --cflags corvane-plugin)
[[ $cflags == *"-I$dev_root/usr/include"* ]] || fail "pkg-config corvane-plugin gives '$cflags'"
# shellcheck disable=SC2086
cc -shared -fPIC $cflags "$dev_root/usr/share/doc/corvane-dev/examples/seen.c" \
   -o "$scratch/seen.so" || die "the sample plug-in does not build against the SDK"

# wait_for FILE TEXT SECONDS: until FILE has a line holding TEXT.
wait_for() {
  local deadline=$((SECONDS + $3))
  until grep -qF -- "$2" "$1" 2>/dev/null; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}
# stop PID SECONDS: SIGTERM, then the process's exit status (124 when it had to be killed).
stop() {
  kill -TERM "$1" 2>/dev/null || true
  local deadline=$((SECONDS + $2)) status=0
  while kill -0 "$1" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.1; done
  if kill -0 "$1" 2>/dev/null; then
    kill -KILL "$1"
    wait "$1" 2>/dev/null || true
    return 124
  fi
  wait "$1" || status=$?
  return "$status"
}
# A language file's text in UTF-8: lang_text FILE SECTION KEY. The files are in the chat's
# code page, CP1251 while CORVANE_CODEPAGE is unset, as it is for the bots below.
lang_text() {
  awk -v section="[$2]" -v key="$3=" '
    { sub(/\r$/, "") }
    /^\[/ { on = ($0 == section); next }
    on && index($0, key) == 1 { print substr($0, length(key) + 1); exit }' "$1" |
    iconv -f CP1251 -t UTF-8
}

# run_bot ROOT LANGUAGE: the unpacked program logs on to the demo server, in LANGUAGE.
run_bot() {
  local root=$1 language=$2
  local name=${root##*/}
  local work=$scratch/run-$name
  local bot=$root/usr/bin/corvane
  local home=$work/data/corvane
  echo "== $name: logon, plug-ins, $language"
  mkdir -p "$work/user"
  # A user of the scratch folder, whose data folder does not exist yet.
  local as_user=(env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME="$work/user"
                 XDG_DATA_HOME="$work/data")

  "$server" --account DemoBot --password demo >"$work/server.log" 2>&1 &
  local server_pid=$!
  pids+=("$server_pid")
  wait_for "$work/server.log" "bnls 127.0.0.1" 10 || die "$name: the demo server did not start"
  local chat_port bnls_port
  chat_port=$(awk '$1 == "chat" {print $3}' "$work/server.log")
  bnls_port=$(awk '$1 == "bnls" {print $3}' "$work/server.log")

  "${as_user[@]}" "$bot" profile create demo >/dev/null || die "$name: profile create failed"
  [[ -d $home ]] || die "$name: the program did not make its home $home"
  [[ $(stat -c %a "$home") == 700 ]] || fail "$name: the home is not the user's alone"
  "${as_user[@]}" "$bot" profile set demo Main.Username=DemoBot Main.Password=demo \
    Main.BnetServer=127.0.0.1 "Main.BnetPort=$chat_port" \
    Main.BnlsServer=127.0.0.1 "Main.BnlsPort=$bnls_port" \
    "Main.HomeChannel=Corvane Demo" Main.ConnectAtStartup=1 "Local.Languige=$language" \
    >/dev/null || die "$name: profile set failed"
  "${as_user[@]}" "$bot" profile use demo >/dev/null || true
  # One plug-in linked from the shipped samples, as the documentation says, one built above.
  mkdir -p "$home/plugins"
  ln -s "$root/usr/lib/$multiarch/corvane/plugins-available/eightball.so" "$home/plugins/"
  cp "$scratch/seen.so" "$home/plugins/"

  touch "$work/started"
  mkfifo "$work/input"
  exec 3<>"$work/input"
  "${as_user[@]}" "$bot" --headless <&3 >"$work/bot.log" 2>&1 &
  local bot_pid=$!
  pids+=("$bot_pid")
  # The texts come from the shipped language file, which the home does not have.
  local loaded
  loaded=$(lang_text "$root/usr/share/corvane/lang/$language" PLUGIN_SYSTEM 3)
  [[ -n $loaded ]] || die "$name: no plug-in text in $language"
  local ok=1
  for plugin in Seen:seen.so Eightball:eightball.so; do
    local line=${loaded//%pluname/${plugin%%:*}}
    line="[PLUGIN] ${line//%dllname/${plugin#*:}}"
    wait_for "$work/bot.log" "$line" 10 || { fail "$name: no '$line'"; ok=0; }
  done
  wait_for "$work/server.log" "demo: bot logged on as DemoBot" 20 ||
    { fail "$name: the bot did not log on"; ok=0; }
  if ((ok)) && wait_for "$work/server.log" "demo: <Alice> .whoami" 20; then
    echo "/seen Alice" >&3
    wait_for "$work/server.log" "demo: DemoBot says: Alice was last seen" 15 ||
      fail "$name: the plug-in built with the SDK did not answer"
    echo "/8ball Will it install?" >&3
    wait_for "$work/server.log" "demo: DemoBot says: *: " 15 ||
      fail "$name: the shipped sample plug-in did not answer"
  else
    fail "$name: the bot did not get into the channel"
  fi
  local status=0
  stop "$bot_pid" 20 || status=$?
  [[ $status -eq 0 ]] || fail "$name: the bot ended with $status on SIGTERM"
  exec 3>&-
  stop "$server_pid" 10 || true
  [[ -s $home/profiles/demo/usrcmd.bin ]] || fail "$name: the bot saved nothing in its home"
  # An installed program writes nothing beside itself.
  local written
  written=$(find "$root" -newer "$work/started")
  [[ -z $written ]] || fail "$name: the program wrote into its own folder: $written"
  if ((failures > 0)); then
    echo "-- bot output:"
    cat "$work/bot.log"
    echo "-- server output:"
    cat "$work/server.log"
  fi
}
run_bot "$gui_root" english.lng
run_bot "$headless_root" russian.lng

echo "== homes"
# The bot itself makes a missing home, before any profile exists.
env -i PATH=/usr/bin:/bin HOME="$scratch/fresh-user" XDG_DATA_HOME="$scratch/fresh-data" \
  "$headless_root/usr/bin/corvane" --headless </dev/null >"$scratch/fresh.log" 2>&1 &
fresh_pid=$!
pids+=("$fresh_pid")
wait_for "$scratch/fresh.log" "[PLUGIN]" 10 || fail "a bot on a new home did not start"
[[ -f $scratch/fresh-data/corvane/profiles.ini ]] || fail "a bot on a new home did not make it"
status=0
stop "$fresh_pid" 20 || status=$?
[[ $status -eq 0 ]] || fail "a bot on a new home ended with $status on SIGTERM"
# XDG_DATA_HOME unset: ~/.local/share/corvane.
env -i PATH=/usr/bin:/bin HOME="$scratch/plain" "$headless_root/usr/bin/corvane" profile list \
  >/dev/null
[[ -d $scratch/plain/.local/share/corvane ]] || fail "no default home under ~/.local/share"
# --home wins, and a missing one is made by the first profile command (corvane@.service).
env -i PATH=/usr/bin:/bin HOME="$scratch/given-user" XDG_DATA_HOME="$scratch/given-data" \
  "$headless_root/usr/bin/corvane" --home "$scratch/given" profile create main >/dev/null
[[ -f $scratch/given/profiles.ini ]] || fail "--home is not the home"
[[ ! -e $scratch/given-data/corvane ]] || fail "--home given, yet the default home was made"

if ((failures > 0)); then
  echo "check: $failures failures" >&2
  exit 1
fi
echo "check: the packages are good"
