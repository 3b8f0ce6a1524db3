#!/usr/bin/env bash
# Builds both configurations and runs every test: the host's under the
# sanitizers, the target's under Wine with one Xvfb and one wineserver.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" host
"$root/scripts/build.sh" target

export QV_BUILD="$root/build"
source "$root/scripts/wine-env.sh"
source "$root/scripts/display.sh"
qv_start_display
trap qv_stop_display EXIT
trap "exit 130" INT TERM
qv_start_wine

jobs=$(nproc)
status=0
ctest --test-dir "$root/build/host" --output-on-failure -j "$jobs" || status=1
ctest --test-dir "$root/build/target" --output-on-failure -j "$jobs" || status=1
if [ "$status" != 0 ]; then
  echo "TESTS FAILED" >&2
fi
exit "$status"
