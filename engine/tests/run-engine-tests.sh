#!/usr/bin/env bash
# run-engine-tests.sh EXE: maps the engine's test drives into the Wine prefix
# (folder drives, image files as raw volumes, loop-mounted ext2 and ext4
# images for the raw scans), runs the tests (most scans after unmounting),
# checks the images the engine formatted with fsck.fat. scripts/test-drives.sh
# maps the drives and removes every mount, link and image at the end, failed,
# interrupted or not. Never maps or touches C: or Z:.
set -u
exe=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
: "${QV_BUILD:=$(cd "$(dirname "$exe")/../.." && pwd)}"
export QV_BUILD
source "$root/scripts/test-drives.sh"
qv_drives_begin engine-test || exit 1
work=$qv_drives_work
status=0

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
# A link swapped in during a run, as another program might: when the test asks
# (swaplink/.swap-now), the folder "sub" goes and a link to a folder outside
# the tree takes its name; .swapped says it is done. Wine cannot make such a
# link itself, so this side of the test runs here.
mkdir -p "$work/folder/swaplink/tree/sub" "$work/folder/swaplink-victim"
echo "listed" > "$work/folder/swaplink/tree/sub/listed.txt"
echo "not chosen" > "$work/folder/swaplink-victim/precious.txt"
(
  for _ in $(seq 1200); do
    [ -d "$work/folder/swaplink" ] || exit 0
    if [ -e "$work/folder/swaplink/.swap-now" ]; then
      mv "$work/folder/swaplink/tree/sub" "$work/folder/swaplink/parked" &&
        ln -s "$work/folder/swaplink-victim" "$work/folder/swaplink/tree/sub" &&
        touch "$work/folder/swaplink/.swapped"
      exit 0
    fi
    sleep 0.1
  done
) &
# Links made and folders swapped for links on request, from the host's side
# (Wine makes no links itself): the tests write .swapper/request, one
# operation a line, and wait for .swapper/done. Paths are relative to the
# folder drive and hold no spaces.
#   swap DIR PARKED TARGET   DIR goes to PARKED and a link to TARGET takes its name
#   link PATH TARGET         a link PATH pointing to TARGET (as given)
#   dir PATH                 a folder (names differing only in case are two)
#   file PATH TEXT           a file holding TEXT
#   unswap DIR PARKED        the link DIR goes and PARKED takes its name again
#   flip DIR LINK TARGET     a link LINK to TARGET, then DIR and LINK exchanged
#                            again and again (flip-folder.py) until "unflip"
#   unflip                   ends the flipping; DIR is a folder again
#   create TREE RECORD       new files and folders made in TREE again and again
#                            (create-items.py), each written to RECORD, until
#                            "uncreate"
#   uncreate                 ends the making; RECORD is complete
# A space in a name is written %20.
mkdir -p "$work/folder/.swapper"
(
  cd "$work/folder" || exit 0
  for _ in $(seq 30000); do
    [ -d .swapper ] || exit 0
    if [ -f .swapper/request ]; then
      while read -r op a b c; do
        a=${a//%20/ }
        b=${b//%20/ }
        case $op in
          swap) mv "$a" "$b" && ln -s "$work/folder/$c" "$a" ;;
          link) ln -s "$b" "$a" ;;
          unswap) rm "$a" && mv "$b" "$a" ;;
          dir) mkdir -p "$a" ;;
          file) printf '%s' "$b" > "$a" ;;
          flip) ln -s "$work/folder/$c" "$b" && { python3 "$here/flip-folder.py" "$a" "$b" .swapper/flip-stop & flipper=$!; } ;;
          unflip) touch .swapper/flip-stop; wait "$flipper"; rm -f .swapper/flip-stop ;;
          create) python3 "$here/create-items.py" "$a" "$b" .swapper/create-stop & creator=$! ;;
          uncreate) touch .swapper/create-stop; wait "$creator"; rm -f .swapper/create-stop ;;
        esac
      done < .swapper/request
      rm -f .swapper/request
      touch .swapper/done
    fi
    sleep 0.02
  done
) &
# Two small file systems made alike, mounted inside the folder drive: their
# roots have the same file ID and, under Wine, the same volume serial, yet they
# are two folders on two volumes. Mounted here rather than by qv_mount_ext2: a
# test moves the folder holding one of them, and the clean-up unmounts whatever
# lies below the work folder, wherever it went.
twins=1
for t in tree victim; do
  mkdir -p "$work/folder/twins/$t/held"
  { truncate -s 1M "$work/twin-$t.img" && mke2fs -q -t ext2 -m 0 -F "$work/twin-$t.img" >/dev/null 2>&1 &&
    mount -o loop "$work/twin-$t.img" "$work/folder/twins/$t/held" 2>/dev/null; } || twins=0
done
if [ "$twins" = 1 ]; then
  export QV_TEST_TWIN_VOLUMES=1
else
  qv_loud "SKIPPING the volumes made alike: mounting a loop file system was refused"
fi
# Protected folders reached by letters and links. Stand-ins for the Windows
# and program folders, owned by the test, on the folder drive: a letter mapped
# below the stand-in System32, a folder link into the program folder, and a
# link to a file of the stand-in at the path that file has under its own
# letter. The model test's letter leads into a folder of its live tree.
places="$work/folder/places"
mkdir -p "$places/Windows/System32/qv/sub" "$places/Program/lib" "$places/links" "$places/elsewhere/sub"
echo "a system file" > "$places/Windows/System32/qv/f.txt"
echo "a file of a system folder" > "$places/Windows/System32/qv/sub/g.txt"
echo "a program file" > "$places/Program/lib/data.bin"
ln -s "$places/Program/lib" "$places/links/lnk"
ln -s "$places/Windows/System32/qv/sub/g.txt" "$places/elsewhere/sub/g.txt"
qv_map_folder BELOW_SYSTEM "$places/Windows/System32/qv"
qv_map_folder ELSEWHERE "$places/elsewhere"
qv_map_folder MODEL_LETTER "$work/folder/pmodel-live/Folder1-with-a-long-name"
# One probe against the prefix's real Windows folder: a folder of the test's
# own below it, under a letter of its own. Only its files could ever be lost.
winprobe=$(mktemp -d "$WINEPREFIX/drive_c/windows/qv-engine-probe.XXXXXX")
trap 'rm -rf "$winprobe"; qv_drives_cleanup' EXIT
mkdir -p "$winprobe/sub"
echo "a probe below the Windows folder" > "$winprobe/probe.txt"
echo "a probe in a subfolder" > "$winprobe/sub/inner.txt"
qv_map_folder BELOW_WINDOWS "$winprobe"
qv_map_folder FOLDER_DRIVE "$work/folder"
qv_map_folder FOLDER_ALIAS "$work/folder"  # the same folder under a second letter
qv_map_folder ROOT_DRIVE "$work/rootdrive"
# A drive whose root a test ticks with the run's list while items are made in it.
mkdir -p "$work/listedroot"
qv_map_folder LISTED_ROOT "$work/listedroot"

# A small volume under two letters, the second also with an image as its raw
# volume: protected folders on the first must keep the second from being wiped.
mkdir -p "$work/guard"
if qv_mount_tmpfs "$work/guard" 8; then
  qv_map_folder GUARD_DRIVE "$work/guard"
  qv_map_folder GUARD_ALIAS "$work/guard"
  truncate -s 1M "$work/guard-alias.img"
  qv_map_raw GUARD_ALIAS "$work/guard-alias.img" "$QV_TEST_GUARD_ALIAS"
else
  qv_loud "SKIPPING the volume-identity refusals: mounting a tmpfs was refused"
fi

# Image files as raw volumes for the disk task.
truncate -s $(( 8 * 1024 * 1024 + 1536 + 100 )) "$work/disk.img"  # a tail shorter than a sector
truncate -s 160M "$work/fat32.img"
truncate -s 16M "$work/fat16.img"
truncate -s 2M "$work/fat12.img"
truncate -s 1M "$work/spare.img"
truncate -s 512M "$work/stop.img"
qv_map_raw DISK_RAW "$work/disk.img"
qv_map_raw FAT32_RAW "$work/fat32.img"
qv_map_raw FAT16_RAW "$work/fat16.img"
qv_map_raw FAT12_RAW "$work/fat12.img"
qv_map_raw SPARE_RAW "$work/spare.img"
qv_map_raw STOP_RAW "$work/stop.img"
truncate -s 1M "$work/bare.img"
qv_map_raw BARE_RAW "$work/bare.img" bare  # no root: nothing identifies the drive

# A mounted file system for the file wipe; its image is scanned afterwards.
if qv_mount_ext2 "$work/files.img" 32 "$work/files"; then
  qv_map_folder IMAGE_DRIVE "$work/files"
  qv_map_raw IMAGE_RAW "$work/files.img"
else
  qv_loud "SKIPPING the raw-scan file wipe: mounting a loop file system was refused"
fi

# A small mounted file system for the free-space wipe, holding one kept file
# and the remains of deleted marker files.
# deleted_markers DIR IMAGE COUNT KIB: COUNT marker files of KIB written to
# DIR (as many as fit), then deleted; their bytes must have reached IMAGE.
deleted_markers() {
  local i
  for i in $(seq "$3"); do marker_file "$1/gone$i.txt" QV-DELETED-MARKER-8b24d9 "$4" 2>/dev/null || break; done
  sync -f "$1"
  rm -f "$1"/gone*.txt
  sync -f "$1"
  if ! grep -qa QV-DELETED-MARKER-8b24d9 "$2"; then
    qv_loud "the deleted markers never reached $(basename "$2")"
    status=1
  fi
}
if qv_mount_ext2 "$work/free.img" 48 "$work/free" -N 256; then
  marker_file "$work/free/keep.txt" QV-KEPT-MARKER-31c07a 64
  deleted_markers "$work/free" "$work/free.img" 4 4096
  qv_map_folder FREE_DRIVE "$work/free"
  qv_map_raw FREE_RAW "$work/free.img"
elif qv_mount_tmpfs "$work/free" 48; then
  marker_file "$work/free/keep.txt" QV-KEPT-MARKER-31c07a 64
  qv_map_folder FREE_DRIVE "$work/free"
  qv_loud "SKIPPING the free-space raw scan: only a tmpfs could be mounted"
else
  qv_loud "SKIPPING the free-space wipe: mounting was refused, and an unbounded drive would fill the host disk"
fi

# An ext4 volume keeps blocks for its own use: 5% that only root may write
# (-m 5; the tests run as root) and about 2% that no file may take, not even
# root's. Deleted marker files first fill everything root can write. Its
# letter also opens the image as the raw volume, scanned while mounted.
if qv_mount_ext4 "$work/reserve.img" 32 "$work/reserve" -m 5; then
  deleted_markers "$work/reserve" "$work/reserve.img" 64 1024
  qv_map_folder RESERVE_DRIVE "$work/reserve"
  qv_map_raw RESERVE_RAW "$work/reserve.img" "$QV_TEST_RESERVE_DRIVE"
else
  qv_loud "SKIPPING the free-space wipe of a volume with a reserve: mounting a loop ext4 file system was refused"
fi

# QV_ENGINE_FILTER (a gtest filter) runs only some tests while developing.
qv_run_tests "$root/scripts/wine-run.sh" "$exe" --gtest_brief=1 --gtest_filter="${QV_ENGINE_FILTER:-*}-*AfterUnmount*" || status=1

# Unmount, so every byte the file systems hold is in their images, then scan.
qv_unmount_all || status=1
[ -z "${QV_ENGINE_FILTER:-}" ] && { qv_run_tests "$root/scripts/wine-run.sh" "$exe" --gtest_brief=1 --gtest_filter='*AfterUnmount*' || status=1; }

# The formatted images pass the FAT checker with the chosen label and unit.
check_fat() {  # check_fat IMAGE LABEL CLUSTER_BYTES ENTRY_BITS
  local out label
  if ! command -v fsck.fat >/dev/null; then
    qv_loud "SKIPPING the fsck.fat check of $1: dosfstools is not installed (scripts/setup.sh installs it)"
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
