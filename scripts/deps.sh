#!/usr/bin/env bash
# Makes sure this Debian machine has what a purpose needs:
#   deps.sh demo   build and run the program (scripts/demo.sh)
#   deps.sh test   every test stage (scripts/test-all.sh)
# Run as root, it installs what is missing and says what it did in one
# line; run again, it changes nothing. Run as another user, it prints the
# commands to run as root and stops with status 1.
#
# On x86 machines the test stages also run 32-bit programs: the 32-bit x86
# Linux build, and wine's 32-bit loader for the 32-bit Windows program. A
# kernel without 32-bit support hands them to qemu-i386 through
# binfmt_misc. That qemu must be version 10 or later: older ones spend most
# of a minute finding memory for each start of a 32-bit wine program. It
# is Debian 13's (statically linked, depends on nothing), fetched through
# a private apt configuration that leaves the machine's own sources alone,
# and installed as /usr/local/bin/qemu-i386. A machine where binfmt_misc
# cannot be set up is not refused here: the 32-bit Windows stage then says
# NOT RUN with the reason.
set -euo pipefail
purpose=${1:-test}
missing=()
done_what=()
arch=$(dpkg --print-architecture 2>/dev/null || uname -m)
x86=$([[ $arch == amd64 || $arch == x86_64 ]] && echo yes || echo no)
qemu=/usr/local/bin/qemu-i386
wine32=/usr/lib/wine/wine
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
    # The 32-bit x86 build: its C++ library.
    echo 'int main() {}' | g++ -m32 -x c++ - -o /dev/null 2>/dev/null || missing+=(g++-multilib)
    # The Windows builds and wine, which hands Japanese arguments over in
    # code page 932 under the ja_JP.UTF-8 locale.
    need_cmd x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64
    need_cmd i686-w64-mingw32-g++-posix g++-mingw-w64-i686
    need_file /usr/lib/wine/wine64 wine64
    need_file "$wine32" wine32:i386
    need_file /usr/share/i18n/locales/ja_JP locales
  fi
  # The crash and fault tests, the fuzz targets.
  need_cmd strace strace
  need_cmd clang++ clang
  need_file "/usr/lib/llvm-*/lib/clang/*/lib/*/libclang_rt.fuzzer*.a" libclang-rt-dev
fi
wants_x86_32() { [ "$purpose" = test ] && [ "$x86" = yes ]; }
locale_missing() { wants_x86_32 && ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; }
qemu_missing() {
  wants_x86_32 || return 1
  local major
  major=$("$qemu" --version 2>/dev/null | sed -n '1s/.*version \([0-9]*\)\..*/\1/p')
  [ "${major:-0}" -lt 10 ]
}
# Whether this kernel runs 32-bit x86 programs, by itself or through
# binfmt_misc: wine's 32-bit loader answers its version.
runs_x86_32() { "$wine32" --version >/dev/null 2>&1; }
binfmt_missing() { wants_x86_32 && [ -x "$wine32" ] && ! runs_x86_32; }

if [ ${#missing[@]} -eq 0 ] && ! locale_missing && ! qemu_missing && ! binfmt_missing; then exit 0; fi
if [ "$(id -u)" -ne 0 ]; then
  echo "This machine lacks what '$purpose' needs. As root, run:" >&2
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then echo "  dpkg --add-architecture i386" >&2; fi
  if [ ${#missing[@]} -gt 0 ]; then echo "  apt-get update && apt-get install -y ${missing[*]}" >&2; fi
  if locale_missing; then echo "  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8" >&2; fi
  if qemu_missing; then
    echo "  (qemu-i386 10 or later as $qemu: Debian 13's qemu-user, fetched by this script)" >&2
  fi
  if wants_x86_32; then
    echo "  (where 32-bit programs do not run: qemu-i386 registered with binfmt_misc, done by this script)" >&2
  fi
  echo "(or, as root, from this folder: bash scripts/deps.sh $purpose)" >&2
  exit 1
fi

# Debian 13's qemu-i386, fetched from the same archive as the machine's
# own Debian packages, into $qemu.
fetch_qemu() {
  local work uri
  work=$(mktemp -d)
  uri=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  [ -n "$uri" ] || uri=$(awk '$1 == "deb" { print ($2 ~ /^\[/ ? $3 : $2); exit }' /etc/apt/sources.list 2>/dev/null)
  mkdir -p "$work/sources" "$work/lists/partial" "$work/cache/archives/partial" "$work/deb"
  printf 'Types: deb\nURIs: %s\nSuites: trixie\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$uri" >"$work/sources/trixie.sources"
  local apt=(apt-get -qq -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/sources"
             -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache" -o APT::Architectures=amd64
             -o APT::Sandbox::User=root)
  "${apt[@]}" update >/dev/null &&
    (cd "$work/deb" && "${apt[@]}" download qemu-user >/dev/null) &&
    dpkg -x "$work"/deb/qemu-user_*.deb "$work/x" &&
    install -m 755 "$work/x/usr/bin/qemu-i386" "$qemu"
  local fetched=$?
  rm -rf "$work"
  return $fetched
}

# Hands 32-bit x86 programs to $qemu (flag F: the kernel opens it now, so it
# serves in every mount namespace).
register_binfmt() {
  local dir=/proc/sys/fs/binfmt_misc
  [ -e "$dir/register" ] || mount -t binfmt_misc binfmt_misc "$dir" 2>/dev/null || return 1
  [ ! -e "$dir/qemu-i386" ] || echo -1 >"$dir/qemu-i386" || return 1
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':F' \
    >"$dir/register" 2>/dev/null && runs_x86_32
}

if [ ${#missing[@]} -gt 0 ]; then
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  done_what+=("installed ${missing[*]}")
fi
if locale_missing; then
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
  done_what+=("made the ja_JP.UTF-8 locale")
fi
if qemu_missing; then
  if fetch_qemu; then done_what+=("installed $("$qemu" --version | head -1) as $qemu")
  else done_what+=("could not fetch qemu-i386 10 (the 32-bit Windows stage will not run)"); fi
fi
if binfmt_missing; then
  if [ -x "$qemu" ] && register_binfmt; then done_what+=("registered $qemu with binfmt_misc for 32-bit programs")
  else done_what+=("could not register qemu-i386 with binfmt_misc (the 32-bit Windows stage will not run)"); fi
fi
summary=$(printf '%s; ' "${done_what[@]}")
echo "deps.sh: ${summary%; }"
