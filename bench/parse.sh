#!/usr/bin/env bash
# parse.sh [ParseBench options]: builds the host's parse benchmark (optimised
# like the release, no sanitizers) and runs it (with no options, --peer) with a
# peer beside its own references: xmllint (Debian's libxml2-utils, installed
# here when missing and nowhere else) parses the same generated documents of
# several shapes to a tree as a whole process, in turn with ParseFile, and the
# ratios of wall time, processor time and peak memory within each round are
# printed as min / median / max, with the machine's load.
# parse.sh --peer ROUNDS SHAPE...: only those shapes, in that many rounds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if ! command -v xmllint >/dev/null; then
  sudo_cmd=()
  [ "$(id -u)" = 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq || echo "parse.sh: a package list could not be read; going on with the others" >&2
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libxml2-utils >/dev/null
fi
"$root/scripts/build.sh" bench ParseBench ParseFile >/dev/null
[ $# -gt 0 ] || set -- --peer
exec "${QV_BUILD:-$root/build}/bench/bench/ParseBench" "$@"
