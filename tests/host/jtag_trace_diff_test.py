#!/usr/bin/env python3
"""The trace diff script's verdicts: PACE lines not compared, the card chosen by its place, and the
explanation of each kind of first difference.

usage: jtag_trace_diff_test.py JTAG_TRACE_DIFF_SCRIPT
"""
import contextlib
import importlib.util
import io
import os
import sys
import tempfile
import unittest

DIFF = None  # the script, loaded as a module: no interpreter start per case
GOOD = """03:00.0 WAIT Test-Logic-Reset 12
03:00.0 IR 6 tdi=09 tdo=25 path=1 2 9 10 11 12 15
03:00.0 DR 32 tdi=00000000 tdo=0A740093 path=1 2 3 4 5 8
03:00.0 IR 6 tdi=0B tdo=25 path=1 2 9 10 11 12 15
03:00.0 WAIT Run-Test/Idle 999
03:00.0 DR 8 tdi=A5 tdo=3C path=2 3 4 5 8
"""


class TraceDiff(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="ovn-trace-diff.")

    def tearDown(self):
        self.dir.cleanup()

    def run_diff(self, expected, actual, *options):
        paths = []
        for name, text in (("expected.txt", expected), ("actual.txt", actual)):
            path = os.path.join(self.dir.name, name)
            with open(path, "w", newline="") as f:
                f.write(text)
            paths.append(path)
        said = io.StringIO()
        with contextlib.redirect_stdout(said), contextlib.redirect_stderr(said):
            rc = DIFF.main([*options, *paths])
        return rc, said.getvalue()

    def expect(self, actual, code, words, *options, expected=GOOD):
        rc, said = self.run_diff(expected, actual, *options)
        self.assertEqual(rc, code, said)
        self.assertIn(words, said)

    def test_pacing_and_place_are_not_compared(self):
        card = GOOD.replace("03:00.0", "01:00.0")
        card = "01:00.0 PACE delay=40 writes/s=181000\r\n" + card.replace("\n", "\r\n")
        self.expect(card, 0, "traces equal: 4 scans and 2 waits compared")
        self.expect(card, 0, "pacing (not compared)")

    def test_a_trace_of_several_cards_needs_the_card_named(self):
        two = GOOD + GOOD.replace("03:00.0", "04:00.0").replace("tdo=0A740093", "tdo=00000000")
        self.expect(two, 2, "2 cards (03:00.0, 04:00.0)")
        self.expect(two, 0, "traces equal", "--card-b", "03:00.0")
        self.expect(two, 1, "TDO differs in IDCODE scan", "--card-b", "04:00.0")
        self.expect(two, 1, "TDO reads all 0", "--card-b", "04:00.0")

    def test_each_difference_is_explained(self):
        self.expect(GOOD.replace("IR 6 tdi=0B", "IR 7 tdi=0B"), 1,
                    "length differs (6 against 7 bits): chain length")
        self.expect(GOOD.replace("path=2 3 4 5 8", "path=2 3 4 5 6 7 8"), 1,
                    "path differs: the TAP walked other states -- TAP/pins")
        self.expect(GOOD.replace("tdo=3C", "tdo=3D"), 1, "scan 4")
        self.expect(GOOD.replace("tdo=3C", "tdo=3D"), 1, "TDO differs (expected 3C, read 3D)")
        self.expect(GOOD.replace("Run-Test/Idle 999", "Run-Test/Idle 998"), 1,
                    "the wait after scan 3")
        self.expect("\n".join(GOOD.splitlines()[:3]) + "\n", 1, "actual.txt ends after scan 2")

    def test_a_file_that_is_no_trace(self):
        self.expect("hello\n", 2, "not a trace line")
        rc, said = self.run_diff(GOOD, GOOD, "--what")
        self.assertEqual(rc, 2, said)


if __name__ == "__main__":
    spec = importlib.util.spec_from_file_location("jtag_trace_diff", sys.argv.pop(1))
    DIFF = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(DIFF)
    unittest.main(verbosity=2)
