#!/bin/sh
# The test command: installs what is missing, builds, starts an X server for the GUI tests and
# runs every suite (unit, sim, gui), builds and checks the Debian packages and (as root) installs,
# runs and purges them, then a short smoke of every fuzz target (QLN_FUZZ_SMOKE_SECONDS each,
# default 5; 0 skips it). Exits non-zero when any test or check fails or a fuzz target finds
# something.
set -eu
cd "$(dirname "$0")/.."
sh scripts/build.sh "$@"
BUILD_DIR="${QLN_BUILD_DIR:-build}"

. scripts/lib.sh
trap qln_stop_all EXIT INT TERM
# The GUI tests get their own X server at a known size, whatever display the caller has, with a
# window manager as on a desktop. (The desktop scenarios start X servers of their own, with and
# without one.)
qln_start_xvfb 91 99 || { echo "test: could not start Xvfb"; exit 1; }
qln_start_wm || { echo "test: could not start openbox"; exit 1; }

status=0
( cd "$BUILD_DIR" && ctest --output-on-failure -j"$(nproc)" ${QLN_CTEST_ARGS:-} ) || status=1

if sh scripts/package.sh; then
  sh scripts/install-test.sh || status=1
else
  status=1
fi

# The getting-started page: every shell block runs as written (in private namespaces as root).
QLN_BUILD_DIR="$BUILD_DIR" sh scripts/doc-blocks.sh docs/getting-started.md || status=1
# The fleet page likewise: its playbooks run against touchsim's frames.
QLN_BUILD_DIR="$BUILD_DIR" sh scripts/doc-blocks.sh docs/fleet.md || status=1

SMOKE="${QLN_FUZZ_SMOKE_SECONDS:-5}"
if [ "$SMOKE" != 0 ]; then
  sh scripts/fuzz.sh "$SMOKE" || status=1
fi
exit $status
