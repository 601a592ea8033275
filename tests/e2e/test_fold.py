"""The /i search, which ignores full-width/half-width forms and letter case,
and the usage and version requests, which touch no file.

The expected folds are taken from Python's cp932 codec and Unicode's
compatibility mappings, not from the program's tables."""

import unicodedata
import unittest

from qxrun import (DEFAULT_CLOSING, EXCHANGE, WORK, RunCase, circle, console, lines_file, report,
                   run, sj)
from test_search import SAMPLE, sample_output

# Size 1 is 2 wide with no height or spacing, so a circle sits f_head + 1
# along its text: x tells which byte of the text as given the match starts at.
SETTINGS = ["hn 0 0 1000 1000", "hcw 2 0 0 0 0 0 0 0 0 0"]


def cp932_codes(text):
    """Every code of code page 932 that decodes to `text` (one character)."""
    codes = []
    for lead in list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD)):
        for trail in range(0x40, 0xFD):
            try:
                if bytes([lead, trail]).decode("cp932") == text:
                    codes.append(bytes([lead, trail]))
            except UnicodeDecodeError:
                pass
    return codes


def full_width(ascii_text):
    """The full-width forms of ASCII characters as Shift-JIS bytes; where
    code page 932 holds a form twice, the second code (`second`)."""
    return [b"".join(cp932_codes(chr(ord(c) + 0xFEE0))[k] if c != " " else sj("　")
                     for c in ascii_text) for k in (0, -1)]


HALF_KANA = bytes(range(0xA1, 0xE0))
# The full-width character of each half-width one; the voiced marks alone
# stand for ゛ and ゜, which have no compatibility mapping of their own.
FULL_KANA = b"".join(sj({"ﾞ": "゛", "ﾟ": "゜"}.get(c, unicodedata.normalize("NFKC", c)))
                     for c in HALF_KANA.decode("cp932"))


def voiced_pairs():
    """(half-width kana and mark, the one full-width character) for every
    voiced and semi-voiced kana that code page 932 holds."""
    pairs = []
    for kana in HALF_KANA.decode("cp932"):
        for mark in "ﾞﾟ":
            joined = unicodedata.normalize("NFKC", kana + mark)
            if len(joined) == 1:
                try:
                    pairs.append((sj(kana + mark), sj(joined)))
                except UnicodeEncodeError:
                    pass
    return pairs


VOICED_HALF = b"".join(h for h, _ in voiced_pairs())
VOICED_FULL = b"".join(f for _, f in voiced_pairs())
PRINTABLE = "".join(chr(c) for c in range(0x21, 0x7F))


def fold_cases():
    """(arguments, [(text, f_head of the circle or None)], counts) for every
    folding rule in both directions, a search string and its texts at once."""
    cases = []
    # Full-width ASCII forms and the space. Both codes of a doubled form are
    # in texts: a search string may reach the program as either (arg()).
    for chunk in (PRINTABLE[:47] + " ", PRINTABLE[47:] + " "):
        first, second = full_width(chunk)
        single = full_width(chunk.replace('"', "").replace("'", ""))[0]
        cases += [(["/i", "/Z" + single.decode("cp932")], [(chunk.replace('"', "").replace("'", ""), 0)],
                   (1, 1, 0, 0)),
                  (["/i", "/Z" + chunk], [(first, 0), (second, 0)], (2, 2, 0, 0))]
    # Half-width katakana and punctuation; voiced kana; a split voiced kana.
    cases += [
        (["/i", "/Z" + FULL_KANA.decode("cp932")], [(HALF_KANA, 0), (FULL_KANA, 0)], (2, 2, 0, 0)),
        (["/i", "/Z" + HALF_KANA.decode("cp932")], [(FULL_KANA, 0)], (1, 1, 0, 0)),
        (["/i", "/Z" + VOICED_FULL.decode("cp932")], [(VOICED_HALF, 0)], (1, 1, 0, 0)),
        (["/i", "/Z" + VOICED_HALF.decode("cp932")], [(VOICED_FULL, 0)], (1, 1, 0, 0)),
        # ｶﾞ is one character: neither カ nor the mark alone matches in it,
        # and カ followed by the full-width mark ゛ is two
        (["/i", "/Zカ"], [("ｶﾞ", None), ("ｶ", 0), ("xｶﾞｶ", 3)], (2, 1, 0, 1)),
        (["/i", "/Zﾞ"], [("ｶﾞ", None), ("ｱﾞ", 1), ("゛", 0)], (2, 1, 0, 1)),
        (["/i", "/Zｶﾞ"], [("カ゛", None), ("ガ", 0), ("ｶﾞｽ", 0)], (2, 1, 1, 0)),
        (["/i", "/Zﾊﾟｲﾌﾟ"], [("パイプ", 0), ("ﾊﾟｲﾌﾟ", 0), ("バイブ", None)], (2, 2, 0, 0)),
    ]
    # Letter case, with full-width forms all four ways.
    upper, lower = PRINTABLE[32:58], PRINTABLE[64:90]
    cases += [(["/i", "/Z" + full_width(upper)[0].decode("cp932")],
               [(lower, 0), (upper, 0), (full_width(lower)[0], 0)], (3, 3, 0, 0)),
              (["/i", "/Z" + full_width(lower)[0].decode("cp932")], [(upper, 0), (full_width(upper)[0], 0)], (2, 2, 0, 0))]
    return cases


class Folding(RunCase):
    def run_cases(self, cases):
        for args, texts, counts in cases:
            with self.subTest(args=args, texts=[t for t, _ in texts]):
                given = SETTINGS + [b'ch 0 %d 10 0 "' % (10 * i) + sj(text)
                                    for i, (text, _) in enumerate(texts)]
                circles = [circle(f_head + 1, 10 * i, 2.5)
                           for i, (_, f_head) in enumerate(texts) if f_head is not None]
                search = sj(args[-1])[2:] if args else b""
                out = circles + report(1000, 1000, search, counts, len(texts)) + DEFAULT_CLOSING
                self.check({EXCHANGE: lines_file(given)}, args, expect={EXCHANGE: lines_file(out)})

    def test_every_rule_both_ways(self):
        self.run_cases(fold_cases())

    def test_classes_and_circles_on_texts_of_other_lengths(self):
        self.run_cases([
            # the README's example; case and width mixed in one string
            (["/i", "/ZW1"], [("Ｗ１", 0), ("w1", 0), ("W1", 0), ("Ｗ1ａ", 0), ("W2", None)],
             (4, 3, 1, 0)),
            (["-i", "/ZＷ1ａB"], [("w１Ａｂ", 0), ("xｗ1aＢ", 1), ("ＸＷ１ＡＢ", 2), ("W1AC", None)],
             (3, 1, 0, 2)),
            # classes follow the folded lengths; the circle the bytes as given:
            # half-width characters before a match count one byte each
            (["/i", "/Zａｂｃ"], [("ｱｲｳABC", 3), ("ＡＢＣ", 0), ("ＡＢＣｱ", 0), ("ｶﾞｶﾞabcｶﾞ", 4)],
             (4, 1, 1, 1)),
            (["$i", "/Zガス"], [("ｶﾞｽ", 0), ("ﾀｶﾞｽ", 1), ("ｶﾞｽﾀﾝｸ", 0), ("ガス", 0)], (4, 2, 1, 1)),
            (["/i", "/Zﾀﾝｸ"], [("ｶﾞｽﾀﾝｸ", 3), ("ガスタンク", 4)], (2, 0, 0, 2)),
            # nothing else folds: hiragana, the yen sign, quotation marks
            (["/i", "/Zが"], [("ガ", None), ("ｶﾞ", None), ("が", 0)], (1, 1, 0, 0)),
            (["/i", "/Z\\'"], [("￥’", None), ("＼＇", 0)], (1, 1, 0, 0)),
            # the limits count the bytes as given: 231 of a text
            (["/i", "/Zab"], [("x" * 227 + "ＡＢ", 227), ("x" * 228 + "ＡＢ", None)], (1, 0, 0, 1)),
            (["/i"], [("abc", None)], (0, 0, 0, 0)),
        ])

    def test_without_i_nothing_folds(self):
        self.run_cases([
            (["/ZW1"], [("Ｗ１", None), ("w1", None), ("W1", 0)], (1, 1, 0, 0)),
            (["/Zｶﾞ"], [("ガ", None), ("ｶﾞ", 0)], (1, 1, 0, 0)),
        ])

    def test_traces_show_the_folded_bytes(self):
        given = lines_file(SETTINGS + ['ch 0 0 10 0 "ｱAB'])
        stdout = ("\n\n#### debug #### Cmd-Option read\n#  copyed to QXC_TEMP.$$$ \n"
                  "\n#----- command /M(1) /Z(ZＡｂ)\n"
                  "#        input(ChSTR) = Head(ch)  ChSTR(ｱAB)\n"
                  "#        input(ChX,ChY)=(0.0, 0.0) (ChDX,ChDY)=(10.0, 0.0)\n"
                  "## Ichi-in ci0(1):ci(2)=(0x61)\n"
                  "## Ichi-break len=ci0(2) ci(3)=(0x62) f_head(2) f_foot(3)\n"
                  "# match(1) match_p(0) match_l(0) match_r(1) lenin(4)\n")
        work = [circle(2, 0, 2.5)] + report(1000, 1000, "Ａｂ", (1, 0, 0, 1), 1) + DEFAULT_CLOSING
        self.check({EXCHANGE: given}, ["/t2", "/i", "/ZＡｂ"], stdout=stdout,
                   expect={EXCHANGE: given, WORK: lines_file(work)})


class FoldedSample(RunCase):
    def test_sample_searched_with_i(self):
        for args, found, counts in [
            (["/i", "/Zｒｅｖ．３"], {7: 0}, (1, 0, 1, 0)),
            (["/i", "/Z．"], {7: 3, 9: 2}, (2, 0, 0, 0)),
            (["/i", "/Za-１０２"], {5: 9}, (1, 0, 0, 1)),
            (["/i", "/Zｿﾌﾄ"], {4: 0}, (1, 0, 1, 0)),
            (["/Zｒｅｖ．３"], {}, (0, 0, 0, 0)),
        ]:
            with self.subTest(args=args):
                self.check({EXCHANGE: SAMPLE.read_bytes()}, args,
                           expect={EXCHANGE: sample_output(args[-1][2:], found, counts)})


class Requests(unittest.TestCase):
    """/?, --help and --version print and leave the folder as it was: no
    work file, the exchange file byte for byte."""

    def run_request(self, args, stderr=b""):
        given = {EXCHANGE: SAMPLE.read_bytes()}
        got = run(given, args)
        self.assertEqual((got.status, got.stderr, got.files), (0, console(stderr), given))
        return got.stdout

    def test_usage_and_version_touch_no_file(self):
        usage = self.run_request(["--help"])
        self.assertTrue(usage.startswith(console("qxsearch 1.0 - text search filter for a CAD host\n")))
        self.assertTrue(usage.isascii())
        self.assertIn(b"--help always works", usage)   # /? may be taken as a file pattern
        for args in (["/?"], ["-?"], ["$?"], ["/Zab", "--help"]):
            with self.subTest(args=args):
                self.assertEqual(self.run_request(args), usage)
        self.assertEqual(self.run_request(["--version"]), console("qxsearch 1.0\n"))

    def test_options_are_traced_and_a_wrong_request_refused(self):
        trace = ("# --- command line option ---------------\n# --- (/{})\n"
                 "#      iMode(1) iMode2(20) iMode3(20)\n")
        traced = "".join(trace.format(shown) for shown in ("4", "i", "-helps", "?"))
        stdout = self.run_request(["/t4", "/i", "--helps", "-?"], "\n illegal Option.\n")
        self.assertEqual(stdout, console(traced) + self.run_request(["--help"]))


if __name__ == "__main__":
    unittest.main()
