#!/bin/sh
# Runs one test process with a private loopback, so that the fixed service ports 28875 and 3000 are
# its own. Needs root and util-linux's unshare; without them the test runs as it is.
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null 2>&1 && unshare -n true 2>/dev/null; then
  exec unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$@"
fi
exec "$@"
