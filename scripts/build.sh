#!/usr/bin/env bash
# build.sh host|target|bench [cmake-target...]: configures (once) and builds
# one configuration under $QV_BUILD (default build/). "bench" is the host's
# benchmarks, optimised and without the sanitizers (the host configuration
# builds none); with no target named it builds just them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:?host, target or bench}
shift
dir="${QV_BUILD:-$root/build}/$kind"
args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
[ "$kind" = target ] && args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw32.cmake")
[ "$kind" = bench ] && args=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DQV_SANITIZE=OFF)
if [ ! -f "$dir/build.ninja" ]; then
  # A configuration that never finished (its compiler not installed yet, say)
  # leaves a cache that a later one would trust, flags and all: start over.
  rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
  cmake -S "$root" -B "$dir" "${args[@]}" >/dev/null
fi
targets=()
[ "$kind" = bench ] && [ $# = 0 ] && set -- benchmarks
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$dir" "${targets[@]}" -- -k 0
