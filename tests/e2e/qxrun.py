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


# The longest a run may take before it counts as hung, in seconds.
HANG = 120


def command(args=()):
    """The command line that starts the program under test with `args`:
    behind the emulator where the stage has one. Every test starts the
    program through this, run() or start()."""
    if not PROGRAM:
        raise RuntimeError("QX_PROGRAM must name the program under test")
    return [*EMULATOR, PROGRAM, *(arg(a) for a in args)]


def start(directory, args=(), **popen):
    """Starts the program in `directory` and returns the process; `popen`
    goes to subprocess.Popen (by default both outputs are captured)."""
    popen.setdefault("stdout", subprocess.PIPE)
    popen.setdefault("stderr", subprocess.PIPE)
    return subprocess.Popen(command(args), cwd=directory, **popen)


def run(files, args=()):
    """Runs the program in a fresh directory holding `files` (name: bytes)."""
    cmd = command(args)
    with tempfile.TemporaryDirectory(prefix="qx_e2e_") as tmp:
        for name, data in files.items():
            Path(tmp, name).write_bytes(data)
        done = subprocess.run(cmd, cwd=tmp, capture_output=True, timeout=HANG)
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


def _capture(first, value):
    """The first value of an attribute: a first value of 20 leaves it open."""
    return value if first == 20 else first


def expected_output(records, search):
    """The output a normal run with "/Z" + `search` carries back for the
    exchange file `records` (its lines, without line ends), worked out here
    from the rules of the format rather than by the program. It knows these
    records only, and raises ValueError on any other:
      "#..." and "bz..."          copied
      " x1 y1 x2 y2"              a line: dropped
      "hn x1 y1 x2 y2"            the report's corner
      "hs s0 .. s15"              group scales
      "hcw", "hch", "hcd" v1 ..   sizes 1 to 10: width, height, spacing
      "lgX", "lyX", "ltN", "lcN", "pnX", "cnN", "cn0 w h d c"
                                  attributes; the first of each kind closes
                                  the output
      'ch x y dx dy "text'        a text of whole Shift-JIS characters, at
                                  most 231 bytes
    A text that does not match must lie inside the "hn" corner, so that the
    report's place does not depend on where its search stopped."""
    search = sj(search)
    widths, heights, spacings = [0.0] * 11, [0.0] * 11, [0.0] * 11
    scales = [1.0] * 16
    size, group = 1, 0
    corner = [0.0, 0.0, 0.0, 0.0]
    first = {"lg": 20, "ly": 20, "lt": 20, "lc": 20, "pn": 20, "cn": 20}
    free_first = None
    out, unmatched_reach = [], []
    most_x = most_y = 0.0
    match = exact = prefix = suffix = searched = 0
    for record in records:
        line = sj(record)
        head = line[:2]
        if line[:1] == b"#" or head == b"bz":
            out.append(line)
        elif line[:1] == b" ":
            [float(v) for v in line.split()]
        elif head == b"hn":
            corner = [float(v) for v in line[2:].split()]
        elif head == b"hs":
            values = [float(v) for v in line[3:].split()]
            scales[:len(values)] = values
        elif line[:3] in (b"hcw", b"hch", b"hcd"):
            table = {b"w": widths, b"h": heights, b"d": spacings}[line[2:3]]
            values = [float(v) for v in line[4:].split()]
            table[1:1 + len(values)] = values
        elif head in (b"lg", b"ly", b"pn"):
            value = int(line[2:], 16)
            first[head.decode()] = _capture(first[head.decode()], value)
            if head == b"lg":
                group = value
        elif head in (b"lt", b"lc"):
            first[head.decode()] = _capture(first[head.decode()], int(line[2:]))
        elif line.startswith(b"cn0 "):
            w, h, d, c = line[4:].split()
            size, widths[0], heights[0], spacings[0] = 0, float(w), float(h), float(d)
            if first["cn"] == 20:
                first["cn"], free_first = 0, (float(w), float(h), float(d), int(c))
        elif head == b"cn":
            size = int(line[2:])
            first["cn"] = _capture(first["cn"], size)
        elif line.startswith(b"ch "):
            fields, text = line[3:].split(b'"', 1)
            x, y, dx, dy = (float(v) for v in fields.split())
            if len(text) > 231:
                raise ValueError("a text over 231 bytes")
            if not (0 <= group <= 15 and 0 <= size <= 10):
                raise ValueError("a group or size without a table entry")
            scale, w, h, d = scales[group], widths[size], heights[size], spacings[size]
            searched += 1
            at = text.decode("cp932").find(search.decode("cp932")) if search else -1
            if at < 0:
                # Wherever its search stopped, the text's reach stays below this.
                reach = abs(w + d) * (len(text) + 1) * abs(scale) * 0.5 + abs(h * scale)
                unmatched_reach.append((x + reach + abs(dx), y + reach + abs(dy)))
                continue
            f_head = len(text.decode("cp932")[:at].encode("cp932"))
            match += 1
            if text == search:
                exact += 1
            elif f_head == 0:
                prefix += 1
            elif f_head + len(search) == len(text):
                suffix += 1
            xc, yc = centre(x, y, dx, dy, f_head, w, h, d, scale)
            out.append(circle(xc, yc, 2.5 * scale))
            most_x, most_y = max(most_x, xc + dx), max(most_y, yc + dy)
        else:
            raise ValueError(f"a record the model does not know: {line[:20]!r}")
    ax, ay = max(corner[2], corner[0], most_x), max(corner[3], corner[1], most_y)
    if any(rx > ax or ry > ay for rx, ry in unmatched_reach):
        raise ValueError("a text that does not match reaches beyond the report's corner")
    out += report(ax, ay, search, (match, exact, prefix, suffix), searched,
                  scale=scales[group] if 0 <= group <= 15 else 1.0, w2=widths[2], d2=spacings[2])
    if free_first and free_first[0] > 0:
        out.append("cn0 {:.2f}, {:.2f}, {:.2f}, {}".format(*free_first))
    if first["cn"] != 0 and first["cn"] <= 10:
        out.append(f"cn{first['cn']}")
    out += [f"lg{first['lg'] & 0xFFFFFFFF:x}", f"ly{first['ly'] & 0xFFFFFFFF:x}",
            f"lt{first['lt']}", f"lc{first['lc']}"]
    if first["pn"] <= 9:
        out.append(f"pn{first['pn']}")
    return lines_file(out)
