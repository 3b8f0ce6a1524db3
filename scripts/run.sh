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
if [ -n "${DISPLAY:-}" ]; then
  QV_USE_DISPLAY=$DISPLAY
fi
qv_start_display
trap qv_stop_display EXIT
trap "exit 130" INT TERM
qv_make_prefix
cd "$root/build/target/Quorvanell"
wine ./Quorvanell.exe
