#!/usr/bin/env bash
# Installs what building and testing Corvane needs on Debian 12, skipping what is there.
#   tools/deps.sh [--gui] [--package]
#     --gui       adds Qt 6 for the desktop front end
#     --package   adds what making and checking the Debian packages needs (tools/package.sh)
set -euo pipefail

packages=(build-essential cmake pkg-config nlohmann-json3-dev libgtest-dev libgmock-dev
          libbenchmark-dev clang libclang-rt-14-dev)
for option in "$@"; do
  case $option in
    --gui) packages+=(qt6-base-dev libgl-dev) ;;
    --package) packages+=(dpkg-dev file lintian desktop-file-utils appstream) ;;
    *) echo "deps.sh: unknown option $option" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
