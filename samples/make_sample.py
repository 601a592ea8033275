#!/usr/bin/env python3
"""Write samples/QXC_TEMP.TXT: a selection as the host would hand it over.

Search it for 検索 (option /Z検索). Of its ten texts seven contain 検索 once:
at the start, in the middle, at the end and as the whole text, in rotations
0, 90, 45, 180 and -30 degrees, in sizes 3, 5 and a free size, one of them in
group 1, whose scale is 2. Three do not: one holds 検 alone, one is mixed
Japanese and ASCII, one is ASCII only.

The file is written as Shift-JIS bytes with CR LF line ends.
"""

from pathlib import Path

SAMPLE = Path(__file__).resolve().parent / "QXC_TEMP.TXT"

HEADER = [
    "# sample selection for the text search filter: search with /Z検索",
    "# 検索テスト用の図面 (Shift-JIS, CR LF)",
    "hn 0 0 300 200",
    # group 0 keeps scale 1, group 1 draws twice as large
    "hs 1 2 1 1 1 1 1 1 1 1 1 1 1 1 1 1",
    # text sizes 1 to 10: width, height, spacing
    "hcw 2 2.5 3 3.5 4 5 6 7 8 10",
    "hch 2 2.5 3 3.5 4 5 6 7 8 10",
    "hcd 0.5 0.5 0.5 0.5 1 1 1 1 1 1",
    "lg0",
    "ly1",
    "lt1",
    "lc1",
    "pn1",
]

# a border inside the "hn" points and a strip for the drawing number
LINES = [
    (5, 5, 295, 5), (295, 5, 295, 195), (295, 195, 5, 195), (5, 195, 5, 5),
    (5, 40, 295, 40), (180, 5, 180, 40),
]

# (records that set size or group before the text, x, y, dx, dy, text)
TEXTS = [
    (["cn3"], 20, 170, "20 0", "検索結果の一覧"),          # 0 deg, 検索 at the start
    ([], 40, 60, "0 10", "全文検索"),                      # 90 deg, at the end
    (["cn5"], 80, 60, "7.07 7.07", "検索"),                # 45 deg, the whole text
    ([], 260, 130, "-20 0", "文字列を検索する"),           # 180 deg, in the middle
    (["cn0 4 4 1 1"], 150, 105, "17.32 -10", "ソフト検索ツール"),  # -30 deg, middle
    (["cn3"], 20, 20, "20 0", "図面番号 A-102"),           # no match
    ([], 120, 60, "20 0", "点検記録"),                     # 検 alone, no match
    (["cn2"], 190, 20, "20 0", "REV.3 2024-05"),           # ASCII only, no match
    (["lg1", "cn3"], 120, 150, "20 0", "文書検索"),        # scale 2, at the end
    (["lg0"], 190, 70, "20 0", "No.7 検索キー"),           # one-byte prefix, middle
]


def sample_lines():
    lines = list(HEADER)
    lines += [" %g %g %g %g" % line for line in LINES]
    for settings, x, y, direction, text in TEXTS:
        lines += settings
        lines.append(f'ch {x} {y} {direction} "{text}')
    return lines


def main():
    data = "".join(line + "\r\n" for line in sample_lines()).encode("cp932")
    SAMPLE.write_bytes(data)
    print(f"wrote {SAMPLE} ({len(data)} bytes)")


if __name__ == "__main__":
    main()
