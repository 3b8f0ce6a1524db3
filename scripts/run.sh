#!/usr/bin/env bash
# Builds the program and starts it: under Wine on the user's display (or a
# private Xvfb when there is none).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
# Only the program and what ships beside it: no test or benchmark is compiled.
"$root/scripts/build.sh" target Quorvanell QuorvanellEngine
export QV_BUILD="$root/build"
source "$root/scripts/wine-env.sh"
source "$root/scripts/display.sh"
source "$root/scripts/instances.sh"
if [ -n "${DISPLAY:-}" ]; then
  QV_USE_DISPLAY=$DISPLAY
fi
# A second run shares the first one's Wine server and display, and leaves
# them alone when it ends: only the last run out stops them.
qv_run_begin
trap qv_run_end EXIT
trap "exit 130" INT TERM
qv_make_prefix
cd "$root/build/target/Quorvanell"
wine ./Quorvanell.exe
