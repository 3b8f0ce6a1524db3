#!/usr/bin/env bash
# heap-checked.sh COMMAND [ARGS...]: runs a command that runs a target
# program under Wine, with Wine's heap checking: freed heap blocks are filled,
# so that a touch of freed memory faults or is reported. Fails when the
# command fails, and also when Wine reported a heap error or a fault that the
# program survived (Wine ignores a fault inside a window procedure it called
# back and goes on).
set -u
out=$(mktemp)
trap 'rm -f "$out"' EXIT
export WINEDEBUG=warn+heap
# A fault ends the program instead of waiting for a debugger.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d};winedbg.exe=d"
"$@" >"$out" 2>&1
status=$?
cat "$out"
if grep -E -q ':(err|warn):heap:|:err:seh:.*ignoring exception|Unhandled (page fault|exception|stack overflow|illegal instruction|privileged instruction|division by zero|overflow|array bounds|alignment)' "$out"; then
  echo "heap-checked.sh: Wine reported a heap error or a fault (above)" >&2
  [ "$status" = 0 ] && status=1
fi
exit "$status"
