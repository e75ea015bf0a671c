# Shell helpers shared by the scripts (sourced, POSIX sh).

# What the scripts start, for qln_stop_all (a script's own WORK folder is kept as it set it).
APP_PID=""; SIM_PID=""; XVFB_PID=""; WM_PID=""

# Ends the program, the simulated service and the X server the script started, and removes its
# work folder (WORK). Meant as the EXIT trap.
qln_stop_all() {
  [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
  [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null || true
  [ -n "$WM_PID" ] && kill "$WM_PID" 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  [ -n "${WORK:-}" ] && rm -rf "$WORK"
  return 0
}

# qln_start_xvfb FIRST LAST: starts Xvfb at 1920x1080 on the first free display number in
# FIRST..LAST and waits until it accepts connections. Sets DISPLAY (exported) and XVFB_PID; returns
# non-zero when no number is free or the server does not come up within 5 s.
qln_start_xvfb() {
  XVFB_PID=""
  n="$1"
  while [ "$n" -le "$2" ]; do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      # -noreset: a server resets when its last client leaves, and refuses connections meanwhile.
      # The xdpyinfo of the readiness check below is such a client: the window manager started
      # right after it met the reset now and then ("openbox: Failed to open the display").
      Xvfb ":$n" -noreset -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
      XVFB_PID=$!
      DISPLAY=":$n"; export DISPLAY
      qln_wait_xvfb "$n" && return 0
      # Another script took the number first (its server holds the lock): try the next one.
      kill "$XVFB_PID" 2>/dev/null || true
      XVFB_PID=""
    fi
    n=$((n + 1))
  done
  return 1
}

# qln_wait_xvfb N: waits until the server XVFB_PID holds display N's lock file and answers clients
# (the socket appears before the server takes them).
qln_wait_xvfb() {
  i=0
  until [ -e "/tmp/.X11-unix/X$1" ] && [ "$(tr -d ' \n' <"/tmp/.X$1-lock" 2>/dev/null)" = "$XVFB_PID" ] &&
      DISPLAY=":$1" xdpyinfo >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -gt 200 ] && return 1
    kill -0 "$XVFB_PID" 2>/dev/null || return 1
    sleep 0.05
  done
}

# qln_start_wm: starts openbox on DISPLAY, as a desktop has a window manager, and waits until it
# manages the screen (the root window names its check window). Sets WM_PID; returns non-zero (with
# openbox's output) when it does not come up within 10 s.
qln_start_wm() {
  wm_log="$(mktemp /tmp/qln-openbox-XXXXXX)"
  openbox >"$wm_log" 2>&1 &
  WM_PID=$!
  i=0
  until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
    i=$((i + 1))
    if [ $i -gt 200 ] || ! kill -0 "$WM_PID" 2>/dev/null; then
      cat "$wm_log"; rm -f "$wm_log"; return 1
    fi
    sleep 0.05
  done
  rm -f "$wm_log"
}

# qln_start_touchsim BIN_DIR LOG [touchsim options...]: starts the simulated service with its trace
# in LOG and waits for its ready line. Sets SIM_PID; returns non-zero (LOG printed) when it does
# not start within 5 s.
qln_start_touchsim() {
  bin="$1"; log="$2"; shift 2
  "$bin/touchsim" "$@" </dev/null >"$log" 2>&1 &
  SIM_PID=$!
  i=0
  until grep -q "^touchsim rpc=.* ready$" "$log" 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! kill -0 "$SIM_PID" 2>/dev/null; then
      echo "touchsim did not start:"; cat "$log"; return 1
    fi
    sleep 0.05
  done
}
