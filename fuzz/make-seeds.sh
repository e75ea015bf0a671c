#!/bin/sh
# Rebuilds the seed corpora in fuzz/corpus/ from the repository's fixtures (the recorded touch
# stream, Data/*.xml, the simulated service's replies). Needs a configured build-fuzz (see
# docs/fuzzing.md); scripts/fuzz.sh configures one.
#   sh fuzz/make-seeds.sh [build-dir]
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build-fuzz}
cmake --build "$build" --target fuzz_seedgen -j2 >/dev/null
out="$repo/fuzz/corpus"
rm -rf "$out.new"
mkdir -p "$out.new"
"$build/bin/fuzz_seedgen" "$repo" "$out.new"
rm -rf "$out"
mv "$out.new" "$out"
for d in "$out"/*; do
  echo "$(basename "$d"): $(ls "$d" | wc -l) files, $(du -sk "$d" | cut -f1) KiB"
done
