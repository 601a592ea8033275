"""Crash safety: the program is killed (SIGKILL) at each of its
file-changing system calls in turn, on a realistic exchange file. After
every kill the exchange file holds the input complete or the complete
output, under the upper-case name or the name the host gave it, never
under a temporary name; and a second, undisturbed run then completes. The
output is the one worked out for the input without the program
(safety_support.expected_listing).

strace kills at the entry of the call, before it takes effect; the kill at
the next call shows the state right after it, and the undisturbed run the
state after the last one."""

import unittest

from safety_support import (EXCHANGE, LOWER, SEARCH, STRACE, exchange_state, expected_listing, figure,
                            file_changing_calls, listing, new_dir, realistic_exchange, remove_dir,
                            require_program, run, run_injected, undisturbed_run)

GIVEN = realistic_exchange()


@unittest.skipUnless(STRACE, "strace is not installed")
class KillAtEveryCall(unittest.TestCase):
    tried = 0
    passed = 0

    @classmethod
    def setUpClass(cls):
        require_program()

    @classmethod
    def tearDownClass(cls):
        figure(f"kill points: {cls.tried} tried, {cls.passed} passed")

    def sweep(self, host_name, args):
        files = {host_name: GIVEN}
        expected = expected_listing(args)
        undisturbed_run(self, files, args)
        calls = file_changing_calls(files, args)
        kinds = {c.name for c in calls}
        self.assertTrue({"write", "close"} <= kinds, kinds)
        # Level 0 carries the work file back once; a test level never does.
        carry_backs = [c.line for c in calls if c.carries_back]
        self.assertEqual(len(carry_backs), 0 if "/t3" in args else 1, carry_backs)
        for call in calls:
            with self.subTest(call=call.line):
                type(self).tried += 1
                d = new_dir(files)
                try:
                    done = run_injected(d, args, call, "signal=SIGKILL")
                    self.assertIn(done.returncode, (-9, 128 + 9), "the kill point was not reached")
                    state = exchange_state(self, d, host_name, GIVEN, expected[EXCHANGE])
                    if state == "input":
                        again = run(d, args)
                        self.assertEqual(again.returncode, 0, again.stderr)
                        self.assertEqual(listing(d), expected, "the run after the kill differs")
                finally:
                    remove_dir(d)
                type(self).passed += 1
        return calls

    def test_level_0(self):
        calls = self.sweep(EXCHANGE, [SEARCH])
        self.assertTrue(any(c.on_work_file and c.name == "write" for c in calls))

    def test_level_0_lower_case_name(self):
        self.sweep(LOWER, [SEARCH])

    def test_level_3(self):
        self.sweep(EXCHANGE, ["/t3", SEARCH])

    def test_level_3_lower_case_name(self):
        self.sweep(LOWER, ["/t3", SEARCH])


if __name__ == "__main__":
    unittest.main()
