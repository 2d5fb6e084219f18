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
# check_initialization_order: static objects must not use others that are
#   not constructed yet.
supp="$root/scripts/sanitizers"
asan="detect_leaks=1:abort_on_error=1:halt_on_error=1:check_initialization_order=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1

# Three groups of test programs:
#  - plain: every check.
#  - web (they load QtWebEngine): Chromium inside it frees some of its own
#    objects with a sized delete of another type (new-delete-type-mismatch,
#    in libQt6WebEngineCore only); AddressSanitizer cannot scope that check
#    to one library, so these run without it. QtWebEngine is built without
#    RTTI, so UndefinedBehaviorSanitizer's vptr check takes every call on
#    one of its objects for a call on an object of the wrong type, and the
#    report comes from our code that makes the call: these programs run
#    without that check (scripts/sanitizers/ubsan-web.supp says more).
#    Every other check stays on.
#  - x11 (a real window on Xvfb, the end-to-end test): as web, and without
#    leak detection: on a real X server Qt loads Mesa's GL driver
#    (swrast_dri.so), which leaks at exit, and LeakSanitizer reports the
#    driver's frames under the test program's name, so no suppression can
#    name them. The same code runs with leak detection offscreen in app_tests.
web=(); x11=()
while IFS=$'\t' read -r name command; do
  program=
  for word in $command; do
    word=${word//\"/}
    case "$word" in */xvfb-run) continue ;; esac
    if [ -f "$word" ] && [ -x "$word" ]; then program=$word; break; fi
  done
  [ -n "$program" ] || continue
  dynamic=$(readelf -d "$program" 2>/dev/null || true)
  [[ $dynamic == *libQt6WebEngine* ]] || continue
  case "$command" in
    *xvfb-run*) x11+=("$name") ;;
    *) web+=("$name") ;;
  esac
done < <(ctest --test-dir "$build" -N -V |
         awk '/Test command:/ { sub(/^[0-9]+: Test command: /, ""); command = $0 }
              /^ +Test +#[0-9]+:/ { print $NF "\t" command }')
web=$(IFS='|'; echo "${web[*]}")
x11=$(IFS='|'; echo "${x11[*]}")
special=$(printf '%s\n' "$web" "$x11" | grep -v '^$' | paste -sd'|' -)
status=0
ASAN_OPTIONS="$asan" ctest --test-dir "$build" --output-on-failure -j2 ${special:+-E "^($special)\$"} "$@" || status=1
ubsan_web="$UBSAN_OPTIONS:suppressions=$supp/ubsan-web.supp"
if [ -n "$web" ]; then
  ASAN_OPTIONS="$asan:new_delete_type_mismatch=0" UBSAN_OPTIONS="$ubsan_web" ctest --test-dir "$build" --output-on-failure -j2 -R "^($web)\$" "$@" || status=1
fi
if [ -n "$x11" ]; then
  ASAN_OPTIONS="$asan:new_delete_type_mismatch=0:detect_leaks=0" UBSAN_OPTIONS="$ubsan_web" ctest --test-dir "$build" --output-on-failure -j2 -R "^($x11)\$" "$@" || status=1
fi
exit $status
