#!/usr/bin/env bash
# run-engine-link-tests.sh EXE [GTEST ARGS...]: maps the wizard's test drives into the private
# Wine prefix (scripts/test-drives.sh, which removes every mount, link and
# image at the end, also when interrupted), runs the tests and checks the image
# the wizard had formatted. Never maps or touches C: or Z:.
#   QV_TEST_WIZ_DISK  a 48 MiB drive: a tmpfs folder of that size (for the drive
#                     list and capacity) and an image file as its raw volume
#   QV_TEST_WIZ_STOP  the same at 512 MiB, for stopping and closing during a run
#   QV_TEST_WIZ_FREE  a 24 MiB tmpfs holding one kept file, for the free-space and file runs
#   QV_TEST_WIZ_EMPTY a CD drive without a disc
#   QV_TEST_WIZ_IMAGE a 100 MiB FAT32 image as the raw volume of a letter whose
#                     folder lies on the host's disk (its size is the host's)
#   QV_TEST_WIZ_FILES a 16 MiB ext2 image holding a file tree for the file task
#                     (non-ASCII names, a link out of a checked folder, kept files, twin
#                     names, case-variant siblings, an unreadable folder, mounts under
#                     QV_TEST_WIZ_MOUNTS); its image is scanned after the run
#                     for every wiped name and marker. Its inodes run out first: the
#                     trees made here and by the selection model test take about 1,400,
#                     and that test's adder writes at most 1,000 files during a wipe
#                     (kLateFiles in SelectionModel_test.cpp): twice that many inodes
set -u
exe=$(realpath "$1")
shift
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
# A 100 MiB FAT32 volume image whose letter's folder lies on the host's disk:
# the file system behind the letter reports the host's size, the volume the
# image's.
if command -v mkfs.fat >/dev/null && truncate -s 100M "$work/WIZ_IMAGE.img" &&
   mkfs.fat -F 32 -n QVIMAGE "$work/WIZ_IMAGE.img" >/dev/null 2>&1; then
  qv_map_raw WIZ_IMAGE "$work/WIZ_IMAGE.img"
else
  qv_loud "SKIPPING the image drive: mkfs.fat (dosfstools) is missing or failed"
fi

# The file task's tree. Wiped items carry QVGONE in name and content; kept
# ones QVKEPT. A link leads out of a checked folder to a kept one.
files_marker() {  # files_marker PATH MARKER KIB
  mkdir -p "$(dirname "$1")"
  yes "$2-line-of-content" | head -c "$(($3 * 1024))" > "$1"
}
files_ok=0
if qv_mount_ext2 "$work/files.img" 16 "$work/files" -N $(((1400 + 1000) * 2)); then
  f="$work/files"
  files_marker "$f/qvgonedir/qvgone-alpha.txt" QVGONE-CONTENT-a1 40
  files_marker "$f/qvgonedir/qvgone-Ελληνικά.txt" QVGONE-CONTENT-b2 3
  files_marker "$f/qvgonedir/qvgone-Кириллица.bin" QVGONE-CONTENT-c3 5
  files_marker "$f/qvgonedir/qvgone-漢字.dat" QVGONE-CONTENT-d4 7
  files_marker "$f/qvgonedir/qvgonesub/qvgone-beta.txt" QVGONE-CONTENT-e5 11
  files_marker "$f/qvgonedir/qvgonesub/qvgonedeeper/qvgone-gamma.txt" QVGONE-CONTENT-f6 13
  files_marker "$f/qvgone-single.txt" QVGONE-CONTENT-g7 17
  files_marker "$f/qvkeep/qvkept-one.txt" QVKEPT-CONTENT-h8 19
  files_marker "$f/qvkeep/qvkept-Ελληνικά.txt" QVKEPT-CONTENT-i9 2
  files_marker "$f/qvoutside/qvkept-outside.txt" QVKEPT-CONTENT-j0 23
  # Ticked through the tree by mouse clicks: qvtick\qvtsub\qvkept-t3.txt is unticked.
  files_marker "$f/qvtick/qvgone-t1.txt" QVGONE-CONTENT-k1 6
  files_marker "$f/qvtick/qvgone-Кир-t2.txt" QVGONE-CONTENT-l2 4
  files_marker "$f/qvtick/qvtsub/qvgone-t4.txt" QVGONE-CONTENT-m3 9
  files_marker "$f/qvtick/qvtsub/qvkept-t3.txt" QVKEPT-CONTENT-n4 8
  files_marker "$f/qvtick/qvgonefull/qvgone-f5.txt" QVGONE-CONTENT-o5 3
  # Shown in the screenshots, never wiped.
  files_marker "$f/qvshot/qvkept-s1.txt" QVKEPT-CONTENT-p6 1
  files_marker "$f/qvshot/qvkept-Ελληνικά-s2.txt" QVKEPT-CONTENT-q7 2
  files_marker "$f/qvshot/qvkept-sub/qvkept-s3.doc" QVKEPT-CONTENT-r8 3
  files_marker "$f/qvshot/qvkept-sub/qvkept-s4.bin" QVKEPT-CONTENT-s9 4
  # Wine cannot remove a link to a folder without reaching its target, so the
  # engine keeps it: the link has a checked folder of its own.
  mkdir -p "$f/qvlinkdir"
  ln -s ../qvoutside "$f/qvlinkdir/qvlinkto"
  # Twins that the plain file calls or the shell take for one: the first of
  # each pair is ticked, the second kept ("d." is a folder on the way).
  files_marker "$f/qvpairs/dir./in-dot.txt" QVGONE-CONTENT-u1 2
  files_marker "$f/qvpairs/dir/qvkept-in-dir.txt" QVKEPT-CONTENT-u2 2
  files_marker "$f/qvpairs/bar " QVGONE-CONTENT-u3 3
  files_marker "$f/qvpairs/bar" QVKEPT-CONTENT-u4 3
  files_marker "$f/qvpairs/d./x.txt" QVGONE-CONTENT-u5 4
  files_marker "$f/qvpairs/d/x.txt" QVKEPT-CONTENT-u6 4
  files_marker "$f/qvpairs/d/qvkept-y.txt" QVKEPT-CONTENT-u9 1
  files_marker "$f/qvpairs/Case/c.txt" QVGONE-CONTENT-u7 5
  files_marker "$f/qvpairs/case/c.txt" QVKEPT-CONTENT-u8 5
  # Case twins for the node storage: kept, never ticked for a wipe.
  files_marker "$f/qvstore/Data/upper.txt" QVKEPT-CONTENT-w1 1
  files_marker "$f/qvstore/data/lower.txt" QVKEPT-CONTENT-w2 1
  files_marker "$f/qvstore/data/upper.txt" QVKEPT-CONTENT-w3 1
  # For the selection model test: folders of case-variant siblings and folders
  # holding a link to a folder outside, moved into its tree as it goes.
  files_marker "$f/qvmodel-outside/qvkept-out1.txt" QVKEPT-CONTENT-v1 1
  files_marker "$f/qvmodel-outside/inner/qvkept-out2.txt" QVKEPT-CONTENT-v2 1
  for n in $(seq 1 30); do
    mkdir -p "$f/qvpool/case$n/Data" "$f/qvpool/case$n/data" "$f/qvpool/link$n"
    printf 'upper %s' "$n" > "$f/qvpool/case$n/Data/upper.txt"
    printf 'lower %s' "$n" > "$f/qvpool/case$n/data/lower.txt"
    printf 'lower upper %s' "$n" > "$f/qvpool/case$n/data/upper.txt"
    ln -s "$f/qvmodel-outside" "$f/qvpool/link$n/to-outside"
  done
  # A folder no one may read, and file systems mounted on a folder on the way
  # to a tick and on one in a ticked folder (unmounted before the scan).
  mkdir -p "$f/qvsealed/locked" "$f/qvmounts/way" "$f/qvmounts/box/mnt"
  for x in qvsealed/locked/in qvsealed/open qvsealed/unticked qvmounts/box/beside; do printf x > "$f/$x.txt"; done
  chmod 000 "$f/qvsealed/locked"
  if mount -t tmpfs -o size=1m tmpfs "$f/qvmounts/way" 2>/dev/null &&
     mount -t tmpfs -o size=1m tmpfs "$f/qvmounts/box/mnt" 2>/dev/null; then
    mkdir "$f/qvmounts/way/inner"
    for x in way/inner/ticked way/inner/kept box/mnt/in; do printf x > "$f/qvmounts/$x.txt"; done
    export QV_TEST_WIZ_MOUNTS=1
  else
    qv_loud "SKIPPING the mounts in the file task's tree: mounting a tmpfs was refused"
  fi
  (cd "$f" && find qvkeep qvoutside qvshot qvtick qvmodel-outside -type f -name 'qvkept*' -print0 | sort -z | xargs -0 sha256sum
   sha256sum qvpairs/bar qvpairs/d/x.txt qvpairs/d/qvkept-y.txt qvpairs/case/c.txt qvpairs/dir/qvkept-in-dir.txt
   sha256sum qvstore/Data/upper.txt qvstore/data/lower.txt qvstore/data/upper.txt) > "$work/files.kept"
  sync -f "$f"
  qv_map_folder WIZ_FILES "$f" hd
  files_ok=1
else
  qv_loud "SKIPPING the file task's raw scan: mounting a loop file system was refused"
fi
qv_drives_apply

qv_run_tests "$root/scripts/wine-run.sh" "$exe" --gtest_brief=1 --gtest_filter='-*Unreadable' "$@" || status=1

# Root reads every folder: the test of unreadable ones runs again without that right (its new wineserver too).
no_read=-dac_override,-dac_read_search
if [ "$files_ok" = 1 ] && command -v setpriv >/dev/null && wineserver -w; then
  qv_run_tests setpriv --inh-caps="$no_read" --bounding-set="$no_read" "$root/scripts/wine-run.sh" "$exe" \
    --gtest_brief=1 --gtest_filter='*Unreadable' || status=1
else
  qv_loud "SKIPPING the folders that cannot be read: no file tree, or setpriv (util-linux) is missing"
fi

# The file task: every unticked file intact byte for byte, then, unmounted,
# no name or content of a wiped item anywhere in the image.
if [ "$files_ok" = 1 ]; then
  if ! (cd "$work/files" && sha256sum --quiet -c "$work/files.kept"); then
    echo "the file task changed a file that was not ticked" >&2
    status=1
  fi
  qv_unmount_below "$work/files"
  qv_unmount_all || status=1
  files_status=0
  for needle in QVGONE qvgone Ελληνικά Кириллица 漢字; do
    # Ελληνικά is also the name of a kept file: only its wiped twin is searched.
    [ "$needle" = Ελληνικά ] && needle=qvgone-Ελληνικά
    if grep -qa -- "$needle" "$work/files.img"; then
      echo "the file task left \"$needle\" in the image" >&2
      files_status=1
    fi
  done
  if ! grep -qa QVKEPT-CONTENT-j0 "$work/files.img"; then
    echo "the kept file outside the tree lost its content" >&2
    files_status=1
  fi
  if [ "$files_status" = 0 ]; then
    echo "raw scan: no wiped name or content left by the file task; kept files intact"
  fi
  [ "$files_status" = 0 ] || status=1
fi

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
