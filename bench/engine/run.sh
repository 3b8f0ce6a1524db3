#!/usr/bin/env bash
# run.sh [DIR]: wipes a 1 GiB file with one pass through the engine (under
# Wine, the file reached through a drive letter mapped to DIR) and prints its
# throughput beside dd with direct I/O and shred -n1 writing the same amount
# to the same file system in the same run. DIR defaults to a folder under
# $QV_BUILD (the build's file system). Three rounds; the best of each is shown.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
export QV_BUILD="${QV_BUILD:-$root/build}"
exe=${QV_ENGINE_BENCH_EXE:-}  # an EngineBench.exe built elsewhere, else built here
if [ -z "$exe" ]; then
  mkdir -p "$QV_BUILD"
  "$root/scripts/build.sh" target EngineBench QuorvanellEngine >"$QV_BUILD/engine-bench-build.log" 2>&1 ||
    { cat "$QV_BUILD/engine-bench-build.log" >&2; exit 1; }
  exe="$QV_BUILD/target/testbin/EngineBench.exe"
fi
source "$root/scripts/wine-env.sh"
qv_make_prefix

dir=$(mktemp -d "${1:-$QV_BUILD}/engine-bench.XXXXXX")
dos="$WINEPREFIX/dosdevices"
letter=""
for l in q r s t u v w x y; do
  if [ ! -e "$dos/$l:" ] && [ ! -L "$dos/$l:" ]; then letter=$l; break; fi
done
[ -n "$letter" ] || { echo "no free drive letter" >&2; exit 1; }
ln -s "$dir" "$dos/$letter:"
trap 'rm -f "$dos/$letter:"; rm -rf "$dir"' EXIT

size_mb=1024
make_file() { dd if=/dev/zero of="$1" bs=1M count=$size_mb conv=fsync status=none; }
mbps() { awk -v s="$1" -v m="$size_mb" 'BEGIN { printf "%.1f", m * 1048576 / s / 1e6 }'; }
timed() {  # timed CMD...: seconds taken
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null
  t1=$(date +%s.%N)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}
best() { printf '%s\n' "$@" | sort -g | head -n1; }

dd_t=() shred_t=() fill_t=() random_t=()
for round in 1 2 3; do
  make_file "$dir/dd.bin"
  dd_t+=("$(timed dd if=/dev/zero of="$dir/dd.bin" bs=1M count=$size_mb oflag=direct conv=fsync status=none)")
  make_file "$dir/shred.bin"
  shred_t+=("$(timed shred -n1 "$dir/shred.bin")")
  make_file "$dir/fill.bin"
  fill_t+=("$(wine "$exe" "$letter:\\fill.bin" fill | awk '{ print $1 }')")
  make_file "$dir/random.bin"
  random_t+=("$(wine "$exe" "$letter:\\random.bin" random | awk '{ print $1 }')")
  rm -f "$dir"/*.bin
done

dd_s=$(best "${dd_t[@]}")
printf '%-44s %8s %10s %8s\n' "1 GiB, one pass, on $(df --output=fstype "$dir" | tail -n1)" seconds MB/s "of dd"
row() { printf '%-44s %8s %10s %7.0f%%\n' "$1" "$2" "$(mbps "$2")" "$(awk -v a="$dd_s" -v b="$2" 'BEGIN { print 100 * a / b }')"; }
row "dd if=/dev/zero bs=1M oflag=direct conv=fsync" "$dd_s"
row "shred -n1" "$(best "${shred_t[@]}")"
row "engine, fill pass (00)" "$(best "${fill_t[@]}")"
row "engine, random pass (ChaCha20)" "$(best "${random_t[@]}")"
