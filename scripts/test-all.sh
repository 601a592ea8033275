#!/usr/bin/env bash
# Builds and runs every test, stage by stage, and ends with one summary:
#   native      the unit, end-to-end, crash, fault and bad-input tests
#   32-bit      the same suite built for 32-bit x86 Linux (32-bit long and
#               size_t, no 128-bit integer: the code paths of the 32-bit
#               Windows program), natively or under qemu-i386
#   Windows-64  the 64-bit Windows build's suite under wine
#   Windows-32  the same suite on the 32-bit Windows program, the one the
#               host runs, under wine's 32-bit loader
#   sanitizers  the native suite under AddressSanitizer and
#               UndefinedBehaviorSanitizer
#   fuzzing     each libFuzzer target for QX_FUZZ_SECONDS (default 60) s
# First scripts/deps.sh makes sure the machine has every package the stages
# need: run as root, it installs what is missing; otherwise it prints the
# command to run as root and this script stops. A stage is skipped only
# where this machine cannot do it at all (another processor architecture, a
# 32-bit program that runs neither natively nor under qemu-i386); its line
# then says NOT RUN with the reason, and the last line how many stages were
# skipped.
# Builds are quiet: only warnings and errors are shown.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if ! bash "$root/scripts/deps.sh" test; then
  echo "Nothing was tested: the packages above are missing. Install them, then run this command again." >&2
  exit 1
fi
logs="$root/build-logs"
rm -rf "$logs"
mkdir -p "$logs"
fuzz_seconds=${QX_FUZZ_SECONDS:-60}

# Configures and builds `dir` with the given options, showing warnings and
# errors only. Returns non-zero when the build failed.
build() {
  local name=$1 dir=$2
  shift 2
  if ! cmake -S "$root" -B "$root/$dir" -DCMAKE_BUILD_TYPE=Release -DQX_WERROR=ON -DQX_TESTS=ON "$@" \
      >"$logs/$name.build.log" 2>&1 ||
     ! cmake --build "$root/$dir" -j2 >>"$logs/$name.build.log" 2>&1; then
    echo "== $name: the build failed"
    grep -E -A4 "error|Error" "$logs/$name.build.log" | head -60
    return 1
  fi
  grep -E -A2 "warning:" "$logs/$name.build.log" || true
}

# Runs one stage: builds it, runs its tests and records their outcome.
stage() {
  local name=$1 dir=$2
  shift 2
  local started=$SECONDS
  echo "== $name"
  if build "$name" "$dir" "$@"; then
    ctest --test-dir "$root/$dir" -j2 --output-on-failure --output-junit "$logs/$name.xml" \
      --test-output-size-passed 1000000 --test-output-size-failed 1000000 \
      >"$logs/$name.ctest.log" 2>&1
  else
    echo "build failed" >"$logs/$name.broken"
  fi
  echo $((SECONDS - started)) >"$logs/$name.seconds"
}

skip() {
  echo "== $1: skipped ($2)"
  echo "$2" >"$logs/$1.skipped"
}

stage native build

# The 32-bit and Windows stages need an x86 machine: scripts/deps.sh asks
# for their packages there only.
arch=$(dpkg --print-architecture 2>/dev/null || uname -m)
x86=$([[ $arch == amd64 || $arch == x86_64 ]] && echo yes || echo no)

probe=$(mktemp)
if [ "$x86" = no ]; then
  skip 32-bit "this machine ($arch) builds and runs no 32-bit x86 program"
elif ! echo 'int main() {}' | g++ -m32 -x c++ - -o "$probe" 2>/dev/null ||
     ! { "$probe" 2>/dev/null || qemu-i386 "$probe" 2>/dev/null; }; then
  skip 32-bit "this machine runs no 32-bit x86 program, neither natively nor under qemu-i386"
else
  # QX_X86_32_RUNS=<path of qemu-i386> makes the stage run its programs
  # under qemu even where the kernel could run them.
  stage 32-bit build-x86 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-linux-i686.cmake" \
    ${QX_X86_32_RUNS:+-DQX_X86_32_RUNS="$QX_X86_32_RUNS"}
fi
rm -f "$probe"

if [ "$x86" = no ]; then
  skip Windows-64 "wine runs Windows programs on x86 machines only, not on this one ($arch)"
  skip Windows-32 "wine runs Windows programs on x86 machines only, not on this one ($arch)"
else
  stage Windows-64 build-win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake"
  # wine's 32-bit loader is a 32-bit Linux program: it starts where the
  # kernel runs those, by itself or through qemu-i386 (scripts/deps.sh).
  if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    skip Windows-32 "wine's 32-bit loader does not start: this kernel runs no 32-bit program, and qemu-i386 could not be registered with binfmt_misc"
  else
    stage Windows-32 build-win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake"
  fi
fi

# Optimised lightly, with line tables: fast enough to build and to run.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  stage sanitizers build-asan -DQX_SANITIZE=ON "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -g1"

fuzz() {
  local started=$SECONDS scratch t
  echo "== fuzzing, $fuzz_seconds s a target"
  if ! CXX=clang++ build fuzzing build-fuzz -DQX_TESTS=OFF -DQX_FUZZ=ON "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -g1"; then
    echo "build failed" >"$logs/fuzzing.broken"
    return
  fi
  scratch=$(mktemp -d)
  local pids=() targets=(pipeline match)
  for t in "${targets[@]}"; do
    mkdir -p "$scratch/$t"
    cp "$root/tests/fuzz/corpus/$t/"* "$scratch/$t/"
    "$root/build-fuzz/tests/fuzz/fuzz_$t" -max_total_time="$fuzz_seconds" -timeout=60 -rss_limit_mb=2048 \
      -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$root/build-fuzz/crash-$t-" \
      "$scratch/$t" >"$logs/fuzz-$t.log" 2>&1 &
    pids+=($!)
  done
  for i in "${!targets[@]}"; do
    if wait "${pids[$i]}"; then echo "fuzz_${targets[$i]}" >>"$logs/fuzzing.passed"
    else echo "fuzz_${targets[$i]}" >>"$logs/fuzzing.failed"; fi
  done
  rm -rf "$scratch"
  echo $((SECONDS - started)) >"$logs/fuzzing.seconds"
}
fuzz

python3 "$root/scripts/test_summary.py" "$logs" native 32-bit Windows-64 Windows-32 sanitizers fuzzing
