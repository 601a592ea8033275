#!/usr/bin/env bash
# Runs the filter on the bundled sample and draws the selection with the
# filter's output over it: docs/preview.svg, and docs/preview.png where
# rsvg-convert is installed (Debian: librsvg2-bin, fonts-noto-cjk).
# QXSEARCH=path/to/qxsearch uses that program instead of building one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${QXSEARCH:-}
if [ -z "$program" ]; then
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$root/build" -j2 --target qxsearch >/dev/null
  program="$root/build/qxsearch"
fi
[ -x "$program" ] || { echo "preview.sh: $program is not an executable" >&2; exit 1; }
program=$(realpath "$program")  # it runs in the scratch directory
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$root/samples/QXC_TEMP.TXT" "$scratch/QXC_TEMP.TXT"
(cd "$scratch" && "$program" "/Z$(printf '\x8c\x9f\x8d\xf5')")
python3 "$root/tools/preview.py" "$root/samples/QXC_TEMP.TXT" "$scratch/QXC_TEMP.TXT" -o "$root/docs/preview.svg"
if command -v rsvg-convert >/dev/null; then
  rsvg-convert -w 1400 "$root/docs/preview.svg" -o "$root/docs/preview.png"
  echo "wrote docs/preview.svg and docs/preview.png"
else
  echo "wrote docs/preview.svg (rsvg-convert not installed: no PNG)"
fi
