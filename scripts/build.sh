#!/bin/sh
# Configures and builds into build/ (or $QLN_BUILD_DIR) with the given preset-like options.
set -eu
cd "$(dirname "$0")/.."
sh scripts/deps.sh
BUILD_DIR="${QLN_BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="${QLN_BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)"
