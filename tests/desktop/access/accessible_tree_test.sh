#!/bin/sh
# The program as a screen reader and a keyboard-only user meet it: on an X server of its own with
# openbox, a session bus with the accessibility bus, touchsim, and the program run from a copy of
# the build (so that its Data/ and the language are the test's own), once in English and once in
# Chinese. accessible_tree.py walks the accessible tree and presses real keys (XTEST).
#   accessible_tree_test.sh BUILD_DIR
set -eu
BUILD="$1"
HERE="$(cd "$(dirname "$0")" && pwd)"
. "$HERE/../../../scripts/lib.sh"
PY=/usr/bin/python3  # Debian's: pyatspi is a Debian package
if ! $PY -c 'import pyatspi' 2>/dev/null || [ ! -x /usr/libexec/at-spi-bus-launcher ]; then
  echo "accessibility test: python3-pyatspi / at-spi2-core missing (scripts/deps.sh installs them)" >&2
  exit 77
fi
WORK="$(mktemp -d /tmp/qln-access-XXXXXX)"
trap qln_stop_all EXIT
qln_start_xvfb 300 399
qln_start_wm
status=0
for language in english chinese; do
  rm -rf "$WORK/prog" "$WORK/run"
  mkdir -p "$WORK/prog" "$WORK/run"
  chmod 700 "$WORK/run"
  cp "$BUILD/bin/qlncfg" "$WORK/prog/qlncfg"
  cp -r "$BUILD/bin/Data" "$WORK/prog/Data"
  echo "== $language"
  XDG_RUNTIME_DIR="$WORK/run" dbus-run-session -- sh -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
    bus=$!
    "$0" "$1" "$2" "$3" "$4"
    s=$?
    kill $bus 2>/dev/null
    exit $s' "$PY" "$HERE/accessible_tree.py" "$WORK/prog/qlncfg" "$BUILD/bin/touchsim" "$language" || status=1
done
exit $status
