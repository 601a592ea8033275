#!/usr/bin/env python3
"""Training run for the profile-guided build (see CMakeLists.txt).

Runs an instrumented build of the filter on generated selections, each in a
fresh copy in a scratch directory, with the option sets a host passes most:
the counts it leaves in PROFILE_DIR tell the compiler which paths are hot.
The profile directory is emptied first, so that counts of an earlier build
of other sources are never merged in.

usage: train.py PROGRAM PROFILE_DIR
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

WORDS = ["図面", "番号", "検索", "結果", "部品", "寸法", "注記", "配管", "電気", "設計",
         "変更", "承認", "日付", "材料", "数量", "備考", "ソフト", "一覧", "点検", "記録"]
DIRECTIONS = [(20, 0), (0, 10), (7.07, 7.07), (-20, 0), (17.32, -10), (0, -5), (3.5, 0)]


def text_record(rnd):
    words = [rnd.choice(WORDS) for _ in range(rnd.randint(1, 7))]
    if rnd.random() < 0.3:
        words.append(" %s-%d" % (rnd.choice("ABCXYZ"), rnd.randint(1, 999)))
    dx, dy = rnd.choice(DIRECTIONS)
    x = ("%.3f" if rnd.random() < 0.7 else "%d") % rnd.uniform(0, 400)
    y = ("%.3f" if rnd.random() < 0.7 else "%d") % rnd.uniform(0, 280)
    return 'ch %s %s %g %g "%s' % (x, y, dx, dy, "".join(words))


def other_record(rnd, n):
    return rnd.choice([
        "lg%x" % rnd.randint(0, 15), "ly%x" % rnd.randint(0, 15), "lc%d" % rnd.randint(1, 9),
        "lt%d" % rnd.randint(1, 9), "cn%d" % rnd.randint(1, 10), "cn0 4 4 1 1", "# note %d" % n,
        "pt %d %d" % (rnd.randint(0, 99), rnd.randint(0, 99)), "hp%d %d %d" % (rnd.randint(0, 3), rnd.randint(0, 99), rnd.randint(0, 99)),
        "ci 10 10 5", "bz 0 0 1 1", "pn%d" % rnd.randint(1, 3),
    ])


def selection(lines, seed):
    """The bytes of an exchange file of about `lines` lines (Shift-JIS, CR LF)."""
    rnd = random.Random(seed)
    out = ["# training selection", "hn 0 0 420 297", "hs 1 2 1 1 1 1 1 1 1 1 1 1 1 1 1 1",
           "hcw 2 2.5 3 3.5 4 5 6 7 8 10", "hch 2 2.5 3 3.5 4 5 6 7 8 10",
           "hcd 0.5 0.5 0.5 0.5 1 1 1 1 1 1", "lg0", "ly1", "lt1", "lc1", "pn1"]
    while len(out) < lines:
        r = rnd.random()
        if r < 0.4:
            out.append(text_record(rnd))
        elif r < 0.75:
            out.append(" %.4f %.4f %.4f %.4f" % tuple(rnd.uniform(0, 400) for _ in range(4)))
        else:
            out.append(other_record(rnd, len(out)))
    return ("\r\n".join(out) + "\r\n").encode("cp932")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    program, profile = os.path.abspath(sys.argv[1]), sys.argv[2]
    shutil.rmtree(profile, ignore_errors=True)
    os.makedirs(profile)
    search = "検索".encode("cp932")
    # The first selection is large enough to be read by two threads.
    runs = [(60000, 1, [b"/Z" + search]), (20000, 2, [b"/Z" + search]), (20000, 3, [b"/ZA"]),
            (5000, 4, [b"/Z" + "図".encode("cp932")]), (5000, 5, []), (300, 6, [b"/Z" + search, b"/t1"])]
    with tempfile.TemporaryDirectory() as scratch:
        for lines, seed, args in runs:
            exchange = os.path.join(scratch, "QXC_TEMP.TXT")
            with open(exchange, "wb") as f:
                f.write(selection(lines, seed))
            done = subprocess.run([program, *args], cwd=scratch, stdout=subprocess.DEVNULL)
            if done.returncode != 0:
                sys.exit("training run failed: %s %s" % (program, args))


if __name__ == "__main__":
    main()
