"""Runs the search filter on an exchange file in a fresh directory and
compares everything the run leaves behind: every file of the directory (by
name and bytes), standard output, standard error and the exit status.

Environment:
  QX_PROGRAM   path of the built program (required)
  QX_EMULATOR  optional command prefix placed before the program (split
               with shlex), e.g. the wine wrapper for a Windows build
  QX_WINDOWS=1 the program is a Windows build: its console lines end with
               CR LF and Japanese arguments are handed over as UTF-8, which
               the emulator turns into Shift-JIS
  QX_X86_32=1  the program is a 32-bit x86 build: its C library's sin, cos
               and atan2 may differ from this one's in the last bit, which
               can change the last printed digit of a circle's centre, so
               circle records are compared by their numbers there
"""

import math
import os
import shlex
import subprocess
import tempfile
import unittest
from pathlib import Path

PROGRAM = os.environ.get("QX_PROGRAM", "")
EMULATOR = shlex.split(os.environ.get("QX_EMULATOR", ""))
WINDOWS = os.environ.get("QX_WINDOWS") == "1"
X86_32 = os.environ.get("QX_X86_32") == "1"
# Under the emulator a rename that changes only the case of a name keeps the
# host's name on disk, so names are compared regardless of case there.
CASE_BLIND = WINDOWS and bool(EMULATOR)

EXCHANGE = "QXC_TEMP.TXT"
WORK = "QXC_TEMP.$$$"

# The closing attribute records of an input without attribute records.
DEFAULT_CLOSING = ["lg14", "ly14", "lt20", "lc20"]


def sj(text):
    """Text as the program reads and writes it: Shift-JIS bytes."""
    return text if isinstance(text, bytes) else text.encode("cp932")


def lines_file(lines, end=b"\r\n"):
    """A file of Shift-JIS lines, each ending with `end` (CR LF by default)."""
    return b"".join(sj(line) + end for line in lines)


def arg(text):
    """A command-line argument. Natively the program gets the Shift-JIS
    bytes; under the emulator it gets UTF-8, which the emulator converts."""
    if isinstance(text, bytes):
        return text
    if WINDOWS:
        return text.encode("utf-8") if EMULATOR else text
    return text.encode("cp932")


def console(text):
    """Expected console output: Shift-JIS, with CR LF line ends on Windows."""
    data = sj(text)
    return data.replace(b"\n", b"\r\n") if WINDOWS else data


def status(code):
    """The exit status as the run reports it: the low byte of the process's
    exit code natively and through the emulator (-1 arrives as 255), the
    whole 32-bit code when a Windows build runs without one."""
    if WINDOWS and not EMULATOR:
        return code & 0xFFFFFFFF
    return code & 0xFF


def f9(value):
    return format(value, ".9f")


def f12(value):
    return format(value, ".12f")


def circle(x, y, r):
    """The circle record that marks a match."""
    return f"ci {f12(x)} {f12(y)} {f12(r)} "


def centre(x, y, dx, dy, f_head, w, h, d, scale=1.0):
    """Centre of the circle around the first matched byte `f_head` of a
    text at (x, y) running along (dx, dy), with character width, height and
    spacing w, h, d and the group scale."""
    a = ((w + d) * (f_head + 1)) * scale * 0.5
    across = 0.5 * h * scale
    theta = 0.0 if dx == 0 and dy == 0 else math.atan2(dy, dx)
    return (x + a * math.cos(theta) - across * math.sin(theta),
            y + a * math.sin(theta) + across * math.cos(theta))


def report(ax, ay, search=b"", counts=(0, 0, 0, 0), searched=0,
           scale=1.0, w2=0.0, d2=0.0):
    """The result report block hung at the anchor (ax, ay): text size 2,
    seven text records each followed by an empty line, line type 1, colour 4
    and the seven lines of the frame. counts = (match, exact, prefix, suffix)."""
    match, exact, prefix, suffix = counts
    step = 5 * scale
    texts = [
        sj("^!■■■ 検索結果 ■■■"),
        sj("検索文字：[ ") + sj(search) + sj(" ]"),
        sj(f"一致した数：＜ {match} ＞  ／検索文字列数：＜ {searched} ＞"),
        sj(f"　うち完全一致：＜{exact}＞"),
        sj(f"　うち前方一致：＜{prefix}＞"),
        sj(f"　うち後方一致：＜{suffix}＞"),
        sj("注：一文字列の中の最初の一致のみカウントしてます "),
    ]
    out = ["cn2 "]
    for k, text in enumerate(texts, start=2):
        out += [sj(f'ch {f9(ax + 2 * step)} {f9(ay - k * step)} 3 0 "') + text, ""]
    out += ["lt1 ", "lc4 "]
    left, right, bottom = ax + step, ((w2 + d2) * 31) * scale + ax, ay - 9.5 * step
    frame = [
        (left, ay, right, ay),
        (right, ay, right, bottom),
        (right, bottom, left, bottom),
        (left, bottom, left, ay - 2.5 * step),
        (left, ay - 2.5 * step, ax, ay - 2 * step),
        (ax, ay - 2 * step, left, ay - 1.5 * step),
        (left, ay - 1.5 * step, left, ay),
    ]
    out += [" " + "".join(f12(v) + " " for v in edge) for edge in frame]
    return out


class Run:
    def __init__(self, files, stdout, stderr, returncode):
        self.files, self.stdout, self.stderr, self.status = files, stdout, stderr, returncode


def run(files, args=()):
    """Runs the program in a fresh directory holding `files` (name: bytes)."""
    if not PROGRAM:
        raise RuntimeError("QX_PROGRAM must name the program under test")
    with tempfile.TemporaryDirectory(prefix="qx_e2e_") as tmp:
        for name, data in files.items():
            Path(tmp, name).write_bytes(data)
        done = subprocess.run([*EMULATOR, PROGRAM, *(arg(a) for a in args)],
                              cwd=tmp, capture_output=True, timeout=120)
        found = {p.name: p.read_bytes() for p in Path(tmp).iterdir()}
    return Run(found, done.stdout, done.stderr, done.returncode)


def _lines(data):
    """Bytes split after each LF, for a readable difference."""
    return data.split(b"\n")


def _same_circle(got, wanted):
    """Whether two lines are circle records ("ci x y r ", the same fields
    and line end) whose numbers agree within 1e-9 of the larger one."""
    got, wanted = got.split(b" "), wanted.split(b" ")
    if (len(got) != len(wanted) or len(got) < 3 or got[0] != b"ci" or wanted[0] != b"ci"
            or got[-1] != wanted[-1]):
        return False
    for a, b in zip(got[1:-1], wanted[1:-1]):
        if a == b:
            continue
        try:
            a, b = float(a), float(b)
        except ValueError:
            return False
        if not abs(a - b) <= 1e-9 * max(abs(a), abs(b)):
            return False
    return True


def _near_circles(got, wanted):
    """The lines `got`, where a circle record close to the one at the same
    place in `wanted` (_same_circle) is taken as that one."""
    return [w if g != w and _same_circle(g, w) else g
            for g, w in zip(got, wanted)] + got[len(wanted):]


def _readable(outcome):
    """The outcome with Shift-JIS lines decoded, for the failure message."""
    return {key: [line.decode("cp932", "backslashreplace") for line in value]
            if isinstance(value, list) and value and isinstance(value[0], bytes) else value
            for key, value in outcome.items()}


class RunCase(unittest.TestCase):
    maxDiff = None

    def check(self, files, args=(), *, expect, stdout="", stderr="", code=0):
        """Runs the program and compares the whole outcome with `expect`
        (name: bytes of every file afterwards), the console texts and the
        exit code."""
        got = run(files, args)
        if CASE_BLIND:
            got.files = {name.upper(): data for name, data in got.files.items()}
            expect = {name.upper(): data for name, data in expect.items()}
        actual = {"status": got.status,
                  "stderr": _lines(got.stderr),
                  "stdout": _lines(got.stdout),
                  "files": sorted(got.files)}
        wanted = {"status": status(code),
                  "stderr": _lines(console(stderr)),
                  "stdout": _lines(console(stdout)),
                  "files": sorted(expect)}
        for name in sorted(set(got.files) | set(expect)):
            actual["file " + name] = _lines(got.files.get(name, b""))
            wanted["file " + name] = _lines(expect.get(name, b""))
            if X86_32:
                actual["file " + name] = _near_circles(actual["file " + name],
                                                       wanted["file " + name])
        if actual != wanted:
            # Show the difference as text first; the bytes decide.
            self.assertEqual(_readable(actual), _readable(wanted))
            self.assertEqual(actual, wanted)
        return got
