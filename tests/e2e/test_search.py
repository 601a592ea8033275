"""The text search: match classes and counters, Shift-JIS characters kept
whole, and the circle placed around the first matched character."""

import unittest
from pathlib import Path

from qxrun import (DEFAULT_CLOSING, EXCHANGE, RunCase, centre, circle, lines_file,
                   report)

SAMPLE = Path(__file__).resolve().parents[2] / "samples" / "QXC_TEMP.TXT"


class MatchClasses(RunCase):
    # Size 1 is 2 wide with no height or spacing, so a circle sits
    # f_head + 1 along its text: x tells which byte the match starts at.
    SETTINGS = ["hn 0 0 1000 1000", "hcw 2 0 0 0 0 0 0 0 0 0"]

    CASES = [
        # (arguments, [(text, f_head of the circle or None)], (match, exact, prefix, suffix))
        (["/Zabc"], [("abc", 0), ("abcd", 0), ("xabc", 1), ("xabcx", 1), ("ab", None),
                     ("xyz", None), ("ABC", None)], (4, 1, 1, 1)),
        (["/Za"], [("a", 0), ("ab", 0), ("ba", 1), ("bab", 1), ("b", None)], (4, 1, 1, 1)),
        (["/Zab"], [("abab", 0), ("aab", 1), ("abXab", 0), ("xaby", 1), ("ba", None)],
         (4, 0, 2, 1)),
        # the leftmost occurrence counts, also where the scan's restart
        # misses it: "aaab" is a suffix match, "aaabaab" only a match
        (["/Zaab"], [("xaab", 1), ("aabaab", 0), ("aaab", 1), ("aaabaab", 1)], (4, 0, 1, 2)),
        (["/Z検索"], [("検索", 0), ("検索文字", 0), ("全文検索", 4), ("点検記録", None),
                      ("検検索", 2), ("ab検索cd", 2), ("検", None)], (5, 1, 1, 2)),
        # a search byte never matches the second byte of a two-byte character
        (["/Z\\"], [("ソ", None), ("表", None), ("ソ\\", 2)], (1, 0, 0, 1)),
        (["/Z@"], [("　", None), ("＠", None), ("a@", 1)], (1, 0, 0, 1)),
        (["/ZA"], [("ア", None), ("アA", 2)], (1, 0, 0, 1)),
        (["/Z沚"], [("検索", None), ("沚", 0)], (1, 1, 0, 0)),   # 0x9F 0x8D straddles 検索
        (["/Zｱ"], [("ｱｲｳ", 0), ("ｱ", 0), ("ア", None)], (2, 1, 1, 0)),
        # the search looks at the first 231 bytes of a text
        (["/Zabc"], [("x" * 228 + "abc", 228), ("x" * 229 + "abc", None)], (1, 0, 0, 1)),
        (["/Z"], [("abc", None), ("", None)], (0, 0, 0, 0)),
        ([], [("abc", None), ("", None)], (0, 0, 0, 0)),
    ]

    def test_match_classes(self):
        for args, texts, counts in self.CASES:
            with self.subTest(args=args, texts=[t for t, _ in texts]):
                given = self.SETTINGS + [f'ch 0 {10 * i} 10 0 "{text}'
                                         for i, (text, _) in enumerate(texts)]
                circles = [circle(f_head + 1, 10 * i, 2.5)
                           for i, (_, f_head) in enumerate(texts) if f_head is not None]
                search = args[0][2:] if args else ""
                out = circles + report(1000, 1000, search, counts, len(texts)) + DEFAULT_CLOSING
                self.check({EXCHANGE: lines_file(given)}, args, expect={EXCHANGE: lines_file(out)})


class CirclePlacement(RunCase):
    def test_circles_follow_direction_size_and_scale(self):
        # size 1: width 3, height 3, spacing 0.5; group 1 draws at scale 2
        given = ["hn 0 0 500 500",
                 "hs 1 2 1 1 1 1 1 1 1 1 1 1 1 1 1 1",
                 "hcw 3 0 0 0 0 0 0 0 0 0",
                 "hch 3 0 0 0 0 0 0 0 0 0",
                 "hcd 0.5 0 0 0 0 0 0 0 0 0",
                 'ch 100 50 20 0 "検索',
                 'ch 100 50 20 0 "全文検索',
                 'ch 100 50 0 0 "検索',
                 'ch 100 50 -0 -0 "検索',
                 'ch 100 50 -20 0 "検索',
                 "lg1",
                 'ch 100 50 0 10 "検索',
                 "lg0"]
        out = ["ci 101.750000000000 51.500000000000 2.500000000000 ",
               "ci 108.750000000000 51.500000000000 2.500000000000 ",
               "ci 101.750000000000 51.500000000000 2.500000000000 ",   # (0, 0) runs along x
               "ci 101.750000000000 51.500000000000 2.500000000000 ",   # so does (-0, -0)
               "ci 98.250000000000 48.500000000000 2.500000000000 ",    # upside down
               "ci 97.000000000000 53.500000000000 5.000000000000 ",    # straight up, scale 2
               ] + report(500, 500, "検索", (6, 5, 0, 1), 6) + ["lg1", "ly14", "lt20", "lc20"]
        self.check({EXCHANGE: lines_file(given)}, ["/Z検索"], expect={EXCHANGE: lines_file(out)})

    def test_sizes_out_of_range_place_at_the_start_point(self):
        # text size 12 and group 0x1a have no table entries: sizes 0, scale 1
        given = ["hn 0 0 500 500", "hcw 3 3 3 3 3 3 3 3 3 3", "hch 3 3 3 3 3 3 3 3 3 3",
                 "cn12", 'ch 10 20 5 0 "ab', "cn1", "lg1a", 'ch 30 40 5 0 "xab']
        out = ([circle(10, 20, 2.5), circle(30 + 3, 40 + 1.5, 2.5)]
               + report(500, 500, "ab", (2, 1, 0, 1), 2, w2=3)
               + ["lg1a", "ly14", "lt20", "lc20"])
        self.check({EXCHANGE: lines_file(given)}, ["/Zab"], expect={EXCHANGE: lines_file(out)})


# The sample's texts in order: (x, y, dx, dy, (w, h, d), scale). Size 2:
# 2.5 / 2.5 / 0.5, size 3: 3 / 3 / 0.5, size 5: 4 / 4 / 1, free size
# ("cn0 4 4 1 1"): 4 / 4 / 1; group 1 has scale 2.
SIZE2, SIZE3, SIZE5, FREE = (2.5, 2.5, 0.5), (3, 3, 0.5), (4, 4, 1), (4, 4, 1)
SAMPLE_TEXTS = [
    (20, 170, 20, 0, SIZE3, 1),          # 検索結果の一覧
    (40, 60, 0, 10, SIZE3, 1),           # 全文検索: 90 degrees
    (80, 60, 7.07, 7.07, SIZE5, 1),      # 検索: 45 degrees
    (260, 130, -20, 0, SIZE5, 1),        # 文字列を検索する: 180 degrees
    (150, 105, 17.32, -10, FREE, 1),     # ソフト検索ツール: -30 degrees
    (20, 20, 20, 0, SIZE3, 1),           # 図面番号 A-102
    (120, 60, 20, 0, SIZE3, 1),          # 点検記録
    (190, 20, 20, 0, SIZE2, 1),          # REV.3 2024-05
    (120, 150, 20, 0, SIZE3, 2),         # 文書検索: group 1
    (190, 70, 20, 0, SIZE3, 1),          # No.7 検索キー
]


def sample_output(search, found, counts):
    """The sample searched: `found` maps the index of each matched text to
    the first byte of its match. The texts stay inside the "hn" corner, so
    the report hangs there."""
    circles = []
    for i, (x, y, dx, dy, (w, h, d), scale) in enumerate(SAMPLE_TEXTS):
        if i in found:
            circles.append(circle(*centre(x, y, dx, dy, found[i], w, h, d, scale), 2.5 * scale))
    out = (["# sample selection for the text search filter: search with /Z検索",
            "# 検索テスト用の図面 (Shift-JIS, CR LF)"]
           + circles
           + report(300, 200, search, counts, len(SAMPLE_TEXTS), w2=2.5, d2=0.5)
           + ["cn3", "lg0", "ly1", "lt1", "lc1", "pn1"])
    return lines_file(out)


class SampleDrawing(RunCase):
    """The bundled sample selection searched for 検索."""

    def test_sample_searched_for_kensaku(self):
        # prefix, suffix, exact, inside, inside, -, -, -, suffix, inside
        found = {0: 0, 1: 4, 2: 0, 3: 8, 4: 6, 8: 4, 9: 5}
        self.check({EXCHANGE: SAMPLE.read_bytes()}, ["/Z検索"],
                   expect={EXCHANGE: sample_output("検索", found, (7, 1, 1, 2))})


if __name__ == "__main__":
    unittest.main()
