#!/bin/sh
# An installer's provisioning script against a frame that is busy for 1.5 s after every reset, as
# a real one is: the commands chained with && and no sleeps must all succeed, and the device must
# end with the exported records byte for byte. Then what --wait 0 and a device that stays busy give,
# the waiting line (on a terminal only), and the installed bash completion.
# Runs with a private loopback (tests/run_isolated.sh): touchsim takes the fixed ports.
#   chained_commands_test.sh CMAKE BUILD_DIR
set -u
CMAKE="$1"; BUILD="$(cd "$2" && pwd)"
BIN="$BUILD/bin"
CLI="$BIN/qlncfg-cli"
SIM="$BIN/touchsim"
CONTROL=28900
# A loopback of our own has no other interface; without one, the fixed ports may be another's.
if [ "$(ip -o link show 2>/dev/null | wc -l)" != 1 ]; then
  echo "SKIP: needs a private network namespace (run as root through run_isolated.sh)"
  exit 77
fi

WORK="$(mktemp -d /tmp/qln-chain-XXXXXX)"
mkdir -m 700 "$WORK/run"
export XDG_RUNTIME_DIR="$WORK/run"
unset DISPLAY WAYLAND_DISPLAY
SIM_PID=""
cleanup() {
  [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
sim() { "$SIM" --control-port "$CONTROL" --send "$@" >"$WORK/send.txt" 2>&1 || fail "touchsim --send $*: $(cat "$WORK/send.txt")"; }
# step WANTED COMMAND...: runs one command of the script, output kept apart.
step() {
  want="$1"; shift
  "$@" >"$WORK/out" 2>"$WORK/err"
  got=$?
  [ "$got" -eq "$want" ] || fail "$*: status $got, wanted $want; stderr: $(cat "$WORK/err")"
  return "$got"
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }

"$SIM" --no-stream --control-port "$CONTROL" </dev/null >"$WORK/sim.log" 2>&1 &
SIM_PID=$!
for _ in $(seq 100); do grep -q ' ready$' "$WORK/sim.log" && break; sleep 0.05; done
grep -q ' ready$' "$WORK/sim.log" || { cat "$WORK/sim.log"; echo "FAIL: touchsim did not start"; exit 1; }
sim "busyreset 1500"

# 1. The provisioning script, exactly as written: no sleeps, no retries.
cd "$WORK"
if "$CLI" mode mouse >log 2>&1 &&
   "$CLI" export kiosk.json >>log 2>&1 &&
   "$CLI" advanced set --smoothing 4 --pen on >>log 2>&1 &&
   "$CLI" factory-reset --yes >>log 2>&1 &&
   "$CLI" import kiosk.json >>log 2>&1 &&
   "$CLI" status --json >status.json 2>>log; then
  grep -q '"status": "ready"' status.json || fail "status after the chain: $(cat status.json)"
  grep -q '"mode": "mouse"' status.json || fail "the imported mode is not in force: $(cat status.json)"
else
  fail "the chained script stopped: $(cat log)"
fi
# The device holds what was exported, byte for byte: a second export is the same file.
step 0 "$CLI" export again.json && cmp -s kiosk.json again.json || fail "records after import differ: $(diff kiosk.json again.json)"

# 2. --wait 0: the command after a reset finds the device busy, as before there was a wait.
step 0 "$CLI" --wait 0 mode mouse
step 4 "$CLI" --wait 0 export busy.json
grep -q 'busy (being reset); try again later' "$WORK/err" || fail "--wait 0 while busy: $(cat "$WORK/err")"
[ ! -e busy.json ] || fail "--wait 0 while busy wrote busy.json"
sleep 2  # this part is over: let the reset end

# 3. A device that stays busy past --wait 2: status 4 after about 2 s, nothing written.
sim "busy on" --send cleartrace
start=$(now_ms)
step 4 "$CLI" --wait 2 mode multitouch
took=$(($(now_ms) - start))
# Generous bounds: the wait must happen and must end; this machine's load is not measured here.
[ "$took" -ge 1500 ] && [ "$took" -le 20000 ] || fail "--wait 2 on a busy device took $took ms"
grep -q 'busy (being reset) after waiting 2 s' "$WORK/err" || fail "--wait 2: $(cat "$WORK/err")"
"$SIM" --control-port "$CONTROL" --send trace >"$WORK/trace.txt" 2>&1
grep -Eq 'call (Set[A-Za-z]+|ResetDevice) ' "$WORK/trace.txt" && fail "a busy device was written: $(cat "$WORK/trace.txt")"
grep -q 'call GetAccessState' "$WORK/trace.txt" || fail "no access question: $(cat "$WORK/trace.txt")"

# 4. The waiting line is for a person: on a terminal only.
step 4 "$CLI" --wait 0.5 status
grep -q 'waiting for device' "$WORK/err" && fail "waiting line without a terminal: $(cat "$WORK/err")"
if command -v script >/dev/null 2>&1; then
  script -qec "'$CLI' --wait 0.5 status" /dev/null >"$WORK/tty.txt" 2>&1
  grep -q 'qlncfg-cli: waiting for device 0102030405060708 to finish resetting (up to 0.5 s)' "$WORK/tty.txt" ||
    fail "no waiting line on a terminal: $(cat "$WORK/tty.txt")"
  [ "$(grep -c 'waiting for device' "$WORK/tty.txt")" = 1 ] || fail "more than one waiting line: $(cat "$WORK/tty.txt")"
else
  echo "note: no script(1): the terminal case is not checked"
fi
sim "busy off"

# 5. The completion as installed: commands, and the identifiers the service lists.
sim "ids 0102030405060708:1112131415161718"
DESTDIR="$WORK/root" "$CMAKE" --install "$BUILD" --prefix /usr --component qlncfg >"$WORK/install.log" 2>&1 ||
  fail "cmake --install: $(cat "$WORK/install.log")"
COMPLETION="$WORK/root/usr/share/bash-completion/completions/qlncfg-cli"
[ -f "$COMPLETION" ] || fail "no completion installed at /usr/share/bash-completion/completions/qlncfg-cli"
complete_line() {
  PATH="$BIN:$PATH" bash -c '
    . "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    $(complete -p qlncfg-cli | sed "s/.*-F \([^ ]*\) .*/\1/")
    printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' sh "$COMPLETION" "$@"
}
got="$(complete_line qlncfg-cli "")"
[ "$got" = "advanced calibration devices export factory-reset import mode status " ] || fail "completing 'qlncfg-cli ': '$got'"
got="$(complete_line qlncfg-cli --device "")"
[ "$got" = "0102030405060708 1112131415161718 " ] || fail "completing 'qlncfg-cli --device ': '$got'"
got="$(complete_line qlncfg-cli mode "")"
[ "$got" = "mouse multitouch " ] || fail "completing 'qlncfg-cli mode ': '$got'"
: >"$WORK/kiosk-a.json"
got="$(cd "$WORK" && complete_line qlncfg-cli import kiosk-)"
[ "$got" = "kiosk-a.json " ] || fail "completing 'qlncfg-cli import kiosk-': '$got'"

if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "chained commands, waits and completion: ok"
