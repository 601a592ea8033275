#!/usr/bin/env bash
# Builds and runs every test: the native build's unit and end-to-end tests,
# then the 32-bit x86 Linux build's where g++ builds 32-bit programs, then
# the Windows build's under wine where the cross tools are installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DQX_WERROR=ON >/dev/null
cmake --build "$root/build" -j2
ctest --test-dir "$root/build" --output-on-failure -j2

# The 32-bit x86 Linux build (cmake/toolchain-linux-i686.cmake): the whole
# suite runs the code paths of a 32-bit program (32-bit long and size_t, no
# 128-bit integer), as the 32-bit Windows program has them; natively where
# the kernel runs 32-bit programs, else under qemu-i386.
x86_32_build() {
  local probe
  probe=$(mktemp)
  if ! printf '#include <string>\nint main() { return int(std::string("a").size()) - 1; }\n' |
      g++ -m32 -x c++ - -o "$probe" 2>/dev/null; then
    rm -f "$probe"
    echo "32-bit x86 build skipped: g++ -m32 cannot build a C++ program (g++-multilib not installed)"
    return 0
  fi
  if ! "$probe" 2>/dev/null && ! command -v qemu-i386 >/dev/null; then
    rm -f "$probe"
    echo "32-bit x86 build skipped: this machine does not run 32-bit programs and qemu-user is not installed"
    return 0
  fi
  rm -f "$probe"
  if [ ! -f /usr/src/googletest/CMakeLists.txt ]; then
    echo "32-bit x86 build skipped: googletest (GoogleTest's sources) not installed"
    return 0
  fi
  local started=$SECONDS
  cmake -S "$root" -B "$root/build-x86" -DCMAKE_BUILD_TYPE=Release -DQX_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-linux-i686.cmake" >/dev/null
  cmake --build "$root/build-x86" -j2
  ctest --test-dir "$root/build-x86" --output-on-failure -j2
  echo "32-bit x86 stage: $((SECONDS - started)) s"
}
x86_32_build

# The Windows builds, where the MinGW-w64 cross compilers and wine64 are
# installed. The 64-bit build runs the whole suite under wine (the C
# runtime's own text mode, case-blind names, wildcard expansion, exit
# codes); the 32-bit build, the one the host runs and wine64 cannot, is
# compiled and linked without warnings, tests included.
windows_builds() {
  local missing=()
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64)
  command -v i686-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-i686)
  [ -x "${WINE64:-/usr/lib/wine/wine64}" ] || missing+=(wine64)
  [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
  locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8' || missing+=("the ja_JP.UTF-8 locale")
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Windows build skipped: ${missing[*]} not installed"
    return 0
  fi
  local started=$SECONDS arch
  for arch in x86_64:win64 i686:win32; do
    cmake -S "$root" -B "$root/build-${arch#*:}" -DCMAKE_BUILD_TYPE=Release -DQX_WERROR=ON \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-${arch%:*}.cmake" >/dev/null
    cmake --build "$root/build-${arch#*:}" -j2
  done
  ctest --test-dir "$root/build-win64" --output-on-failure -j2
  echo "Windows stage: $((SECONDS - started)) s"
}
windows_builds
