#!/usr/bin/env bash
# Makes the Debian packages: corvane (the program with its window), corvane-headless (the
# program without the window and Qt) and corvane-dev (the plug-in interface), then runs
# lintian on them.
#   tools/package.sh [OUT_DIR]     (default dist/; any corvane*.deb there is replaced)
#   CORVANE_JOBS=N                 parallel compile jobs (default: the number of cores)
#   CORVANE_CMAKE_ARGS="..."       more CMake options (CI adds -DCORVANE_WERROR=ON)
# The two programs come from two Release builds, build-pkg-gui and build-pkg-headless, made
# with Debian's hardening flags. tools/check_packages.sh OUT_DIR checks the result.
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-dist}
jobs=${CORVANE_JOBS:-$(nproc)}
tools/deps.sh --gui --package

# The commit's time dates the changelog and the metadata, so that one commit always gives
# the same packages.
if [[ -z ${SOURCE_DATE_EPOCH:-} ]] && git rev-parse --git-dir >/dev/null 2>&1; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
  export SOURCE_DATE_EPOCH
fi
# Debian's compiler and linker flags (-O2, fortify, stack protector, relro, now); CMake
# takes them from the environment at its first configure. The preprocessor flags go with
# both. A Release build adds no optimisation level of its own below, so Debian's holds.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
CFLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS

# package BUILD_DIR GUI COMPONENTS: builds and runs cpack for the components given.
package() {
  local build=$1 gui=$2 components=$3
  echo "== $build (window: $gui)"
  # A fresh cache each time, so that the flags above are the ones used.
  rm -f "$build/CMakeCache.txt"
  rm -rf "$build/packages"
  # shellcheck disable=SC2086
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DCMAKE_C_FLAGS_RELEASE=-DNDEBUG -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
        -DCORVANE_GUI="$gui" -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF -DCORVANE_FUZZ=OFF \
        ${CORVANE_CMAKE_ARGS:-} >/dev/null
  cmake --build "$build" -j "$jobs"
  (cd "$build" && cpack -G DEB -D CPACK_COMPONENTS_ALL="$components" >/dev/null)
}
package build-pkg-gui ON "program;sdk"
package build-pkg-headless OFF program
# Without Qt the first build would have made a second console-only package.
if [[ -z $(compgen -G "build-pkg-gui/packages/corvane_*.deb") ]]; then
  echo "package: the build with the window has no window (is Qt 6 installed?)" >&2
  exit 1
fi

mkdir -p "$out"
rm -f "$out"/corvane*.deb
cp build-pkg-gui/packages/*.deb build-pkg-headless/packages/*.deb "$out"/
ls -l "$out"/corvane*.deb

echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$out"/corvane*.deb
echo "package: the packages are in $out/"
