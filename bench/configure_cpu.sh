#!/usr/bin/env bash
# The CPU a CMake configure of this tree takes: a first configure into an
# empty build folder, then a reconfigure of it (what scripts/run.sh and
# scripts/test.sh do on every call), each as user + system seconds of cmake
# and its children.
#
#   bench/configure_cpu.sh [runs]     (default 3 runs of each)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpu_of() { # prints the user+system seconds of the command
  /usr/bin/time -f '%U %S' -o "$work/time" "$@" >/dev/null
  awk '{ printf "%.2f\n", $1 + $2 }' "$work/time"
}

for ((i = 1; i <= runs; i++)); do
  rm -rf "$work/build"
  first=$(cpu_of cmake -S . -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release)
  again=$(cpu_of cmake -S . -B "$work/build")
  echo "run $i: first configure ${first} s CPU, reconfigure ${again} s CPU"
done
