#!/usr/bin/env bash
# parse.sh [ParseBench options]: builds the host's parse benchmark (optimised
# like the release, no sanitizers) and runs it with a peer beside its own
# references: xmllint (Debian's libxml2-utils, installed here when missing and
# nowhere else) parses the same generated files to a tree as a whole process,
# in turn with ParseFile, and the time and peak memory ratios are printed.
# Without options, documents of several shapes follow, each parsed by
# ParseFile and xmllint --noout as whole processes in paired rounds (the two
# sides take turns at going first): per shape the min / median / max over the
# rounds of the ratios ParseFile / xmllint of wall time, processor time
# (user + system) and peak resident memory, with the machine's load before
# and after.
# parse.sh --shapes [ROUNDS] [SHAPE...]: only the shapes (ROUNDS, default 9).
# QV_PARSE_DOCS=DIR keeps the documents in DIR (written when missing) instead
# of a temporary folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
need=()
command -v xmllint >/dev/null || need+=(libxml2-utils)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" = 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq || echo "parse.sh: a package list could not be read; going on with the others" >&2
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
fi
"$root/scripts/build.sh" bench ParseBench ParseFile >/dev/null
bench="${QV_BUILD:-$root/build}/bench/bench"

rounds=9
if [ "${1:-}" = --shapes ]; then
  shift
  if [[ "${1:-}" =~ ^[0-9]+$ ]]; then rounds=$1; shift; fi
elif [ $# -gt 0 ]; then
  exec "$bench/ParseBench" "$@"
else
  "$bench/ParseBench"
fi

shapes=("$@")
[ ${#shapes[@]} -gt 0 ] || shapes=(plain entities-ids entities entity-rich attribute-heavy attribute-ids deep small-nodes)
docs=${QV_PARSE_DOCS:-}
if [ -z "$docs" ]; then
  docs=$(mktemp -d)
  trap 'rm -rf "$docs"' EXIT
fi
mkdir -p "$docs"

# The document of a shape, written once.
document() {
  local f="$docs/$1.xml"
  if [ ! -s "$f" ]; then
    case $1 in
      plain | entities-ids | deep)
        [ -s "$docs/patterns.xml" ] || "$bench/ParseBench" --write "$docs"
        ln -f "$docs/$(case $1 in plain) echo patterns ;; entities-ids) echo entities ;; deep) echo chains ;; esac).xml" "$f" ;;
      # The entity document without its ID declaration.
      entities) sed '/<!ATTLIST pattern code ID/d' "$(document entities-ids)" >"$f" ;;
      attribute-ids) LC_ALL=C awk -v shape=attribute-heavy -v ids=1 -f "$root/bench/parse-shapes.awk" >"$f" ;;
      *) LC_ALL=C awk -v shape="$1" -f "$root/bench/parse-shapes.awk" >"$f" ;;
    esac
  fi
  echo "$f"
}

# One whole process: "wall-seconds cpu-seconds peak-KiB".
measure() {
  local t0 t1 stats
  stats=$(mktemp)
  t0=$EPOCHREALTIME
  /usr/bin/time -f '%U %S %M' -o "$stats" "$@" >/dev/null 2>&1 || { rm -f "$stats"; echo "failed: $*" >&2; return 1; }
  t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" '{ printf "%.4f %.2f %d\n", b - a, $1 + $2, $3 }' "$stats"
  rm -f "$stats"
}

# min / median / max of the numbers on standard input.
summary() { sort -g | awk '{ v[NR] = $1 } END { printf "%.2f / %.2f / %.2f", v[1], v[int((NR + 1) / 2)], v[NR] }'; }

echo "Shapes, ParseFile / xmllint --noout, whole process, $rounds paired rounds; min / median / max of the rounds' ratios"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '  %-16s %6s  %-20s %-20s %-20s %s\n' shape MB "wall time" "processor time" "peak memory" "medians ours / peer"
for shape in "${shapes[@]}"; do
  file=$(document "$shape")
  mb=$(awk -v b="$(stat -c %s "$file")" 'BEGIN { printf "%.1f", b / 1e6 }')
  rows=()
  for ((r = 0; r < rounds; ++r)); do
    if ((r % 2 == 0)); then
      ours=$(measure "$bench/ParseFile" "$file")
      peer=$(measure xmllint --noout "$file")
    else
      peer=$(measure xmllint --noout "$file")
      ours=$(measure "$bench/ParseFile" "$file")
    fi
    rows+=("$ours $peer")
  done
  ratio() { printf '%s\n' "${rows[@]}" | awk -v i="$1" '{ print $i / ($(i + 3) > 0 ? $(i + 3) : 0.005) }' | summary; }
  median() { printf '%s\n' "${rows[@]}" | awk -v i="$1" '{ print $i }' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
  printf '  %-16s %6s  %-20s %-20s %-20s %.3f / %.3f s, %.0f / %.0f MiB\n' "$shape" "$mb" "$(ratio 1)" "$(ratio 2)" "$(ratio 3)" \
    "$(median 1)" "$(median 4)" "$(($(median 3) / 1024))" "$(($(median 6) / 1024))"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
