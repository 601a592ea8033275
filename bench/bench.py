#!/usr/bin/env python3
"""Times the filter on a large selection against copying the same file.

Generates an exchange file of N lines (about a third text records, a third
line records, a third other records; realistic Shift-JIS texts, about half
of them holding the search string), then runs the filter and `cp` of the
same file alternately, each in a fresh copy of the file, and prints both
medians, their ratio, and the filter's peak memory for a small and a large
file.

usage: bench.py PROGRAM [--lines N] [--runs R]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SEARCH = "検索"
WORDS = ["図面", "番号", "全文", "検索", "結果", "部品", "寸法", "注記", "配管", "電気",
         "ソフト", "ツール", "一覧", "設計", "変更", "承認", "日付", "材料", "数量", "備考"]


def make_exchange(lines, seed=1):
    """Returns the bytes of an exchange file of `lines` lines (CR LF)."""
    rnd = random.Random(seed)
    out = ["# benchmark selection", "hn 0 0 420 297",
           "hs 1 2 1 1 1 1 1 1 1 1 1 1 1 1 1 1",
           "hcw 2 2.5 3 3.5 4 5 6 7 8 10", "hch 2 2.5 3 3.5 4 5 6 7 8 10",
           "hcd 0.5 0.5 0.5 0.5 1 1 1 1 1 1", "lg0", "ly1", "lt1", "lc1", "pn1"]
    while len(out) < lines:
        kind = len(out) % 3
        if kind == 0:
            words = [rnd.choice(WORDS) for _ in range(rnd.randint(2, 6))]
            if rnd.random() < 0.5:
                words.insert(rnd.randint(0, len(words)), SEARCH)
            else:
                words = [w for w in words if w != SEARCH]
            text = "".join(words) + ("" if rnd.random() < 0.7 else " A-%d" % rnd.randint(1, 999))
            dx, dy = rnd.choice([(20, 0), (0, 10), (7.07, 7.07), (-20, 0), (17.32, -10)])
            out.append('ch %.3f %.3f %g %g "%s' % (rnd.uniform(0, 400), rnd.uniform(0, 280), dx, dy, text))
        elif kind == 1:
            out.append(" %.4f %.4f %.4f %.4f" % tuple(rnd.uniform(0, 400) for _ in range(4)))
        else:
            out.append(rnd.choice(["lg0", "lg1", "lc3", "lt2", "cn3", "cn5", "# note %d" % len(out),
                                   "pt 1 2", "hp1 %d %d" % (rnd.randint(0, 99), rnd.randint(0, 99))]))
    return ("\r\n".join(out[:lines]) + "\r\n").encode("cp932")


def timed(cmd, cwd):
    """Runs cmd in cwd; returns (seconds, peak resident KiB of that process).

    posix_spawn starts the child without copying this interpreter's memory,
    so the child's peak is its own."""
    null = os.open(os.devnull, os.O_WRONLY)
    actions = [(os.POSIX_SPAWN_DUP2, null, 1), (os.POSIX_SPAWN_DUP2, null, 2)]
    here = os.getcwd()
    os.chdir(cwd)
    try:
        path = shutil.which(cmd[0]) if os.sep not in str(cmd[0]) else cmd[0]
        start = time.perf_counter()
        pid = os.posix_spawn(path, cmd, os.environ, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        elapsed = time.perf_counter() - start
    finally:
        os.chdir(here)
        os.close(null)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("command failed: %s" % cmd)
    return elapsed, usage.ru_maxrss


def measure(program, data, runs, work):
    source = os.path.join(work, "source.txt")
    with open(source, "wb") as f:
        f.write(data)
    arg = b"/Z" + SEARCH.encode("cp932")
    ours, copies, peak = [], [], 0
    for _ in range(runs):
        shutil.copyfile(source, os.path.join(work, "QXC_TEMP.TXT"))
        t, rss = timed([program, arg], work)
        ours.append(t)
        peak = max(peak, rss)
        t, _ = timed(["cp", source, os.path.join(work, "copy.txt")], work)
        copies.append(t)
    return statistics.median(ours), statistics.median(copies), peak


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("program")
    ap.add_argument("--lines", type=int, default=150000)
    ap.add_argument("--runs", type=int, default=15)
    args = ap.parse_args()
    program = os.path.abspath(args.program)
    with tempfile.TemporaryDirectory() as work:
        big = make_exchange(args.lines)
        ours, cp, peak_big = measure(program, big, args.runs, work)
        _, _, peak_small = measure(program, make_exchange(args.lines // 100), 3, work)
    print("file: %d lines, %d bytes" % (args.lines, len(big)))
    print("filter median: %.2f ms" % (ours * 1000))
    print("cp median:     %.2f ms" % (cp * 1000))
    print("ratio:         %.2f" % (ours / cp))
    print("peak memory:   %d KiB at %d lines, %d KiB at %d lines" %
          (peak_small, args.lines // 100, peak_big, args.lines))


if __name__ == "__main__":
    main()
