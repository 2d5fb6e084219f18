#!/usr/bin/env bash
# Configures and builds Atlasdesk into build/ (or $ATLASDESK_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ATLASDESK_BUILD_DIR:-$root/build}
type=${ATLASDESK_BUILD_TYPE:-RelWithDebInfo}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@"
cmake --build "$build" -j"$(nproc)"
