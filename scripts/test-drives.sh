# Sourced by the scripts that run tests against test drives: maps drive
# letters in the private Wine prefix to folders, tmpfs and loop-mounted file
# systems, and image files as raw volumes, and removes every link, drive
# type, mount and file it made when the script ends, also when it is
# interrupted or killed by a time-out. Never maps or touches C: or Z:.
#
#   qv_drives_begin KIND       work folder $QV_BUILD/KIND.XXXXXX (stale ones of an
#                              earlier killed run are cleared first), display, prefix
#   qv_map_folder NAME DIR [TYPE]  a letter for DIR; exports QV_TEST_NAME; TYPE is a
#                              Wine drive type (floppy, cdrom, hd) set in the registry
#   qv_map_raw NAME FILE [LETTER|bare]  \\.\X: opens FILE as a raw volume; with
#                              LETTER (a letter already mapped) beside that letter's
#                              folder, else with an empty folder as its root (a drive
#                              with a medium the system cannot read); "bare": no root
#   qv_mount_tmpfs DIR SIZE_MB  a bounded file system
#   qv_mount_ext2 IMAGE SIZE_MB DIR [mke2fs options]   no blocks reserved
#   qv_mount_ext4 IMAGE SIZE_MB DIR [mke2fs options]   ext4's own reserves (see -m)
#   qv_drives_restart          stops the wineserver, so that the next one sees
#                              the letters and drive types mapped after this
#   qv_drives_apply            waits for that wineserver to end (types saved)
#   qv_run_tests CMD...        runs the tests; an interruption stops them first
#   qv_unmount_all             unmounts now (images then hold every byte)
#   qv_loud TEXT               a line that cannot be missed
: "${QV_BUILD:?set QV_BUILD}"
qv_drives_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$qv_drives_root/scripts/wine-env.sh"

qv_drive_links=()
qv_drive_mounts=()
qv_drive_types=()
qv_drives_work=""
qv_drives_own_display=0
qv_drives_restarted=0
qv_drives_child=""

qv_loud() { printf '\n!!!!! %s !!!!!\n\n' "$*" >&2; }

# Unmounts everything mounted below folder.
qv_unmount_below() {
  local m
  while read -r m; do
    umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null
  done < <(awk -v top="$1/" 'index($2, top) == 1 { print $2 }' /proc/mounts | sort -r)
}

qv_drives_cleanup() {
  local m l
  if [ -n "$qv_drives_child" ]; then
    # Interrupted while the tests run: they go first (every Wine process of
    # this prefix), so nothing writes while the drives are taken away.
    kill "$qv_drives_child" 2>/dev/null
    wineserver -k 2>/dev/null
    wait "$qv_drives_child" 2>/dev/null
    qv_drives_child=""
  fi
  for l in "${qv_drive_types[@]}"; do wine reg delete 'HKLM\Software\Wine\Drives' /v "$l:" /f >/dev/null 2>&1; done
  for m in "${qv_drive_mounts[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null; done
  for l in "${qv_drive_links[@]}"; do rm -f "$l"; done
  if [ -n "$qv_drives_work" ]; then
    qv_unmount_below "$qv_drives_work"
    rm -rf "$qv_drives_work"
  fi
  qv_drive_types=()
  qv_drive_mounts=()
  qv_drive_links=()
  qv_drives_work=""
  # A wineserver that knows the letters must not outlive them.
  if [ "$qv_drives_restarted" = 1 ]; then wineserver -k 2>/dev/null; fi
  if [ "$qv_drives_own_display" = 1 ]; then qv_stop_display; fi
}

qv_drives_begin() {
  local kind=$1 stale link
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winedbg.exe=d"  # a crash fails, never waits
  if [ -z "${DISPLAY:-}" ]; then
    source "$qv_drives_root/scripts/display.sh"
    qv_start_display || return 1
    qv_drives_own_display=1
  fi
  qv_make_prefix
  qv_dos="$WINEPREFIX/dosdevices"
  # A run killed before its clean-up leaves links, mounts and images: clear them.
  for stale in "$QV_BUILD/$kind".*; do
    [ -d "$stale" ] || continue
    for link in "$qv_dos"/*; do
      case "$(readlink "$link" 2>/dev/null)" in "$stale"/*) rm -f "$link" ;; esac
    done
    qv_unmount_below "$stale"
    rm -rf "$stale"
  done
  qv_drives_work=$(mktemp -d "$QV_BUILD/$kind.XXXXXX")
  trap qv_drives_cleanup EXIT
  trap 'exit 130' INT TERM HUP
}

# Picks a letter that nothing in the prefix uses yet (never c or z).
qv_free_letter() {
  local l
  for l in k l m n o p q r s t u v w x y j i h g f e d; do
    if [ ! -e "$qv_dos/$l:" ] && [ ! -L "$qv_dos/$l:" ] && [ ! -e "$qv_dos/$l::" ] && [ ! -L "$qv_dos/$l::" ]; then
      echo "$l"
      return 0
    fi
  done
  return 1
}

qv_map_folder() {
  local name=$1 dir=$2 type=${3:-} l
  l=$(qv_free_letter) || { qv_loud "no free drive letter for $name"; return 1; }
  ln -s "$dir" "$qv_dos/$l:"
  qv_drive_links+=("$qv_dos/$l:")
  if [ -n "$type" ]; then
    wine reg add 'HKLM\Software\Wine\Drives' /v "$l:" /d "$type" /f >/dev/null 2>&1
    qv_drive_types+=("$l")
  fi
  export "QV_TEST_$name=${l^^}"
}

qv_map_raw() {
  local name=$1 file=$2 l=${3:-}
  if [ -z "$l" ] || [ "$l" = bare ]; then
    l=$(qv_free_letter) || { qv_loud "no free drive letter for $name"; return 1; }
    if [ "${3:-}" != bare ]; then
      mkdir -p "$qv_drives_work/roots/$name"
      ln -s "$qv_drives_work/roots/$name" "$qv_dos/$l:"
      qv_drive_links+=("$qv_dos/$l:")
    fi
  fi
  l=${l,,}
  ln -s "$file" "$qv_dos/$l::"
  qv_drive_links+=("$qv_dos/$l::")
  export "QV_TEST_$name=${l^^}"
}

qv_mount_tmpfs() {
  mkdir -p "$1"
  mount -t tmpfs -o "size=${2}m" tmpfs "$1" 2>/dev/null || return 1
  qv_drive_mounts+=("$1")
}

qv_mount_extfs() {
  local type=$1 image=$2 size=$3 dir=$4
  shift 4
  truncate -s "${size}M" "$image" && mke2fs -q -t "$type" -F "$@" "$image" >/dev/null 2>&1 || return 1
  mkdir -p "$dir"
  mount -o loop "$image" "$dir" 2>/dev/null || return 1
  qv_drive_mounts+=("$dir")
}

qv_mount_ext2() { qv_mount_extfs ext2 "$1" "$2" "$3" -m 0 "${@:4}"; }
qv_mount_ext4() { qv_mount_extfs ext4 "$@"; }

qv_drives_restart() {
  qv_drives_restarted=1
  wineserver -k 2>/dev/null
}

qv_drives_apply() { wineserver -w; }

qv_run_tests() {
  "$@" &
  qv_drives_child=$!
  # A signal interrupts this wait at once, so the clean-up runs without delay.
  wait "$qv_drives_child"
  local status=$?
  qv_drives_child=""
  return "$status"
}

qv_unmount_all() {
  local m status=0
  for m in "${qv_drive_mounts[@]}"; do umount "$m" || status=1; done
  qv_drive_mounts=()
  return "$status"
}
