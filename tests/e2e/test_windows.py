"""The Windows program as the host meets it: CR LF line ends everywhere, the
names of the exchange file, the start-up's command-line splitting with
wildcard expansion, exit statuses as 32-bit process exit codes, and an
exchange file that another program holds open.

Runs only against a Windows build (QX_WINDOWS=1), natively or under wine
(QX_EMULATOR)."""

import os
import re
import subprocess
import tempfile
import unittest
from pathlib import Path

from qxrun import (DEFAULT_CLOSING, EMULATOR, EXCHANGE, HANG, WINDOWS, WORK, RunCase, circle, command,
                   lines_file, report, run, start)

HOLD_OPEN = os.environ.get("QX_HOLD_OPEN", "")

SETTINGS = ["hn 0 0 500 500"]
# Where the report of a run over SETTINGS hangs.
ANCHOR = (500, 500)


def found(search, counts, searched, records=()):
    """The output of a run over SETTINGS: the records, the report and the
    closing records."""
    return lines_file(list(records) + report(*ANCHOR, search, counts, searched)
                      + DEFAULT_CLOSING)


@unittest.skipUnless(WINDOWS, "not a Windows build (QX_WINDOWS=1)")
class JapaneseSearch(RunCase):
    """The host passes the search string in the ANSI code page (932); under
    wine a UTF-8 argument arrives as those Shift-JIS bytes."""

    def test_japanese_search_string_is_found_and_reported(self):
        given = lines_file(SETTINGS + ['ch 0 0 10 0 "全文検索', 'ch 0 9 10 0 "点検記録'])
        self.check({EXCHANGE: given}, ["/Z検索"],
                   expect={EXCHANGE: found("検索", (1, 0, 0, 1), 2, [circle(0, 0, 2.5)])})


@unittest.skipUnless(WINDOWS, "not a Windows build (QX_WINDOWS=1)")
class TextMode(RunCase):
    """Every line the program writes ends with CR LF: in the exchange file,
    in the work file, on standard output and on standard error."""

    BARE_LF = re.compile(rb"(?<!\r)\n")

    def assert_crlf_only(self, data, what):
        self.assertTrue(data.endswith(b"\r\n"), what)
        self.assertIsNone(self.BARE_LF.search(data), what)

    def test_lines_end_with_cr_lf_everywhere(self):
        # Lines as the host may write them: CR LF, LF alone, none at the end.
        given = b"# crlf\r\n# lf\nhn 0 0 500 500\r\nch 0 0 10 0 \"ab\n# last"
        got = run({EXCHANGE: given}, ["/t2", "/Zab", "/q"])
        self.assertEqual(got.status, 0)
        self.assertEqual(got.files[EXCHANGE], given)       # level 2 keeps the input
        self.assert_crlf_only(got.files[WORK], "work file")
        self.assert_crlf_only(got.stdout, "standard output")
        self.assert_crlf_only(got.stderr, "standard error")
        self.assertTrue(got.stdout.startswith(b"\r\n\r\n#### debug #### Cmd-Option read\r\n"))
        self.assertEqual(got.stderr, b"\r\n illegal Option.\r\n")

        carried = run({EXCHANGE: given}, ["/Zab"])
        self.assertEqual(carried.files[EXCHANGE],
                         lines_file(["# crlf", "# lf", circle(0, 0, 2.5), "# last"]
                                    + report(*ANCHOR, "ab", (1, 1, 0, 0), 1) + DEFAULT_CLOSING))


@unittest.skipUnless(WINDOWS, "not a Windows build (QX_WINDOWS=1)")
class ExchangeFileName(unittest.TestCase):
    """Names ignore case on Windows: the exchange file is found whatever the
    case of its letters and ends the run named exactly "QXC_TEMP.TXT". Names
    are compared as stored on disk."""

    GIVEN = lines_file(SETTINGS + ['ch 0 0 10 0 "ab'])
    OUTPUT = found("ab", (1, 1, 0, 0), 1, [circle(0, 0, 2.5)])
    LEFTOVER = b"# left over\r\n"

    CASES = [
        # (name given, other files, arguments, files afterwards as (name, is the output))
        ("Qxc_Temp.Txt", {}, ["/Zab"], [(EXCHANGE, True)]),
        ("qxc_temp.txt", {}, ["/Zab"], [(EXCHANGE, True)]),
        ("qXC_TEMP.TXt", {}, ["/Zab", "/t1"], [(EXCHANGE, False), (WORK, None)]),
        ("Qxc_Temp.Txt", {"QXC_x2x2.$$": LEFTOVER}, ["/Zab"],
         [(EXCHANGE, True), ("QXC_x2x2.$$", None)]),
        (EXCHANGE, {"QXC_x2x2.$$": LEFTOVER, "QXC_x2x2.$$$": LEFTOVER}, ["/Zab"],
         [(EXCHANGE, True), ("QXC_x2x2.$$", None), ("QXC_x2x2.$$$", None)]),
    ]

    def test_mixed_case_name_ends_upper_case(self):
        for name, others, args, after in self.CASES:
            with self.subTest(name=name, others=sorted(others), args=args):
                got = run({name: self.GIVEN, **others}, args)
                self.assertEqual(got.status, 0)
                self.assertEqual(sorted(got.files), sorted(n for n, _ in after))
                for stored, is_output in after:
                    if is_output is not None:
                        wanted = self.OUTPUT if is_output else self.GIVEN
                        self.assertEqual(got.files[stored], wanted, stored)
                    elif stored in others:
                        self.assertEqual(got.files[stored], others[stored], stored)


@unittest.skipUnless(WINDOWS, "not a Windows build (QX_WINDOWS=1)")
class Wildcards(RunCase):
    """The start-up replaces an unquoted argument with "*" or "?" by the
    names of the matching files, and leaves it as typed when none matches.
    Files whose names begin with "$" make this visible: such a name is an
    option once it stands on the command line."""

    TEXTS = ['ch 0 0 10 0 "xaby', 'ch 0 9 10 0 "q*', 'ch 0 18 10 0 "q x']

    def given(self):
        return lines_file(SETTINGS + self.TEXTS)

    def test_unquoted_wildcards_are_expanded(self):
        # "$Z?b" becomes "$Zab" (search "ab"), "$t*" becomes "$t1" (level 1:
        # the exchange file stays and the work file is kept).
        files = {EXCHANGE: self.given(), "$Zab": b"", "$t1": b""}
        got = run(files, ["$Z?b", "$t*"])
        self.assertEqual(got.status, 0)
        self.assertEqual(got.files[EXCHANGE], self.given())
        self.assertIn(WORK, got.files)
        self.assertIn(b"#----- command /M(1) /Z(Zab)\r\n", got.files[WORK])

        got = run({EXCHANGE: self.given(), "$Zab": b""}, ["$Z*"])
        self.assertEqual(got.files[EXCHANGE],
                         found("ab", (1, 0, 0, 0), 3, [circle(0, 0, 2.5)]))

    def test_wildcard_without_a_match_stays_as_typed(self):
        # No file begins with "$Zq": the search string is "q*" itself.
        self.check({EXCHANGE: self.given(), "$Zab": b""}, ["$Zq*"],
                   expect={EXCHANGE: found("q*", (1, 1, 0, 0), 3, [circle(0, 9, 2.5)]),
                           "$Zab": b""})


@unittest.skipUnless(WINDOWS, "not a Windows build (QX_WINDOWS=1)")
class ExitStatus(RunCase):
    """Exit statuses as the host gets them: 0, 1, and -1, a process exit code
    with all 32 bits set (under wine only its low byte arrives: 255)."""

    def test_exit_statuses(self):
        small = lines_file(SETTINGS)
        over = lines_file(["pt 1 2"] * 150001)
        cases = [
            # (files, exit status, files afterwards)
            ({EXCHANGE: small}, 0, {EXCHANGE: found("", (0, 0, 0, 0), 0)}),
            ({EXCHANGE: over}, 1,
             {EXCHANGE: over, WORK: lines_file(["he  要素数オーバー    MAX=150000"])}),
            ({}, -1, {}),
        ]
        for files, code, after in cases:
            with self.subTest(code=code):
                stderr = "Cannot open file: QXC_TEMP.TXT \n" if code == -1 else ""
                got = self.check(files, ["/Z"], code=code, stderr=stderr, expect=after)
                seen = {0: 0, 1: 1, -1: 255 if EMULATOR else 0xFFFFFFFF}[code]
                self.assertEqual(got.status, seen)


@unittest.skipUnless(WINDOWS and HOLD_OPEN, "not a Windows build with its hold_open helper")
class HeldOpen(unittest.TestCase):
    """Another program holds the exchange file open, so that the rename that
    puts the output in its place fails. It is tried again for about two
    seconds; then, where the holder lets others write, the output is copied
    over the exchange file in place; where not, or where the holder locks a
    range of the file (Windows refuses writes there, so a copy could stop
    part way; wine does not), it stays whole in the work file, the exchange
    file untouched, with the message and exit status 1."""

    GIVEN = lines_file(SETTINGS + ['ch 0 0 10 0 "ab'] + ["pt 1 2"] * 50)  # longer than the output
    OUTPUT = found("ab", (1, 1, 0, 0), 1, [circle(0, 0, 2.5)])

    def test_output_reaches_the_host_where_the_holder_allows_writing(self):
        for sharing, copied in (("rw", True), ("rwd", True), ("r", False), ("rwl", False)):
            with self.subTest(sharing=sharing), tempfile.TemporaryDirectory(prefix="qx_held_") as d:
                Path(d, EXCHANGE).write_bytes(self.GIVEN)
                holder = subprocess.Popen([*EMULATOR, HOLD_OPEN, EXCHANGE, sharing], cwd=d,
                                          stdin=subprocess.PIPE, stdout=subprocess.PIPE)
                try:
                    self.assertEqual(holder.stdout.readline().strip(), b"ready")
                    done = subprocess.run(command(["/Zab"]), cwd=d, capture_output=True, timeout=HANG)
                finally:
                    holder.stdin.close()
                    holder.wait(timeout=60)
                    holder.stdout.close()
                files = {p.name: p.read_bytes() for p in Path(d).iterdir()}
                if copied:
                    self.assertEqual((done.returncode, done.stderr), (0, b""))
                    self.assertEqual(files, {EXCHANGE: self.OUTPUT})
                else:
                    self.assertEqual((done.returncode, done.stderr), (1, b"Cannot write file: QXC_TEMP.TXT \r\n"))
                    self.assertEqual(files, {EXCHANGE: self.GIVEN, WORK: self.OUTPUT})


@unittest.skipUnless(WINDOWS, "not a Windows build (QX_WINDOWS=1)")
class RunsTakeTurns(unittest.TestCase):
    """Two runs started at once in one folder, with different search
    strings: one waits for the other (a named mutex per folder), so the
    result is the second run's over the first one's output."""

    GIVEN = lines_file(SETTINGS + ['ch 0 0 10 0 "ab', 'ch 0 9 10 0 "cd'])

    def run_in(self, d, search):
        return start(d, ["/Z" + search])

    def outcome(self, first, second):
        with tempfile.TemporaryDirectory(prefix="qx_turns_") as d:
            Path(d, EXCHANGE).write_bytes(self.GIVEN)
            for search in (first, second):
                run = self.run_in(d, search)
                run.communicate(timeout=60)
                self.assertEqual(run.returncode, 0)
            return Path(d, EXCHANGE).read_bytes()

    def test_runs_started_at_once_take_turns(self):
        one_after_other = {self.outcome("ab", "cd"), self.outcome("cd", "ab")}
        self.assertNotIn(self.GIVEN, one_after_other)  # the runs did run
        for attempt in range(3):
            with tempfile.TemporaryDirectory(prefix="qx_turns_") as d:
                Path(d, EXCHANGE).write_bytes(self.GIVEN)
                runs = [self.run_in(d, "ab"), self.run_in(d, "cd")]
                for r in runs:
                    r.communicate(timeout=60)
                self.assertEqual([r.returncode for r in runs], [0, 0], attempt)
                self.assertIn(Path(d, EXCHANGE).read_bytes(), one_after_other, attempt)
                self.assertEqual(sorted(p.name for p in Path(d).iterdir()), [EXCHANGE], attempt)


@unittest.skipUnless(WINDOWS and HOLD_OPEN, "not a Windows build with its hold_open helper")
class RunLockPerFolder(unittest.TestCase):
    """Every folder has a run lock of its own, whatever characters and length
    its path has, however the path is spelt. hold_open --run-lock takes a
    folder's lock with the program's own code and keeps it; a second taker
    finds it "busy"."""

    def take(self, d):
        holder = subprocess.Popen([*EMULATOR, HOLD_OPEN, "--run-lock"], cwd=d, stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE)
        self.addCleanup(lambda: (holder.stdin.close(), holder.wait(timeout=60), holder.stdout.close()))
        return holder.stdout.readline().strip()

    def test_one_lock_per_folder(self):
        with tempfile.TemporaryDirectory(prefix="qx_lock_") as base:
            # ヂ and ア are 83 61 and 83 41 in Shift-JIS, the same bytes but
            # for a letter's case: a run in one goes on while the other is
            # held (before, it waited 30 s and ended with -1).
            Path(base, "ヂ").mkdir()
            Path(base, "ア").mkdir()
            self.assertEqual(self.take(Path(base, "ヂ")), b"ready")
            Path(base, "ア", EXCHANGE).write_bytes(lines_file(SETTINGS + ['ch 0 0 10 0 "ab']))
            done = subprocess.run(command(["/Zab"]), cwd=Path(base, "ア"), capture_output=True, timeout=HANG)
            self.assertEqual((done.returncode, done.stderr), (0, b""))
            self.assertEqual(Path(base, "ア", EXCHANGE).read_bytes(),
                             found("ab", (1, 1, 0, 0), 1, [circle(0, 0, 2.5)]))
            # One folder reached by two paths (a link) has one lock: it is
            # named after the folder's identity, not a spelling of its path.
            os.symlink("ヂ", Path(base, "link"))
            self.assertEqual(self.take(Path(base, "link")), b"busy")
            # Paths of 245 characters, and of about 160 Japanese ones (over
            # 300 bytes in the ANSI code page), are locked too (before, the
            # lock's name grew with the path and such folders ran unlocked).
            for parts in (["d" * (244 - len("Z:" + base))], ["表" * 70, "ソ" * 70]):
                d = Path(base, *parts)
                d.mkdir(parents=True)
                self.assertEqual(self.take(d), b"ready", parts)
                self.assertEqual(self.take(d), b"busy", parts)

if __name__ == "__main__":
    unittest.main()
