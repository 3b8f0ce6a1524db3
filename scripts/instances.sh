# Sourced by run.sh: several runs of the program on one prefix share one Wine
# server and one display. The first run starts the display (a private Xvfb
# when none is given); a later run uses the ones the running runs use; only
# the run that ends last stops the Wine server and that Xvfb. Each run is a
# file named by its shell's process id in the prefix's .qv-runs folder,
# holding the display it uses and the Xvfb it may have to stop.
#   qv_run_begin   joins the runs (sets DISPLAY)
#   qv_run_end     leaves them; the last one out stops the server and display
qv_runs_dir() { echo "$WINEPREFIX/.qv-runs"; }

# Holds the runs' lock while the given command runs.
qv_runs_locked() {
  local dir lock status
  dir=$(qv_runs_dir)
  mkdir -p "$dir"
  exec {lock}>"$dir/lock"
  flock "$lock"
  "$@"
  status=$?
  flock -u "$lock"
  exec {lock}>&-
  return "$status"
}

# The records of runs whose shell is still there; the others are removed.
qv_runs_alive() {
  local dir record pid
  dir=$(qv_runs_dir)
  for record in "$dir"/run.*; do
    [ -f "$record" ] || continue
    pid=${record##*/run.}
    if [ "$pid" != "$QV_RUN_ID" ] && kill -0 "$pid" 2>/dev/null; then
      echo "$record"
    elif [ "$pid" != "$QV_RUN_ID" ]; then
      rm -f "$record"
    fi
  done
}

qv_run_join() {
  local other display xvfb
  other=$(qv_runs_alive | head -n 1)
  if [ -n "$other" ]; then
    read -r display xvfb < "$other"
    export DISPLAY=$display
    QV_XVFB_PID=$xvfb
    QV_RUN_SHARED=1
  else
    qv_start_display || return 1
    QV_RUN_SHARED=0
  fi
  echo "$DISPLAY ${QV_XVFB_PID:-}" > "$(qv_runs_dir)/run.$QV_RUN_ID"
}

qv_run_leave() {
  rm -f "$(qv_runs_dir)/run.$QV_RUN_ID"
  # Another run still uses the server (perhaps in the middle of a wipe) and
  # the display: both stay.
  [ -n "$(qv_runs_alive)" ] && return 0
  wineserver -k 2>/dev/null || true
  if [ -n "${QV_XVFB_PID:-}" ]; then
    kill "$QV_XVFB_PID" 2>/dev/null || true
    wait "$QV_XVFB_PID" 2>/dev/null || true
  fi
  return 0
}

qv_run_begin() {
  QV_RUN_ID=${QV_RUN_ID:-$BASHPID}
  qv_runs_locked qv_run_join
}

qv_run_end() {
  [ -n "${QV_RUN_ID:-}" ] || return 0
  qv_runs_locked qv_run_leave
  QV_RUN_ID=""
}
