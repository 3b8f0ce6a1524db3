# Sourced: points Wine at the build tree's private 32-bit prefix and creates
# it on first use. Never the user's ~/.wine.
: "${QV_BUILD:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}"
export WINEPREFIX="${WINEPREFIX_OVERRIDE:-$QV_BUILD/wineprefix}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"

qv_prefix_ready() { [ -f "$WINEPREFIX/.qv-ready" ]; }

qv_make_prefix() {
  qv_prefix_ready && return 0
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  # Without a window manager every closing managed window costs about 2 s.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  # The prefix's user folders link to the host's home: make them real, empty
  # folders so nothing run here lists or touches the host's files.
  local user_dir
  for user_dir in "$WINEPREFIX"/drive_c/users/*/; do
    local link
    for link in "$user_dir"*; do
      if [ -L "$link" ]; then
        rm -f "$link"
        mkdir -p "$link"
      fi
    done
  done
  wineserver -w
  touch "$WINEPREFIX/.qv-ready"
}

# Starts one persistent wineserver and Wine's session processes with their
# output detached, so later runs find them up.
qv_start_wine() {
  qv_make_prefix
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}
