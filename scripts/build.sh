#!/usr/bin/env bash
# build.sh host|target [cmake-target...]: configures (once) and builds one
# configuration under $QV_BUILD (default build/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:?host or target}
shift
dir="${QV_BUILD:-$root/build}/$kind"
args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
[ "$kind" = target ] && args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw32.cmake")
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" "${args[@]}" >/dev/null
fi
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$dir" "${targets[@]}" -- -k 0
