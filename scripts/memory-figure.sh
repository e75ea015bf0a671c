#!/bin/sh
# Prints the resident memory of a running program and its largest mappings (from
# /proc/PID/smaps; shared libraries count in full, as they do in RSS). Target for the configuration
# program with its window open: <= 55 MiB.
#   memory-figure.sh PID [MAPPINGS]     (default: the 8 largest mappings)
set -eu
PID="${1:?usage: memory-figure.sh PID [MAPPINGS]}"
TOP="${2:-8}"
awk '/^VmRSS:/ { rss = $2 } /^RssAnon:/ { anon = $2 } END {
  printf "resident memory: %.1f MiB, of which %.1f MiB anonymous (target <= 55 MiB with the window open)\n",
         rss / 1024, anon / 1024 }' "/proc/$PID/status"
# Each mapping line starts with an address range; its sixth field names the file, if any.
awk '/^[0-9a-f]+-[0-9a-f]+ / { name = (NF >= 6) ? $6 : "[anonymous]"; sub(".*/", "", name) }
     /^Rss:/ { kib[name] += $2 }
     END { for (n in kib) printf "%d %s\n", kib[n], n }' "/proc/$PID/smaps" |
  sort -rn | head -n "$TOP" |
  awk '{ printf "  %6.1f MiB  %s\n", $1 / 1024, $2 }'
