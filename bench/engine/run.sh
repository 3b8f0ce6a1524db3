#!/usr/bin/env bash
# run.sh [big|many|ticks|all] [DIR]: times the engine's one-pass wipes beside the
# tools doing the same work on the same file system in the same run. Every
# figure is the time of the whole process (Wine's start of EngineBench.exe
# included; the engine's own time inside the process is shown beside it),
# and MB/s are computed from the file data overwritten.
#   big:  a 1 GiB file ($QV_ENGINE_BENCH_MB MiB): the fill pass (00) beside
#         buffered dd conv=notrunc,fsync and beside its Wine floor (a Windows
#         process writing the same zeros through plain calls and flushing
#         them; then also cutting, renaming and deleting the file as the wipe
#         does), with the parts of that bound measured alone: Wine's start of
#         a process and the file system's cutting of a written 1 GiB file to
#         zero. And the random wipe (overwrite, truncate, rename, delete)
#         beside shred -n1 -u, and beside shred -n1 --remove=wipe, which
#         renames without syncing the folder after each rename, as the engine
#         does not either (what still differs is printed beside the figures).
#         Three rounds ($QV_BIG_ROUNDS), with Wine's desktop
#         process kept up by a window held meanwhile, as the program's own
#         window keeps it up (its start, ~1 s, is timed once apart).
#   many: a folder of 4 KB files, 1,000 and 10,000 of them (and 100,000 with
#         QV_LONG=1), wiped with one random pass; the cost per file beside
#         shred -n1 -u on as many files in a folder of their own, and beside
#         the Wine bound: a Windows process doing only the engine's name
#         hiding (three renames to fresh random names, then the deletion)
#         of as many files, which Wine pays a scan of the folder for; and
#         beside the Wine floor: a Windows process doing, through plain calls
#         and without the engine's checks and messages, everything the system
#         does for the engine on each file (the pass written and flushed, the
#         file cut to zero, its times reset and flushed, the renames, the
#         deletion). QV_MANY_COUNTS sets other counts ("1000" alone, say),
#         QV_MANY_ROUNDS the rounds up to 1,000 files (3; one round above).
#   ticks: a folder of 1,000 files of 4 KB ($QV_TICKS_COUNT) wiped file by
#         file, one FileWipe call for each, as the program hands over files
#         ticked one by one, beside the same files ticked as their folder
#         (one call for the folder), and file by file with each call naming
#         the next path (as the program now hands them over; the folder's
#         shared work is then done once, after the last); one random pass,
#         $QV_TICKS_ROUNDS (6) rounds, the engine's time in the process. The
#         folder tick and the chain run side by side in each round, each
#         first in every other round (on a busy disk the one run second was
#         the slower in every round of a run: keep the rounds even); what naming
#         the next path costs a file more than the folder tick is printed
#         after the ratios.
# Every mode runs its sides in turn in each round and prints the median time
# of each side, and each ratio as min / median / max of the ratios within
# the rounds (a best time of each side may come from rounds of different
# loads), with the machine's load. QV_BENCH_SMALL=1 makes every size small
# (8 MiB, 100 and 50 files, two rounds): a run that checks the engine wipes
# what it is given, as CI runs it; its times mean nothing.
# The engine reaches DIR through a drive letter of the build's private Wine
# prefix that links to a fresh folder under DIR; only that folder is written
# and it is removed afterwards. DIR defaults to $QV_BUILD.
set -euo pipefail
shopt -s inherit_errexit
# Any side that fails ends the run at once, from however deep a subshell:
# a figure beside a side that did not do its work would be a false one.
trap 'exit 1' USR1
fail() {  # fail WHY...: ends the whole run with WHY
  echo "run.sh: FAILED: $*" >&2
  kill -USR1 $$
  exit 1
}
root=$(cd "$(dirname "$0")/../.." && pwd)
export QV_BUILD="${QV_BUILD:-$root/build}"
mode=all
case "${1:-}" in big | many | ticks | all) mode=$1; shift ;; esac
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
# Keeps the wineserver up between the runs (it ends by itself a minute after
# the last one), so every engine run pays the start of a process, not of Wine.
wineserver -p60 2>/dev/null || true
wine "$exe" >/dev/null 2>&1 || true

last_out=""
timed() {  # timed CMD...: prints the seconds the whole process took; its output is in $last_out
  local t0 t1 rc=0
  t0=$(date +%s.%N)
  last_out=$("$@") || rc=$?
  t1=$(date +%s.%N)
  [ "$rc" = 0 ] || fail "$* exited with $rc: $last_out"
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}
times_ok() {  # times_ok WHAT X...: fails the run unless there are times and each is a number
  local what=$1 x
  shift
  [ $# -gt 0 ] || fail "no times for $what"
  for x in "$@"; do
    [[ "$x" =~ ^[0-9]+(\.[0-9]+)?$ ]] || fail "a time for $what is not a number: '$x'"
  done
}
median() {  # median X...: the middle value (the mean of the middle two for an even count)
  times_ok median "$@"
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
range3() {  # range3 FORMAT: the numbers on stdin as "min / median / max", each printed with FORMAT
  sort -g | awk -v f="$1" '{ r[NR] = $1 } END {
    printf f " / " f " / " f, r[1], NR % 2 ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2, r[NR] }'
}
spread() {  # spread "A..." "B...": the ratios A[k] / B[k] of the rounds as "min / median / max"
  local a=($1) b=($2)
  times_ok ratio "${a[@]}" "${b[@]}"
  [ ${#a[@]} = ${#b[@]} ] || fail "ratio of ${#a[@]} rounds to ${#b[@]}"
  local x
  for x in "${b[@]}"; do  # a side that took no time did no work
    awk -v x="$x" 'BEGIN { exit !(x > 0) }' || fail "a ratio to a time of $x"
  done
  awk -v a="$1" -v b="$2" 'BEGIN { n = split(a, x, " "); split(b, y, " "); for (k = 1; k <= n; k++) printf "%.6f\n", x[k] / y[k] }' |
    range3 "%.2fx"
}
if [ -n "${QV_BENCH_SMALL:-}" ] && [ "$QV_BENCH_SMALL" != 0 ]; then
  : "${QV_ENGINE_BENCH_MB:=8}" "${QV_BIG_ROUNDS:=2}" "${QV_MANY_COUNTS:=100}" "${QV_MANY_ROUNDS:=2}"
  : "${QV_TICKS_COUNT:=50}" "${QV_TICKS_ROUNDS:=2}"
fi
printf 'load %s on %s processors\n' "$(cut -d' ' -f1 /proc/loadavg)" "$(nproc)"
engine() {  # engine NAME fill|random|names|floor: wipes $dir/NAME; prints "process-seconds engine-seconds"
  local t
  t=$(timed wine "$exe" "$letter:\\$1" "$2"; echo " $last_out")
  case "$t" in *FAILED*) fail "engine wipe of $1: $t" ;; esac
  [ ! -e "$dir/$1" ] || fail "engine left $1"
  t=$(echo "$t" | awk '{ print $1, $2 }')
  times_ok "the engine's wipe of $1" $t
  echo "$t"
}
fstype=$(df --output=fstype "$dir" | tail -n1 | tr -d ' ')

big() {
  local mb=${QV_ENGINE_BENCH_MB:-1024}
  local bytes=$((mb * 1048576))
  make_file() { dd if=/dev/zero of="$dir/$1" bs=1M count="$mb" conv=fsync status=none; }
  local dd_t=() fill_t=() fill_in=() shred_t=() shredw_t=() random_t=() random_in=() r
  local plain_t=() plain_in=() plainwipe_t=() plainwipe_in=() start_t=() cut_t=() cold holder
  # A window of a process that has none to share starts Wine's desktop process
  # first (timed once, here); while the program runs its window keeps that
  # process up, so for the runs below a process holding a window keeps it up.
  cold=$(timed wine "$exe" - start)
  touch "$dir/.hold"
  wine "$exe" "$letter:\\.hold" hold >/dev/null 2>&1 &
  holder=$!
  sleep 2
  local rounds=${QV_BIG_ROUNDS:-3}
  for round in $(seq "$rounds"); do
    make_file dd.bin
    dd_t+=("$(timed dd if=/dev/zero of="$dir/dd.bin" bs=1M count="$mb" conv=notrunc,fsync status=none)")
    cut_t+=("$(timed truncate -s 0 "$dir/dd.bin")")
    rm -f "$dir/dd.bin"
    start_t+=("$(timed wine "$exe" - start)")
    make_file plain.bin
    r=$(timed wine "$exe" "$letter:\\plain.bin" plainfill; echo " $last_out")
    case "$r" in *FAILED*) fail "plain fill: $r" ;; esac
    plain_t+=("${r%% *}"); r=${r#* }; plain_in+=("${r%% *}")
    rm -f "$dir/plain.bin"
    make_file plainwipe.bin
    r=$(engine plainwipe.bin plainwipe); plainwipe_t+=("${r% *}"); plainwipe_in+=("${r#* }")
    make_file fill.bin
    r=$(engine fill.bin fill); fill_t+=("${r% *}"); fill_in+=("${r#* }")
    make_file shred.bin
    shred_t+=("$(timed shred -n1 -u "$dir/shred.bin")")
    make_file shredw.bin
    shredw_t+=("$(timed shred -n1 --remove=wipe "$dir/shredw.bin")")
    make_file random.bin
    r=$(engine random.bin random); random_t+=("${r% *}"); random_in+=("${r#* }")
  done
  rm -f "$dir/.hold"
  wait "$holder" || true
  local dd_s shred_s
  dd_s=$(median "${dd_t[@]}")
  shred_s=$(median "${shred_t[@]}")
  mbps() { awk -v s="$1" -v b="$bytes" 'BEGIN { printf "%.0f", b / s / 1e6 }'; }
  printf '\n%s MiB file, one pass, on %s (%s rounds, whole process; medians, and x tool: the ratios within the rounds)\n' \
    "$mb" "$fstype" "$rounds"
  printf '%-46s %8s %7s %26s %9s\n' "" seconds MB/s "x tool min / median / max" "inside"
  row() {  # row LABEL "SECONDS..." "IN-PROCESS..." "TOOL-SECONDS...": a line measured against the tool's rounds
    printf '%-46s %8s %7s %26s %9s\n' "$1" "$(median $2)" "$(mbps "$(median $2)")" "$(spread "$2" "$4")" \
      "$([ -z "$3" ] || median $3)"
  }
  printf '%-46s %8s %7s\n' "dd if=/dev/zero bs=1M conv=notrunc,fsync" "$dd_s" "$(mbps "$dd_s")"
  row "Wine floor: same writes + flush, plain calls" "${plain_t[*]}" "${plain_in[*]}" "${dd_t[*]}"
  row "Wine floor: + cut, renamed, deleted" "${plainwipe_t[*]}" "${plainwipe_in[*]}" "${dd_t[*]}"
  row "engine, fill pass (00), flushed" "${fill_t[*]}" "${fill_in[*]}" "${dd_t[*]}"
  printf '%-46s %8s %7s\n' "shred -n1 -u" "$shred_s" "$(mbps "$shred_s")"
  row "engine, random pass (ChaCha20), deleted" "${random_t[*]}" "${random_in[*]}" "${shred_t[*]}"
  row "shred -n1 --remove=wipe (no folder syncs)" "${shredw_t[*]}" "" "${shred_t[*]}"
  printf '%s\n' "x tool: the time over dd's (fill) or shred's (random) in the same round (below 1.00x the engine is faster)."
  printf '%s\n' "shred's work is not the engine's: shred writes with O_DIRECT (past the page cache, no copy)," \
    "where the engine writes through Wine's cached writes and then flushes; shred -u renames the file once for" \
    "each character of its name, to ever shorter names, and syncs the folder after each rename (--remove=wipe" \
    "drops those syncs), where the engine renames three times to names of the same length and flushes the" \
    "folder once, after its fillers; shred neither cuts the file to zero nor resets its times first."
  printf 'Parts of the fill bound, alone (medians): Wine starting and ending a process with the engine'"'"'s message window %s s\n' \
    "$(median "${start_t[@]}")"
  printf '(%s s for the first such run, before a window was held: it may have had to start Wine'"'"'s desktop process);\n' \
    "$cold"
  printf 'cutting the file dd wrote to zero (truncate -s 0, which the wipe does and dd does not) %s s.\n' \
    "$(median "${cut_t[@]}")"
  local sums=() k
  for k in "${!dd_t[@]}"; do sums+=("$(awk -v a="${dd_t[$k]}" -v b="${cut_t[$k]}" 'BEGIN { printf "%.3f", a + b }')"); done
  printf 'dd and that cut together %s s: the engine'"'"'s fill pass takes %s of it (min / median / max of the rounds).\n' \
    "$(median "${sums[@]}")" "$(spread "${fill_t[*]}" "${sums[*]}")"
}

make_files() {  # make_files NAME COUNT: a folder of COUNT files of 4 KB of random data, flushed
  mkdir "$dir/$1"
  head -c $(($2 * 4096)) /dev/urandom | (cd "$dir/$1" && split -b 4096 -d -a 6 - file)
  sync -f "$dir/$1"
}

ticks() {
  local count=${QV_TICKS_COUNT:-1000} rounds=${QV_TICKS_ROUNDS:-6} folder_in=() ticks_in=() chain_in=() r
  single() {  # single ticks|chain: the engine's seconds for a folder of files ticked one by one (the folder stays)
    local out
    make_files "$1" "$count"
    out=$(timed wine "$exe" "$letter:\\$1" "$1"; echo " $last_out")
    case "$out" in *FAILED*) fail "engine wipe of single ticks ($1): $out" ;; esac
    [ -z "$(ls -A "$dir/$1")" ] || fail "single ticks ($1) left entries: $(ls -A "$dir/$1" | head)"
    out=$(echo "$out" | awk '{ print $2 }')
    times_ok "the engine's single ticks ($1)" $out
    rmdir "$dir/$1"
    echo "$out"
  }
  local side order
  for round in $(seq "$rounds"); do
    # The folder tick and the chain, whose ratio is the measure, side by side
    # (the slow old program's run between them gave them loads a minute
    # apart), the other way round in every other round; the old program after them.
    order="folder chain ticks"
    [ $((round % 2)) = 1 ] || order="chain folder ticks"
    for side in $order; do
      case $side in
        folder) make_files folder "$count"; r=$(engine folder random); folder_in+=("${r#* }") ;;
        ticks) r=$(single ticks) || exit 1; ticks_in+=("$r") ;;
        chain) r=$(single chain) || exit 1; chain_in+=("$r") ;;
      esac
    done
  done
  local f t c
  f=$(median "${folder_in[@]}")
  t=$(median "${ticks_in[@]}")
  c=$(median "${chain_in[@]}")
  printf '\n%s files of 4 KB in one folder, one random pass, on %s (%s rounds, medians; engine time in the process)\n' \
    "$count" "$fstype" "$rounds"
  printf '%-44s %9s %12s %29s\n' "" seconds "ms per file" "x folder min / median / max"
  printf '%-44s %9s %12s\n' "ticked as their folder (one call)" "$f" "$(awk -v s="$f" -v n="$count" 'BEGIN { printf "%.1f", s * 1000 / n }')"
  printf '%-44s %9s %12s %29s\n' "each on its own, no next path (old program)" "$t" \
    "$(awk -v s="$t" -v n="$count" 'BEGIN { printf "%.1f", s * 1000 / n }')" "$(spread "${ticks_in[*]}" "${folder_in[*]}")"
  printf '%-44s %9s %12s %29s\n' "each on its own, naming the next path" "$c" \
    "$(awk -v s="$c" -v n="$count" 'BEGIN { printf "%.1f", s * 1000 / n }')" "$(spread "${chain_in[*]}" "${folder_in[*]}")"
  local k
  for k in "${!folder_in[@]}"; do  # each round alone: its three figures were taken within seconds of each other
    awk -v k="$((k + 1))" -v f="${folder_in[k]}" -v t="${ticks_in[k]}" -v c="${chain_in[k]}" 'BEGIN {
      printf "round %s: folder %.3f s, single ticks %.3f s (%.2fx), naming the next %.3f s (%.2fx)\n", k, f, t, t / f, c, c / f }'
  done
  printf 'x folder: the time over the folder tick'"'"'s in the same round.\n'
  printf 'Naming the next path costs %s ms a file more than the folder tick (min / median / max of the rounds).\n' \
    "$(awk -v c="${chain_in[*]}" -v f="${folder_in[*]}" -v n="$count" 'BEGIN {
      k = split(c, x, " "); split(f, y, " "); for (i = 1; i <= k; i++) printf "%.6f\n", (x[i] - y[i]) * 1000 / n }' |
      range3 "%.2f")"
}

many() {
  local counts=(${QV_MANY_COUNTS:-1000 10000})
  [ "${QV_LONG:-0}" = 1 ] && counts+=(100000)
  local most=${QV_MANY_ROUNDS:-3}
  printf '\nFolder of 4 KB files, one random pass, on %s (whole process; %s rounds up to 1,000 files, else one)\n' \
    "$fstype" "$most"
  printf '%8s %14s %14s %8s %14s %8s %16s %16s %8s\n' files "shred ms/file" "engine ms/file" "x shred" "in engine" "MB/s" \
    "Wine bound ms/f" "Wine floor ms/f" "floor x"
  local n k r rounds
  for n in "${counts[@]}"; do
    rounds=1
    [ "$n" -le 1000 ] && rounds=$most
    local st=() et=() it=() bt=() ft=() wt=()
    for ((k = 0; k < rounds; k++)); do
      make_files "shred-$n" "$n"
      st+=("$(timed sh -c 'find "$1" -type f -exec shred -n1 -u {} + && rmdir "$1"' sh "$dir/shred-$n")")
      make_files "shredw-$n" "$n"
      wt+=("$(timed sh -c 'find "$1" -type f -exec shred -n1 --remove=wipe {} + && rmdir "$1"' sh "$dir/shredw-$n")")
      make_files "engine-$n" "$n"
      r=$(engine "engine-$n" random); et+=("${r% *}"); it+=("${r#* }")
      make_files "names-$n" "$n"
      r=$(engine "names-$n" names); bt+=("${r% *}")
      make_files "floor-$n" "$n"
      r=$(engine "floor-$n" floor); ft+=("${r% *}")
    done
    row() {  # row LABEL SHRED ENGINE IN-ENGINE BOUND FLOOR (seconds for n files)
      awk -v l="$1" -v n="$n" -v s="$2" -v e="$3" -v i="$4" -v b="$5" -v f="$6" 'BEGIN {
        printf "%8s %14.3f %14.3f %7.2fx %14.3f %8.1f %16.3f %16.3f %7.2fx\n", l, 1000 * s / n, 1000 * e / n, e / s,
          1000 * i / n, n * 4096 / e / 1e6, 1000 * b / n, 1000 * f / n, f / s }'
    }
    if [ "$rounds" -gt 1 ]; then
      # Each round alone: its figures were taken within seconds of each other.
      for ((k = 0; k < rounds; k++)); do
        row "round $((k + 1))" "${st[k]}" "${et[k]}" "${it[k]}" "${bt[k]}" "${ft[k]}"
      done
    fi
    # The medians of the columns; the ratios are the medians of the rounds' own.
    awk -v l="$n" -v n="$n" -v s="$(median "${st[@]}")" -v e="$(median "${et[@]}")" -v i="$(median "${it[@]}")" \
      -v b="$(median "${bt[@]}")" -v f="$(median "${ft[@]}")" -v x="$(spread "${et[*]}" "${st[*]}")" \
      -v y="$(spread "${ft[*]}" "${st[*]}")" 'BEGIN {
        split(x, ex, " "); split(y, fx, " ")
        printf "%8s %14.3f %14.3f %8s %14.3f %8.1f %16.3f %16.3f %8s\n", l, 1000 * s / n, 1000 * e / n, ex[3],
          1000 * i / n, n * 4096 / e / 1e6, 1000 * b / n, 1000 * f / n, fx[3] }'
    printf '%8s x shred min / median / max %s, floor x %s\n' "$n" "$(spread "${et[*]}" "${st[*]}")" \
      "$(spread "${ft[*]}" "${st[*]}")"
    printf '%8s shred -n1 --remove=wipe (no folder syncs): %s ms/file; the engine over it %s\n' "$n" \
      "$(awk -v w="$(median "${wt[@]}")" -v n="$n" 'BEGIN { printf "%.3f", 1000 * w / n }')" "$(spread "${et[*]}" "${wt[*]}")"
  done
  printf '%s\n' "x shred: the engine's time over shred's (below 1.00x the engine is faster)." \
    "Wine bound: the engine's three renames and the deletion alone, in a Windows process of its own;" \
    "under Wine each fresh name costs a scan of the whole folder, so the cost per file grows with the folder." \
    "shred -u syncs the folder after each of its renames (one per character of the name, to ever shorter" \
    "names) and writes with O_DIRECT; --remove=wipe drops the syncs. The engine renames three times to names" \
    "of the same length, flushes the folder once after its fillers, and writes through the page cache." \
    "Wine floor: the system's share of the engine's whole work on each file, by plain calls without its checks;" \
    "floor x: the floor's time over shred's, the least the engine's ratio can be under Wine." \
    "Under Wine a flush is a full fsync (a journal commit, the write having changed the file's times), where" \
    "shred syncs the data alone: on a busy disk the floor is above shred. The engine's time over the floor is" \
    "its checks that nothing was swapped (~1 ms a file on a quiet disk): two opens of the folder by its path" \
    "before the renames and before the deletion (~0.3 ms each), the paths of the file and the folder read back" \
    "(~0.2 ms), the file's kind, key and names (~0.1 ms), and the message that the file is finished, sent to" \
    "the program's window (~0.3 ms). Rows \"round\": each round's figures, taken within seconds of each other;" \
    "the row of the count: the median of each column (of the ratios, the median of the rounds' own), then the" \
    "ratios as min / median / max of the rounds."
}

case "$mode" in
  big) big ;;
  many) many ;;
  ticks) ticks ;;
  all) big; many; ticks ;;
esac
