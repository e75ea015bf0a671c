#!/bin/sh
# Install test of the Debian packages that scripts/package.sh built (needs root, as CI has):
#   1. installs build/packages/qlncfg_*.deb and qlncfg-touchsim_*.deb with apt-get;
#   2. adds an ordinary user and, in a private network and mount namespace with its own Xvfb,
#      runs the installed touchsim and, as that user, the installed qlncfg: the window must show,
#      and closing it must write the user's ~/.config/qlncfg/Configuration.xml and nothing under
#      /usr; a language changed in that file must be used at the next start and kept at its close;
#      the installed qlncfg-cli must answer --help and read the simulated device's status;
#   3. purges the packages and checks that none of their files is left.
# The user, the packages and the work folder are removed on every exit, a failed one included;
# the namespace part is bounded by QLN_INSTALL_TEST_SECONDS (default 180).
#   sh scripts/install-test.sh        (QLN_BUILD_DIR chooses another build folder)
set -eu
cd "$(dirname "$0")/.."
REPO="$(pwd)"
TEST_USER=qlncfg-installtest

# ---------------------------------------------------------------------------------------------
# Inside the namespace: the program runs as the user; ITEST_DIR and ITEST_HOME come from outside.
if [ "${1:-}" = --inside ]; then
  . scripts/lib.sh
  WORK=""   # the outer part owns the work folder
  trap qln_stop_all EXIT
  trap 'exit 1' INT TERM
  DIR="$ITEST_DIR"; HOME_DIR="$ITEST_HOME"
  CONFIG="$HOME_DIR/.config/qlncfg/Configuration.xml"
  fail() { echo "install-test: FAIL: $*"; exit 1; }

  qln_start_xvfb 51 59 || fail "could not start Xvfb"
  qln_start_touchsim /usr/bin "$DIR/touchsim.log" --required-version 20 || fail "the installed touchsim did not start"

  # The prefix that runs a command as the user, with a session's plain environment. Kept in the
  # positional parameters, not in a function, so that the program is the process $! names.
  set -- setpriv --reuid="$TEST_USER" --regid="$TEST_USER" --init-groups -- \
    env -i HOME="$HOME_DIR" USER="$TEST_USER" LOGNAME="$TEST_USER" PATH=/usr/bin:/bin \
    DISPLAY="$DISPLAY" LANG=C.UTF-8

  # run_once LOG EXPECTED_TITLE AS_USER...: starts qlncfg as the menu would (by name, no options),
  # waits for its window, checks the title, closes it with a click on Cancel and checks the exit
  # status.
  run_once() {
    log="$1"; title="$2"; shift 2
    "$@" qlncfg >"$log" 2>&1 &
    APP_PID=$!
    win=""; i=0
    while [ -z "$win" ] && [ $i -lt 150 ] && kill -0 "$APP_PID" 2>/dev/null; do
      sleep 0.1; i=$((i + 1))
      win="$(xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null | head -n 1 || true)"
    done
    [ -n "$win" ] || { cat "$log"; fail "the installed program showed no window"; }
    sleep 1   # the first refresh of the device watch
    shown="$(xdotool getwindowname "$win")"
    [ "$shown" = "$title" ] || fail "window title '$shown', wanted '$title'"
    # Cancel: centre of the 64x28 button at 234,421 in the window's fixed layout.
    xdotool mousemove --window "$win" 266 435 click 1
    i=0
    while kill -0 "$APP_PID" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    kill -0 "$APP_PID" 2>/dev/null && fail "the window did not close"
    rc=0; wait "$APP_PID" || rc=$?
    APP_PID=""
    [ "$rc" -eq 0 ] || { cat "$log"; fail "qlncfg ended with status $rc"; }
    if grep 'Exception - ' "$log"; then fail "exceptions in the log"; fi
    if grep -E "Gtk-(CRITICAL|WARNING)" "$log"; then fail "the toolkit complained"; fi
    grep -q "Information - Configuration file $CONFIG, language file /usr/share/qlncfg/MultiLang.xml" "$log" ||
      { cat "$log"; fail "the log does not name the user's configuration file"; }
  }

  [ ! -e "$HOME_DIR/.config" ] || fail "$HOME_DIR/.config exists before the first start"
  run_once "$DIR/first.log" "Touch Frame Configuration - 2.0.0.0" "$@"
  grep -q "created from /usr/share/qlncfg/Configuration.xml" "$DIR/first.log" || fail "no first-start copy logged"
  [ -f "$CONFIG" ] || fail "no $CONFIG after the first close"
  [ "$(stat -c %U "$CONFIG")" = "$TEST_USER" ] || fail "$CONFIG is not the user's"
  grep -q '<Language>English</Language>' "$CONFIG" || fail "unexpected first configuration: $(cat "$CONFIG")"
  echo "install-test: first start as $TEST_USER showed the window and wrote $CONFIG"

  "$@" sed -i 's|<Language>English</Language>|<Language>Chinese</Language>|' "$CONFIG"
  run_once "$DIR/second.log" "触摸框配置 - 2.0.0.0" "$@"
  grep -q "created from" "$DIR/second.log" && fail "the user's file was replaced at the second start"
  grep -q '<Language>Chinese</Language>' "$CONFIG" || fail "the changed language was not kept: $(cat "$CONFIG")"
  echo "install-test: the changed language was used at the next start and kept at its close"

  "$@" qlncfg-cli --help >"$DIR/cli-help.txt" 2>&1 || fail "qlncfg-cli --help ended with status $?"
  grep -q '^Exit status:' "$DIR/cli-help.txt" || fail "qlncfg-cli --help names no exit status: $(cat "$DIR/cli-help.txt")"
  rc=0; "$@" qlncfg-cli status --json >"$DIR/cli-status.txt" 2>&1 || rc=$?
  [ "$rc" -eq 0 ] || fail "qlncfg-cli status ended with status $rc: $(cat "$DIR/cli-status.txt")"
  grep -q '"status": "ready"' "$DIR/cli-status.txt" || fail "qlncfg-cli status: $(cat "$DIR/cli-status.txt")"
  echo "install-test: the installed qlncfg-cli answered --help and read the device's status"
  # The installed Ansible collection, found through ANSIBLE_COLLECTIONS_PATH, reads the frame.
  if command -v ansible >/dev/null 2>&1; then
    rc=0; "$@" env ANSIBLE_COLLECTIONS_PATH=/usr/share/qlncfg/ansible ANSIBLE_NOCOLOR=1 \
      ansible -i localhost, -c local localhost -m qlncfg.touchframe.frame_info >"$DIR/ansible.txt" 2>&1 || rc=$?
    [ "$rc" -eq 0 ] && grep -q '"screen_inches"' "$DIR/ansible.txt" ||
      fail "the installed collection's frame_info ended with $rc: $(cat "$DIR/ansible.txt")"
    echo "install-test: the installed Ansible collection read the device"
  fi

  found="$(find /usr -xdev -user "$TEST_USER" 2>/dev/null | head -n 5)"
  [ -z "$found" ] || fail "files of the user under /usr: $found"
  changed="$(dpkg --verify qlncfg qlncfg-touchsim 2>&1)" || true
  [ -z "$changed" ] || fail "installed files changed: $changed"
  echo "install-test: nothing was written under /usr; the packages' files are intact"
  exit 0
fi

# ---------------------------------------------------------------------------------------------
if [ "$(id -u)" != 0 ]; then
  echo "install-test: skipped (installing packages and adding a user need root)"
  exit 0
fi
BUILD_DIR="${QLN_BUILD_DIR:-build}"
case "$BUILD_DIR" in /*) ;; *) BUILD_DIR="$REPO/$BUILD_DIR" ;; esac
MAIN_DEB="$(ls "$BUILD_DIR"/packages/qlncfg_*.deb 2>/dev/null | head -n 1)"
SIM_DEB="$(ls "$BUILD_DIR"/packages/qlncfg-touchsim_*.deb 2>/dev/null | head -n 1)"
if [ -z "$MAIN_DEB" ] || [ -z "$SIM_DEB" ]; then
  echo "install-test: FAIL: no packages in $BUILD_DIR/packages (run sh scripts/package.sh)"
  exit 1
fi
LIMIT="${QLN_INSTALL_TEST_SECONDS:-180}"
APT="apt-get -y -q -o DPkg::Lock::Timeout=300"

WORK="$(mktemp -d /tmp/qln-installtest-XXXXXX)"
chmod 755 "$WORK"
INSTALLED=0
cleanup() {
  if [ "$INSTALLED" = 1 ]; then
    DEBIAN_FRONTEND=noninteractive $APT purge qlncfg qlncfg-touchsim >/dev/null 2>&1 || true
  fi
  if id "$TEST_USER" >/dev/null 2>&1; then userdel --force --remove "$TEST_USER" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# What an interrupted earlier run may have left.
if id "$TEST_USER" >/dev/null 2>&1; then userdel --force --remove "$TEST_USER" 2>/dev/null || true; fi
for p in qlncfg qlncfg-touchsim; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    echo "install-test: $p is installed already; it is replaced now and purged at the end"
  fi
done

INSTALLED=1
if ! DEBIAN_FRONTEND=noninteractive $APT install --no-install-recommends "$MAIN_DEB" "$SIM_DEB" >"$WORK/apt.log" 2>&1; then
  cat "$WORK/apt.log"
  echo "install-test: FAIL: apt-get install"
  exit 1
fi
echo "install-test: installed $(basename "$MAIN_DEB") and $(basename "$SIM_DEB")"
dpkg-query -L qlncfg qlncfg-touchsim >"$WORK/files.list"

status=0
for f in /usr/bin/qlncfg /usr/bin/qlncfg-cli /usr/bin/touchsim /usr/share/qlncfg/MultiLang.xml /usr/share/qlncfg/Configuration.xml \
         /usr/share/qlncfg/ansible/ansible_collections/qlncfg/touchframe/plugins/modules/frame.py \
         /usr/share/applications/org.qlncfg.QlnCfg.desktop /usr/share/icons/hicolor/scalable/apps/org.qlncfg.QlnCfg.svg \
         /usr/share/metainfo/org.qlncfg.QlnCfg.metainfo.xml /usr/share/man/man1/qlncfg.1.gz /usr/share/man/man1/qlncfg-cli.1.gz \
         /usr/share/man/man1/touchsim.1.gz; do
  [ -f "$f" ] || { echo "install-test: FAIL: $f not installed"; status=1; }
done

useradd --create-home --home-dir "$WORK/home" --shell /usr/sbin/nologin --user-group "$TEST_USER"
mkdir -p "$WORK/run"
if ! ITEST_DIR="$WORK/run" ITEST_HOME="$WORK/home" \
     timeout "$LIMIT" sh tests/run_isolated.sh sh scripts/install-test.sh --inside; then
  echo "install-test: FAIL: the installed program's run (logs follow)"
  for f in "$WORK"/run/*.log; do [ -f "$f" ] && { echo "--- $f"; cat "$f"; }; done
  status=1
fi

if ! DEBIAN_FRONTEND=noninteractive $APT purge qlncfg qlncfg-touchsim >"$WORK/apt.log" 2>&1; then
  cat "$WORK/apt.log"
  echo "install-test: FAIL: apt-get purge"
  exit 1
fi
INSTALLED=0
left=""
while read -r f; do
  # Folders such as /usr/share/man stay: they belong to other packages too.
  if [ -e "$f" ] && [ ! -d "$f" ]; then left="$left $f"; fi
done <"$WORK/files.list"
[ -e /usr/share/qlncfg ] && left="$left /usr/share/qlncfg"
left="$left$(find /usr /var/lib/dpkg/info -xdev \( -name '*qlncfg*' -o -name 'touchsim*' \) -print 2>/dev/null | sed 's/^/ /')"
if [ -n "$left" ]; then
  echo "install-test: FAIL: left after purge:$left"
  status=1
else
  echo "install-test: apt-get purge left none of the packages' files"
fi
[ "$status" -eq 0 ] && echo "install-test: passed"
exit $status
