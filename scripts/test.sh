#!/usr/bin/env bash
# Builds everything (Release, assertions on) and runs every test through CTest.
# On a fresh machine it first installs, through apt-get, the tools and libraries
# that are missing: the build tools, GoogleTest, Google Benchmark, libtiff and
# zlib, and the independent readers and writers the tests compare against
# (tinyobjloader, lib3ds with 3dsdump, dxflib, ezdxf, libtiff's tools).
#
#   scripts/test.sh                      build in build/ and run every test
#   QOX_SANITIZE=ON scripts/test.sh      the same under ASan+UBSan, in build-sanitize/
#   QOX_SANITIZE=thread scripts/test.sh  the same under ThreadSanitizer, in build-tsan/
#   QOX_TESTS=threaded scripts/test.sh   only the tests that run work on several
#                                        threads, and only what they need built
#   BUILD_DIR=dir scripts/test.sh        build somewhere else
# ccache, when installed, is used to compile. The tests run with TMPDIR set to
# a fresh folder; the run fails when they leave anything there or new
# qox_test_* entries in /tmp. It ends with each skipped test and its reason.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

packages=(cmake ninja-build g++ pkg-config libgtest-dev libbenchmark-dev libtiff-dev zlib1g-dev
          libtinyobjloader-dev lib3ds-dev libdxflib-dev python3-ezdxf libtiff-tools)
need=()
for pkg in "${packages[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "test.sh: installing missing packages: ${need[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      SUDO=sudo
    else
      echo "test.sh: not root and no sudo; install these packages first: ${need[*]}" >&2
      exit 1
    fi
  fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${need[@]}"
fi

# A locale with a decimal comma, for the tests that read and write numbers
# under one (they skip without it). Made when root or sudo can; else noted.
comma_locales='^(de_DE|fr_FR|es_ES|it_IT|nl_NL|ru_RU)\.utf-?8$'
if ! locale -a 2>/dev/null | grep -qiE "$comma_locales"; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 && SUDO=sudo || SUDO=none
  fi
  if [ "$SUDO" = none ]; then
    echo "test.sh: not root and no sudo: no de_DE.UTF-8 locale made; the decimal-comma tests will skip" >&2
  else
    if ! dpkg -s locales >/dev/null 2>&1; then
      $SUDO apt-get update
      DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends locales
    fi
    $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 ||
      echo "test.sh: de_DE.UTF-8 could not be made; the decimal-comma tests will skip" >&2
  fi
fi

sanitize=${QOX_SANITIZE:-OFF}
case "$sanitize" in
  thread) build=${BUILD_DIR:-build-tsan} type=RelWithDebInfo ;;
  ON) build=${BUILD_DIR:-build-sanitize} type=RelWithDebInfo ;;
  *) build=${BUILD_DIR:-build} type=Release ;;
esac
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  # Paths relative to the tree, so another clone of it finds the same entries.
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
fi

# The tests that run work on several threads (their own or the SDK's), by name,
# and the test programs that hold them.
threaded='Thread|Concurren|Parallel|SideBySide|NodeFill|Split|Slabs'
threaded_targets=(base_tests object_tests fcurve_tests scene_tests character_tests fileio_tests formats_tests)

# Each skipped test with its reason, from CTest's log of the run: ctest
# --output-on-failure shows a skipped test's output nowhere.
list_skipped() {
  local log=Testing/Temporary/LastTest.log
  [ -f "$log" ] || return 0
  awk -v who=test.sh -f "$root/scripts/list-skipped.awk" "$log"
}

# The tests run with a temporary folder of their own, which must be empty
# again at the end: whatever is left there (or new in /tmp under the
# tests' prefix) is named and fails the run. As root the tests act as other
# users, who must reach it: it lies in /tmp then, open to all as /tmp is.
made_tmp() {
  local base=${TMPDIR:-/tmp}
  [ "$(id -u)" -eq 0 ] && base=/tmp
  mktemp -d "$base/qox-tests.XXXXXX"
}
left_behind() {
  local status=0 entry
  if [ -n "$(find "$tests_tmp" -mindepth 1 -maxdepth 1 -print -quit)" ]; then
    echo "test.sh: the tests left these in their temporary folder $tests_tmp:" >&2
    find "$tests_tmp" -mindepth 1 -maxdepth 2 -printf '  %P (%M %u:%g)\n' >&2
    status=1
  fi
  for entry in /tmp/qox_test_*; do
    [ -e "$entry" ] || [ -L "$entry" ] || continue
    if ! grep -qxF "$entry" <<<"$tmp_before"; then
      echo "test.sh: the tests left $entry in /tmp" >&2
      status=1
    fi
  done
  return "$status"
}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DQOX_SANITIZE="$sanitize" "${launcher[@]}"
only=()
if [ "${QOX_TESTS:-all}" = threaded ]; then
  cmake --build "$build" -j "$(nproc)" --target "${threaded_targets[@]}"
  only=(-R "$threaded")
else
  cmake --build "$build" -j "$(nproc)"
fi
cd "$build"
tmp_before=$(find /tmp -maxdepth 1 -name 'qox_test_*' 2>/dev/null || true)
tests_tmp=$(made_tmp)
trap 'rm -rf "$tests_tmp"' EXIT
[ "$(id -u)" -eq 0 ] && chmod 1777 "$tests_tmp"
status=0
TMPDIR=$tests_tmp ctest --output-on-failure -j "$(nproc)" "${only[@]}" || status=$?
list_skipped
left_behind || status=1
exit "$status"
