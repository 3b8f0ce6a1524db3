#!/usr/bin/env bash
# What heap-checked.sh lets through: a run that ends well with a clean log;
# and what it fails: a failing run, and a run that ends well after Wine
# reported a heap error, an ignored fault in a window procedure or an
# unhandled fault. No Wine is started: each "run" only prints its log.
set -u
checked="$(cd "$(dirname "$0")/.." && pwd)/heap-checked.sh"
failures=0
expect() {
  local want=$1 log=$2 status=$3
  bash "$checked" bash -c "printf '%s\n' \"\$1\"; exit $status" _ "$log" >/dev/null 2>&1
  local got=$?
  if { [ "$want" = pass ] && [ "$got" != 0 ]; } || { [ "$want" = fail ] && [ "$got" = 0 ]; }; then
    echo "expected $want, got status $got for: $log (exit $status)" >&2
    failures=$((failures + 1))
  fi
}
expect pass "[  PASSED  ] 3 tests." 0
expect pass "0024:fixme:imm:ImeSetActiveContext (00010050, 1): stub" 0
expect fail "[  FAILED  ] 1 test." 1
expect fail "0024:err:heap:HEAP_ValidateInUseArena Heap 00110000: block 0012ab30 tail overwritten" 0
expect fail "0024:warn:heap:RtlFreeHeap Invalid pointer 0012ab30" 0
expect fail "0024:err:seh:KiUserCallbackDispatcher ignoring exception" 0
expect fail "wine: Unhandled page fault on read access to FEEEFF96 at address 00534F4D (thread 0024)" 0
expect fail "wine: Unhandled stack overflow at address 7BC3C5A8 (thread 0024), starting debugger..." 0
expect fail "wine: Unhandled illegal instruction at address 00534F4D (thread 0024), starting debugger..." 0
expect pass "[ RUN      ] Faults.UnhandledLooksAlikeButIsAName" 0
[ "$failures" = 0 ] && echo "heap-checked.sh: all cases as expected"
exit "$([ "$failures" = 0 ] && echo 0 || echo 1)"
