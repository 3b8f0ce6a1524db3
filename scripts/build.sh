#!/usr/bin/env bash
# build.sh host|target: configures (once) and builds one configuration under build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:?host or target}
dir="$root/build/$kind"
args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
[ "$kind" = target ] && args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw32.cmake")
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" "${args[@]}" >/dev/null
fi
cmake --build "$dir" -- -k 0
