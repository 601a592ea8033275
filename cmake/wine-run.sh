#!/bin/sh
# Runs a Windows executable (and its arguments) under wine, the way CMake's
# CMAKE_CROSSCOMPILING_EMULATOR and ctest call it:
#   wine-run.sh program.exe [args...]       a 64-bit program
#   wine32-run.sh program.exe [args...]     a 32-bit x86 program (WINE_BITS=32)
# The exit status of the Windows program is passed through (wine reports a
# Windows exit code modulo 256, so -1 arrives as 255).
#
# Settings (each may be overridden from the environment):
#   WINE_BITS   64 (default) or 32: which programs run, and with which loader
#   WINE_LOADER wine's loader, default /usr/lib/wine/wine64 (64) or
#               /usr/lib/wine/wine (32; a 32-bit Linux program, which a
#               kernel without 32-bit support hands to qemu-i386 through
#               binfmt_misc: scripts/deps.sh sets that up)
#   WINESERVER  wine's server, default /usr/lib/wine/wineserver64 (it serves
#               32-bit programs too, and runs without an emulator)
#   WINESERVER_PERSIST  seconds the server stays after the last program, default 10
#   WINEPREFIX  wine's private "C: drive", default $HOME/.wine-cross-tests
#               (64) or $HOME/.wine-cross-tests-32 (32; a 32-bit prefix);
#               kept between runs: creating it takes several seconds
# Fixed here:
#   LC_ALL=ja_JP.UTF-8  wine then uses code page 932 as the ANSI code page, so
#                       UTF-8 arguments reach the program as Shift-JIS bytes.
#                       Needs the locale: localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
#   WINEDEBUG=-all      no wine diagnostics mixed into the program's output.
set -eu

WINE_BITS="${WINE_BITS:-64}"
case "$WINE_BITS" in
64)
    WINE_LOADER="${WINE_LOADER:-/usr/lib/wine/wine64}"
    WINEPREFIX="${WINEPREFIX:-${HOME:-/tmp}/.wine-cross-tests}"
    machine=8664  # the PE header's machine field: x86-64
    ;;
32)
    WINE_LOADER="${WINE_LOADER:-/usr/lib/wine/wine}"
    WINEPREFIX="${WINEPREFIX:-${HOME:-/tmp}/.wine-cross-tests-32}"
    WINEARCH=win32
    export WINEARCH
    machine=014c  # i386
    ;;
*)
    echo "$0: WINE_BITS must be 64 or 32, not $WINE_BITS" >&2
    exit 2
    ;;
esac
WINESERVER="${WINESERVER:-/usr/lib/wine/wineserver64}"
WINEDEBUG=-all
LC_ALL=ja_JP.UTF-8
# No Mono or Gecko: a console program needs neither, and without this the
# first start would try to install them.
WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=;mshtml=}"
export WINEPREFIX WINESERVER WINEDEBUG LC_ALL WINEDLLOVERRIDES

if [ "$#" -eq 0 ]; then
    echo "usage: $0 program.exe [args...]" >&2
    exit 2
fi

# Only programs of this runner's kind run: a program of the other width
# could end at once with status 0 and no output (wine64 alone cannot start a
# 32-bit program), or run on the other loader, and either would pass for a
# test of the program this runner stands for. Refuse it.
pe_machine() {
    pe_offset=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    [ -n "$pe_offset" ] && od -An -tx2 -j$((pe_offset + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}
if [ ! -f "$1" ] || [ "$(pe_machine "$1")" != "$machine" ]; then
    echo "$0: $1 is not a $WINE_BITS-bit Windows program; only those run here" >&2
    exit 126
fi

# Everything before the program runs happens under a lock, so that parallel
# tests (ctest -j) neither race to set up a fresh prefix nor start two servers.
#
# The first wine process under a new server also starts wine's own background
# processes (services, devices), which inherit that process's output streams
# and live until the server ends. Were the program under test that first
# process, a caller reading its output through a pipe (ctest) would wait for
# them for seconds. So a new server is started here, kept a while after the
# last program ends, and booted by a process whose streams go to /dev/null.
# None of them may keep the lock's descriptor (9>&-): the server would hold
# the lock for as long as it runs.
mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$WINE_LOADER" wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
        "$WINESERVER" -w </dev/null >/dev/null 2>&1 9>&- || true
    fi
    # Ends at once with a non-zero status when a server is running already.
    if "$WINESERVER" -p"${WINESERVER_PERSIST:-10}" </dev/null >/dev/null 2>&1 9>&-; then
        "$WINE_LOADER" wineboot </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$WINEPREFIX.lock"

exec "$WINE_LOADER" "$@"
