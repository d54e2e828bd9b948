#!/usr/bin/env bash
# Installs what building and testing Corvane needs on Debian 12, skipping what is there.
#   tools/deps.sh [--gui]     --gui adds Qt 6 for the desktop front end
set -euo pipefail

packages=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          clang libclang-rt-14-dev)
if [[ "${1:-}" == "--gui" ]]; then
  packages+=(qt6-base-dev libgl-dev)
fi

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
