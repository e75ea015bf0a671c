#!/bin/sh
# Runs the shell blocks (```sh ... ```) of a documentation page one after the other in one shell,
# as a reader types them, from the repository's top folder, and fails at the first command that
# fails, so the page cannot drift from what the programs do.
#   doc-blocks.sh PAGE.md
# As root the blocks run in private network, mount and PID namespaces with their own /dev/shm and
# XDG_RUNTIME_DIR: the page's fixed ports meet no other service, and nothing the page starts
# outlives the run.
set -eu
cd "$(dirname "$0")/.."
PAGE="${1:?usage: doc-blocks.sh PAGE.md}"
[ -f "$PAGE" ] || { echo "doc-blocks: no page $PAGE"; exit 2; }

if [ -z "${QLN_DOC_INSIDE:-}" ] && [ "$(id -u)" = 0 ] &&
   unshare -n -m -p -f --mount-proc --kill-child true 2>/dev/null; then
  RUNTIME="$(mktemp -d /tmp/qln-doc-XXXXXX)"  # mode 0700, as a runtime folder must be
  trap 'rm -rf "$RUNTIME"' EXIT
  trap 'exit 130' INT TERM
  status=0
  QLN_DOC_INSIDE=1 XDG_RUNTIME_DIR="$RUNTIME" timeout 300 \
    unshare -n -m -p -f --mount-proc --kill-child \
    sh -c 'ip link set lo up && mount -t tmpfs tmpfs /dev/shm && exec sh scripts/doc-blocks.sh "$1"' sh "$PAGE" ||
    status=$?
  exit $status
fi
[ -n "${QLN_DOC_INSIDE:-}" ] || echo "doc-blocks: not root: the blocks run without private namespaces"

# The page's build/ is the build folder the caller chose.
BUILD_DIR="${QLN_BUILD_DIR:-build}"
SCRIPT="$(mktemp)"
trap 'rm -f "$SCRIPT"' EXIT
awk -v page="$PAGE" '
  /^```sh[ \t]*$/ { inside = 1; n++; printf "echo \"doc-blocks: block %d (%s:%d)\"\n", n, page, NR; next }
  /^```/ && inside { inside = 0; next }
  inside { print }
' "$PAGE" | sed "s|build/bin/|$BUILD_DIR/bin/|g" >"$SCRIPT"
if ! grep -q "^echo \"doc-blocks: block" "$SCRIPT"; then
  echo "doc-blocks: $PAGE has no sh blocks"
  exit 1
fi

# The page says how it gets its display; the caller's must not help it.
unset DISPLAY
status=0
sh -e "$SCRIPT" || status=$?
if [ $status = 0 ]; then
  echo "doc-blocks: every block of $PAGE ran"
else
  echo "doc-blocks: $PAGE failed with status $status in the block named last above"
fi
exit $status
