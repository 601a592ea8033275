#!/usr/bin/env bash
# Builds the filter and runs it as the host would, on the bundled sample
# selection (samples/QXC_TEMP.TXT) in a scratch directory, searching for
# 検索; then shows the exchange file it wrote back, decoded from Shift-JIS,
# and explains it. The scratch directory goes at the end unless --keep is
# given.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
keep=false
[ "${1:-}" = --keep ] && keep=true
bash "$root/scripts/deps.sh" demo

echo "building the program (build/qxsearch) ..."
if ! { cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null &&
       cmake --build "$root/build" -j2 --target qxsearch >/dev/null; }; then
  echo "the build failed" >&2
  exit 1
fi
scratch=$(mktemp -d)
$keep || trap 'rm -rf "$scratch"' EXIT
cp "$root/samples/QXC_TEMP.TXT" "$scratch/"
search=$(printf '\x8c\x9f\x8d\xf5')  # 検索 in Shift-JIS, as the host passes it
status=0
(cd "$scratch" && "$root/build/qxsearch" "/Z$search") || status=$?

echo
echo "---- QXC_TEMP.TXT after the run (Shift-JIS shown as UTF-8) ----"
iconv -f CP932 -t UTF-8 "$scratch/QXC_TEMP.TXT" | tr -d '\r'
circles=$(grep -ac '^ci ' "$scratch/QXC_TEMP.TXT" || true)
echo "---- end of QXC_TEMP.TXT ----"
cat <<EOF

What you see: the program searched the 10 text elements of the sample for
検索 and wrote back what the host adds to the drawing:
  - the two "#" comment lines of the selection, passed back unchanged;
  - "ci x y r": a circle around the first character of the match in each
    text that contains 検索 ($circles circles; radius 2.5, or 5 in the group
    of scale 2);
  - "cn2" and seven "ch" text records: the report, with 一致した数 7
    (texts that matched) of 検索文字列数 10 (texts searched), of these
    1 exact, 1 prefix and 2 suffix matches;
  - "lt1", "lc4" and seven line records: the frame around the report;
  - "cn3", "lg0", "ly1", "lt1", "lc1", "pn1": the attributes the selection
    began with, restored for the host.
The texts of the selection themselves are not written back: the host keeps
them. docs/preview.png shows this drawing.

EOF
if [ "$status" -eq 0 ] && [ "$circles" -eq 7 ]; then
  echo "Success: exit status 0, 7 circles, the report counts 7 of 10."
else
  echo "Unexpected: exit status $status, $circles circles (expected 0 and 7)."
fi
if $keep; then echo "The scratch directory stays: $scratch"; fi
[ "$status" -eq 0 ] && [ "$circles" -eq 7 ]
