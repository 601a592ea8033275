"""The result report block: its records, its placement beside the "hn"
points and the searched texts, its counts and its search line."""

import unittest

from qxrun import DEFAULT_CLOSING, EXCHANGE, RunCase, circle, lines_file, report


class ReportBlock(RunCase):
    def test_empty_exchange_file_gets_the_full_block(self):
        out = [
            "cn2 ",
            'ch 10.000000000 -10.000000000 3 0 "^!■■■ 検索結果 ■■■', "",
            'ch 10.000000000 -15.000000000 3 0 "検索文字：[  ]', "",
            'ch 10.000000000 -20.000000000 3 0 "一致した数：＜ 0 ＞  ／検索文字列数：＜ 0 ＞', "",
            'ch 10.000000000 -25.000000000 3 0 "　うち完全一致：＜0＞', "",
            'ch 10.000000000 -30.000000000 3 0 "　うち前方一致：＜0＞', "",
            'ch 10.000000000 -35.000000000 3 0 "　うち後方一致：＜0＞', "",
            'ch 10.000000000 -40.000000000 3 0 "注：一文字列の中の最初の一致のみカウントしてます ', "",
            "lt1 ",
            "lc4 ",
            " 5.000000000000 0.000000000000 0.000000000000 0.000000000000 ",
            " 0.000000000000 0.000000000000 0.000000000000 -47.500000000000 ",
            " 0.000000000000 -47.500000000000 5.000000000000 -47.500000000000 ",
            " 5.000000000000 -47.500000000000 5.000000000000 -12.500000000000 ",
            " 5.000000000000 -12.500000000000 0.000000000000 -10.000000000000 ",
            " 0.000000000000 -10.000000000000 5.000000000000 -7.500000000000 ",
            " 5.000000000000 -7.500000000000 5.000000000000 0.000000000000 ",
            "lg14",
            "ly14",
            "lt20",
            "lc20",
        ]
        self.check({EXCHANGE: b""}, expect={EXCHANGE: lines_file(out)})

    def test_comments_and_bz_lines_only_are_copied_before_the_report(self):
        given = ["# コメント行", "bz 1 2 3", "b1 dropped", '# "quoted" 記号 ソ表',
                 "bzzz", "z dropped", "pt 1 2"]
        copied = ["# コメント行", "bz 1 2 3", '# "quoted" 記号 ソ表', "bzzz"]
        self.check({EXCHANGE: lines_file(given)},
                   expect={EXCHANGE: lines_file(copied + report(0, 0) + DEFAULT_CLOSING)})

    def test_anchor_from_hn_points_and_text_maxima(self):
        # "hn" spans (0, 0)-(200, 100); the text (size 1 all zero) moves the
        # maxima to 130 + 20 = 150 and 120: the anchor is (200, 120).
        given = ["hn 0 0 200 100",
                 "hcw 0 3 0 0 0 0 0 0 0 0",
                 "hcd 0 0.5 0 0 0 0 0 0 0 0",
                 'ch 130 120 20 0 "無関係な文字']
        out = [
            "cn2 ",
            'ch 210.000000000 110.000000000 3 0 "^!■■■ 検索結果 ■■■', "",
            'ch 210.000000000 105.000000000 3 0 "検索文字：[ xyz ]', "",
            'ch 210.000000000 100.000000000 3 0 "一致した数：＜ 0 ＞  ／検索文字列数：＜ 1 ＞', "",
            'ch 210.000000000 95.000000000 3 0 "　うち完全一致：＜0＞', "",
            'ch 210.000000000 90.000000000 3 0 "　うち前方一致：＜0＞', "",
            'ch 210.000000000 85.000000000 3 0 "　うち後方一致：＜0＞', "",
            'ch 210.000000000 80.000000000 3 0 "注：一文字列の中の最初の一致のみカウントしてます ', "",
            "lt1 ",
            "lc4 ",
            " 205.000000000000 120.000000000000 308.500000000000 120.000000000000 ",
            " 308.500000000000 120.000000000000 308.500000000000 72.500000000000 ",
            " 308.500000000000 72.500000000000 205.000000000000 72.500000000000 ",
            " 205.000000000000 72.500000000000 205.000000000000 107.500000000000 ",
            " 205.000000000000 107.500000000000 200.000000000000 110.000000000000 ",
            " 200.000000000000 110.000000000000 205.000000000000 112.500000000000 ",
            " 205.000000000000 112.500000000000 205.000000000000 120.000000000000 ",
        ] + DEFAULT_CLOSING
        self.check({EXCHANGE: lines_file(given)}, ["/Zxyz"], expect={EXCHANGE: lines_file(out)})

    def test_anchor_from_text_maxima_alone(self):
        # No "hn" record; sizes all zero, so each circle sits at its text's
        # start. Ten texts at (10i, 3i) running along (10, 0), three match:
        # the maxima are x 90 + 10 = 100 and y 27.
        texts = ["ab", "abx", "xab", "a", "b", "ba", "xyz", "AB", "ａｂ", ""]
        given = [f'ch {10 * i} {3 * i} 10 0 "{t}' for i, t in enumerate(texts)]
        circles = [circle(0, 0, 2.5), circle(10, 3, 2.5), circle(20, 6, 2.5)]
        block = report(100, 27, "ab", counts=(3, 1, 1, 1), searched=10)
        self.assertIn(b'"' + "一致した数：＜ 3 ＞  ／検索文字列数：＜ 10 ＞".encode("cp932"),
                      block[5])
        self.check({EXCHANGE: lines_file(given)}, ["/Zab"],
                   expect={EXCHANGE: lines_file(circles + block + DEFAULT_CLOSING)})

    def test_negative_texts_leave_the_anchor_at_the_origin(self):
        given = ['ch -50 -40 10 5 "ab']
        self.check({EXCHANGE: lines_file(given)}, ["/Zab"],
                   expect={EXCHANGE: lines_file([circle(-50, -40, 2.5)]
                                                + report(0, 0, "ab", (1, 1, 0, 0), 1)
                                                + DEFAULT_CLOSING)})

    def test_group_scale_two_doubles_every_distance(self):
        given = ["hn 0 0 100 50",
                 "hs 1 2 1 1 1 1 1 1 1 1 1 1 1 1 1 1",
                 "hcw 2 3 0 0 0 0 0 0 0 0",
                 "hcd 0 0.5 0 0 0 0 0 0 0 0",
                 "lg1",
                 'ch 10 10 10 0 "ab']
        out = [
            # size 1 (width 2) at scale 2: half a pitch of 4 along the text
            "ci 12.000000000000 10.000000000000 5.000000000000 ",
            "cn2 ",
            'ch 120.000000000 30.000000000 3 0 "^!■■■ 検索結果 ■■■', "",
            'ch 120.000000000 20.000000000 3 0 "検索文字：[ ab ]', "",
            'ch 120.000000000 10.000000000 3 0 "一致した数：＜ 1 ＞  ／検索文字列数：＜ 1 ＞', "",
            'ch 120.000000000 0.000000000 3 0 "　うち完全一致：＜1＞', "",
            'ch 120.000000000 -10.000000000 3 0 "　うち前方一致：＜0＞', "",
            'ch 120.000000000 -20.000000000 3 0 "　うち後方一致：＜0＞', "",
            'ch 120.000000000 -30.000000000 3 0 "注：一文字列の中の最初の一致のみカウントしてます ', "",
            "lt1 ",
            "lc4 ",
            " 110.000000000000 50.000000000000 317.000000000000 50.000000000000 ",
            " 317.000000000000 50.000000000000 317.000000000000 -45.000000000000 ",
            " 317.000000000000 -45.000000000000 110.000000000000 -45.000000000000 ",
            " 110.000000000000 -45.000000000000 110.000000000000 25.000000000000 ",
            " 110.000000000000 25.000000000000 100.000000000000 30.000000000000 ",
            " 100.000000000000 30.000000000000 110.000000000000 35.000000000000 ",
            " 110.000000000000 35.000000000000 110.000000000000 50.000000000000 ",
            "lg1",
            "ly14",
            "lt20",
            "lc20",
        ]
        self.check({EXCHANGE: lines_file(given)}, ["/Zab"], expect={EXCHANGE: lines_file(out)})


class SearchLine(RunCase):
    """Line 2 of the report names the search string as given."""

    CASES = [
        # (arguments, search string as line 2 shows it)
        ([], b""),
        (["/Z"], b""),
        (["/Zab"], b"ab"),
        (["/zab"], b"ab"),
        (["/Z検索"], "検索".encode("cp932")),
        (["/Zabcdef", "/Zxy"], b"xy"),               # a later /Z replaces the earlier whole
        (["/Z" + "x" * 200], b"x" * 127),             # the argument keeps 128 bytes
        ([b"/Zab\ncd"], b"ab"),                        # ends at a line end: no extra record
        ([b"/Zab\rcd"], b"ab"),
        ([b"/Z\ncd"], b""),
    ]

    def test_search_line(self):
        given = lines_file(['ch 0 0 10 0 "---'])
        for args, shown in self.CASES:
            with self.subTest(args=args):
                self.check({EXCHANGE: given}, args,
                           expect={EXCHANGE: lines_file(report(10, 0, shown, searched=1)
                                                        + DEFAULT_CLOSING)})


if __name__ == "__main__":
    unittest.main()
