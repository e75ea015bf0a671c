#!/bin/sh
# Builds and runs the whole test suite (unit, sim, gui) under the sanitizer presets:
#   sh scripts/sanitize.sh            both presets, asan then tsan
#   sh scripts/sanitize.sh asan       AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
#   sh scripts/sanitize.sh tsan       ThreadSanitizer (build-tsan/)
# Extra ctest arguments go in QLN_CTEST_ARGS (e.g. "-L unit" or "-R Calib"). The toolkit's
# libraries are not instrumented; the few suppressions they need are in tests/sanitizers/, each
# with its reason. Exits non-zero when any test fails or a sanitizer reports.
set -eu
cd "$(dirname "$0")/.."
ROOT="$(pwd)"
sh scripts/deps.sh
. scripts/lib.sh
PRESETS="${*:-asan tsan}"

trap qln_stop_all EXIT INT TERM
qln_start_xvfb 61 69 || { echo "sanitize: could not start Xvfb"; exit 1; }
qln_start_wm || { echo "sanitize: could not start openbox"; exit 1; }

# The suppressions go to a world-readable copy: some tests run the program as another user, which
# cannot read a checkout under a private home folder (e.g. /root).
WORK="$(mktemp -d /tmp/qln-sanitize-XXXXXX)"
chmod 755 "$WORK"
cp "$ROOT"/tests/sanitizers/*.supp "$WORK"/
chmod 644 "$WORK"/*.supp
SUPP="$WORK"
# halt_on_error/abort: a report fails the test that caused it, with the report in its output.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$SUPP/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1:suppressions=$SUPP/ubsan.supp"
export TSAN_OPTIONS="halt_on_error=1:abort_on_error=1:second_deadlock_stack=1:suppressions=$SUPP/tsan.supp:print_suppressions=0"
# GLib's slice allocator hides frees from the sanitizers; plain malloc keeps the reports true.
export G_SLICE=always-malloc G_DEBUG=gc-friendly

status=0
for preset in $PRESETS; do
  echo "== sanitize: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
  # Sanitized threads run several times slower: the suites keep their own time-outs, ctest a
  # generous one per test.
  ( cd "build-$preset" && ctest --output-on-failure -j"$(nproc)" --timeout 600 ${QLN_CTEST_ARGS:-} ) || status=1
done
exit $status
