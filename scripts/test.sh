#!/bin/sh
# The test command: installs what is missing, builds, starts an X server for the GUI tests and
# runs every suite (unit, sim, gui). Exits non-zero when any test fails.
set -eu
cd "$(dirname "$0")/.."
sh scripts/build.sh "$@"
BUILD_DIR="${QLN_BUILD_DIR:-build}"

XVFB_PID=""
cleanup() { [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true; }
trap cleanup EXIT INT TERM
# The GUI tests get their own X server at a known size, whatever display the caller has.
for n in 91 92 93 94 95 96 97 98 99; do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
    Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    break
  fi
done
i=0
while [ $i -lt 50 ] && [ ! -e "/tmp/.X11-unix/X$(echo "${DISPLAY:-:0}" | tr -d :)" ]; do sleep 0.1; i=$((i+1)); done

cd "$BUILD_DIR"
ctest --output-on-failure -j"$(nproc)" ${QLN_CTEST_ARGS:-}
