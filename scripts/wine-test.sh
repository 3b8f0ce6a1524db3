#!/usr/bin/env bash
# wine-test.sh EXE [ARGS...]: runs one target executable under Wine in the
# private prefix, with a private Xvfb when no display is set. For working on
# one test; scripts/test.sh runs them all.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export QV_BUILD="${QV_BUILD:-$root/build}"
source "$root/scripts/wine-env.sh"
source "$root/scripts/display.sh"
[ -n "${DISPLAY:-}" ] && QV_USE_DISPLAY=$DISPLAY
qv_start_display
trap qv_stop_display EXIT
trap "exit 130" INT TERM
qv_start_wine
wine "$@"
