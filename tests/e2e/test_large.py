"""Large selections. A normal run counts the lines while it reads them; a
test level-4 run counts them first and keeps its output in the work file.
Both must carry the output worked out for the selection without the
program (qxrun.expected_output), byte for byte alike: one selection of
every kind of record, and one at the line limit whose output, a circle per
text, runs past it."""

import random
import unittest

from qxrun import EXCHANGE, WORK, X86_32, _near_circles, console, expected_output, run, sj

SEARCH = "検索"
WORDS = ["図面", "検索", "結果", "部品", "寸法", "A-", "x", "検", "索"]
# Directions of texts: along x, up, 45 degrees, upside down, -30 degrees.
DIRECTIONS = [(20, 0), (0, 10), (7.07, 7.07), (-20, 0), (17.32, -10)]


def selection(lines, seed):
    """About `lines` records of every kind the host writes. The drawing
    area ("hn") holds every text, as the expected output's model asks."""
    rnd = random.Random(seed)
    out = ["# large selection", "hn 0 0 2000 2000", "hs 1 2 0.5 1 1 1 1 1 1 1 1 1 1 1 1 3",
           "hcw 2 2.5 3 3.5 4 5 6 7 8 10", "hch 2 2.5 3 3.5 4 5 6 7 8 10", "hcd 0.5 0.5 1 1 1 1 1 1 1 1",
           "cn3", "lg0", "ly1", "lt1", "lc1", "pn1"]
    while len(out) < lines:
        r = rnd.random()
        if r < 0.4:
            text = "".join(rnd.choice(WORDS) for _ in range(rnd.randint(0, 6)))
            out.append('ch %.3f %.3f %g %g "%s' % (rnd.uniform(0, 400), rnd.uniform(0, 280),
                                                    *rnd.choice(DIRECTIONS), text))
        elif r < 0.7:
            out.append(" %.4f %.4f %.4f %.4f" % tuple(rnd.uniform(0, 400) for _ in range(4)))
        else:
            out.append(rnd.choice(["lg%x" % rnd.randint(0, 15), "ly3", "lt2", "lc%d" % rnd.randint(1, 9),
                                   "cn%d" % rnd.randint(1, 10), "cn0 4 5 1 2", "pn2",
                                   "# note %d" % len(out), "bz 1 2", "hcw 3 3 3"]))
    return out


def first_difference(got, wanted):
    """None where the outputs agree (circles within the 32-bit build's
    tolerance, as RunCase.check compares them), else the first line that
    differs: a whole difference of these outputs would take minutes."""
    got_lines, wanted_lines = got.split(b"\n"), wanted.split(b"\n")
    if X86_32:
        got_lines = _near_circles(got_lines, wanted_lines)
    for number, (g, w) in enumerate(zip(got_lines, wanted_lines), start=1):
        if g != w:
            return f"line {number}: {g!r} where {w!r} was expected"
    if len(got_lines) != len(wanted_lines):
        return f"{len(got_lines)} lines where {len(wanted_lines)} were expected"
    return None


def upper(outcome):
    """The outcome with its file names in upper case: under the emulator a
    name may keep another case on disk."""
    outcome.files = {name.upper(): data for name, data in outcome.files.items()}
    return outcome


class LargeSelection(unittest.TestCase):
    CASES = [
        # (label, records)
        ("every kind of record, over 2 MiB", selection(80000, 1)),
        # No size tables: each circle sits at its text's start. 150000
        # lines are accepted; with the report the output has more.
        ("150000 matching texts", ['ch 1 2 1 0 "検索'] * 150000),
    ]

    def test_normal_and_counted_runs_carry_the_expected_output(self):
        for label, records in self.CASES:
            with self.subTest(label):
                given = b"".join(sj(line) + b"\r\n" for line in records)
                expected = expected_output(records, SEARCH)
                normal = upper(run({EXCHANGE: given}, ["/Z" + SEARCH]))
                counted = upper(run({EXCHANGE: given}, ["/Z" + SEARCH, "/t4"]))
                self.assertEqual((normal.status, normal.stderr, sorted(normal.files)), (0, b"", [EXCHANGE]))
                self.assertEqual((counted.status, counted.stderr, sorted(counted.files)),
                                 (0, b"", sorted([EXCHANGE, WORK])))
                self.assertEqual(counted.stdout, console(OPTION_TRACE_4))
                self.assertTrue(counted.files[EXCHANGE] == given, "the counted run changed the exchange file")
                self.assertIsNone(first_difference(normal.files[EXCHANGE], expected), "carried back")
                self.assertIsNone(first_difference(counted.files[WORK], expected), "counted run's work file")
                # Where circles are compared within a tolerance (the 32-bit
                # build), the two paths must still agree to the byte.
                self.assertIsNone(first_difference(normal.files[EXCHANGE], counted.files[WORK]),
                                  "the carried-back output differs from the counted run's")


OPTION_TRACE_4 = ("# --- command line option ---------------\n# --- (/4)\n"
                  "#      iMode(1) iMode2(20) iMode3(20)\n")


if __name__ == "__main__":
    unittest.main()
