#!/usr/bin/env bash
# The checked runs: the whole test suite (unit, end-to-end, crash-safety,
# fault-injection, bad-input and fuzz-replay tests) built with
# AddressSanitizer and UndefinedBehaviorSanitizer, then each libFuzzer
# target for a bounded time. Needs strace and clang (with its fuzzer
# runtime); .ci/run installs them.
#
# Settings: QX_FUZZ_SECONDS (default 60) per fuzz target; the targets run
# side by side, one per core. New corpus entries stay in a scratch
# directory; a crash leaves its input in build-fuzz/ as crash-<target>-*,
# to be fixed and added to tests/fuzz/regressions/<target>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
asan="$root/build-asan"
fuzz="$root/build-fuzz"
seconds=${QX_FUZZ_SECONDS:-60}
figures="$asan/safety-figures.txt"

# Optimised lightly, with line tables: fast enough to build and to run.
flags=(-DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -g1" -DQX_WERROR=ON)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== sanitizer build and test suite"
cmake -S "$root" -B "$asan" "${flags[@]}" -DQX_SANITIZE=ON >/dev/null
cmake --build "$asan" -j2
rm -f "$figures"
QX_FIGURES="$figures" ctest --test-dir "$asan" --output-on-failure -j2

echo "== fuzz targets, ${seconds} s each"
CXX=clang++ cmake -S "$root" -B "$fuzz" "${flags[@]}" -DQX_TESTS=OFF -DQX_FUZZ=ON >/dev/null
cmake --build "$fuzz" -j2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
targets=(pipeline match)
pids=()
for t in "${targets[@]}"; do
  mkdir -p "$scratch/$t"
  cp "$root/tests/fuzz/corpus/$t/"* "$scratch/$t/"
  inputs=("$scratch/$t")
  if [ -d "$root/tests/fuzz/regressions/$t" ]; then inputs+=("$root/tests/fuzz/regressions/$t"); fi
  "$fuzz/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$fuzz/crash-$t-" \
    "${inputs[@]}" >"$fuzz/fuzz-$t.log" 2>&1 &
  pids+=($!)
done
passed=0
failed=0
for i in "${!targets[@]}"; do
  t=${targets[$i]}
  if wait "${pids[$i]}"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "fuzz_$t failed:"
    tail -n 60 "$fuzz/fuzz-$t.log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$fuzz/fuzz-$t.log")
  slowest=$(sed -n 's/^stat::slowest_unit_time_sec: *//p' "$fuzz/fuzz-$t.log")
  echo "fuzz_$t: ${runs:-?} executions in ${seconds} s, slowest input ${slowest:-?} s" >>"$figures"
done

echo "== figures"
cat "$figures"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
