#!/usr/bin/env python3
"""The docs' figures: a small results file rendered into a small document,
and the check's failures on documents and baselines written here."""

import pathlib
import tempfile
import unittest

import figures

BASELINE = {"sorts": {"StackQuick": {"data": "dunmark", "work": 200, "instructions": 2930}}}
DATA = {"context": {"cpu": "A CPU", "family": "25", "model": "17", "cores": 2,
                    "commit": "abc1234", "counts_digest": figures.counts_digest(BASELINE)},
        "seconds": {"programs": 262, "full_run": 2390},
        "programs": {"output": ["corvel, 10 runs:", "  verdict: the list was slower"]}}

DOC = """On <!-- fig machine -->?<!-- /fig -->, in <!-- fig duration programs -->?<!-- /fig -->
and <!-- fig duration full_run -->?<!-- /fig -->, at <!-- fig per_unit StackQuick instructions 1 -->?<!-- /fig --> each:
<!-- fig output programs -->
<!-- /fig -->
"""
RENDERED = """On <!-- fig machine -->an `A CPU` as `lscpu` names it (family 25, model 17, \
2 cores, shared), at commit `abc1234`<!-- /fig -->, in <!-- fig duration programs -->4 min 22 s\
<!-- /fig -->
and <!-- fig duration full_run -->40 min<!-- /fig -->, at \
<!-- fig per_unit StackQuick instructions 1 -->14.7<!-- /fig --> each:
<!-- fig output programs -->
```
corvel, 10 runs:
  verdict: the list was slower
```
<!-- /fig -->
"""


class Figures(unittest.TestCase):
    def check(self, text, baseline=BASELINE):
        with tempfile.TemporaryDirectory() as scratch:
            doc = pathlib.Path(scratch) / "doc.md"
            doc.write_text(text)
            return figures.check(DATA, baseline, [doc])

    def test_a_small_results_file_renders_into_a_document(self):
        rendered = figures.render_text(DOC, figures.Figures(DATA, BASELINE))
        self.assertEqual(rendered, RENDERED)
        self.assertEqual(self.check(rendered), [])

    def test_a_figure_edited_by_hand_or_unknown_fails(self):
        for edit, says in [(("4 min 22 s", "4 min 23 s"), "doc.md:1: duration programs is not"),
                           (("fig machine", "fig machinery"), "doc.md:1: machinery is no figure")]:
            problems = self.check(RENDERED.replace(*edit))
            self.assertIn(says, problems[0])
            self.assertIn(figures.RENDER, problems[-1])

    def test_counts_that_moved_since_the_times_were_measured_fail(self):
        moved = {"sorts": {"StackQuick": {**BASELINE["sorts"]["StackQuick"],
                                          "instructions": 2931}}}
        problems = self.check(figures.render_text(DOC, figures.Figures(DATA, BASELINE)), moved)
        self.assertIn(figures.MEASURE, problems[0])


def aggregate(case, statistic, ms):
    return {"run_name": f"{case}/manual_time", "aggregate_name": statistic, "real_time": ms,
            "per_element": ms / 1e6, "iterations": 5, "pivot_comparisons": 7.0}


class FullRun(unittest.TestCase):
    def test_keeps_each_case_on_random_input_and_the_programs_data(self):
        results = {"context": {"sorts": "[]", "shapes": '["Random", "Descending"]',
                               "program_data": '["DunmarkData"]'},
                   "benchmarks": [aggregate("Q/Random/8", "max", 4), aggregate("Q/Random/8",
                                  "median", 2), aggregate("Q/Random/8", "min", 1),
                                  aggregate("Q/Descending/8", "median", 9),
                                  aggregate("Q/DunmarkData/9", "median", 3)]}
        cases = figures.reduced(results)["cases"]
        self.assertEqual(sorted(cases), ["Q/DunmarkData/9", "Q/Random/8"])
        self.assertEqual(cases["Q/Random/8"]["ms"], [2, 1, 4])
        self.assertEqual(cases["Q/Random/8"]["counters"], {"pivot_comparisons": 7.0})


if __name__ == "__main__":
    unittest.main()
