#!/usr/bin/env bash
# run-explorer-tests.sh EXE [ARGS...]: maps a fresh folder of the build tree
# as a test drive into the private Wine prefix (QV_TEST_EXPLORER_DRIVE), runs
# the explorer tree's tests on it, and removes the link and the folder on
# exit. The tests make and change files only there; C: and Z: are never used.
set -u
exe=$(realpath "$1")
shift
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
: "${QV_BUILD:=$(cd "$(dirname "$exe")/../.." && pwd)}"
export QV_BUILD
source "$root/scripts/wine-env.sh"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winedbg.exe=d"

own_display=0
if [ -z "${DISPLAY:-}" ]; then
  source "$root/scripts/display.sh"
  qv_start_display || exit 1
  own_display=1
fi
qv_make_prefix

dos="$WINEPREFIX/dosdevices"
# Links left by a run that was killed.
for stale in "$QV_BUILD"/explorer-drive.*; do
  [ -d "$stale" ] || continue
  for link in "$dos"/*; do
    case "$(readlink "$link" 2>/dev/null)" in "$stale"*) rm -f "$link" ;; esac
  done
  chmod -R u+w "$stale" 2>/dev/null
  rm -rf "$stale"
done
work=$(mktemp -d "$QV_BUILD/explorer-drive.XXXXXX")
link=""
netlink=""
netletter=""
cleanup() {
  [ -n "$link" ] && rm -f "$link"
  [ -n "$netlink" ] && rm -f "$netlink"
  [ -n "$netletter" ] && wine reg delete 'HKLM\Software\Wine\Drives' /v "$netletter:" /f >/dev/null 2>&1
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
  wineserver -k 2>/dev/null
  if [ "$own_display" = 1 ]; then qv_stop_display; fi
}
trap cleanup EXIT

free_letter() {
  for l in r s t u v w x y q p o n m; do
    if [ "$l" != "${1:-}" ] && [ ! -e "$dos/$l:" ] && [ ! -L "$dos/$l:" ] && [ ! -e "$dos/$l::" ] && [ ! -L "$dos/$l::" ]; then
      echo "$l"
      return
    fi
  done
}
letter=$(free_letter)
if [ -z "$letter" ]; then
  echo "no free drive letter for the explorer tests" >&2
  exit 1
fi
mkdir -p "$work/drive"
# Siblings whose names differ only in case, which a Windows program cannot
# make: the tests move a folder of them where they need it.
for n in 1 2 3 4; do
  mkdir -p "$work/drive/qvcasepool/p$n/Data" "$work/drive/qvcasepool/p$n/data"
  printf 'upper %s' "$n" > "$work/drive/qvcasepool/p$n/Data/upper.txt"
  printf 'lower %s' "$n" > "$work/drive/qvcasepool/p$n/data/lower.txt"
  printf 'lower upper %s' "$n" > "$work/drive/qvcasepool/p$n/data/upper.txt"
done
# Files whose names differ only in case.
for n in 1 2; do
  mkdir -p "$work/drive/qvcasefiles/f$n"
  printf 'upper' > "$work/drive/qvcasefiles/f$n/File.txt"
  printf 'lower' > "$work/drive/qvcasefiles/f$n/file.txt"
done
# A folder holding a link to a folder outside the tests' folders.
mkdir -p "$work/drive/qvoutside/inner" "$work/drive/qvlinkpool/l1"
printf 'outside' > "$work/drive/qvoutside/kept.txt"
ln -s "$work/drive/qvoutside" "$work/drive/qvlinkpool/l1/to-outside"
# A folder holding a link back up to itself (a loop for anything that follows links).
mkdir -p "$work/drive/qvlinkloop/inner"
ln -s "$work/drive/qvlinkloop" "$work/drive/qvlinkloop/inner/back"
ln -s "$work/drive" "$dos/$letter:"
link="$dos/$letter:"
export QV_TEST_EXPLORER_DRIVE=${letter^^}
# A second letter on the same folder that Wine reports as a network drive (mapped-drive tracking).
netletter=$(free_letter "$letter")
if [ -n "$netletter" ]; then
  ln -s "$work/drive" "$dos/$netletter:"
  netlink="$dos/$netletter:"
  wine reg add 'HKLM\Software\Wine\Drives' /v "$netletter:" /d network /f >/dev/null 2>&1
  export QV_TEST_NETWORK_DRIVE=${netletter^^}
fi
# A letter added to the prefix shows in the drive mask only to a new wineserver.
wineserver -k 2>/dev/null
wineserver -w
"$root/scripts/wine-run.sh" "$exe" --gtest_brief=1 "$@"
