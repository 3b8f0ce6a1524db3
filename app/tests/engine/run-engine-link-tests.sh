#!/usr/bin/env bash
# run-engine-link-tests.sh EXE: maps the wizard's test drives into the private
# Wine prefix (scripts/test-drives.sh, which removes every mount, link and
# image at the end, also when interrupted), runs the tests and checks the image
# the wizard had formatted. Never maps or touches C: or Z:.
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
source "$root/scripts/test-drives.sh"
qv_drives_begin wizard-drives || exit 1
work=$qv_drives_work
status=0

# map_drive NAME SIZE_MB [raw]: a tmpfs of that size as a removable drive,
# with an image file of the same size as its raw volume when asked.
map_drive() {
  local name=$1 size=$2 dir="$work/mnt/$1" letter
  if ! qv_mount_tmpfs "$dir" "$size"; then
    qv_loud "SKIPPING the $name drive: mounting a tmpfs was refused, and a folder elsewhere reports the host's disk"
    return 1
  fi
  qv_map_folder "$name" "$dir" floppy || return 1
  if [ "${3:-}" = raw ]; then
    # Old content the wipe must leave nowhere on the image.
    yes QV-WIZARD-DISK-MARKER-7f3a91 | head -c "$((size * 1024 * 1024))" > "$work/$name.img"
    letter=QV_TEST_$name
    qv_map_raw "$name" "$work/$name.img" "${!letter}"
  fi
}

# A letter added to the prefix shows in the drive mask only to a new wineserver.
qv_drives_restart
map_drive WIZ_DISK 48 raw
map_drive WIZ_STOP 512 raw
if map_drive WIZ_FREE 24; then
  head -c $((64 * 1024)) /dev/urandom > "$work/mnt/WIZ_FREE/keep.bin"
fi
# A CD drive with no disc: its letter leads to nothing.
qv_map_folder WIZ_EMPTY "$work/no-disc" cdrom
qv_drives_apply

qv_run_tests "$root/scripts/wine-run.sh" "$exe" --gtest_brief=1 || status=1

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
  qv_loud "SKIPPING the fsck.fat check: dosfstools is not installed"
fi
exit "$status"
