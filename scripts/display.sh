# Sourced: starts one Xvfb for this run (unless a display is given) and stops
# it, with the wineserver, at the end.
# A display whose server was killed leaves its lock file (and socket) behind;
# they would keep the number taken for good.
qv_drop_stale_display() {
  local lock="/tmp/.X$1-lock" pid
  [ -e "$lock" ] || return 0
  pid=$(tr -dc '0-9' <"$lock" 2>/dev/null)
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && return 0
  rm -f "$lock" "/tmp/.X11-unix/X$1"
}

qv_start_display() {
  if [ -n "${QV_USE_DISPLAY:-}" ]; then
    export DISPLAY="$QV_USE_DISPLAY"
    return
  fi
  local n
  for n in $(seq 90 120); do
    qv_drop_stale_display "$n"
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    QV_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && return 0
      sleep 0.1
    done
    kill "$QV_XVFB_PID" 2>/dev/null || true
  done
  echo "could not start Xvfb" >&2
  return 1
}

qv_stop_display() {
  wineserver -k 2>/dev/null || true
  if [ -n "${QV_XVFB_PID:-}" ]; then
    kill "$QV_XVFB_PID" 2>/dev/null || true
    wait "$QV_XVFB_PID" 2>/dev/null || true
  fi
}
