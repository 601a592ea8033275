#!/bin/sh
# Runs a 32-bit x86 Windows program under wine's 32-bit loader, in a 32-bit
# prefix of its own: wine-run.sh with WINE_BITS=32 (see there).
WINE_BITS=32 exec "$(dirname "$0")/wine-run.sh" "$@"
