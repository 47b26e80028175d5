#!/usr/bin/env bash
# Imports the example scene into the host stand-in: installs what is missing
# (Debian packages, as root or through sudo), builds zelt, the plug-in and the
# example writer, rewrites examples/scene/example.qox with it (the same bytes
# each time), and runs examples/import.zelt, which imports the file in each of
# the three import modes and prints the host scene after each. Extra
# arguments go to zelt (e.g. -d - to dump the last scene).
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v ninja >/dev/null 2>&1 || need+=(ninja-build)
command -v g++ >/dev/null 2>&1 || need+=(g++)
for pkg in libgtest-dev libtiff-dev zlib1g-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  echo "run.sh: installing ${need[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || { echo "run.sh: need root or sudo to install ${need[*]}" >&2; exit 1; }
    SUDO=sudo
  fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${need[@]}"
fi

build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j3 --target zelt qoxzelt qox_example_scene
"$build/qox_example_scene" examples/scene/example.qox
# The plug-in keeps its settings and its import log beside itself.
export ZELT_PLUG_IN_PATH="$build"
exec "$build/zelt" -p "$build/qoxzelt.so" "$@" examples/import.zelt
