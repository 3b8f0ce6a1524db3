#!/usr/bin/env bash
# Runs a Windows executable under Wine in the private prefix (the CTest
# emulator of the target configuration). Exit status is the program's.
#
# Wine's helper processes (services, the desktop) can outlive the program and
# inherit its standard handles; a caller reading a pipe (CTest) would then wait
# for them for ever. So the output goes to a file and is copied out at the end.
set -u
source "$(dirname "$0")/wine-env.sh"
qv_make_prefix
out=$(mktemp)
wine "$@" >"$out" 2>&1
status=$?
cat "$out"
rm -f "$out"
exit "$status"
