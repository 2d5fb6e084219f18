#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ (or $ATLASDESK_ASAN_BUILD_DIR) and runs the whole test suite
# there, with its own private MariaDB server like scripts/test.sh.
# Any sanitizer report fails the test that produced it. Extra arguments go
# to ctest (e.g. -R xml_ to run a part).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
build=${ATLASDESK_ASAN_BUILD_DIR:-$root/build-asan}
flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined -O1 -g"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DATLASDESK_BUILD_BENCH=OFF
cmake --build "$build" -j"$(nproc)"

dbdir=$(mktemp -d /tmp/atlasdesk-asan-db.XXXXXX)
cleanup() { bash "$root/scripts/test-db.sh" stop "$dbdir" || true; rm -rf "$dbdir"; }
trap cleanup EXIT
eval "$(bash "$root/scripts/test-db.sh" start "$dbdir")"

# detect_leaks: our code leaks nothing; the suppressions name only leaks
#   inside third-party libraries (see the file for each one and why).
# abort_on_error / halt_on_error: the first report ends the test program
#   with a failure, so ctest shows it.
# strict_string_checks / check_initialization_order: stricter checks of
#   string functions and of static initialisation order.
supp="$root/scripts/sanitizers"
asan="detect_leaks=1:abort_on_error=1:halt_on_error=1:strict_string_checks=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$supp/ubsan.supp"
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1

# The test programs that load QtWebEngine. Chromium inside it frees some of
# its own objects with a sized delete of another type (new-delete-type-
# mismatch, in libQt6WebEngineCore only); AddressSanitizer cannot scope that
# check to one library, so these programs run without it and every other
# check stays on. The other programs run with all checks.
web=$(ctest --test-dir "$build" --show-only=json-v1 | python3 -c '
import json, os, subprocess, sys
names = []
for test in json.load(sys.stdin)["tests"]:
    for arg in test.get("command", []):
        if os.path.isfile(arg) and os.access(arg, os.X_OK):
            dynamic = subprocess.run(["readelf", "-d", arg], capture_output=True, text=True).stdout
            if "libQt6WebEngine" in dynamic:
                names.append(test["name"])
                break
print("|".join(names))')
status=0
if [ -n "$web" ]; then
  ASAN_OPTIONS="$asan" ctest --test-dir "$build" --output-on-failure -j2 -E "^($web)\$" "$@" || status=1
  ASAN_OPTIONS="$asan:new_delete_type_mismatch=0" ctest --test-dir "$build" --output-on-failure -j2 -R "^($web)\$" "$@" || status=1
else
  ASAN_OPTIONS="$asan" ctest --test-dir "$build" --output-on-failure -j2 "$@" || status=1
fi
exit $status
