#!/bin/sh
# Starts the simulated touch service with a default device and the configuration program.
#   run-demo.sh BIN_DIR
# With a display: waits until the window is closed, then ends the service.
# Without one (CI): runs under its own Xvfb for a few seconds, saves screenshots of the window in
# English and in Chinese to screenshots/, closes the program and ends by itself. Needs no stdin.
set -eu
BIN="${1:?usage: run-demo.sh BIN_DIR}"
BIN="$(cd "$BIN" && pwd)"
SHOW_SECONDS="${QLN_DEMO_SECONDS:-4}"
WORK="$(mktemp -d /tmp/qln-demo-XXXXXX)"
SIM_PID=""; XVFB_PID=""; APP_PID=""

cleanup() {
  [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
  [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

# The simulated service on the program's fixed ports; required configuration version 20 so that
# the shipped configuration (2.0.0.0) is accepted. Its trace goes to a log file.
"$BIN/touchsim" --required-version 20 </dev/null >"$WORK/touchsim.log" 2>&1 &
SIM_PID=$!
i=0
until grep -q "^touchsim rpc=.* ready$" "$WORK/touchsim.log" 2>/dev/null; do
  i=$((i+1))
  if [ $i -gt 100 ] || ! kill -0 "$SIM_PID" 2>/dev/null; then
    echo "run-demo: touchsim did not start:"; cat "$WORK/touchsim.log"; exit 1
  fi
  sleep 0.05
done
echo "run-demo: $(head -n 1 "$WORK/touchsim.log")"

if [ -n "${DISPLAY:-}" ]; then
  "$BIN/QlnCfg" || echo "run-demo: QlnCfg ended with status $?"
  echo "run-demo: window closed; $(($(wc -l <"$WORK/touchsim.log") - 1)) calls reached the service"
  exit 0
fi

# No display: a private X server.
for n in 81 82 83 84 85 86 87 88 89; do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    break
  fi
done
[ -n "$XVFB_PID" ] || { echo "run-demo: no free display number"; exit 1; }
i=0
until [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] || [ $i -gt 100 ]; do sleep 0.05; i=$((i+1)); done

mkdir -p screenshots

# One run of the program from a folder of its own, so that the language can be chosen without
# touching the build's data files. Saves a screenshot and closes the window as a user would, with a
# click on Cancel (centre of the button at 234,421 sized 64x28 in the window's fixed layout).
run_once() {
  language="$1"; shot="$2"
  dir="$WORK/$language"
  mkdir -p "$dir"
  cp "$BIN/QlnCfg" "$dir/"
  cp -r "$BIN/Data" "$dir/"
  sed -i "s|<Language>[^<]*</Language>|<Language>$language</Language>|" "$dir/Data/Configuration.xml"
  "$dir/QlnCfg" &
  APP_PID=$!
  win=""
  i=0
  while [ -z "$win" ] && [ $i -lt 100 ] && kill -0 "$APP_PID" 2>/dev/null; do
    sleep 0.1; i=$((i+1))
    win="$(xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null | head -n 1 || true)"
  done
  if [ -z "$win" ]; then
    echo "run-demo: the $language window did not appear"
    return 1
  fi
  sleep "$SHOW_SECONDS"   # at least one refresh of the device watch
  import -window root "$shot"
  echo "run-demo: saved $shot"
  xdotool mousemove --window "$win" 266 435 click 1 2>/dev/null || true
  i=0
  while kill -0 "$APP_PID" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done
  if kill -0 "$APP_PID" 2>/dev/null; then
    echo "run-demo: the $language window did not close; ending it"
    kill "$APP_PID" 2>/dev/null || true
    wait "$APP_PID" 2>/dev/null || true
    # An ended process leaves its single-instance name behind.
    rm -f /dev/shm/sem.wx_quilo_configuration_mutex
  else
    wait "$APP_PID" 2>/dev/null || true
  fi
  APP_PID=""
}

run_once English screenshots/main-window.png
run_once Chinese screenshots/main-window-zh.png
echo "run-demo: done; $(($(wc -l <"$WORK/touchsim.log") - 1)) calls reached the service"

