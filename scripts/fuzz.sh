#!/bin/sh
# Runs the libFuzzer targets, one after the other, each for the given number of seconds (default 5:
# the smoke that keeps them building and running). Long runs are the same command with more time,
# e.g. `sh scripts/fuzz.sh 600`. Exits non-zero when any target finds something (crash, sanitizer
# report, leak, time-out, out of memory) or fails to build.
#
#   sh scripts/fuzz.sh [seconds-per-target] [target...]
#   QLN_FUZZ_RUNS=N      also stop a target after N executions
#   QLN_FUZZ_DIR=dir     build directory (default build-fuzz)
#
# Each target runs in one process (no -jobs/-workers) on a working copy of its seeds in
# <build>/corpus/<target>; findings go to <build>/artifacts/<target>/, logs to <build>/logs/.
set -eu
cd "$(dirname "$0")/.."
REPO=$(pwd)
SECONDS_PER_TARGET="${1:-5}"
[ $# -gt 0 ] && shift
ALL="tuio_stream_fuzz rpc_receive_fuzz reply_decode_fuzz config_store_fuzz lang_table_fuzz profile_import_fuzz"
TARGETS="${*:-$ALL}"
BUILD="${QLN_FUZZ_DIR:-build-fuzz}"
case "$BUILD" in /*) ;; *) BUILD="$REPO/$BUILD" ;; esac

QLN_EXTRA_PACKAGES="clang libclang-rt-14-dev" sh scripts/deps.sh

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DQLN_BUILD_FUZZ=ON -DQLN_BUILD_GUI=OFF -DQLN_BUILD_TESTS=OFF \
    -DQLN_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
# shellcheck disable=SC2086
cmake --build "$BUILD" -j"$(nproc)" --target $TARGETS >/dev/null

dict_of() {
  case "$1" in
    tuio_stream_fuzz) echo "$REPO/fuzz/tuio.dict" ;;
    rpc_receive_fuzz) echo "$REPO/fuzz/rpc.dict" ;;
    config_store_fuzz|lang_table_fuzz) echo "$REPO/fuzz/xml.dict" ;;
    *) echo "" ;;
  esac
}

status=0
mkdir -p "$BUILD/logs"
for t in $TARGETS; do
  corpus="$BUILD/corpus/$t"
  artifacts="$BUILD/artifacts/$t"
  log="$BUILD/logs/$t.log"
  mkdir -p "$corpus" "$artifacts"
  # The seeds (in their latest form) join what earlier runs found; the checked-in corpus is never written.
  [ -d "fuzz/corpus/$t" ] && cp -f "fuzz/corpus/$t"/* "$corpus"/ 2>/dev/null || true
  set -- -max_total_time="$SECONDS_PER_TARGET" -print_final_stats=1 -timeout=25 -rss_limit_mb=2048 \
    -close_fd_mask=1 -artifact_prefix="$artifacts/"
  [ -n "${QLN_FUZZ_RUNS:-}" ] && set -- "$@" -runs="$QLN_FUZZ_RUNS"
  dict=$(dict_of "$t")
  [ -n "$dict" ] && set -- "$@" -dict="$dict"
  before=$(ls "$artifacts" | wc -l)
  rc=0
  "$BUILD/bin/$t" "$@" "$corpus" >"$log" 2>&1 || rc=$?
  after=$(ls "$artifacts" | wc -l)
  # Figures from libFuzzer's closing lines.
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -n 1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  cov=$(echo "$last" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
  ft=$(echo "$last" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
  corp=$(echo "$last" | sed -n 's/.* corp: \([^ ]*\).*/\1/p')
  took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
  if [ "$rc" -ne 0 ] || [ "$after" -ne "$before" ]; then
    result="FINDING (exit $rc; see $log and $artifacts)"
    status=1
  else
    result="ok"
  fi
  printf 'fuzz %-18s execs=%s execs/s=%s cov=%s ft=%s corpus=%s time=%ss rss=%sMB %s\n' \
    "$t" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "${took:-?}" "${rss:-?}" "$result"
done
exit $status
