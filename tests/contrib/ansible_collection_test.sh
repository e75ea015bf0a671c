#!/bin/sh
# The Ansible collection (contrib/ansible) as a fleet's installer runs it: ansible-playbook on
# localhost (-c local) against touchsim with three frames. The first run writes the frames that
# differ, each with one reset; a second run changes nothing and sends no write; --check writes
# nothing and reports; --diff shows the settings; a profile goes to every frame as settings only;
# the info module reads every frame; a frame busy past the wait, the window's guard held and no
# service each fail the task with qlncfg-cli's own message, never a traceback. Then the modules'
# documentation as ansible-doc reads it and the sanity tests that run without a network.
# Runs with a private loopback (tests/run_isolated.sh): touchsim takes the fixed ports.
#   ansible_collection_test.sh SOURCE_DIR BUILD_DIR
set -u
SOURCE="$(cd "$1" && pwd)"; BUILD="$(cd "$2" && pwd)"
BIN="$BUILD/bin"
SIM="$BIN/touchsim"
CONTROL=28900
COLLECTIONS="$SOURCE/contrib/ansible"
if ! command -v ansible-playbook >/dev/null 2>&1; then
  echo "SKIP: ansible-playbook is missing (scripts/deps.sh installs ansible-core)"
  exit 77
fi
if [ "$(ip -o link show 2>/dev/null | wc -l)" != 1 ]; then
  echo "SKIP: needs a private network namespace (run as root through run_isolated.sh)"
  exit 77
fi

WORK="$(mktemp -d /tmp/qln-ansible-XXXXXX)"
mkdir -m 700 "$WORK/run" && mkdir "$WORK/home"
export XDG_RUNTIME_DIR="$WORK/run"
export HOME="$WORK/home" ANSIBLE_LOCAL_TEMP="$WORK/tmp" ANSIBLE_REMOTE_TEMP="$WORK/tmp"
export ANSIBLE_COLLECTIONS_PATH="$COLLECTIONS" ANSIBLE_NOCOLOR=1 ANSIBLE_FORCE_COLOR=0
export ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3 ANSIBLE_RETRY_FILES_ENABLED=0
export PATH="$BIN:$PATH"
unset DISPLAY WAYLAND_DISPLAY
SIM_PID=""; HOLDER_PID=""
cleanup() {
  [ -n "$HOLDER_PID" ] && kill "$HOLDER_PID" 2>/dev/null
  [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
sim() { "$SIM" --control-port "$CONTROL" --send "$@" >"$WORK/send.txt" 2>&1 || fail "touchsim --send $*: $(cat "$WORK/send.txt")"; }
trace() { "$SIM" --control-port "$CONTROL" --send trace >"$WORK/trace.txt" 2>&1; }
# resets SELECTOR: how many resets the frame with that selector got since the last cleartrace.
resets() { grep -c "^call ResetDevice .*sel=$1 " "$WORK/trace.txt"; }
writes() { grep -E '^call (Set[A-Za-z]+|ResetDevice) ' "$WORK/trace.txt"; }
# play NAME [ansible-playbook options]: runs playbook NAME.yml, output in NAME.out, status in $played.
play() {
  name="$1"; shift
  ansible-playbook -i localhost, -c local "$@" "$WORK/$name.yml" >"$WORK/$name.out" 2>&1
  played=$?
}
# The recap's count of changed tasks.
recap_changed() { sed -n 's/.*ok=[0-9]* *changed=\([0-9]*\).*/\1/p' "$WORK/$1.out" | tail -1; }
# result NAME PYTHON-EXPRESSION: evaluates the expression over the registered result saved as
# NAME.json (as r); fails the test with it when false.
result() {
  python3 - "$WORK/$1.json" "$2" <<'EOF' || fail "$1: $2 is false: $(cat "$WORK/$1.json" 2>/dev/null | head -c 3000)"
import json, sys
r = json.load(open(sys.argv[1]))
sys.exit(0 if eval(sys.argv[2], {"r": r, "frames": {f["device"]: f for f in r.get("frames", [])}}) else 1)
EOF
}
no_traceback() { ! grep -q Traceback "$WORK/$1.out" || fail "$1: a traceback: $(cat "$WORK/$1.out")"; }

A=0102030405060708  # selector 36
B=1111111111111111  # selector 136
C=2222222222222222  # selector 272
"$SIM" --no-stream --control-port "$CONTROL" </dev/null >"$WORK/sim.log" 2>&1 &
SIM_PID=$!
for _ in $(seq 100); do grep -q ' ready$' "$WORK/sim.log" && break; sleep 0.05; done
grep -q ' ready$' "$WORK/sim.log" || { cat "$WORK/sim.log"; echo "FAIL: touchsim did not start"; exit 1; }
# A: multi-touch, smoothing 1 (both differ); B: already mouse with smoothing 4; C: mouse, smoothing 1.
# The frames are busy for a moment after each reset, as real ones are.
sim "ids $A:$B:$C" --send "device $A" --send "device $B mode mouse" --send "device $B smooth 4" \
  --send "device $C mode mouse" --send "busyreset 300"

# writes_playbook NAME TASK-OPTIONS: one task of the state module, its result saved as NAME.json.
state_playbook() {
  cat >"$WORK/$1.yml" <<EOF
- hosts: localhost
  gather_facts: false
  tasks:
    - qlncfg.touchframe.frame:
$2
      register: r
    - ansible.builtin.copy:
        content: "{{ r | to_json }}"
        dest: "$WORK/$1.json"
      check_mode: false
      changed_when: false
EOF
}
state_playbook fleet "        mode: mouse
        smoothing: 4"

# 1. The first run writes A (mode and smoothing, one reset) and C (smoothing), not B.
sim cleartrace
play fleet
[ "$played" = 0 ] || fail "first run: status $played: $(cat "$WORK/fleet.out")"
[ "$(recap_changed fleet)" = 1 ] || fail "first run: the task did not report a change: $(cat "$WORK/fleet.out")"
result fleet 'frames["'$A'"]["changed"] and frames["'$A'"]["differing"] == ["mode", "smoothing"]'
result fleet 'not frames["'$B'"]["changed"] and frames["'$B'"]["differing"] == []'
result fleet 'frames["'$C'"]["changed"] and frames["'$C'"]["differing"] == ["smoothing"]'
trace
[ "$(resets 36)" = 1 ] && [ "$(resets 272)" = 1 ] ||
  fail "first run: resets A=$(resets 36) C=$(resets 272), wanted one each: $(cat "$WORK/trace.txt")"
writes | grep -q 'sel=136 ' && fail "first run: frame B, already set, was written: $(writes)"
grep -q '^call SetDeviceConfig .*sel=272 ' "$WORK/trace.txt" && fail "first run: C's mode was already mouse: $(writes)"
for d in $A $C; do
  qlncfg-cli --device $d --json advanced get >"$WORK/adv.json" && qlncfg-cli --device $d --json status >"$WORK/st.json" ||
    fail "reading $d back"
  grep -q '"smoothing": 4' "$WORK/adv.json" && grep -q '"mode": "mouse"' "$WORK/st.json" ||
    fail "frame $d after the first run: $(cat "$WORK/adv.json" "$WORK/st.json")"
done

# 2. The second run finds every frame set: changed=0, no write, no reset.
sim cleartrace
play fleet
[ "$played" = 0 ] && [ "$(recap_changed fleet)" = 0 ] || fail "second run: $(cat "$WORK/fleet.out")"
result fleet 'not r["changed"] and not any(f["changed"] for f in r["frames"]) and len(r["frames"]) == 3'
trace
[ -z "$(writes)" ] || fail "second run wrote: $(writes)"

# 3. --check: A has been changed by hand; the run reports it and writes nothing.
sim "device $A smooth 2" --send cleartrace
play fleet --check
[ "$played" = 0 ] && [ "$(recap_changed fleet)" = 1 ] || fail "--check: $(cat "$WORK/fleet.out")"
result fleet 'r["changed"] and frames["'$A'"]["changed"] and frames["'$A'"]["before"]["smoothing"] == 2'
result fleet 'not frames["'$A'"]["reset"] and not frames["'$C'"]["changed"]'
trace
[ -z "$(writes)" ] || fail "--check wrote: $(writes)"

# 4. --check --diff shows the frame's settings before and after, as the window shows them.
play fleet --check --diff
grep -q "frame $A" "$WORK/fleet.out" && grep -q -- '^-smoothing: 2$' "$WORK/fleet.out" &&
  grep -q -- '^+smoothing: 4$' "$WORK/fleet.out" || fail "--diff: $(cat "$WORK/fleet.out")"
grep -q "frame $B" "$WORK/fleet.out" && fail "--diff shows a frame without a change: $(cat "$WORK/fleet.out")"
state_playbook seconds "        right_click_duration: 15"
play seconds --check --diff
grep -q -- '^-right_click_duration: 2.0 s$' "$WORK/seconds.out" &&
  grep -q -- '^+right_click_duration: 1.5 s$' "$WORK/seconds.out" || fail "--diff in seconds: $(cat "$WORK/seconds.out")"
trace
[ -z "$(writes)" ] || fail "--check --diff wrote: $(writes)"

# 5. One kiosk's exported profile on every frame, settings only: A and C differ from B's export
#    (pen on, right click off), each gets one reset; their calibrations stay; a second run is quiet.
sim "device $B pen 1" --send "device $B rightclick 0"
qlncfg-cli --device $B export "$WORK/kiosk.json" >/dev/null || fail "export of B"
qlncfg-cli --device $A --json calibration get >"$WORK/calA.json" || fail "A's calibration"
state_playbook profile "        profile: $WORK/kiosk.json"
sim cleartrace
play profile --diff
[ "$played" = 0 ] && [ "$(recap_changed profile)" = 1 ] || fail "profile: $(cat "$WORK/profile.out")"
result profile 'frames["'$A'"]["changed"] and frames["'$C'"]["changed"] and not frames["'$B'"]["changed"]'
result profile '"pen simulation item" in frames["'$C'"]["differing"]'
grep -q -- '^+pen: on$' "$WORK/profile.out" || fail "profile --diff: $(cat "$WORK/profile.out")"
trace
[ "$(resets 36)" = 1 ] && [ "$(resets 272)" = 1 ] && [ "$(resets 136)" = 0 ] ||
  fail "profile: resets A=$(resets 36) B=$(resets 136) C=$(resets 272): $(writes)"
grep -Eq '^call (SetCalibration|SetMultiConfig .*item=13)' "$WORK/trace.txt" && fail "profile wrote a frame's own record: $(writes)"
qlncfg-cli --device $A --json calibration get | cmp -s - "$WORK/calA.json" || fail "A's calibration changed"
sim cleartrace
play profile
[ "$played" = 0 ] && [ "$(recap_changed profile)" = 0 ] || fail "profile, second run: $(cat "$WORK/profile.out")"
trace
[ -z "$(writes)" ] || fail "profile, second run wrote: $(writes)"

# 6. The info module: every frame's status, settings and calibration summary; nothing written.
cat >"$WORK/info.yml" <<EOF
- hosts: localhost
  gather_facts: false
  tasks:
    - qlncfg.touchframe.frame_info:
      register: r
    - ansible.builtin.copy:
        content: "{{ r | to_json }}"
        dest: "$WORK/info.json"
EOF
sim cleartrace
play info
[ "$played" = 0 ] || fail "info: $(cat "$WORK/info.out")"
result info 'r["devices"] == ["'$A'", "'$B'", "'$C'"] and len(r["frames"]) == 3'
result info 'frames["'$B'"]["settings"]["pen"] is True and frames["'$B'"]["settings"]["mode"] == "mouse"'
result info 'frames["'$A'"]["status"]["touches"] == 10 and frames["'$A'"]["status"]["status"] == "ready"'
result info 'frames["'$A'"]["calibration"]["enabled"] in (True, False) and len(frames["'$A'"]["calibration"]["points"]) == 4'
trace
[ -z "$(writes)" ] || fail "info wrote: $(writes)"

# 7. Failures: the task fails with qlncfg-cli's own message, never a traceback.
# expect_failure NAME WANTED-EXIT COMPANION-COMMAND...: the playbook NAME fails, and its message
# is what the companion itself says for the same command.
expect_failure() {
  name="$1"; want="$2"; shift 2
  "$@" >/dev/null 2>"$WORK/direct.err"
  direct=$?
  [ "$direct" = "$want" ] || fail "$name: qlncfg-cli itself ended with $direct, wanted $want: $(cat "$WORK/direct.err")"
  # As the task's result shows it: a JSON string.
  message="$(sed -n 's/^qlncfg-cli: //p' "$WORK/direct.err" | tail -1 | sed 's/["\\]/\\&/g')"
  play "$name"
  [ "$played" != 0 ] || fail "$name: the playbook did not fail: $(cat "$WORK/$name.out")"
  grep -qF "$message" "$WORK/$name.out" || fail "$name: not the companion's message '$message': $(cat "$WORK/$name.out")"
  grep -q "\"exit_status\": $want" "$WORK/$name.out" || fail "$name: no exit_status $want: $(cat "$WORK/$name.out")"
  no_traceback "$name"
}
state_playbook busy "        smoothing: 5
        wait: 1"
sim "busy on" --send cleartrace
expect_failure busy 4 qlncfg-cli --wait 1 advanced get
trace
[ -z "$(writes)" ] || fail "a busy frame was written: $(writes)"
sim "busy off"

# The window's single-instance guard: held here by a qlncfg-cli that waits for a busy frame (the
# guard is taken before the service is asked, so its first call means the guard is held).
sim "busy on" --send cleartrace
qlncfg-cli --wait 600 status >/dev/null 2>&1 &
HOLDER_PID=$!
for _ in $(seq 200); do trace; grep -q '^call GetDeviceList' "$WORK/trace.txt" && break; sleep 0.05; done
state_playbook window "        smoothing: 5"
cp "$WORK/window.yml" "$WORK/infowindow.yml" && sed -i 's/qlncfg.touchframe.frame:/qlncfg.touchframe.frame_info:/; /smoothing: 5/d' "$WORK/infowindow.yml"
expect_failure window 4 qlncfg-cli status
expect_failure infowindow 4 qlncfg-cli status
kill "$HOLDER_PID"; wait "$HOLDER_PID" 2>/dev/null; HOLDER_PID=""
sim "busy off"

# A refused profile: nothing is sent beyond the reads.
printf '{"format": "something else"}\n' >"$WORK/bad.json"
state_playbook refused "        profile: $WORK/bad.json"
sim cleartrace
expect_failure refused 1 qlncfg-cli import --settings-only --dry-run "$WORK/bad.json"
trace
[ -z "$(writes)" ] || fail "a refused profile wrote: $(writes)"

# A write that is not answered: the task fails with the companion's message and, since what was
# written before may stay, does not claim that nothing changed.
sim "device $A smooth 2" --send "dropnext SetEffects" --send cleartrace
state_playbook writefail "        device: \"$A\"
        smoothing: 4"
play writefail
[ "$played" != 0 ] || fail "writefail: the playbook did not fail: $(cat "$WORK/writefail.out")"
grep -q 'the effects could not be written' "$WORK/writefail.out" && grep -q '"changed": true' "$WORK/writefail.out" ||
  fail "writefail: $(cat "$WORK/writefail.out")"
no_traceback writefail
trace
grep -q '^call ResetDevice' "$WORK/trace.txt" && fail "writefail: reset after a failed write: $(writes)"

# No service.
sim "refuse on"
state_playbook noservice "        mode: mouse"
expect_failure noservice 3 qlncfg-cli status
sim "refuse off"

# 8. The modules' documentation, as ansible-doc reads it (options, examples, return values).
for m in frame frame_info; do
  ansible-doc "qlncfg.touchframe.$m" >"$WORK/doc.txt" 2>&1 || fail "ansible-doc $m: $(cat "$WORK/doc.txt")"
  grep -q "^EXAMPLES:" "$WORK/doc.txt" && grep -q "^RETURN VALUES:" "$WORK/doc.txt" || fail "ansible-doc $m: $(cat "$WORK/doc.txt")"
  ansible-doc --json "qlncfg.touchframe.$m" >/dev/null 2>"$WORK/doc.err" || fail "ansible-doc --json $m: $(cat "$WORK/doc.err")"
  grep -q WARNING "$WORK/doc.err" && fail "ansible-doc $m warns: $(cat "$WORK/doc.err")"
done
# The sanity tests that need no download (the others fetch their tools from the network).
if command -v ansible-test >/dev/null 2>&1; then
  cp -r "$COLLECTIONS/ansible_collections" "$WORK/"
  (cd "$WORK/ansible_collections/qlncfg/touchframe" &&
    ansible-test sanity --python "$(python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])')" \
      --skip-test ansible-doc --skip-test import --skip-test pep8 --skip-test pylint \
      --skip-test runtime-metadata --skip-test validate-modules --skip-test yamllint) >"$WORK/sanity.txt" 2>&1 ||
    fail "ansible-test sanity: $(cat "$WORK/sanity.txt")"
fi

if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "ansible collection: every check passed"
