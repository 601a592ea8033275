"""Support of the safety tests: a realistic exchange file, runs of the
program in a directory of their own, the list of the file-changing system
calls that a run makes, and runs with a kill or a failure injected at one
of them (strace).

Environment:
  QX_PROGRAM  path of the built program (required)
  QX_FIGURES  optional file to which the tests append their figures
"""

import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import qxrun  # noqa: E402  (the e2e tests' expected outputs)

PROGRAM = os.environ.get("QX_PROGRAM", "")
STRACE = shutil.which("strace")

EXCHANGE = "QXC_TEMP.TXT"
LOWER = "qxc_temp.txt"
WORK = "QXC_TEMP.$$$"
TEMP_NAMES = ("QXC_x2x2.$$", "QXC_x2x2.$$$")

KENSAKU = "検索".encode("cp932")
SEARCH = b"/Z" + KENSAKU

CANNOT_WRITE_WORK = b"Cannot write file: QXC_TEMP.$$$ \n"
CANNOT_WRITE_EXCHANGE = b"Cannot write file: QXC_TEMP.TXT \n"

# Under ptrace the leak checker of a sanitizer build cannot run.
TRACED_ENV = {**os.environ, "ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"}


def require_program():
    if not PROGRAM:
        raise RuntimeError("QX_PROGRAM must name the program under test")


def figure(text):
    """Reports one measured figure on standard error and in QX_FIGURES."""
    print(f"\n[figure] {text}", file=sys.stderr)
    target = os.environ.get("QX_FIGURES")
    if target:
        with open(target, "a", encoding="utf-8") as out:
            out.write(text + "\n")


def realistic_records(lines=4000, seed=7):
    """A selection as the host writes it: settings, then comments, lines,
    attribute changes and text records (a quarter of them holding 検索).
    Big enough that the work file is written in several blocks. The
    drawing area ("hn") holds every text, which the expected output's
    model asks for (tests/e2e/qxrun.py)."""
    rnd = random.Random(seed)
    out = ["# selection of drawing plan-A.dwg, sheet 1 of 3, scale 1:100",
           "hn 0 0 1000 1000", "hs 1 2 1 0.5 1 1 1 1 1 1 1 1 1 1 1 1",
           "hcw 2 2.5 3 3.5 4 5 6 7 8 10", "hch 2 2.5 3 3.5 4 5 6 7 8 10",
           "hcd 0.5 0.5 0.5 0.5 1 1 1 1 1 1", "lg0", "ly1", "lt1", "lc1", "pn1", "cn3"]
    words = ["配管", "寸法", "注記", "部品表", "仕上げ", "A-102", "box", "弁", "全文", "対象", "文字"]
    while len(out) < lines:
        r = rnd.random()
        if r < 0.35:
            out.append("# " + " ".join(rnd.choice(words) for _ in range(rnd.randint(8, 30))))
        elif r < 0.65:
            x, y = rnd.uniform(0, 420), rnd.uniform(0, 297)
            out.append(f" {x:.3f} {y:.3f} {x + rnd.uniform(-50, 50):.3f} {y + rnd.uniform(-50, 50):.3f}")
        elif r < 0.70:
            out.append(rnd.choice([f"lg{rnd.randint(0, 3):x}", f"cn{rnd.randint(1, 10)}", f"lc{rnd.randint(1, 9)}"]))
        else:
            text = "".join(rnd.choice(words) for _ in range(rnd.randint(1, 4)))
            if rnd.random() < 0.25:
                cut = rnd.randint(0, len(text))
                text = text[:cut] + "検索" + text[cut:]
            dx, dy = rnd.choice([(20, 0), (0, 10), (7.07, 7.07), (-20, 0)])
            out.append(f'ch {rnd.uniform(0, 420):.3f} {rnd.uniform(0, 297):.3f} {dx} {dy} "{text}')
    return out


def realistic_exchange():
    """realistic_records() as the exchange file: Shift-JIS, CR LF."""
    return "".join(line + "\r\n" for line in realistic_records()).encode("cp932")


def expected_output():
    """What a normal run with SEARCH carries back for realistic_exchange(),
    worked out without the program (tests/e2e/qxrun.py)."""
    return qxrun.expected_output(realistic_records(), KENSAKU)


def expected_listing(args):
    """The directory after an undisturbed run over realistic_exchange()
    with `args` ([SEARCH] or ["/t3", SEARCH]), whatever the case of the
    name the host gave the exchange file: at level 0 the exchange file
    holds the output; at level 3 it stays, and the work file holds the
    output with the level's two closing lines before the closing records
    (the line count, and step 3: lines whose ends differ)."""
    out = expected_output()
    if "/t3" not in args:
        return {EXCHANGE: out}
    rows = out.split(b"\r\n")
    frame_end = max(i for i, row in enumerate(rows) if row.startswith(b" "))
    trace = [b"# ------------------ main() Korvel1 end file closing ------------------ ",
             b"#    jd_xmax= %d stepcnt= 3 " % len(realistic_records())]
    return {EXCHANGE: realistic_exchange(),
            WORK: b"\r\n".join(rows[:frame_end + 1] + trace + rows[frame_end + 1:])}


def new_dir(files):
    """A fresh directory holding `files` (name: bytes)."""
    d = Path(tempfile.mkdtemp(prefix="qx_safety_"))
    for name, data in files.items():
        (d / name).write_bytes(data)
    return d


def remove_dir(d):
    for root, dirs, _ in os.walk(d):
        os.chmod(root, 0o755)
        for sub in dirs:
            os.chmod(os.path.join(root, sub), 0o755)
    shutil.rmtree(d)


def listing(d):
    """Every entry of the directory: name to bytes (None for a directory)."""
    return {p.name: (None if p.is_dir() else p.read_bytes()) for p in d.iterdir()}


def run(d, args, prefix=(), env=None):
    """Runs the program in `d`, behind the command `prefix` if given."""
    return subprocess.run([*prefix, PROGRAM, *args], cwd=d, capture_output=True, timeout=300,
                          env=env)


def undisturbed_run(test, files, args):
    """Runs the program undisturbed on `files` and checks that it leaves
    expected_listing(args), with exit status 0 and nothing on standard
    error."""
    d = new_dir(files)
    try:
        done = run(d, args)
        test.assertEqual((done.returncode, done.stderr), (0, b""))
        test.assertEqual(listing(d), expected_listing(args), "an undisturbed run leaves other files")
    finally:
        remove_dir(d)


@dataclass(frozen=True)
class Call:
    """The nth call (from 1) of system call `name`; `path` names the file
    that it works on where strace can tell."""
    name: str
    nth: int
    path: str
    line: str

    @property
    def on_work_file(self):
        return self.path.endswith("/" + WORK) or self.path == WORK

    @property
    def carries_back(self):
        """Whether this is the rename that puts the work file in the
        exchange file's place (not the start-up's rename of a lower-case
        name)."""
        return self.name.startswith("rename") and _CARRY_BACK.search(self.line) is not None


TRACED = ("write", "pwrite64", "writev", "close", "open", "openat", "creat", "rename", "renameat",
          "renameat2", "link", "linkat", "unlink", "unlinkat", "truncate", "ftruncate", "fchmod", "flock")
_CALL = re.compile(r"^(?:\d+\s+)?(\w+)\((.*)$")
_FD_PATH = re.compile(r"^-?\d+<([^>]*)>")
_CARRY_BACK = re.compile(r'"QXC_TEMP\.\$\$\$",.*"QXC_TEMP\.TXT"')
_WRITING_FLAGS = ("O_WRONLY", "O_RDWR", "O_CREAT", "O_TRUNC")


def file_changing_calls(files, args):
    """Runs the program once under strace and lists, in order, every call
    that can change a file: every write, every open for writing, every
    close of a file in the run's directory, every rename, link and removal,
    the change of a mode, and the directory's lock."""
    d = new_dir(files)
    log = Path(tempfile.mkstemp(prefix="qx_strace_")[1])
    try:
        subprocess.run([STRACE, "-f", "-qq", "-y", "-s", "40", "-o", str(log), "-e", "trace=" + ",".join(TRACED),
                        PROGRAM, *args], cwd=d, capture_output=True, timeout=300, env=TRACED_ENV, check=True)
        seen = {}
        calls = []
        for line in log.read_text(errors="replace").splitlines():
            m = _CALL.match(line)
            if not m or m.group(1) not in TRACED:
                continue
            name, rest = m.groups()
            seen[name] = seen.get(name, 0) + 1
            fd = _FD_PATH.match(rest)
            path = fd.group(1) if fd else ""
            if name == "close":
                if not path.startswith(str(d.resolve()) + "/"):
                    continue
            elif name in ("open", "openat", "creat"):
                if name != "creat" and not any(flag in rest for flag in _WRITING_FLAGS):
                    continue
                quoted = re.search(r'"([^"]*)"', rest)
                path = quoted.group(1) if quoted else ""
            calls.append(Call(name, seen[name], path, line))
        return calls
    finally:
        remove_dir(d)
        log.unlink()


def run_injected(d, args, call, action):
    """Runs the program in `d` with `action` ("signal=SIGKILL",
    "error=ENOSPC", ...) injected into `call`."""
    return run(d, args, prefix=[STRACE, "-f", "-qq", "-o", os.devnull, "-e", "trace=" + call.name,
                                "-e", f"inject={call.name}:{action}:when={call.nth}"], env=TRACED_ENV)


def exchange_state(test, d, host_name, given, output):
    """Checks the directory after a disturbed run: besides the work file it
    holds the exchange file alone, under the upper-case name or the name the
    host gave it, and never under a temporary name; the exchange file holds
    the input complete or the complete output, and the output only under
    the upper-case name. Returns "input" or "output"."""
    names = set(listing(d))
    allowed = {EXCHANGE, WORK, host_name}
    test.assertLessEqual(names, allowed, f"unexpected files: {sorted(names - allowed)}")
    present = [n for n in {EXCHANGE, host_name} if n in names]
    test.assertEqual(len(present), 1, f"exchange file under {present}")
    content = (d / present[0]).read_bytes()
    if content == given:
        return "input"
    test.assertEqual(content, output, f"{present[0]} holds neither the input nor the output "
                                      f"({len(content)} bytes)")
    test.assertEqual(present[0], EXCHANGE, "the output is not under the upper-case name")
    return "output"
