#!/usr/bin/env python3
"""Times the filter on a large selection against copying the same file.

Generates an exchange file of N lines (about a third text records, a third
line records, a third other records; realistic Shift-JIS texts, about half
of them holding the search string), then runs the filter and `cp` of the
same file alternately, each in a fresh copy of the file, and prints both
medians, their ratio, and the filter's peak memory for a small and a large
file, measured by bench/spawn_peak.cpp (a small helper that runs each command;
a child of this interpreter would report the interpreter's own peak).

With --cpu N, the benchmark and every command it starts run on processor N
alone (as under `taskset -c N`). With several programs, each round runs
all of them and `cp` in turn, so that their medians are taken side by side.

usage: bench.py PROGRAM [PROGRAM...] [--lines N] [--runs R] [--cpu N]
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile

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


def build_helper(work):
    """Compiles spawn_peak.cpp (next to this script) into work; returns its path."""
    source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "spawn_peak.cpp")
    helper = os.path.join(work, "spawn_peak")
    for flags in (["-static"], []):
        if subprocess.run(["c++", "-O2", *flags, "-o", helper, source]).returncode == 0:
            return helper
    sys.exit("cannot build %s" % source)


def timed(helper, cmd, cwd):
    """Runs cmd in cwd through the helper; returns (seconds, peak resident KiB).

    The helper forks a small copy of itself for the command, so the peak is
    the command's own (a child of this interpreter would inherit its peak)."""
    done = subprocess.run([helper, *cmd], cwd=cwd, stdout=subprocess.PIPE)
    if done.returncode != 0:
        sys.exit("command failed: %s" % cmd)
    ns, kib = done.stdout.split()
    return int(ns) / 1e9, int(kib)


def machine(work):
    """One line naming the machine: cores, CPU model, file system of work."""
    model = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    fs = subprocess.run(["df", "--output=fstype", work], stdout=subprocess.PIPE,
                        text=True).stdout.split()[-1]
    return "%d cores, %s, %s file system" % (os.cpu_count(), model, fs)


def measure(helper, programs, data, runs, work):
    """Runs every program and cp once a round, each program on a fresh copy
    of the file; returns the programs' medians, cp's median and each
    program's peak memory."""
    source = os.path.join(work, "source.txt")
    with open(source, "wb") as f:
        f.write(data)
    arg = b"/Z" + SEARCH.encode("cp932")
    ours = [[] for _ in programs]
    peaks = [0 for _ in programs]
    copies = []
    for _ in range(runs):
        for i, program in enumerate(programs):
            shutil.copyfile(source, os.path.join(work, "QXC_TEMP.TXT"))
            t, rss = timed(helper, [program, arg], work)
            ours[i].append(t)
            peaks[i] = max(peaks[i], rss)
        t, _ = timed(helper, ["cp", source, os.path.join(work, "copy.txt")], work)
        copies.append(t)
    return [statistics.median(o) for o in ours], statistics.median(copies), peaks


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("programs", nargs="+")
    ap.add_argument("--lines", type=int, default=150000)
    ap.add_argument("--runs", type=int, default=31)
    ap.add_argument("--cpu", type=int, help="run everything on this processor alone")
    args = ap.parse_args()
    if args.cpu is not None:
        os.sched_setaffinity(0, {args.cpu})  # inherited by every command
    programs = [os.path.abspath(p) for p in args.programs]
    with tempfile.TemporaryDirectory() as work:
        helper = build_helper(work)
        big = make_exchange(args.lines)
        ours, cp, peaks_big = measure(helper, programs, big, args.runs, work)
        _, _, peaks_small = measure(helper, programs, make_exchange(args.lines // 100), 3, work)
        where = machine(work)
    print("machine: %s%s" % (where, "" if args.cpu is None else ", processor %d only" % args.cpu))
    print("file: %d lines, %d bytes; %d rounds" % (args.lines, len(big), args.runs))
    print("cp median:     %.2f ms" % (cp * 1000))
    for program, median, small, large in zip(args.programs, ours, peaks_small, peaks_big):
        print("%s: median %.2f ms, ratio %.2f, peak memory %d KiB at %d lines, %d KiB at %d lines" %
              (program, median * 1000, median / cp, small, args.lines // 100, large, args.lines))


if __name__ == "__main__":
    main()
