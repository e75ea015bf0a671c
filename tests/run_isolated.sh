#!/bin/sh
# Runs one test process with a private loopback (the fixed service ports 28875 and 3000 are then
# its own) and a private /dev/shm (the single-instance guard's name is machine-wide otherwise).
# Needs root and util-linux's unshare; without them the test runs as it is.
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null 2>&1 && unshare -n -m true 2>/dev/null; then
  exec unshare -n -m sh -c 'ip link set lo up && mount -t tmpfs tmpfs /dev/shm && exec "$@"' sh "$@"
fi
exec "$@"
