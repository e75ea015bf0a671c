#!/bin/sh
# The run command: builds, starts the simulated touch service and the program. With no display
# it runs under Xvfb for a few seconds, saves a screenshot and ends by itself.
set -eu
cd "$(dirname "$0")/.."
sh scripts/build.sh
BUILD_DIR="${QLN_BUILD_DIR:-build}"
BIN="$BUILD_DIR/bin"
if [ ! -x "$BIN/touchsim" ] || [ ! -x "$BIN/QlnCfg" ]; then
  echo "run: the simulated service and the program are not built yet; nothing to run."
  exit 0
fi
exec sh scripts/run-demo.sh "$BIN"
