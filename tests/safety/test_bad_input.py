"""Bad input: no exchange file and no argument crashes the program or
breaks the output. Every run here ends with exit status 0, and the output
follows the work file's grammar (copied lines, circles and traces; the
report; the closing attribute records), besides the case's own checks.

These inputs are read the same on every build here. Note for a Windows
build: its C runtime reads text mode files only up to a 0x1A byte."""

import random
import re
import unittest

from safety_support import (EXCHANGE, KENSAKU, SEARCH, WORK, listing, new_dir, remove_dir,
                            require_program, run)

CRLF = b"\r\n"


def lines(*items):
    return b"".join((i.encode("cp932") if isinstance(i, str) else i) + CRLF for i in items)


def text(body, x=100, y=50):
    """A text record at (x, y) running along the x axis."""
    return b"ch %d %d 20 0 \"" % (x, y) + (body.encode("cp932") if isinstance(body, str) else body)


def check_grammar(test, out, level=0):
    """The work file's grammar, line by line."""
    test.assertTrue(out.endswith(CRLF), "output does not end with CR LF")
    test.assertNotRegex(out, rb"(^|[^\r])\n", "a line feed without carriage return")
    rows = out[:-2].split(CRLF)
    i = 0
    while i < len(rows) and (rows[i] == b"" or rows[i][:1] == b"#" or rows[i][:2] == b"bz"
                             or rows[i][:3] == b"ci "):
        i += 1
    test.assertEqual(rows[i], b"cn2 ", "the report does not start on a line of its own")
    report = rows[i + 1:i + 15]
    test.assertEqual([r[:3] for r in report[0::2]], [b"ch "] * 7)
    test.assertEqual(report[1::2], [b""] * 7)
    test.assertEqual(rows[i + 15:i + 17], [b"lt1 ", b"lc4 "])
    test.assertEqual([r[:1] for r in rows[i + 17:i + 24]], [b" "] * 7)
    i += 24
    if level == 3:
        test.assertTrue(rows[i].startswith(b"# ---") and rows[i + 1].startswith(b"#    jd_xmax="))
        i += 2
    if rows[i][:2] == b"cn":
        i += 1
    test.assertEqual([r[:2] for r in rows[i:i + 4]], [b"lg", b"ly", b"lt", b"lc"])
    i += 4
    if i < len(rows) and rows[i][:2] == b"pn":
        i += 1
    test.assertEqual(i, len(rows), "lines after the closing records")


def circles(out):
    return [r for r in out.split(CRLF) if r.startswith(b"ci ")]


COUNTS = re.compile(rb"(\d+)".join(re.escape(part.encode("cp932"))
                                     for part in ("一致した数：＜ ", " ＞  ／検索文字列数：＜ ", " ＞")))


def counts(out):
    """(texts matched, texts searched) from the report."""
    m = COUNTS.search(out)
    return int(m.group(1)), int(m.group(2))


def f12(v):
    return format(v, ".12f")


class BadInput(unittest.TestCase):
    maxDiff = 2000

    @classmethod
    def setUpClass(cls):
        require_program()

    def run_on(self, exchange, args=(SEARCH,), level=0):
        """Runs on `exchange`; returns the output (the new exchange file)."""
        d = new_dir({EXCHANGE: exchange})
        try:
            done = run(d, list(args))
            self.assertEqual(done.returncode, 0, done.stderr[-2000:])
            self.assertEqual(done.stderr, b"")
            files = listing(d)
            out = files[WORK] if level else files[EXCHANGE]
            self.assertEqual(sorted(files), sorted([EXCHANGE, WORK] if level else [EXCHANGE]))
        finally:
            remove_dir(d)
        check_grammar(self, out, level)
        return out

    def test_binary_garbage(self):
        rnd = random.Random(11)
        cases = {
            "random bytes": bytes(rnd.getrandbits(8) for _ in range(300_000)),
            "random bytes, no line end": bytes(rnd.choice(range(11, 256)) for _ in range(100_000)),
            "random records": b"".join(rnd.choice([b"ch", b"cn", b"hs", b"hc", b"lg", b"#", b"bz", b" ", b"hp"])
                                       + bytes(rnd.getrandbits(8) for _ in range(rnd.randint(0, 300)))
                                       + rnd.choice([b"\r\n", b"\n", b"\r"]) for _ in range(3000)),
        }
        for name, data in cases.items():
            for level in (0, 1, 3, 5):
                with self.subTest(name, level=level):
                    self.run_on(data, [SEARCH] + ([f"/t{level}"] if level else []), level)

    def test_nul_bytes_inside_lines(self):
        out = self.run_on(lines(b"#a\0b", b"bz\0\0", b"\0\0\0", text(b"ab\0" + KENSAKU),
                                text(KENSAKU + b"\0zz"), b"lg\0" + b"1", b"cn0 \0 1 1 1"))
        self.assertTrue(out.startswith(b"#a\0b\r\nbz\0\0\r\nci "), out[:40])
        self.assertEqual(counts(out), (1, 2))

    def test_invalid_shift_jis(self):
        # (search string, text, first matched byte or None); character width
        # 2 puts the circle at x = 100 + f_head + 1.
        cases = [
            (b"\x5c", "ソ".encode("cp932"), None),   # a second byte is no character
            (b"\x82", b"a\x82", 1),                   # a lead byte as the last byte
            (b"\x82\x82", b"\x82\x82\x82", 0),
            (b"\x81", b"\x81\x81\x81", 2),
            (b"\xfd\x80", b"\xff\xfd\x80\xa0", 1),   # bytes that start no character
            (b"ab", b"\x82ab", None),                 # "a" is a second byte here
            (b"\x81\x20", b"x\x81\x20y", 1),         # a lead byte with an invalid second byte
            (b"\xa0", b"\xa0\xa0", 0),
        ]
        for search, body, head in cases:
            with self.subTest(search=search, text=body):
                out = self.run_on(lines("cn0 2 0 0 1", text(body)), [b"/Z" + search])
                expected = [] if head is None else [b"ci %s 50.000000000000 2.500000000000 " % f12(101 + head).encode()]
                self.assertEqual(circles(out), expected)

    def test_a_single_10_mb_line(self):
        big = 10 * 1024 * 1024
        comment = b"#" + b"x" * big
        out = self.run_on(lines(comment, text(KENSAKU), text(b"a" * big + KENSAKU)))
        self.assertTrue(out.startswith(comment + CRLF), "the long comment is not copied whole")
        self.assertEqual(counts(out), (1, 2))
        # One line of 10 MB and nothing else, without a line end.
        out = self.run_on(b"ch 0 0 1 0 \"" + KENSAKU + b"y" * big)
        self.assertEqual(counts(out), (1, 1))

    def test_0x1a_bytes(self):
        out = self.run_on(lines(b"#a\x1ab", b"\x1a", text("検".encode("cp932") + b"\x1a" + "索".encode("cp932")),
                                text(KENSAKU)) + b"\x1a")
        self.assertTrue(out.startswith(b"#a\x1ab\r\nci "), out[:30])
        self.assertEqual(counts(out), (1, 2))

    def test_odd_coordinates(self):
        # No size information: the circle's centre is the text's start point.
        cases = [
            (b"nan 5", rb"ci -?nan 5\.0{12} 2\.5{1}0{11} "),
            (b"inf -inf", rb"ci inf -inf 2\.50{11} "),
            (b"1e999 -1e999", rb"ci inf -inf 2\.50{11} "),
            (b"-0 -0", rb"ci 0\.0{12} 0\.0{12} 2\.50{11} "),
            (b"0x1p3 0x10", rb"ci 8\.0{12} 16\.0{12} 2\.50{11} "),
            (b"1e-400 -1e-400", rb"ci -?0\.0{12} -?0\.0{12} 2\.50{11} "),
            (b"infinity NAN", rb"ci inf -?nan 2\.50{11} "),
            (b"1e308 -1e308", rb"ci 1" + rb"\d{308}\.0{12} -1\d{308}\.0{12} 2\.50{11} "),
        ]
        for point, circle in cases:
            with self.subTest(point=point):
                out = self.run_on(lines(b"ch " + point + b" 20 0 \"" + KENSAKU))
                self.assertEqual(len(circles(out)), 1)
                self.assertRegex(circles(out)[0], circle)
        # Odd values in every numeric field of every record.
        odd = [b"nan", b"-nan", b"inf", b"-inf", b"1e999", b"-1e999", b"-0", b"0x1p-1074", b"0x1.fffffffffffffp1023",
               b"1e-320", b"+.5e+3", b"0x", b"1e", b"--1"]
        for value in odd:
            with self.subTest(value=value):
                fields = b" ".join([value] * 16)
                self.run_on(lines(b"hn " + fields, b"hs " + fields, b"hcw " + fields, b"hch " + fields,
                                  b"hcd " + fields, b"cn0 " + fields, b"hp1 " + fields, b"hp2/" + fields,
                                  b" " + fields, b"ch " + b" ".join([value] * 4) + b" \"" + KENSAKU,
                                  b"lg" + value, b"lc" + value, b"pn" + value, b"cn" + value,
                                  text(KENSAKU)), [SEARCH, "/t3"], level=3)

    def test_sizes_and_scales_of_zero_or_below(self):
        # (settings, circle) for the text 検索 at (100, 50) along the x axis,
        # matched at its first byte.
        scales = "hs 0 -2 1 1 1 1 1 1 1 1 1 1 1 1 1 1"
        cases = [
            ([scales, "lg0", "cn0 4 4 1 1"], (100, 50, 0)),
            ([scales, "lg1", "cn0 4 4 1 1"], (95, 46, -5)),
            (["cn0 -4 -4 -1 1"], (97.5, 48, 2.5)),
            (["cn0 0 0 0 0"], (100, 50, 2.5)),
            (["hcw 0 -1 0 0 0 0 0 0 0 0", "hch 0 -2 0 0 0 0 0 0 0 0", "hcd 0 0 0 0 0 0 0 0 0 0", "cn2"],
             (99.5, 49, 2.5)),
            (["hs 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0", "lg10", "cn99"], (100, 50, 2.5)),  # out of range
            (["lg-1", "cn-3"], (100, 50, 2.5)),
        ]
        for settings, (x, y, r) in cases:
            with self.subTest(settings=settings):
                out = self.run_on(lines(*settings, text(KENSAKU)))
                self.assertEqual(circles(out), [f"ci {f12(x)} {f12(y)} {f12(r)} ".encode()])
                closing = out.split(CRLF)[-6:]
                self.assertFalse(any(c.startswith(b"cn0 -") for c in closing), closing)

    def test_search_strings_of_every_length(self):
        def letters(n):
            return bytes(0x41 + i % 26 for i in range(n))

        half = "あ".encode("cp932")
        cases = [
            # (search string, text, matched)
            (b"", b"anything", False),
            (b"Q", b"xQx", True),
            (letters(127), b"x" + letters(127), True),
            (letters(128), b"x" + letters(127), True),     # the 128th byte is cut off
            (letters(300), letters(127) + b"y", True),
            (letters(300), letters(126), False),
            (half * 64, half * 63 + half[:1], True),   # cut inside a character
            (half * 64, half * 64, False),
        ]
        for search, body, matched in cases:
            with self.subTest(length=len(search), text=body[:12]):
                out = self.run_on(lines(text(body)), [b"/Z" + search])
                self.assertEqual(counts(out), (1 if matched else 0, 1))
                stored = search[:127]
                self.assertIn(b"[ " + stored + b" ]", out)


if __name__ == "__main__":
    unittest.main()
