#!/bin/sh
# The main window stays on its display when the display is turned while the program runs: on an
# X server whose screen goes from portrait (1080x1920) to landscape (1920x1080) under a window that
# stood low, the window must come back inside, whole. Without a window manager, as on a kiosk.
#   window_on_turned_display_test.sh BUILD_DIR
set -eu
BIN="$1/bin"
WORK="$(mktemp -d /tmp/qln-turn-XXXXXX)"
XPID=""; APP=""; SIM=""
cleanup() {
  [ -n "$APP" ] && kill "$APP" 2>/dev/null
  [ -n "$SIM" ] && kill "$SIM" 2>/dev/null
  [ -n "$XPID" ] && kill "$XPID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL $*"; cat "$WORK/app.log"; exit 1; }
# Waits (hang guard only) until the command succeeds.
wait_for() {
  i=0
  until eval "$1"; do
    i=$((i + 1)); [ $i -gt 300 ] && fail "in time: $2"
    sleep 0.1
  done
}
# An X server whose screen may be as large as either orientation (RandR can then resize it).
n=400
while [ $n -le 499 ]; do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
    Xvfb ":$n" -noreset -screen 0 1920x1920x24 -nolisten tcp >/dev/null 2>&1 &
    XPID=$!
    export DISPLAY=":$n"
    if wait_for "DISPLAY=:$n xdpyinfo >/dev/null 2>&1" "X server :$n" 2>/dev/null; then break; fi
  fi
  n=$((n + 1))
done
[ -n "$XPID" ] || fail "no free display"
mkdir -m 700 "$WORK/run"
export XDG_RUNTIME_DIR="$WORK/run"
xrandr --fb 1080x1920 >/dev/null 2>&1 || true
"$BIN/touchsim" </dev/null >"$WORK/sim.log" 2>&1 &
SIM=$!
wait_for "grep -q ' ready' '$WORK/sim.log'" "touchsim ready"
"$BIN/qlncfg" >"$WORK/app.log" 2>&1 &
APP=$!
wait_for "xdotool search --name 'Touch Frame' >/dev/null 2>&1" "the main window"
W=$(xdotool search --name 'Touch Frame' | head -1)
# Low on the portrait screen, where a landscape one has no room.
wait_for "xdotool windowmove $W 600 1350 && xdotool getwindowgeometry $W | grep -q 'Position: 600,1350'" "window moved low"
xrandr --fb 1920x1080 >/dev/null 2>&1 || true
[ "$(xdpyinfo | sed -n 's/ *dimensions: *\([0-9x]*\) .*/\1/p')" = 1920x1080 ] || fail "screen not turned"
wait_for "grep -q 'Display now 1920x1080' '$WORK/app.log'" "the program sees the turn"
geometry="$(xdotool getwindowgeometry $W)"
x=$(echo "$geometry" | sed -n 's/.*Position: \([-0-9]*\),.*/\1/p')
y=$(echo "$geometry" | sed -n 's/.*Position: [-0-9]*,\([-0-9]*\).*/\1/p')
h=$(echo "$geometry" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p')
[ "$y" -ge 0 ] && [ $((y + h)) -le 1080 ] || fail "window at $x,$y (height $h) is not inside 1920x1080"
[ "$x" = 600 ] || fail "window moved sideways to $x: only as far as it takes"
echo "ok   window at $x,$y after the turn, inside 1920x1080"
kill "$APP"; wait "$APP" || true; APP=""
if grep -E -- "-CRITICAL|Gtk-WARNING" "$WORK/app.log"; then fail "CRITICAL or Gtk-WARNING lines"; fi
exit 0
