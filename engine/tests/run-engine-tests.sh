#!/usr/bin/env bash
# run-engine-tests.sh EXE: maps the engine's test drives into the Wine prefix
# (folder drives, image files as raw volumes, loop-mounted ext2 images for the
# raw scans), runs the tests (the scans after unmounting), checks the images
# the engine formatted with fsck.fat, and removes every mount, link and image
# on exit, failed or not. Never maps or touches C: or Z:.
set -u
exe=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
: "${QV_BUILD:=$(cd "$(dirname "$exe")/../.." && pwd)}"
export QV_BUILD
source "$root/scripts/wine-env.sh"
# A crash ends the run with a failure instead of waiting in the debugger.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winedbg.exe=d"

own_display=0
if [ -z "${DISPLAY:-}" ]; then
  source "$root/scripts/display.sh"
  qv_start_display || exit 1
  own_display=1
fi
qv_make_prefix

dos="$WINEPREFIX/dosdevices"
# A run killed on time-out leaves its links, mounts and images: clear them.
for stale in "$QV_BUILD"/engine-test.*; do
  [ -d "$stale" ] || continue
  for link in "$dos"/*; do
    case "$(readlink "$link" 2>/dev/null)" in "$stale"/*) rm -f "$link" ;; esac
  done
  for m in "$stale"/files "$stale"/free; do
    if mountpoint -q "$m" 2>/dev/null; then umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null; fi
  done
  rm -rf "$stale"
done
work=$(mktemp -d "$QV_BUILD/engine-test.XXXXXX")
links=()
mounts=()
status=0

cleanup() {
  local m l
  for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null; done
  for l in "${links[@]}"; do rm -f "$l"; done
  rm -rf "$work"
  if [ "$own_display" = 1 ]; then qv_stop_display; fi
}
trap cleanup EXIT

loud() { printf '\n!!!!! %s !!!!!\n\n' "$*" >&2; }

# Picks a letter that nothing in the prefix uses yet (never c or z).
free_letter() {
  local l
  for l in k l m n o p q r s t u v w x y j i h g f e d; do
    if [ ! -e "$dos/$l:" ] && [ ! -L "$dos/$l:" ] && [ ! -e "$dos/$l::" ] && [ ! -L "$dos/$l::" ]; then
      echo "$l"
      return 0
    fi
  done
  return 1
}

# map_folder NAME DIR: a drive letter for a folder; QV_TEST_NAME tells the tests.
map_folder() {
  local l
  l=$(free_letter) || { loud "no free drive letter for $1"; return 1; }
  ln -s "$2" "$dos/$l:"
  links+=("$dos/$l:")
  export "QV_TEST_$1=${l^^}"
}

# map_raw NAME FILE: \\.\X: opens the image file as a raw volume.
map_raw() {
  local l
  l=$(free_letter) || { loud "no free drive letter for $1"; return 1; }
  ln -s "$2" "$dos/$l::"
  touch "$dos/$l:"  # reserve the letter; the raw link alone is what Wine opens
  rm -f "$dos/$l:"
  links+=("$dos/$l::")
  export "QV_TEST_$1=${l^^}"
}

# mount_ext2 IMAGE SIZE_MB DIR [mke2fs options]: a loop-mounted file system.
mount_ext2() {
  local image=$1 size=$2 dir=$3
  shift 3
  truncate -s "${size}M" "$image" && mke2fs -q -t ext2 -m 0 -F "$@" "$image" >/dev/null 2>&1 || return 1
  mkdir -p "$dir"
  mount -o loop "$image" "$dir" 2>/dev/null || return 1
  mounts+=("$dir")
}

marker_file() {  # marker_file PATH MARKER KIB
  local i
  for i in $(seq "$3"); do printf '%s-%07d-padding-padding-padding-padding-padding-padding-padding-pad\n' "$2" "$i"; done \
    | head -c "$(( $3 * 1024 ))" > "$1"
}

# Folder drives.
mkdir -p "$work/folder/links/outside" "$work/folder/links/tree" "$work/rootdrive"
echo "the target of two links" > "$work/folder/links/outside/keep.txt"
echo "plain" > "$work/folder/links/tree/plain.txt"
ln -s ../outside "$work/folder/links/tree/dlink"
ln -s ../outside/keep.txt "$work/folder/links/tree/flink"
map_folder FOLDER_DRIVE "$work/folder"
map_folder FOLDER_ALIAS "$work/folder"  # the same folder under a second letter
map_folder ROOT_DRIVE "$work/rootdrive"

# A small volume under two letters, the second also with an image as its raw
# volume: protected folders on the first must keep the second from being wiped.
mkdir -p "$work/guard"
if mount -t tmpfs -o size=8m tmpfs "$work/guard" 2>/dev/null; then
  mounts+=("$work/guard")
  map_folder GUARD_DRIVE "$work/guard"
  map_folder GUARD_ALIAS "$work/guard"
  truncate -s 1M "$work/guard-alias.img"
  ln -s "$work/guard-alias.img" "$dos/${QV_TEST_GUARD_ALIAS,,}::"
  links+=("$dos/${QV_TEST_GUARD_ALIAS,,}::")
else
  loud "SKIPPING the volume-identity refusals: mounting a tmpfs was refused"
fi

# Image files as raw volumes for the disk task.
truncate -s $(( 8 * 1024 * 1024 + 1536 + 100 )) "$work/disk.img"  # a tail shorter than a sector
truncate -s 160M "$work/fat32.img"
truncate -s 16M "$work/fat16.img"
truncate -s 2M "$work/fat12.img"
truncate -s 1M "$work/spare.img"
truncate -s 512M "$work/stop.img"
map_raw DISK_RAW "$work/disk.img"
map_raw FAT32_RAW "$work/fat32.img"
map_raw FAT16_RAW "$work/fat16.img"
map_raw FAT12_RAW "$work/fat12.img"
map_raw SPARE_RAW "$work/spare.img"
map_raw STOP_RAW "$work/stop.img"

# A mounted file system for the file wipe; its image is scanned afterwards.
if mount_ext2 "$work/files.img" 32 "$work/files"; then
  map_folder IMAGE_DRIVE "$work/files"
  map_raw IMAGE_RAW "$work/files.img"
else
  loud "SKIPPING the raw-scan file wipe: mounting a loop file system was refused"
fi

# A small mounted file system for the free-space wipe, holding one kept file
# and the remains of deleted marker files.
if mount_ext2 "$work/free.img" 48 "$work/free" -N 256; then
  marker_file "$work/free/keep.txt" QV-KEPT-MARKER-31c07a 64
  for i in 1 2 3 4; do marker_file "$work/free/gone$i.txt" QV-DELETED-MARKER-8b24d9 4096; done
  sync -f "$work/free"
  rm -f "$work/free"/gone*.txt
  sync -f "$work/free"
  if ! grep -qa QV-DELETED-MARKER-8b24d9 "$work/free.img"; then
    loud "the deleted markers never reached the free-space image"
    status=1
  fi
  map_folder FREE_DRIVE "$work/free"
  map_raw FREE_RAW "$work/free.img"
elif mount -t tmpfs -o size=48m tmpfs "$work/free" 2>/dev/null; then
  mounts+=("$work/free")
  marker_file "$work/free/keep.txt" QV-KEPT-MARKER-31c07a 64
  map_folder FREE_DRIVE "$work/free"
  loud "SKIPPING the free-space raw scan: only a tmpfs could be mounted"
else
  loud "SKIPPING the free-space wipe: mounting was refused, and an unbounded drive would fill the host disk"
fi

"$root/scripts/wine-run.sh" "$exe" --gtest_brief=1 --gtest_filter='-*AfterUnmount*' || status=1

# Unmount, so every byte the file systems hold is in their images, then scan.
for m in "${mounts[@]}"; do umount "$m" || status=1; done
mounts=()
"$root/scripts/wine-run.sh" "$exe" --gtest_brief=1 --gtest_filter='*AfterUnmount*' || status=1

# The formatted images pass the FAT checker with the chosen label and unit.
check_fat() {  # check_fat IMAGE LABEL CLUSTER_BYTES ENTRY_BITS
  local out label
  if ! command -v fsck.fat >/dev/null; then
    loud "SKIPPING the fsck.fat check of $1: dosfstools is not installed (scripts/setup.sh installs it)"
    return 0
  fi
  if ! out=$(fsck.fat -n -v "$1" 2>&1); then
    echo "fsck.fat found faults in $(basename "$1"):" >&2
    echo "$out" >&2
    return 1
  fi
  label=$(fatlabel "$1" 2>/dev/null)
  if ! grep -q " $3 bytes per cluster" <<<"$out" || ! grep -q "$4 bit entries" <<<"$out" || [ "$label" != "$2" ]; then
    echo "$(basename "$1"): expected label '$2', $3 bytes per cluster, $4-bit FAT; got label '$label':" >&2
    echo "$out" >&2
    return 1
  fi
  echo "fsck.fat: $(basename "$1") is clean (label '$label', $3 bytes per cluster, FAT$4)"
}
check_fat "$work/fat32.img" QVTEST32 1024 32 || status=1
check_fat "$work/fat16.img" "QV FAT16" 2048 16 || status=1
check_fat "$work/fat12.img" "" 512 12 || status=1

exit "$status"
