#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ (or
# $ATLASDESK_FUZZ_BUILD_DIR) and runs each for a fixed time, starting from
# the seeds in fuzz/corpus/<target>/ plus the demo server's metadata files
# and the shipped configuration. Prints the executions and the time of each
# target; a crash or a broken promise fails the script, and the input that
# caused it is kept in <build>/fuzz/crashes/.
#   scripts/fuzz.sh                 every target, 60 s each
#   FUZZ_SECONDS=600 scripts/fuzz.sh xml_paths classify
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ATLASDESK_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}
all_targets=(xml_paths xml_views base64 idrisi_env configuration classify)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

# The fuzzing tool chain is not needed by the normal build and tests, so it
# is installed here rather than by install-deps.sh.
bash "$root/scripts/install-deps.sh"
fuzz_packages=(clang libclang-rt-14-dev)
missing=()
for p in "${fuzz_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DATLASDESK_BUILD_FUZZ=ON -DATLASDESK_BUILD_TESTS=OFF -DATLASDESK_BUILD_BENCH=OFF
cmake --build "$build" --target atlasdesk_fuzz -j"$(nproc)"

out=$build/fuzz
mkdir -p "$out/crashes"
# Seeds that live elsewhere in the tree are gathered into the build folder
# (libFuzzer reads seed folders, not single files).
seeds=$out/seeds
rm -rf "$seeds"
mkdir -p "$seeds/xml_paths" "$seeds/xml_views" "$seeds/configuration"
find "$root/data/demo-server" -name '*.xml' -print0 |
  while IFS= read -r -d '' f; do
    name=$(printf '%s' "${f#"$root/"}" | tr '/' '_')
    cp "$f" "$seeds/xml_paths/$name"
    cp "$f" "$seeds/xml_views/$name"
  done
cp "$root/data/AtlasdeskView.ini.xml" "$seeds/configuration/"

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
declare -A executions elapsed verdict
failed=0
for t in "${targets[@]}"; do
  binary=$out/fuzz_$t
  [ -x "$binary" ] || { echo "no fuzz target '$t' (known: ${all_targets[*]})" >&2; exit 2; }
  work=$out/work/$t
  mkdir -p "$work"
  extra=()
  [ -d "$seeds/$t" ] && extra+=("$seeds/$t")
  log=$out/$t.log
  echo "== $t: ${seconds} s"
  start=$(date +%s.%N)
  set +e
  # -timeout: an input that runs longer than 10 s counts as a hang.
  # -rss_limit_mb: more than 2 GB of memory counts as runaway memory.
  "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$out/crashes/$t-" \
    "$work" "$root/fuzz/corpus/$t" "${extra[@]}" >"$log" 2>&1
  status=$?
  set -e
  end=$(date +%s.%N)
  executions[$t]=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  elapsed[$t]=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.0f", b - a }')
  if [ $status -eq 0 ]; then
    verdict[$t]="no crash"
  else
    verdict[$t]="FAILED (exit $status, see $log)"
    failed=1
    grep -E "broken promise|ERROR:|SUMMARY:|Test unit written" "$log" | head -5 || true
  fi
done

echo
printf '%-15s %14s %8s  %s\n' target executions seconds result
for t in "${targets[@]}"; do
  printf '%-15s %14s %8s  %s\n' "$t" "${executions[$t]:-?}" "${elapsed[$t]}" "${verdict[$t]}"
done
exit $failed
