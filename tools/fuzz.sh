#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while.
#   tools/fuzz.sh [seconds-per-target]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."

tools/deps.sh
seconds=${1:-60}
# Some targets write files: keep them in memory where the machine allows.
if [[ -d /dev/shm && -w /dev/shm ]]; then export TMPDIR=/dev/shm; fi
build=${CORVANE_FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_GUI=OFF \
      -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF -DCORVANE_FUZZ=ON \
      -DCORVANE_SANITIZE=address,undefined >/dev/null
cmake --build "$build" -j "$(nproc)"

for target in bnls_receive_fuzz bnet_receive_fuzz statstring_fuzz text_utils_fuzz usrcmd_fuzz ini_fuzz \
              dispatch_fuzz plugin_file_fuzz control_protocol_fuzz; do
  corpus="$build/corpus-$target"
  mkdir -p "$corpus"
  echo "== $target for ${seconds}s"
  log="$build/$target.log"
  status=0
  "$build/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$build/" "$corpus" >"$log" 2>&1 || status=$?
  grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|SUMMARY)" "$log" || true
  if [[ $status -ne 0 ]]; then
    tail -n 40 "$log" >&2
    echo "$target found a problem (exit $status); see $log" >&2
    exit 1
  fi
done
