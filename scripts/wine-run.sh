#!/usr/bin/env bash
# Runs a Windows executable under Wine in the private prefix (the CTest
# emulator of the target configuration). Exit status is the program's.
set -u
source "$(dirname "$0")/wine-env.sh"
qv_make_prefix
exec wine "$@"
