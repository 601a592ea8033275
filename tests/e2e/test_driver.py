"""The run as a whole: options on the command line, the exchange file's
name, a missing exchange file, the element limit and line ends."""

import unittest

from qxrun import (DEFAULT_CLOSING, EXCHANGE, WORK, RunCase, circle, lines_file, report)

REFUSED = "\n illegal Option.\n"
OPTION_TRACE_3 = ("# --- command line option ---------------\n# --- (/3)\n"
                  "#      iMode(1) iMode2(20) iMode3(20)\n")


class CommandLine(RunCase):
    TEXT = lines_file(['ch 0 0 10 0 "ab'])
    FOUND = [circle(0, 0, 2.5)] + report(10, 0, "ab", (1, 1, 0, 0), 1) + DEFAULT_CLOSING
    NOT_SEARCHED = report(10, 0, "", (0, 0, 0, 0), 1) + DEFAULT_CLOSING

    CASES = [
        # (arguments, standard output, standard error, output)
        (["/Zab"], "", "", FOUND),
        (["-Zab"], "", "", FOUND),
        (["$Zab"], "", "", FOUND),
        # not options: ignored
        (["Zab", "hello", "", "+Zab", ".Zab", ",Zab", "%Zab", "#Zab", "\\Zab", "*"], "", "", NOT_SEARCHED),
        # a letter outside the option table is refused and changes nothing
        (["/T3", "$Zab", "-q", "/"], "", REFUSED * 3, FOUND),
        (["/t7", "/Zab"], "", "", FOUND),                     # no level 7: a normal run
        (["/t3", "/t", "/Zab"], OPTION_TRACE_3, "", FOUND),   # "/t" resets the level
        (["/m", "/mx", "/m10", "/l3", "/k9", "/n1", "/a0.4", "/b6", "/c5", "/d500",
          "/e-23", "/g10", "/h0", "/o5", "/p-359.5", "/w99999999999", "/s", "/u", "/Zab"],
         "", "", FOUND),
    ]

    def test_options(self):
        for args, stdout, stderr, out in self.CASES:
            with self.subTest(args=args):
                self.check({EXCHANGE: self.TEXT}, args, stdout=stdout, stderr=stderr,
                           expect={EXCHANGE: lines_file(out)})


class ExchangeFileName(RunCase):
    GIVEN = lines_file(["# 小文字の名前", 'ch 0 0 10 0 "ab'])
    OUTPUT = lines_file(["# 小文字の名前", circle(0, 0, 2.5)]
                        + report(10, 0, "ab", (1, 1, 0, 0), 1) + DEFAULT_CLOSING)

    def test_lower_case_name_becomes_upper_case(self):
        self.check({"qxc_temp.txt": self.GIVEN}, ["/Zab"], expect={EXCHANGE: self.OUTPUT})

    def test_lower_case_name_becomes_upper_case_in_test_mode(self):
        self.check({"qxc_temp.txt": self.GIVEN}, ["/Zab", "/t1"],
                   expect={EXCHANGE: self.GIVEN,
                           WORK: lines_file(["# 小文字の名前", "# CHR_PRO  now ", "",
                                             "#----- command /M(1) /Z(Zab)",
                                             "## Ichi-in ci0(1):ci(0)=(0x61)",
                                             "## Ichi-break len=ci0(2) ci(1)=(0x62) f_head(0) f_foot(1)",
                                             "# match(1) match_p(1) match_l(0) match_r(0) lenin(2)",
                                             circle(0, 0, 2.5)]
                                            + report(10, 0, "ab", (1, 1, 0, 0), 1)
                                            + DEFAULT_CLOSING)})

    def test_missing_exchange_file(self):
        for files in ({}, {"other.txt": b"keep\r\n"}, {WORK: b"left over\r\n"}):
            with self.subTest(files=sorted(files)):
                self.check(files, ["/Zab"], stderr="Cannot open file: QXC_TEMP.TXT \n",
                           code=-1, expect=files)


class ElementLimit(RunCase):
    """More than 150000 lines are refused; a line over 253 bytes counts once
    per 254 bytes read. A refused run writes only the error record into the
    work file, whatever output it made before it found the limit."""

    OVER = lines_file(["he  要素数オーバー    MAX=150000"])
    LONG_COMMENT = "# " + "長" * 149                       # 300 bytes: read in two pieces

    def test_line_count_limit(self):
        pt, comment, text = b"pt 1 2\r\n", b"# c\r\n", b'ch 1 2 1 0 "ab\r\n'
        cases = [
            # (label, exchange file, arguments, refused, lines copied to the output)
            ("150000 lines", pt * 150000, [], False, []),
            ("150001 lines", pt * 150001, [], True, []),
            ("200000 lines", pt * 200000, [], True, []),
            ("150001 lines at level 1", pt * 150001, ["/t1"], True, []),
            ("149999 lines, the last without line end", pt * 149998 + b"pt 1 2", [], False, []),
            ("150000 lines and one without line end", pt * 150000 + b"pt", [], True, []),
            ("149998 lines and one of 300 bytes", pt * 149998 + lines_file([self.LONG_COMMENT]), [], False,
             [self.LONG_COMMENT]),
            ("149999 lines and one of 300 bytes", pt * 149999 + lines_file([self.LONG_COMMENT]), [], True, []),
            ("149999 lines and one of 253 bytes", pt * 149999 + b"#" * 253 + b"\r\n", [], False, [b"#" * 253]),
            ("149999 lines and one of 254 bytes", pt * 149999 + b"#" * 254 + b"\r\n", [], True, []),
            ("150001 comments", comment * 150001, [], True, []),
            ("150001 matching texts", text * 150001, ["/Zab"], True, []),
        ]
        for label, given, args, refused, copied in cases:
            with self.subTest(label):
                if refused:
                    self.check({EXCHANGE: given}, args, code=1, expect={EXCHANGE: given, WORK: self.OVER})
                else:
                    self.check({EXCHANGE: given}, args,
                               expect={EXCHANGE: lines_file(copied + report(0, 0) + DEFAULT_CLOSING)})


class LineEnds(RunCase):
    """Lines may end with CR LF or LF alone, the last one with nothing;
    every line written ends with CR LF."""

    CASES = [
        # (exchange file, records before the report, (anchor, counts, searched))
        (b'# lf comment\nhn 0 0 50 40\nch 1 2 10 0 "ab\nbz tail',
         ["# lf comment", circle(1, 2, 2.5), "bz tail"], ((50, 40), (1, 1, 0, 0), 1)),
        (b'hn 0 0 50 40\r\nch 3 4 10 0 "xab',
         [circle(3, 4, 2.5)], ((50, 40), (1, 0, 0, 1), 1)),
        # an empty text on a last line without line end is empty, not "ab" again
        (b'ch 1 2 10 0 "ab\r\nch 5 6 10 0 "',
         [circle(1, 2, 2.5)], ((15, 6), (1, 1, 0, 0), 2)),
        (b"# a\r\n# b\n# c\r\n# last",
         ["# a", "# b", "# c", "# last"], ((0, 0), (0, 0, 0, 0), 0)),
        (b"# nul\x00byte\r\nbz\x00\r\n",
         [b"# nul\x00byte", b"bz\x00"], ((0, 0), (0, 0, 0, 0), 0)),
        # a double quote inside the text is text; a CR ends it
        (b'ch 0 0 10 0 "say "ab"\r\nch 0 0 10 0 "xy\rab\r\n',
         [circle(0, 0, 2.5)], ((10, 0), (1, 0, 0, 0), 2)),
        # a comment longer than 253 bytes is copied whole
        (lines_file([ElementLimit.LONG_COMMENT, "bz " + "x" * 400]),
         [ElementLimit.LONG_COMMENT, "bz " + "x" * 400], ((0, 0), (0, 0, 0, 0), 0)),
    ]

    def test_line_ends(self):
        for given, records, ((ax, ay), counts, searched) in self.CASES:
            with self.subTest(given=given[:40]):
                out = records + report(ax, ay, "ab", counts, searched) + DEFAULT_CLOSING
                self.check({EXCHANGE: given}, ["/Zab"], expect={EXCHANGE: lines_file(out)})


class SameOnEveryBuild(RunCase):
    """Bytes that builds once read differently: a 0x1A is an ordinary byte,
    except as the file's very last byte (an old end-of-file mark, dropped);
    integer fields too wide for 32 bits keep the low 32 bits of their value,
    saturated to 64 bits."""

    CASES = [
        # (exchange file, records before the report, (anchor, counts, searched), closing records)
        (lines_file(["# a \x1a inside", 'ch 1 2 10 0 "x\x1aab', 'ch 3 4 10 0 "ab']) + b"\x1a",
         ["# a \x1a inside", circle(1, 2, 2.5), circle(3, 4, 2.5)], ((13, 4), (2, 1, 0, 1), 2),
         DEFAULT_CLOSING),
        (b"# \x1a\r\n\x1a", ["# \x1a"], ((0, 0), (0, 0, 0, 0), 0), DEFAULT_CLOSING),
        (b'ch 1 2 10 0 "ab\x1a', [circle(1, 2, 2.5)], ((11, 2), (1, 1, 0, 0), 1), DEFAULT_CLOSING),
        (lines_file(["lt99999999999", "lc-99999999999", "lg1ffffffff", "ly-1", "pn-fffffffffffffffffff"]),
         [], ((0, 0), (0, 0, 0, 0), 0), ["lgffffffff", "lyffffffff", "lt1215752191", "lc-1215752191", "pn-1"]),
        (lines_file(["lt9223372036854775808", "lc-9223372036854775809", "cn99999999999"]),
         [], ((0, 0), (0, 0, 0, 0), 0), ["lg14", "ly14", "lt-1", "lc0"]),
    ]

    def test_bytes_read_alike(self):
        for given, records, ((ax, ay), counts, searched), closing in self.CASES:
            with self.subTest(given=given[:40]):
                out = records + report(ax, ay, "ab", counts, searched) + closing
                self.check({EXCHANGE: given}, ["/Zab"], expect={EXCHANGE: lines_file(out)})


if __name__ == "__main__":
    unittest.main()
