#!/usr/bin/env bash
# fuzz.sh [seconds] [target...]: builds the fuzz targets as libFuzzer binaries
# with clang (ASan+UBSan, the portable core and the XML library instrumented
# for coverage) under $QV_BUILD/fuzz and runs each for the given time (default
# 600 s), at most $QV_FUZZ_JOBS (default 3) at once, starting from a copy of
# the committed seed corpus. New inputs collect in $QV_BUILD/fuzz/corpus/<target>,
# crashes, hangs and leaks in $QV_BUILD/fuzz/artifacts/<target>; each run's log
# is $QV_BUILD/fuzz/<target>.log. At the end each target's executions and
# coverage (edges, features) are printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
shift || true
jobs=${QV_FUZZ_JOBS:-3}
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

# The longest input a target is given: enough for its deepest valid input.
max_len() {
  case "$1" in
    NodeStream_fuzz) echo 65536 ;;          # a 1,000-level chain of nodes
    Dtd_fuzz | XPath_fuzz) echo 65536 ;;    # DTDs and expressions large enough for their slow paths
    FormDefinition_fuzz | XmlParse_fuzz | PatternsFile_fuzz | IniFile_fuzz) echo 16384 ;;
    DomMutation_fuzz) echo 8192 ;;
    *) echo 4096 ;;
  esac
}

run() {
  local t=$1
  mkdir -p "$dir/corpus/$t" "$dir/artifacts/$t"
  cp -n "$root/fuzz/corpus/$t"/* "$dir/corpus/$t/" 2>/dev/null || true
  # -timeout: one input that takes longer is a hang and is kept as an artifact.
  local rc=0
  # The DTD and XPath targets try long inputs at once rather than growing them slowly.
  local grow=()
  case "$t" in Dtd_fuzz | XPath_fuzz) grow=(-len_control=0) ;; esac
  "$dir/fuzz/$t" -max_total_time="$seconds" -max_len="$(max_len "$t")" "${grow[@]}" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$dir/artifacts/$t/" "$dir/corpus/$t" >"$dir/$t.log" 2>&1 || rc=$?
  echo "$rc" >"$dir/$t.rc"
}

report() {
  local t=$1 log="$dir/$1.log" runs cov
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 || true)
  echo "$t: $runs executions, ${cov:-cov: ?}"
}

for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run "$t" &
done
wait
status=0
for t in "${targets[@]}"; do
  if [ "$(cat "$dir/$t.rc")" != 0 ]; then
    echo "$t: FAILED (see $dir/$t.log)"
    status=1
  fi
  report "$t"
done
exit $status
