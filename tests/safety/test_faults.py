"""Fault injection: every file-changing system call of a run fails in turn
(a write with ENOSPC and with EIO, a close with EIO, an open for writing,
a rename, a link and a removal with EACCES, the mode copy with EPERM, the
directory's lock as held by another run and as unsupported), and the file
system is made hostile (read-only exchange file or directory, a directory
in the exchange file's place, leftovers of an interrupted run).

Every run either completes with the right output (worked out for the
input without the program: safety_support.expected_listing), or ends with a
non-zero exit status, a message on standard error that names the file, and
the exchange file holding the input complete under its name. A failed write or
close of the work file and a failed carry back end with exit status 1 and
"Cannot write file: %s \\n", the work file kept."""

import os
import re
import shutil
import tempfile
import unittest
from pathlib import Path

from safety_support import (CANNOT_WRITE_EXCHANGE, CANNOT_WRITE_WORK, EXCHANGE, LOWER, SEARCH, STRACE,
                            TEMP_NAMES, WORK, exchange_state, expected_listing, figure, file_changing_calls,
                            listing, new_dir, realistic_exchange, remove_dir, require_program, run,
                            run_injected, undisturbed_run)

GIVEN = realistic_exchange()
NAMES_A_FILE = re.compile(rb"QXC_TEMP\.(TXT|\$\$\$)")

# The failures injected into each kind of call.
FAULTS = {
    "write": ["error=ENOSPC", "error=EIO"],
    "pwrite64": ["error=ENOSPC", "error=EIO"],
    "writev": ["error=ENOSPC", "error=EIO"],
    "close": ["error=EIO"],
    "open": ["error=EACCES"],
    "openat": ["error=EACCES"],
    "creat": ["error=EACCES"],
    "rename": ["error=EACCES"],
    "renameat": ["error=EACCES"],
    "renameat2": ["error=EACCES"],
    "link": ["error=EACCES"],
    "linkat": ["error=EACCES"],
    "unlink": ["error=EACCES"],
    "unlinkat": ["error=EACCES"],
    "truncate": ["error=EIO"],
    "ftruncate": ["error=EIO"],
    "fchmod": ["error=EPERM"],
    "flock": ["error=EAGAIN", "error=ENOLCK"],
}


@unittest.skipUnless(STRACE, "strace is not installed")
class FailEveryCall(unittest.TestCase):
    tried = 0
    passed = 0

    @classmethod
    def setUpClass(cls):
        require_program()

    @classmethod
    def tearDownClass(cls):
        figure(f"fault points: {cls.tried} tried, {cls.passed} passed")

    def check_failed_run(self, d, done, call, host_name, expected):
        """A run that ended with a failure: the message, the exit status
        and the files that it leaves."""
        self.assertRegex(done.stderr, NAMES_A_FILE, "the message names no file")
        self.assertEqual(exchange_state(self, d, host_name, GIVEN, expected[EXCHANGE]), "input")
        last_work_close = call.name == "close" and call.on_work_file and call.nth == self.last_work_close
        if (call.name.startswith("write") and call.on_work_file) or last_work_close:
            self.assertEqual((done.returncode, done.stderr), (1, CANNOT_WRITE_WORK))
            self.assertIn(WORK, listing(d))
        if call.carries_back:
            self.assertEqual((done.returncode, done.stderr), (1, CANNOT_WRITE_EXCHANGE))
            self.assertEqual(listing(d)[WORK], expected[EXCHANGE], "the work file is not kept whole")
        again = run(d, self.args)
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertEqual(listing(d), expected, "the run after the failure differs")

    def sweep(self, host_name, args):
        self.args = args
        files = {host_name: GIVEN}
        expected = expected_listing(args)
        undisturbed_run(self, files, args)
        calls = file_changing_calls(files, args)
        # Level 0 carries the work file back once; a test level never does.
        self.assertEqual(sum(c.carries_back for c in calls), 0 if "/t3" in args else 1)
        work_closes = [c.nth for c in calls if c.name == "close" and c.on_work_file]
        self.last_work_close = max(work_closes)
        for call in calls:
            for action in FAULTS[call.name]:
                with self.subTest(call=call.line, action=action):
                    type(self).tried += 1
                    d = new_dir(files)
                    try:
                        done = run_injected(d, args, call, action)
                        if done.returncode == 0:
                            self.assertEqual(done.stderr, b"")
                            self.assertEqual(listing(d), expected, "completed with other files")
                        else:
                            self.check_failed_run(d, done, call, host_name, expected)
                    finally:
                        remove_dir(d)
                    type(self).passed += 1

    def test_level_0(self):
        self.sweep(EXCHANGE, [SEARCH])

    def test_level_0_lower_case_name(self):
        self.sweep(LOWER, [SEARCH])

    def test_level_3(self):
        self.sweep(EXCHANGE, ["/t3", SEARCH])

    def test_level_3_lower_case_name(self):
        self.sweep(LOWER, ["/t3", SEARCH])


NOBODY = 65534


def unprivileged_prefix():
    """The command prefix that runs the program without the right to
    override permissions, or None where that cannot be had."""
    if os.geteuid() != 0:
        return []
    setpriv = shutil.which("setpriv")
    if setpriv:
        return [setpriv, f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups"]
    return None


class HostileDirectory(unittest.TestCase):
    """Permissions, a directory in the exchange file's place, leftovers."""

    @classmethod
    def setUpClass(cls):
        require_program()
        cls.prefix = unprivileged_prefix()
        if cls.prefix:
            # A copy of the program that the unprivileged user can run.
            cls.bin = Path(tempfile.mkdtemp(prefix="qx_bin_"))
            os.chmod(cls.bin, 0o755)
            cls.program = cls.bin / "qxsearch"
            shutil.copy2(os.environ["QX_PROGRAM"], cls.program)
            figure("permission cases: run as uid 65534 through setpriv")
        elif cls.prefix == []:
            figure("permission cases: run as the current (unprivileged) user")

    @classmethod
    def tearDownClass(cls):
        if getattr(cls, "bin", None):
            shutil.rmtree(cls.bin)

    def run_unprivileged(self, d, args):
        import subprocess
        program = str(self.program) if self.prefix else os.environ["QX_PROGRAM"]
        return subprocess.run([*self.prefix, program, *args], cwd=d, capture_output=True, timeout=120)

    def expect_clean_failure(self, d, done, host_name, given, message):
        self.assertNotEqual(done.returncode, 0)
        self.assertEqual(done.stderr, message)
        self.assertEqual((d / host_name).read_bytes(), given)
        self.assertLessEqual(set(listing(d)), {host_name, WORK})

    def test_read_only_directory(self):
        if self.prefix is None:
            self.skipTest("no way to run without the right to override permissions")
        for host_name, message in [(EXCHANGE, b"Cannot open file: QXC_TEMP.$$$ \n"),
                                   (LOWER, b"Cannot open file: QXC_TEMP.TXT \n")]:
            for args in ([SEARCH], ["/t3", SEARCH]):
                with self.subTest(host_name=host_name, args=args):
                    d = new_dir({host_name: GIVEN})
                    try:
                        os.chmod(d / host_name, 0o644)
                        os.chmod(d, 0o555)
                        done = self.run_unprivileged(d, args)
                        self.assertEqual(done.returncode & 0xFF, 0xFF)  # -1
                        self.expect_clean_failure(d, done, host_name, GIVEN, message)
                    finally:
                        remove_dir(d)

    def test_read_only_exchange_file(self):
        """A read-only exchange file in a writable directory is replaced by
        the output like any other (its mode kept), as the host's own
        user: its name changes with the directory, not with the file."""
        if self.prefix is None:
            self.skipTest("no way to run without the right to override permissions")
        for host_name in (EXCHANGE, LOWER):
            with self.subTest(host_name=host_name):
                d = new_dir({host_name: GIVEN})
                try:
                    os.chmod(d / host_name, 0o444)
                    if self.prefix:
                        os.chown(d, NOBODY, NOBODY)
                        os.chown(d / host_name, NOBODY, NOBODY)
                    done = self.run_unprivileged(d, [SEARCH])
                    self.assertEqual((done.returncode, done.stderr), (0, b""))
                    self.assertEqual(listing(d), expected_listing([SEARCH]))
                    self.assertEqual(os.stat(d / EXCHANGE).st_mode & 0o777, 0o444)
                finally:
                    remove_dir(d)

    def test_directory_in_the_exchange_files_place(self):
        for host_name in (EXCHANGE, LOWER):
            for args in ([SEARCH], ["/t3", SEARCH]):
                with self.subTest(host_name=host_name, args=args):
                    d = new_dir({})
                    try:
                        (d / host_name).mkdir()
                        (d / host_name / "inside").write_bytes(GIVEN)
                        done = run(d, args)
                        self.assertNotEqual(done.returncode, 0)
                        self.assertRegex(done.stderr, rb"^Cannot (open|read) file: QXC_TEMP\.TXT \n$")
                        names = set(listing(d))
                        self.assertLessEqual(names, {EXCHANGE, LOWER, WORK})
                        folder = [n for n in (EXCHANGE, LOWER) if n in names]
                        self.assertEqual(len(folder), 1)
                        self.assertEqual(listing(d / folder[0]), {"inside": GIVEN})
                    finally:
                        remove_dir(d)

    LEFTOVERS = {TEMP_NAMES[0]: b"ch 0 0 1 0 \"leftover one\r\n", TEMP_NAMES[1]: b"# leftover two\r\n",
                 WORK: b"# an interrupted run's work file\r\n"}

    def test_leftovers_of_an_interrupted_run(self):
        for host_name in (EXCHANGE, LOWER):
            for args in ([SEARCH], ["/t3", SEARCH]):
                with self.subTest(host_name=host_name, args=args):
                    d = new_dir({host_name: GIVEN, **self.LEFTOVERS})
                    try:
                        done = run(d, args)
                        self.assertEqual((done.returncode, done.stderr), (0, b""))
                        after = listing(d)
                        for name in TEMP_NAMES:
                            self.assertEqual(after.pop(name), self.LEFTOVERS[name])
                        self.assertEqual(after, expected_listing(args))
                    finally:
                        remove_dir(d)

    def test_leftovers_without_exchange_file(self):
        for leftovers in ({n: self.LEFTOVERS[n] for n in TEMP_NAMES}, self.LEFTOVERS):
            with self.subTest(names=sorted(leftovers)):
                d = new_dir(leftovers)
                try:
                    done = run(d, [SEARCH])
                    self.assertEqual(done.returncode & 0xFF, 0xFF)
                    self.assertEqual(done.stderr, b"Cannot open file: QXC_TEMP.TXT \n")
                    self.assertEqual(listing(d), leftovers)
                finally:
                    remove_dir(d)


if __name__ == "__main__":
    unittest.main()
