#!/usr/bin/env bash
# Two runs of the program on one prefix, as scripts/run.sh makes them
# (scripts/instances.sh): the second shares the first one's display and Wine
# server, and whichever ends first leaves the server running for the other;
# the last one out stops it. A prefix of its own (an empty folder is enough
# for a Wine server) keeps the shared test server out of it.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qv-instances.XXXXXX")
export WINEPREFIX="$work/prefix"
mkdir -p "$WINEPREFIX"
export WINEARCH=win32 WINEDEBUG=-all
# A display that is only passed on: no Xvfb is started here.
export QV_USE_DISPLAY=:qv-instances-test
source "$root/scripts/display.sh"
source "$root/scripts/instances.sh"
status=0
fail() { echo "FAILED: $*" >&2; status=1; }

server_running() { ! timeout 1 wineserver -w 2>/dev/null; }

# run NAME: a run that joins, starts the server as the program would, says it
# is up (NAME.up, holding its display) and ends when NAME.end appears.
run() {
  (
    qv_run_begin || exit 1
    trap qv_run_end EXIT
    wineserver -p
    echo "$DISPLAY" > "$work/$1.up"
    for _ in $(seq 300); do [ -e "$work/$1.end" ] && exit 0; sleep 0.1; done
  ) &
}
wait_for() { for _ in $(seq 100); do [ -e "$work/$1" ] && return 0; sleep 0.1; done; return 1; }
end_run() { touch "$work/$1.end"; wait "$2"; }

for order in second-first first-second; do
  rm -f "$work"/*.up "$work"/*.end
  run first
  first=$!
  wait_for first.up || fail "$order: the first run did not start"
  run second
  second=$!
  wait_for second.up || fail "$order: the second run did not start"
  [ "$(cat "$work/first.up")" = "$(cat "$work/second.up")" ] || fail "$order: the runs use different displays"
  if [ "$order" = second-first ]; then
    end_run second "$second"
    server_running || fail "closing the second run stopped the first one's Wine server"
    end_run first "$first"
  else
    end_run first "$first"
    server_running || fail "closing the first run stopped the second one's Wine server"
    end_run second "$second"
  fi
  timeout 10 wineserver -w || fail "$order: the last run out left the Wine server running"
done

# A run that was killed leaves a record behind: the next run is not fooled by it.
echo "$QV_USE_DISPLAY " > "$WINEPREFIX/.qv-runs/run.999999"
rm -f "$work"/*.up "$work"/*.end
run single
single=$!
wait_for single.up || fail "a run after a killed one did not start"
end_run single "$single"
timeout 10 wineserver -w || fail "a killed run's record kept the Wine server running"
[ ! -e "$WINEPREFIX/.qv-runs/run.999999" ] || fail "the killed run's record was not cleared"

wineserver -k 2>/dev/null
rm -rf "$work"
[ "$status" = 0 ] && echo "instances: a second run shares the server and leaves it alone; the last one stops it"
exit "$status"
