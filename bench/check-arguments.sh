#!/bin/sh
# The benchmarks' command lines: --help on standard output with status 0, a bad argument named on
# standard error with status 2, before anything is measured.
#   check-arguments.sh BIN_DIR
BIN="${1:?usage: check-arguments.sh BIN_DIR}"
OUT="$(mktemp -d)"
trap 'rm -rf "$OUT"' EXIT
failed=0
# program | argument(s) | status | text expected on standard output (status 0) or error (status 2)
while IFS='|' read -r program args status text; do
  [ -n "$program" ] || continue
  # shellcheck disable=SC2086 # the arguments are split on purpose
  "$BIN/$program" $args >"$OUT/out" 2>"$OUT/err"
  got=$?
  if [ "$status" = 0 ]; then stream="$OUT/out"; else stream="$OUT/err"; fi
  if [ "$got" != "$status" ] || ! grep -qF -- "$text" "$stream"; then
    echo "FAIL: $program $args: status $got (want $status), looked for '$text' in:"; cat "$stream"
    failed=1
  else
    echo "ok: $program $args -> $got"
  fi
done <<'CASES'
rpc_roundtrip_bench|--help|0|starts itself on a free loopback port
rpc_roundtrip_bench|0|2|ROUNDS must be a whole number 1..10000000, not '0'
rpc_roundtrip_bench|-5|2|not '-5'
rpc_roundtrip_bench|abc|2|not 'abc'
rpc_roundtrip_bench|10 20|2|one argument at most
tuio_reader_bench|--help|0|from a loopback peer that it starts itself
tuio_reader_bench|-5|2|unknown option '-5'
tuio_reader_bench|abc|2|cannot read 'abc'
tuio_reader_bench|/dev/null|2|no NUL-terminated packets in '/dev/null'
tuio_reader_bench|a b|2|one argument at most
CASES
exit $failed
