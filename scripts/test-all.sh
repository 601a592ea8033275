#!/usr/bin/env bash
# Builds and runs every test, stage by stage, and ends with one summary:
#   native      the unit, end-to-end, crash, fault and bad-input tests
#   32-bit      the same suite built for 32-bit x86 Linux (32-bit long and
#               size_t, no 128-bit integer: the code paths of the 32-bit
#               Windows program), natively or under qemu-i386
#   Windows     the 64-bit Windows build's suite under wine; the 32-bit
#               Windows program, the one the host runs, compiled and linked
#   sanitizers  the native suite under AddressSanitizer and
#               UndefinedBehaviorSanitizer
#   fuzzing     each libFuzzer target for QX_FUZZ_SECONDS (default 60) s
# Builds are quiet: only warnings and errors are shown. A stage whose tools
# are missing is skipped with the reason (scripts/deps.sh installs them).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
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

probe=$(mktemp)
if ! echo 'int main() {}' | g++ -m32 -x c++ - -o "$probe" 2>/dev/null; then
  skip 32-bit "g++ -m32 cannot build a C++ program: g++-multilib is not installed"
elif ! "$probe" 2>/dev/null && ! command -v qemu-i386 >/dev/null; then
  skip 32-bit "this machine runs no 32-bit program and qemu-user is not installed"
else
  stage 32-bit build-x86 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-linux-i686.cmake"
fi
rm -f "$probe"

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || ! command -v i686-w64-mingw32-g++-posix >/dev/null ||
   [ ! -x /usr/lib/wine/wine64 ] || ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
  skip Windows "the MinGW-w64 compilers, wine64 or the ja_JP.UTF-8 locale are not installed"
else
  stage Windows build-win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake"
  started=$SECONDS
  build Windows-32 build-win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" ||
    echo "the 32-bit Windows program failed to build" >"$logs/Windows.broken"
  echo $(($(cat "$logs/Windows.seconds") + SECONDS - started)) >"$logs/Windows.seconds"
fi

if ! command -v strace >/dev/null; then
  skip sanitizers "strace is not installed"
else
  # Optimised lightly, with line tables: fast enough to build and to run.
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    stage sanitizers build-asan -DQX_SANITIZE=ON "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -g1"
fi

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
    "$root/build-fuzz/tests/fuzz/fuzz_$t" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
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
if ! command -v clang++ >/dev/null ||
   ! compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null; then
  skip fuzzing "clang with its fuzzer runtime (libclang-rt-dev) is not installed"
else
  fuzz
fi

python3 "$root/scripts/test_summary.py" "$logs" native 32-bit Windows sanitizers fuzzing
