#!/bin/sh
# Starts the simulated touch service with a default device and the configuration program.
#   run-demo.sh BIN_DIR
# With a display: runs the program from a private copy of its folder until the window is closed,
# then ends the service.
# Without one (CI): runs under its own Xvfb for a few seconds, saves screenshots of the window in
# English and in Chinese to screenshots/, closes the program and ends by itself. Needs no stdin.
# The English window alone also goes to screenshots/main-window-only.png (no time stamps in the file,
# so it changes only when the window does); the README's picture, docs/main-window.png, is refreshed
# on purpose by copying that file, never by a run.
set -eu
BIN="${1:?usage: run-demo.sh BIN_DIR}"
BIN="$(cd "$BIN" && pwd)"
SHOW_SECONDS="${QLN_DEMO_SECONDS:-4}"
WORK="$(mktemp -d /tmp/qln-demo-XXXXXX)"
. "$(dirname "$0")/lib.sh"
trap qln_stop_all EXIT INT TERM

# The simulated service on the program's fixed ports; required configuration version 20 so that
# the shipped configuration (2.0.0.0) is accepted. Its trace goes to a log file.
qln_start_touchsim "$BIN" "$WORK/touchsim.log" --required-version 20 || exit 1
echo "run-demo: $(head -n 1 "$WORK/touchsim.log")"

if [ -n "${DISPLAY:-}" ]; then
  # From a private copy of the program's folder: the program writes Data/Configuration.xml back at
  # exit, and the build's copy stays as built.
  mkdir -p "$WORK/app"
  cp "$BIN/QlnCfg" "$WORK/app/"
  cp -r "$BIN/Data" "$WORK/app/"
  "$WORK/app/QlnCfg" || echo "run-demo: QlnCfg ended with status $?"
  echo "run-demo: window closed; $(($(wc -l <"$WORK/touchsim.log") - 1)) calls reached the service"
  exit 0
fi

# No display: a private X server with a window manager, as on a desktop, and a private runtime
# folder for the program's single-instance guard (so that a program run by a person on this
# machine does not refuse these runs).
qln_start_xvfb 81 89 || { echo "run-demo: could not start Xvfb"; exit 1; }
qln_start_wm || { echo "run-demo: could not start openbox"; exit 1; }
XDG_RUNTIME_DIR="$WORK/runtime"; export XDG_RUNTIME_DIR
mkdir -m 700 "$XDG_RUNTIME_DIR"

mkdir -p screenshots

# One run of the program from a folder of its own, so that the language can be chosen without
# touching the build's data files. Saves a screenshot and closes the window as a user would, with a
# click on Cancel (centre of the button at 234,421 sized 64x28 in the window's fixed layout). With a
# third argument it also opens the calibration and saves what the screen shows.
run_once() {
  language="$1"; shot="$2"; window_shot="${3:-}"; calibration_shot="${4:-}"
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
  if [ -n "$window_shot" ]; then
    import -window "$win" -strip -define png:exclude-chunks=date,time "$window_shot"
    echo "run-demo: saved $window_shot"
  fi
  if [ -n "$calibration_shot" ]; then
    # The calibration button (30,340 sized 148x24), the screen it shows, then Escape to leave it.
    xdotool mousemove --window "$win" 104 352 click 1 2>/dev/null || true
    sleep 1.5
    import -window root "$calibration_shot"
    echo "run-demo: saved $calibration_shot"
    xdotool key Escape 2>/dev/null || true
    sleep 1.5
  fi
  xdotool mousemove --window "$win" 266 435 click 1 2>/dev/null || true
  i=0
  while kill -0 "$APP_PID" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done
  if kill -0 "$APP_PID" 2>/dev/null; then
    echo "run-demo: the $language window did not close; ending it"
    # SIGTERM ends it as a closed window does; the kernel releases its single-instance guard.
    kill "$APP_PID" 2>/dev/null || true
    wait "$APP_PID" 2>/dev/null || true
  else
    wait "$APP_PID" 2>/dev/null || true
  fi
  APP_PID=""
}

run_once English screenshots/main-window.png screenshots/main-window-only.png screenshots/calibration.png
run_once Chinese screenshots/main-window-zh.png
echo "run-demo: done; $(($(wc -l <"$WORK/touchsim.log") - 1)) calls reached the service"

