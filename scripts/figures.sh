#!/bin/sh
# Prints the project's performance figures in one run (nothing is asserted):
#   - request round trip through SendRequest versus a raw loopback round trip (touchsim),
#   - touch stream packet rate and send-to-callback delay (recorded real packets),
#   - launch to main window shown, and CPU and thread wake-ups with the window open and idle over
#     QLN_FIGURES_SECONDS (30 s).
# Builds the release configuration first. As root it runs in a private network namespace, so the
# fixed service ports cannot meet another service or test run on this machine.
set -eu
cd "$(dirname "$0")/.."
if [ -z "${QLN_FIGURES_INSIDE:-}" ]; then
  sh scripts/build.sh
  QLN_FIGURES_INSIDE=1 exec sh tests/run_isolated.sh sh scripts/figures.sh "$@"
fi
BIN="${QLN_BUILD_DIR:-build}/bin"
SECONDS_OPEN="${QLN_FIGURES_SECONDS:-30}"

echo "== machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), $(date -u '+%Y-%m-%d %H:%M UTC')"
echo
echo "== request round trip (targets: overhead beyond the 8 ms pause <= 0.5 ms)"
"$BIN/rpc_roundtrip_bench" "${QLN_FIGURES_ROUNDS:-400}"
echo
echo "== touch stream (targets: >= 20000 packets/s, delay <= 1 ms)"
"$BIN/tuio_reader_bench"
echo
echo "== program (targets: launch <= 500 ms; idle with the window open: CPU <= 0.2 % of one core, <= 10 wake-ups/s)"
sh scripts/measure-app.sh "$BIN" "$SECONDS_OPEN"
