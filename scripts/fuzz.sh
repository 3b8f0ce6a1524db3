#!/usr/bin/env bash
# fuzz.sh [seconds] [target...]: builds the fuzz targets as libFuzzer binaries
# with clang (ASan+UBSan) under $QV_BUILD/fuzz and runs each for the given
# time (default 600 s), all at once, starting from a copy of the committed seed
# corpus. New inputs collect in $QV_BUILD/fuzz/corpus/<target>, crashes in
# $QV_BUILD/fuzz/artifacts/<target>; each run's log is $QV_BUILD/fuzz/<target>.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
shift || true
dir="${QV_BUILD:-$root/build}/fuzz"
if [ ! -f "$dir/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQV_FUZZ_LIBFUZZER=ON >/dev/null
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$root"/fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
cmake --build "$dir" $(for t in "${targets[@]}"; do echo --target "$t"; done)
pids=()
for t in "${targets[@]}"; do
  mkdir -p "$dir/corpus/$t" "$dir/artifacts/$t"
  cp -n "$root/fuzz/corpus/$t"/* "$dir/corpus/$t/" 2>/dev/null || true
  "$dir/fuzz/$t" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$dir/artifacts/$t/" "$dir/corpus/$t" >"$dir/$t.log" 2>&1 &
  pids+=($!)
done
status=0
for i in "${!pids[@]}"; do
  if ! wait "${pids[$i]}"; then
    echo "${targets[$i]}: FAILED (see $dir/${targets[$i]}.log)"
    status=1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/${targets[$i]}.log" | grep -o '[0-9]*$' || echo '?')
  echo "${targets[$i]}: $runs executions"
done
exit $status
