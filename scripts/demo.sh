#!/usr/bin/env bash
# Builds the filter and runs it on the bundled sample selection in a scratch
# directory, searching for 検索, then shows the resulting exchange file
# (decoded from Shift-JIS for the terminal).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j2 --target qxsearch >/dev/null
scratch=$(mktemp -d)
cp "$root/samples/QXC_TEMP.TXT" "$scratch/"
search=$(printf '\x8c\x9f\x8d\xf5')  # 検索 in Shift-JIS, as the host passes it
(cd "$scratch" && "$root/build/qxsearch" "/Z$search")
echo "exit status: $?  (scratch copy: $scratch/QXC_TEMP.TXT)"
iconv -f CP932 -t UTF-8 "$scratch/QXC_TEMP.TXT" | tr -d '\r'
