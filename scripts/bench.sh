#!/usr/bin/env bash
# Installs what is needed, builds the benchmarks (Release) into build-bench/
# (or $ATLASDESK_BUILD_DIR), starts a private MariaDB server on loopback for
# the upload figure, runs every benchmark and prints one table. Exits
# non-zero when a target is missed. Arguments go to the driver, e.g.
#   scripts/bench.sh --only=listing,selection
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
# Made absolute: the driver runs from inside it.
build=$(realpath -m "${ATLASDESK_BUILD_DIR:-$root/build-bench}")
# -O2 rather than CMake's -O3: GCC 12 reports false -Wrestrict warnings on
# std::string code at -O3, and the build is meant to be free of warnings.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DATLASDESK_BUILD_TESTS=OFF -DATLASDESK_BUILD_BENCH=ON
cmake --build "$build" --target atlasdesk-bench -j"$(nproc)"

dbdir=$(mktemp -d /tmp/atlasdesk-bench-db.XXXXXX)
cleanup() { bash "$root/scripts/test-db.sh" stop "$dbdir" || true; rm -rf "$dbdir"; }
trap cleanup EXIT
eval "$(ATLASDESK_TEST_DB_PORT=${ATLASDESK_BENCH_DB_PORT:-33307} bash "$root/scripts/test-db.sh" start "$dbdir")"

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS=${QTWEBENGINE_CHROMIUM_FLAGS:---disable-gpu --no-sandbox}
cd "$build"
# The driver's progress and the page renderer's notices go to stderr; the
# table goes to stdout.
status=0
"$build/bin/atlasdesk-bench" "$@" || status=$?
exit "$status"
