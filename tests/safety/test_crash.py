"""Crash safety: the program is killed (SIGKILL) at each of its
file-changing system calls in turn, on a realistic exchange file. After
every kill the exchange file holds the input complete or the complete
output, under the upper-case name or the name the host gave it, never
under a temporary name; and a second, undisturbed run then completes.

strace kills at the entry of the call, before it takes effect; the kill at
the next call shows the state right after it, and the undisturbed run the
state after the last one."""

import unittest

from safety_support import (EXCHANGE, LOWER, SEARCH, STRACE, WORK, clean_outcome, exchange_state, figure,
                            file_changing_calls, listing, new_dir, realistic_exchange, remove_dir,
                            require_program, run, run_injected)

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
        status, clean, _ = clean_outcome(files, args)
        self.assertEqual(status, 0)
        output = clean[EXCHANGE]
        calls = file_changing_calls(files, args)
        kinds = {c.name for c in calls}
        self.assertTrue({"write", "close"} <= kinds, kinds)
        self.assertTrue(kinds & {"rename", "renameat", "renameat2"} or args[-1] != SEARCH, kinds)
        for call in calls:
            with self.subTest(call=call.line):
                type(self).tried += 1
                d = new_dir(files)
                try:
                    done = run_injected(d, args, call, "signal=SIGKILL")
                    self.assertIn(done.returncode, (-9, 128 + 9), "the kill point was not reached")
                    state = exchange_state(self, d, host_name, GIVEN, output)
                    if state == "input":
                        again = run(d, args)
                        self.assertEqual(again.returncode, 0, again.stderr)
                        self.assertEqual(listing(d), clean, "the run after the kill differs")
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
