#!/usr/bin/env python3
"""When the work-counts check compares, skips or fails: each kind of build, in and out of CI."""

import contextlib
import io
import unittest

import work_counts

BASELINE = {"build": "GNU 12.2.0, Release: -O2 -DNDEBUG, corvel LTO ON",
            "valgrind": "valgrind-3.19.0 --tool=callgrind --branch-sim=yes"}


def counted(**changes):
    return {**BASELINE, **changes}


# name, what counted (None: no Valgrind), the build the baseline records,
# the verdict outside CI and in CI, and what the line must name.
CASES = [
    ("the same build", counted(), True, "compare", "compare", ""),
    ("another GCC", counted(build="GNU 12.3.0, Release: -O2 -DNDEBUG, corvel LTO ON"),
     True, "skip", "fail", "compiler 'GNU 12.3.0'"),
    ("other flags", counted(build="GNU 12.2.0, Release: -O1 -DNDEBUG, corvel LTO ON"),
     True, "skip", "fail", "flags 'Release: -O1 -DNDEBUG'"),
    ("no link-time optimisation", counted(build="GNU 12.2.0, Release: -O2 -DNDEBUG, corvel LTO OFF"),
     True, "skip", "fail", "link-time optimisation 'corvel LTO OFF'"),
    ("another Valgrind", counted(valgrind="valgrind-3.20.0 --tool=callgrind --branch-sim=yes"),
     True, "skip", "fail", "Valgrind 'valgrind-3.20.0'"),
    ("no Valgrind", None, True, "skip", "fail", "Valgrind is not installed"),
    ("Clang with libc++", counted(build="Clang 14.0.6, Release: -stdlib=libc++ -O2 -DNDEBUG, corvel LTO ON"),
     False, "skip", "skip", "compiler 'Clang 14.0.6'"),
    ("no Valgrind, Clang", None, False, "skip", "skip", "Valgrind is not installed"),
]


class Verdict(unittest.TestCase):
    def test_each_build_in_and_out_of_ci(self):
        for name, result, baseline_build, outside, inside, names in CASES:
            for ci, expected in ((False, outside), (True, inside)):
                with self.subTest(name, ci=ci):
                    action, line = work_counts.verdict(result, BASELINE, baseline_build, ci)
                    self.assertEqual(action, expected)
                    self.assertIn(names, line)
                    # A changed build that fails says how to put it right.
                    self.assertEqual(action == "fail" and result is not None,
                                     work_counts.RECORD_COMMAND in line)



def sort(instructions, mispredicted=100, d1_misses=100):
    return {"instructions": instructions, "mispredicted": mispredicted, "d1_misses": d1_misses}


class Compare(unittest.TestCase):
    """Counts within 1% of the baseline pass; more, or a sort gone, fail."""

    def test_the_tolerance_edge_and_a_vanished_sort(self):
        baseline = {"sorts": {"A": sort(1000), "B": sort(1000)}}
        for counted, within in [({"A": sort(1010), "B": sort(990)}, True),
                                ({"A": sort(1011), "B": sort(1000)}, False),
                                ({"A": sort(1000), "B": sort(1000, d1_misses=102)}, False),
                                ({"A": sort(1000)}, False),
                                ({"A": sort(1000), "B": sort(1000), "C": sort(1)}, False)]:
            with self.subTest(counted), contextlib.redirect_stdout(io.StringIO()) as out:
                self.assertEqual(work_counts.compare({"sorts": counted}, baseline), within,
                                 out.getvalue())
        with contextlib.redirect_stdout(io.StringIO()) as out:
            work_counts.compare({"sorts": {"A": sort(1000)}}, baseline)
        self.assertIn("B: FAILED, in the baseline but no longer counted", out.getvalue())


if __name__ == "__main__":
    unittest.main()
