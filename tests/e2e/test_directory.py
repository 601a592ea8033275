"""What other programs and users leave in the directory: nothing but the
exchange file and the work file ever changes, whatever stands under their
names, and no run hangs on it. Also: a stale lower-case exchange file, a
missing standard stream, the exchange file's permission bits, and runs
started at once in one directory, which take turns.

POSIX file-system cases; they do not run against a Windows build."""

import fcntl
import os
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from qxrun import (DEFAULT_CLOSING, EXCHANGE, HANG, WINDOWS, WORK, circle, command, lines_file,
                   report, start)

GIVEN = lines_file(["# selection", 'ch 1 2 10 0 "ab', 'ch 3 4 10 0 "cd'])
OTHER = b"# another program's file\r\n"


def output(search):
    """What a normal run over GIVEN carries back."""
    hit = {"ab": [circle(1, 2, 2.5)], "cd": [circle(3, 4, 2.5)]}[search]
    return lines_file(["# selection"] + hit + report(13, 4, search, (1, 1, 0, 0), 2) + DEFAULT_CLOSING)


def finish(proc):
    out, err = proc.communicate(timeout=HANG)
    return proc.returncode, out, err


@unittest.skipIf(WINDOWS, "POSIX file-system cases")
class Directory(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="qx_dir_"))

    def tearDown(self):
        subprocess.run(["rm", "-rf", str(self.dir)], check=True)

    def run_here(self, args):
        return finish(start(self.dir, args))

    def files(self):
        return {p.name: (p.read_bytes() if p.is_file() and not p.is_symlink() else os.readlink(p)
                         if p.is_symlink() else "special") for p in self.dir.iterdir()}

    def test_leftover_work_file_is_never_written_through(self):
        """A leftover work file, a link or a hard link of either file, or a
        FIFO: the link goes, never its target."""
        cases = {
            "link to another file": lambda: os.symlink("other.txt", self.dir / WORK),
            "link to the exchange file": lambda: os.symlink(EXCHANGE, self.dir / WORK),
            "hard link of another file": lambda: os.link(self.dir / "other.txt", self.dir / WORK),
            "hard link of the exchange file": lambda: os.link(self.dir / EXCHANGE, self.dir / WORK),
            "dangling link": lambda: os.symlink("nowhere.txt", self.dir / WORK),
            "FIFO": lambda: os.mkfifo(self.dir / WORK),
        }
        for label, make in cases.items():
            for level in ([], ["/t1"]):
                with self.subTest(label, level=level):
                    for p in self.dir.iterdir():
                        p.unlink()
                    (self.dir / EXCHANGE).write_bytes(GIVEN)
                    (self.dir / "other.txt").write_bytes(OTHER)
                    make()
                    status, _, err = self.run_here(["/Zab", *level])
                    self.assertEqual((status, err), (0, b""))
                    files = self.files()
                    self.assertEqual(files.pop("other.txt"), OTHER)
                    self.assertFalse((self.dir / EXCHANGE).is_symlink())
                    if level:
                        self.assertEqual(files.pop(EXCHANGE), GIVEN)
                        self.assertTrue(files.pop(WORK).startswith(b"# selection\r\n# CHR_PRO"))
                    else:
                        self.assertEqual(files.pop(EXCHANGE), output("ab"))
                    self.assertEqual(files, {})

    def test_work_file_name_taken_by_a_directory(self):
        (self.dir / EXCHANGE).write_bytes(GIVEN)
        (self.dir / WORK).mkdir()
        status, out, err = self.run_here(["/Zab"])
        self.assertEqual((status, out, err), (255, b"", b"Cannot open file: QXC_TEMP.$$$ \n"))
        self.assertEqual((self.dir / EXCHANGE).read_bytes(), GIVEN)
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()), sorted([EXCHANGE, WORK]))

    def test_stale_lower_case_file_never_replaces_the_exchange_file(self):
        stale = lines_file(["# stale", 'ch 0 0 10 0 "ab'])
        for level in ([], ["/t1"]):
            with self.subTest(level=level):
                for p in self.dir.iterdir():
                    p.unlink()
                (self.dir / EXCHANGE).write_bytes(GIVEN)
                (self.dir / "qxc_temp.txt").write_bytes(stale)
                status, _, err = self.run_here(["/Zcd", *level])
                self.assertEqual((status, err), (0, b""))
                files = self.files()
                self.assertEqual(files.pop("qxc_temp.txt"), stale)
                self.assertEqual(files.pop(EXCHANGE), GIVEN if level else output("cd"))
                self.assertEqual(sorted(files), [WORK] if level else [])

    def test_only_regular_exchange_files_are_read(self):
        """A FIFO or a device is refused, as a file that cannot be opened
        (a run that waited for a writer, or read /dev/zero, would hang).
        A 4 GiB regular file: DriverTest.HugeLineIsReadOnlyToTheLimit."""
        os.mkfifo(self.dir / EXCHANGE)
        status, out, err = self.run_here(["/Zab"])
        self.assertEqual((status, out, err), (255, b"", b"Cannot open file: QXC_TEMP.TXT \n"))
        (self.dir / EXCHANGE).unlink()
        os.symlink("/dev/zero", self.dir / EXCHANGE)
        status, out, err = self.run_here(["/Zab"])
        self.assertEqual((status, out, err), (255, b"", b"Cannot open file: QXC_TEMP.TXT \n"))
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()), [EXCHANGE])

    def test_closed_standard_streams_are_no_files_of_the_run(self):
        """Started without standard output (or without all three streams),
        the program writes no console trace into its work file."""
        # Long enough that the traces fill the console's buffer many times.
        (self.dir / EXCHANGE).write_bytes(GIVEN + lines_file(["pt 1 2"] * 3000))
        for closing in ("1>&-", "0<&- 1>&- 2>&-"):
            with self.subTest(closing=closing):
                done = subprocess.run(["/bin/sh", "-c", f'exec "$@" {closing}', "sh",
                                       *command(["/Zab", "/t5"])],
                                      cwd=self.dir, capture_output=True, timeout=HANG)
                self.assertEqual(done.returncode, 0)
                # Level 5 traces to the console only: the work file holds
                # what a normal run carries back.
                self.assertEqual((self.dir / WORK).read_bytes(), output("ab"))

    def test_permission_bits_are_kept(self):
        for mode in (0o640, 0o600, 0o444):
            with self.subTest(mode=oct(mode)):
                (self.dir / EXCHANGE).write_bytes(GIVEN)
                os.chmod(self.dir / EXCHANGE, mode)
                status, _, err = self.run_here(["/Zab"])
                self.assertEqual((status, err), (0, b""))
                self.assertEqual((self.dir / EXCHANGE).read_bytes(), output("ab"))
                self.assertEqual(os.stat(self.dir / EXCHANGE).st_mode & 0o777, mode)
                os.chmod(self.dir / EXCHANGE, 0o644)

    def test_runs_started_at_once_take_turns(self):
        """Two runs with different search strings: the result is one run's
        over the other's output, whichever came first."""
        one_after_other = {self.second_over(output("ab"), "cd"), self.second_over(output("cd"), "ab")}
        for attempt in range(10):
            (self.dir / EXCHANGE).write_bytes(GIVEN)
            procs = [start(self.dir, ["/Zab"]), start(self.dir, ["/Zcd"])]
            self.assertEqual([finish(p)[0] for p in procs], [0, 0], attempt)
            self.assertIn((self.dir / EXCHANGE).read_bytes(), one_after_other, attempt)
            self.assertEqual(sorted(p.name for p in self.dir.iterdir()), [EXCHANGE], attempt)

    def second_over(self, first, search):
        """What a run for `search` makes of `first`, run alone."""
        d = Path(tempfile.mkdtemp(prefix="qx_dir_"))
        try:
            (d / EXCHANGE).write_bytes(first)
            self.assertEqual(finish(start(d, ["/Z" + search]))[0], 0)
            return (d / EXCHANGE).read_bytes()
        finally:
            subprocess.run(["rm", "-rf", str(d)], check=True)

    def test_a_run_waits_for_the_run_that_holds_the_directory(self):
        (self.dir / EXCHANGE).write_bytes(GIVEN)
        holder = os.open(self.dir, os.O_RDONLY)
        try:
            fcntl.flock(holder, fcntl.LOCK_EX)
            proc = start(self.dir, ["/Zab"])
            time.sleep(0.5)
            self.assertIsNone(proc.poll(), "the run did not wait")
            self.assertEqual((self.dir / EXCHANGE).read_bytes(), GIVEN)
            fcntl.flock(holder, fcntl.LOCK_UN)
            self.assertEqual(finish(proc), (0, b"", b""))
        finally:
            os.close(holder)
        self.assertEqual((self.dir / EXCHANGE).read_bytes(), output("ab"))


if __name__ == "__main__":
    unittest.main()
