#!/bin/sh
# Measures the program against touchsim: the time from launch to the main window being shown, and,
# with the window open and nothing happening, the CPU the program uses (one core = 100 %) and how
# often its threads wake up. Prints the figures; targets are <= 0.5 s, <= 0.2 % of one core and
# <= 10 wake-ups per second.
#   measure-app.sh BIN_DIR [SECONDS]     (default 30 s; runs under its own Xvfb without a display)
set -eu
BIN="${1:?usage: measure-app.sh BIN_DIR [SECONDS]}"
BIN="$(cd "$BIN" && pwd)"
SECONDS_OPEN="${2:-30}"
WORK="$(mktemp -d /tmp/qln-measure-XXXXXX)"
. "$(dirname "$0")/lib.sh"
trap qln_stop_all EXIT INT TERM

qln_start_touchsim "$BIN" "$WORK/touchsim.log" --required-version 20 || exit 1
# A runtime folder of its own, for what the toolkit keeps there. (The single-instance guard is the
# machine's: a window a person has open on this machine refuses the measured one, as its touch
# service would hold the ports.)
XDG_RUNTIME_DIR="$WORK/runtime"; export XDG_RUNTIME_DIR
mkdir -m 700 "$XDG_RUNTIME_DIR"

if [ -z "${DISPLAY:-}" ]; then
  qln_start_xvfb 71 79 || { echo "measure: could not start Xvfb"; exit 1; }
fi

now_ms() { date +%s%3N; }
start=$(now_ms)
"$BIN/QlnCfg" 2>"$WORK/app.log" &
APP_PID=$!
win=""
while [ -z "$win" ]; do
  kill -0 "$APP_PID" 2>/dev/null || { echo "measure: the program ended:"; cat "$WORK/app.log"; exit 1; }
  [ $(( $(now_ms) - start )) -gt 10000 ] && { echo "measure: no window after 10 s"; exit 1; }
  win="$(xdotool search --onlyvisible --pid "$APP_PID" --name " - " 2>/dev/null | head -n 1 || true)"
  [ -n "$win" ] || sleep 0.01
done
shown=$(now_ms)
echo "launch to window shown: $((shown - start)) ms (target <= 500 ms; includes the 10 ms poll of this script)"
sh "$(dirname "$0")/memory-figure.sh" "$APP_PID"   # flat from the window's showing on

# utime + stime of the program, in clock ticks (fields 14 and 15 of /proc/PID/stat).
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$APP_PID/stat"; }
# One line per thread: "TID NAME SWITCHES", its voluntary plus involuntary context switches (each
# one a wake-up of that thread).
thread_switches() {
  for t in /proc/"$APP_PID"/task/*; do
    [ -r "$t/status" ] || continue
    awk -v tid="${t##*/}" '/^Name:/ { name = $2 } /ctxt_switches:/ { n += $2 } END { print tid, name, n }' "$t/status"
  done
}
sleep 1   # leave the start-up out of the steady state
thread_switches >"$WORK/switches0"
t0=$(cpu_ticks); w0=$(now_ms)
sleep "$SECONDS_OPEN"
t1=$(cpu_ticks); w1=$(now_ms)
thread_switches >"$WORK/switches1"
hz=$(getconf CLK_TCK)
awk -v d=$((t1 - t0)) -v hz="$hz" -v ms=$((w1 - w0)) 'BEGIN {
  printf "CPU with the window open (idle): %.2f %% of one core over %.1f s (%d ticks at %d Hz; target <= 0.2 %%)\n",
         100.0 * d / hz / (ms / 1000.0), ms / 1000.0, d, hz }'
# Wake-ups of the idle program: the threads' context switches over the same time (a thread that
# started meanwhile counts from 0).
awk -v ms=$((w1 - w0)) '
  NR == FNR { before[$1] = $3; next }
  { n = $3 - ($1 in before ? before[$1] : 0); total += n; byName[$2] += n }
  END {
    printf "idle wake-ups: %.1f /s over %.1f s (all threads; target <= 10 /s)", total / (ms / 1000.0), ms / 1000.0
    sep = " ["
    for (name in byName) { printf "%s%s %.1f", sep, name, byName[name] / (ms / 1000.0); sep = ", " }
    print (sep == ", " ? "]" : "")
  }' "$WORK/switches0" "$WORK/switches1"
xdotool mousemove --window "$win" 266 435 click 1 2>/dev/null || true
i=0; while kill -0 "$APP_PID" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i+1)); done
if kill -0 "$APP_PID" 2>/dev/null; then
  echo "measure: the window did not close; ending the program"
  kill "$APP_PID"   # SIGTERM: the same end as a closed window
  wait "$APP_PID" 2>/dev/null || true
fi
APP_PID=""
kill "$SIM_PID" && wait "$SIM_PID" 2>/dev/null || true
SIM_PID=""
echo "service calls during the run: $(($(wc -l <"$WORK/touchsim.log") - 1))"
