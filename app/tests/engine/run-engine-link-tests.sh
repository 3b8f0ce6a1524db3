#!/usr/bin/env bash
# run-engine-link-tests.sh EXE: maps the wizard's test drives into the private
# Wine prefix, runs the tests, checks the image the wizard had formatted, and
# removes every mount, link and image on exit. Never maps or touches C: or Z:.
#   QV_TEST_WIZ_DISK  a 48 MiB drive: a tmpfs folder of that size (for the drive
#                     list and capacity) and an image file as its raw volume
#   QV_TEST_WIZ_STOP  the same at 512 MiB, for stopping and closing during a run
#   QV_TEST_WIZ_FREE  a 24 MiB tmpfs holding one kept file, for the free-space and file runs
#   QV_TEST_WIZ_EMPTY a CD drive without a disc
set -u
exe=$(realpath "$1")
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
for stale in "$QV_BUILD"/wizard-drives.*; do
  [ -d "$stale" ] || continue
  for link in "$dos"/*; do
    case "$(readlink "$link" 2>/dev/null)" in "$stale"/*) rm -f "$link" ;; esac
  done
  for m in "$stale"/mnt/*; do
    if mountpoint -q "$m" 2>/dev/null; then umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null; fi
  done
  rm -rf "$stale"
done
work=$(mktemp -d "$QV_BUILD/wizard-drives.XXXXXX")
links=()
mounts=()
letters=()
status=0

cleanup() {
  local m l
  for l in "${letters[@]}"; do wine reg delete 'HKLM\Software\Wine\Drives' /v "$l:" /f >/dev/null 2>&1; done
  for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null; done
  for l in "${links[@]}"; do rm -f "$l"; done
  rm -rf "$work"
  wineserver -k 2>/dev/null
  if [ "$own_display" = 1 ]; then qv_stop_display; fi
}
trap cleanup EXIT

loud() { printf '\n!!!!! %s !!!!!\n\n' "$*" >&2; }

free_letter() {
  local l
  for l in r s t u v w x y q p o n m; do
    if [ ! -e "$dos/$l:" ] && [ ! -L "$dos/$l:" ] && [ ! -e "$dos/$l::" ] && [ ! -L "$dos/$l::" ]; then
      echo "$l"
      return 0
    fi
  done
  return 1
}

# map_drive NAME SIZE_MB [raw]: a tmpfs of that size as a removable drive,
# with an image file of the same size as its raw volume when asked.
map_drive() {
  local name=$1 size=$2 l dir="$work/mnt/$1"
  mkdir -p "$dir"
  if ! mount -t tmpfs -o "size=${size}m" tmpfs "$dir" 2>/dev/null; then
    loud "SKIPPING the $name drive: mounting a tmpfs was refused, and a folder elsewhere reports the host's disk"
    return 1
  fi
  mounts+=("$dir")
  l=$(free_letter) || { loud "no free drive letter for $name"; return 1; }
  ln -s "$dir" "$dos/$l:"
  links+=("$dos/$l:")
  if [ "${3:-}" = raw ]; then
    # Old content the wipe must leave nowhere on the image.
    yes QV-WIZARD-DISK-MARKER-7f3a91 | head -c "$((size * 1024 * 1024))" > "$work/$name.img"
    ln -s "$work/$name.img" "$dos/$l::"
    links+=("$dos/$l::")
  fi
  letters+=("$l")
  export "QV_TEST_$name=${l^^}"
}

# A letter added to the prefix shows in the drive mask only to a new wineserver.
wineserver -k 2>/dev/null
map_drive WIZ_DISK 48 raw
map_drive WIZ_STOP 512 raw
if map_drive WIZ_FREE 24; then
  head -c $((64 * 1024)) /dev/urandom > "$work/mnt/WIZ_FREE/keep.bin"
fi
# A CD drive with no disc: its letter leads to nothing.
if l=$(free_letter); then
  ln -s "$work/no-disc" "$dos/$l:"
  links+=("$dos/$l:")
  export "QV_TEST_WIZ_EMPTY=${l^^}"
  wine reg add 'HKLM\Software\Wine\Drives' /v "$l:" /d cdrom /f >/dev/null 2>&1
  empty_letter=$l
fi
for l in "${letters[@]}"; do
  wine reg add 'HKLM\Software\Wine\Drives' /v "$l:" /d floppy /f >/dev/null 2>&1
done
[ -n "${empty_letter:-}" ] && letters+=("$empty_letter")
wineserver -w

"$root/scripts/wine-run.sh" "$exe" --gtest_brief=1 || status=1

# Nothing of the old content survives on the wiped and formatted disk.
if [ -f "$work/WIZ_DISK.img" ] && grep -qa QV-WIZARD-DISK-MARKER-7f3a91 "$work/WIZ_DISK.img"; then
  echo "the old content survived the wizard's disk wipe" >&2
  status=1
elif [ -f "$work/WIZ_DISK.img" ]; then
  echo "raw scan: no old content left on the wizard's disk"
fi

# The disk the wizard wiped and formatted passes the FAT checker with the
# label typed on the format page.
if [ -f "$work/WIZ_DISK.img" ] && [ -s "$work/WIZ_DISK.img" ] && command -v fsck.fat >/dev/null; then
  if out=$(fsck.fat -n -v "$work/WIZ_DISK.img" 2>&1) && [ "$(fatlabel "$work/WIZ_DISK.img" 2>/dev/null)" = "QVWIZARD" ] &&
     grep -q " 1024 bytes per cluster" <<<"$out"; then
    echo "fsck.fat: the wizard's disk is clean, labelled QVWIZARD, 1024 bytes per cluster"
  else
    echo "the wizard's disk fails fsck.fat or has the wrong label or cluster size:" >&2
    echo "$out" >&2
    status=1
  fi
elif ! command -v fsck.fat >/dev/null; then
  loud "SKIPPING the fsck.fat check: dosfstools is not installed"
fi
exit "$status"
