#!/usr/bin/env python3
"""The summary and the plot know the sorts only from the results: a sort
that neither script has heard of is summarised under its kind and plotted."""

import json
import tempfile
import unittest

import plot_sortbench
import summarize_sortbench


def run(name, ns_per_element, unit):
    return {"run_name": f"{name}/Random/1024/manual_time", "run_type": "iteration",
            "repetitions": 1, "per_element": ns_per_element * 1e-9, f"ns_per_{unit}": 1.0}


SORTS = [{"name": "ShellSort", "kind": "Quicksorts", "baselines": ["StdSort"],
          "unit": "comparisons"},
         {"name": "StdSort", "kind": "", "baselines": [], "unit": "comparisons"}]
RESULTS = {"context": {"cpu": "a CPU", "sorts": json.dumps(SORTS), "shapes": '["Random"]',
                       "program_data": '["DunmarkData"]'},
           "benchmarks": [run("ShellSort", 30, "comparison"), run("StdSort", 60, "comparison")]}


class UnknownSort(unittest.TestCase):
    def test_is_summarised_under_its_kind(self):
        self.assertRegex(summarize_sortbench.summary(RESULTS),
                         r"Quicksorts against StdSort:\nshape +size +ShellSort +StdSort\n"
                         r"Random +1024 +30 \(x0\.5\) +60 \(x1\)")

    def test_gets_its_own_line_in_both_plots(self):
        with tempfile.TemporaryDirectory() as scratch:
            times = "\n".join(plot_sortbench.times_script(RESULTS, scratch))
            work = "\n".join(plot_sortbench.work_script(RESULTS, scratch, {}))
        self.assertIn("lc rgb '#1f77b4' title 'ShellSort'", times)
        self.assertIn("title 'ShellSort, per comparison'", work)


if __name__ == "__main__":
    unittest.main()
