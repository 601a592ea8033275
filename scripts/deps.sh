#!/usr/bin/env bash
# Makes sure this Debian machine has what a purpose needs:
#   deps.sh demo   build and run the program (scripts/demo.sh)
#   deps.sh test   every test stage (scripts/test-all.sh)
# Run as root, it installs what is missing with apt-get; otherwise it names
# the packages to install and stops with status 1.
set -euo pipefail
purpose=${1:-test}
missing=()
# The 32-bit x86 and Windows stages run on x86 machines only.
arch=$(dpkg --print-architecture 2>/dev/null || uname -m)
x86=$([[ $arch == amd64 || $arch == x86_64 ]] && echo yes || echo no)
need_cmd() { command -v "$1" >/dev/null 2>&1 || missing+=("$2"); }
need_file() { compgen -G "$1" >/dev/null || missing+=("$2"); }

need_cmd cmake cmake
need_cmd g++ g++
need_cmd make make
need_cmd iconv libc-bin
if [ "$purpose" = test ]; then
  need_cmd python3 python3
  need_file /usr/include/gtest/gtest.h libgtest-dev
  need_file /usr/src/googletest/CMakeLists.txt googletest
  if [ "$x86" = yes ]; then
    # The 32-bit x86 build: its C++ library, and an emulator where the
    # kernel runs no 32-bit programs.
    echo 'int main() {}' | g++ -m32 -x c++ - -o /dev/null 2>/dev/null || missing+=(g++-multilib)
    need_cmd qemu-i386 qemu-user
    # The Windows builds and wine, which hands Japanese arguments over in
    # code page 932 under the ja_JP.UTF-8 locale.
    need_cmd x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64
    need_cmd i686-w64-mingw32-g++-posix g++-mingw-w64-i686
    need_file /usr/lib/wine/wine64 wine64
    need_file /usr/share/i18n/locales/ja_JP locales
  fi
  # The crash and fault tests, the fuzz targets.
  need_cmd strace strace
  need_cmd clang++ clang
  need_file "/usr/lib/llvm-*/lib/clang/*/lib/*/libclang_rt.fuzzer*.a" libclang-rt-dev
fi
locale_missing() { [ "$purpose" = test ] && [ "$x86" = yes ] && ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; }

if [ ${#missing[@]} -eq 0 ] && ! locale_missing; then exit 0; fi
if [ "$(id -u)" -ne 0 ]; then
  echo "This machine lacks what '$purpose' needs. As root, run:" >&2
  if [ ${#missing[@]} -gt 0 ]; then echo "  apt-get update && apt-get install -y ${missing[*]}" >&2; fi
  if locale_missing; then echo "  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8" >&2; fi
  echo "(or, as root, from this folder: bash scripts/deps.sh $purpose)" >&2
  exit 1
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if locale_missing; then localedef -i ja_JP -f UTF-8 ja_JP.UTF-8; fi
