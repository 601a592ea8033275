"""A large selection, which a normal run counts while it reads: what it
carries back is byte for byte what a test level-4 run, which counts the
lines first, leaves in the work file."""

import random
import unittest

from qxrun import EXCHANGE, WORK, run, sj

SEARCH = "検索"
WORDS = ["図面", "検索", "結果", "部品", "寸法", "A-", "x", "検", "索"]


def selection(lines, seed):
    """About `lines` records of every kind the host writes, Shift-JIS, CR LF."""
    rnd = random.Random(seed)
    out = ["# large selection", "hn 0 0 420 297", "hs 1 2 0.5 1 1 1 1 1 1 1 1 1 1 1 1 3",
           "hcw 2 2.5 3 3.5 4 5 6 7 8 10", "hch 2 2.5 3 3.5 4 5 6 7 8 10", "hcd 0.5 0.5 1 1 1 1 1 1 1 1"]
    while len(out) < lines:
        r = rnd.random()
        if r < 0.4:
            text = "".join(rnd.choice(WORDS) for _ in range(rnd.randint(0, 6)))
            out.append('ch %.3f %.3f %g %g "%s' % (rnd.uniform(0, 400), rnd.uniform(0, 280),
                                                    rnd.choice([20, 0, -7.07]), rnd.choice([0, 10, 7.07]), text))
        elif r < 0.7:
            out.append(" %.4f %.4f %.4f %.4f" % tuple(rnd.uniform(0, 400) for _ in range(4)))
        else:
            out.append(rnd.choice(["lg%x" % rnd.randint(0, 15), "ly3", "lt2", "lc%d" % rnd.randint(1, 9),
                                   "cn%d" % rnd.randint(0, 10), "cn0 4 5 1 2", "hp1 10 20", "pn2",
                                   "# note %d" % len(out), "bz 1 2", "hcw 3 3 3", "ch 1 2"]))
    return b"".join(sj(line) + b"\r\n" for line in out)


def upper(outcome):
    """The outcome with its file names in upper case: under the emulator a
    name may keep another case on disk."""
    outcome.files = {name.upper(): data for name, data in outcome.files.items()}
    return outcome


class LargeSelection(unittest.TestCase):
    def test_carried_back_equals_counted_output(self):
        for seed in (1,):
            with self.subTest(seed=seed):
                given = selection(80000, seed)
                self.assertGreater(len(given), 2 << 20)
                shared = upper(run({EXCHANGE: given}, ["/Z" + SEARCH]))
                alone = upper(run({EXCHANGE: given}, ["/Z" + SEARCH, "/t4"]))
                self.assertEqual((shared.status, shared.stderr), (0, b""))
                self.assertEqual(alone.status, 0)
                self.assertEqual(sorted(shared.files), [EXCHANGE])
                self.assertEqual(alone.files[EXCHANGE], given)
                self.assertTrue(shared.files[EXCHANGE] == alone.files[WORK],
                                "the carried-back file differs from the counted run's output")


if __name__ == "__main__":
    unittest.main()
