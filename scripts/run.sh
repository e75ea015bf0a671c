#!/bin/sh
# The run command: builds, starts the simulated touch service and the program.
# - With a display: the program runs from a private copy of its folder (it writes its configuration
#   file back at exit; build/bin/Data stays as built) until its window is closed.
# - Without one: it runs under its own Xvfb for a few seconds, saves screenshots and ends by itself.
#   As root this happens in private network and /dev/shm namespaces with a private XDG_RUNTIME_DIR,
#   so the fixed service ports and the single-instance guard never meet another run.
set -eu
cd "$(dirname "$0")/.."
[ -n "${QLN_RUN_INSIDE:-}" ] || sh scripts/build.sh
BUILD_DIR="${QLN_BUILD_DIR:-build}"
BIN="$BUILD_DIR/bin"
if [ ! -x "$BIN/touchsim" ] || [ ! -x "$BIN/QlnCfg" ]; then
  echo "run: the simulated service and the program are not built yet; nothing to run."
  exit 0
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${QLN_RUN_INSIDE:-}" ] && [ "$(id -u)" = 0 ] &&
   command -v unshare >/dev/null 2>&1 && unshare -n -m true 2>/dev/null; then
  RUNTIME="$(mktemp -d /tmp/qln-run-XXXXXX)"  # mode 0700, as a runtime folder must be
  trap 'rm -rf "$RUNTIME"' EXIT
  trap 'exit 130' INT TERM
  status=0
  QLN_RUN_INSIDE=1 XDG_RUNTIME_DIR="$RUNTIME" sh tests/run_isolated.sh sh scripts/run.sh || status=$?
  exit $status
fi
exec sh scripts/run-demo.sh "$BIN"
