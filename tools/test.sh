#!/usr/bin/env bash
# Sets everything up, builds Corvane with its tests and runs every test.
#   CORVANE_SANITIZE=address,undefined|thread   build with sanitizers
#   CORVANE_TEST_LABEL=threaded|unit|soak        run only the tests with that label
#   CORVANE_BUILD_DIR=DIR                        build directory (default build-test)
#   CORVANE_GUI=ON|OFF                           the window's parts (default: ON without sanitizers)
#   CORVANE_CMAKE_ARGS="..."                     more CMake options (CI adds -DCORVANE_WERROR=ON)
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=${CORVANE_SANITIZE:-}
# The window's parts are built and tested in the plain build; the sanitizer builds leave
# them out (Qt's own libraries are not instrumented) and so also prove the bot builds
# without Qt.
gui=${CORVANE_GUI:-$([[ -z "$sanitize" ]] && echo ON || echo OFF)}
if [[ "$gui" == ON ]]; then tools/deps.sh --gui; else tools/deps.sh; fi
build=${CORVANE_BUILD_DIR:-build-test${sanitize:+-${sanitize//,/-}}}
# shellcheck disable=SC2086
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_GUI="$gui" \
      -DCORVANE_SANITIZE="$sanitize" ${CORVANE_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)"

# The soak tests (hundreds of reconnections) run only when asked for by label.
label=(-LE soak)
if [[ -n "${CORVANE_TEST_LABEL:-}" ]]; then label=(-L "$CORVANE_TEST_LABEL"); fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "${label[@]}"
