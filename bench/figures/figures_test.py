#!/usr/bin/env python3
"""The docs' figures: small results files rendered into a small document,
the check's failures on documents, markers and files written here, the
comparison across machines, and what a record does with a machine's file."""

import json
import pathlib
import tempfile
import unittest

import figures

COUNTS = {"StackQuick": {"data": "dunmark", "work": 200, "instructions": 2930,
                         "mispredicted": 10, "d1_misses": 8}}
BASELINE = {"sorts": COUNTS}
DATA = {"context": {"cpu": "A CPU", "family": "25", "model": "17", "cores": 2,
                    "commit": "abc1234", "counts_digest": figures.counts_digest(COUNTS)},
        "counts": COUNTS,
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


def check(text, files=None, baseline=BASELINE, sources=None):
    """What the check says of a document, the docs' machine's file DATA, and
    sources written beside them."""
    with tempfile.TemporaryDirectory() as scratch:
        root = pathlib.Path(scratch)
        doc = root / "doc.md"
        doc.write_text(text)
        for name, source in (sources or {}).items():
            (root / name).write_text(source)
        return figures.check(files or {"docs-machine": DATA}, baseline, [doc], root,
                             "docs-machine")


class Figures(unittest.TestCase):
    def test_a_small_results_file_renders_into_a_document(self):
        rendered = figures.render_text(DOC, figures.Figures(DATA, BASELINE))
        self.assertEqual(rendered, RENDERED)
        self.assertEqual(check(rendered), [])

    def test_an_edit_a_marker_that_does_not_parse_or_a_broken_figure_fails(self):
        for edit, says in [
                (("4 min 22 s", "4 min 23 s"), "doc.md:1: duration programs is not"),
                (("fig machine", "fig machinery"), "doc.md:1: machinery is no figure"),
                (("<!-- fig output programs -->", "<!--fig output programs -->"),
                 "doc.md:3: a figure marker that does not parse: <!--fig output programs -->"),
                (("```\n<!-- /fig -->", "```\n"), "doc.md:3: output programs is never closed"),
                (("`abc1234`<!-- /fig -->", "`abc1234`<!-- fig machine -->"),
                 "doc.md:1: a figure opens inside machine"),
                (("fig per_unit StackQuick", "fig per_unit NoSuchSort"),
                 "doc.md:2: per_unit NoSuchSort instructions 1 failed: KeyError")]:
            with self.subTest(says):
                problems = check(figures.render_text(DOC, figures.Figures(DATA, BASELINE))
                                 .replace(*edit))
                self.assertTrue(problems and says in problems[0], problems)

    def test_work_other_than_the_baselines_fails_and_names_the_cause(self):
        rendered = figures.render_text(DOC, figures.Figures(DATA, BASELINE))
        moved = {"StackQuick": {**COUNTS["StackQuick"], "instructions": 2960}}
        for files, says in [
                ({**DATA, "counts": moved}, "its counts digest is not that of the counts"),
                ({**DATA, "counts": moved, "context": {
                    **DATA["context"], "counts_digest": figures.counts_digest(moved)}},
                 "it timed other work than the baseline's: StackQuick instructions 2,960 "
                 "against the baseline's 2,930"),
                ({**DATA, "counts": None}, "it holds no counted work")]:
            problems = check(rendered, {"docs-machine": files})
            self.assertIn(says, problems[0])
            self.assertIn(figures.MEASURE, problems[0])

    def test_a_time_typed_into_a_source_fails(self):
        typed = "(about " "17 s on the " "Intel Xeon)"  # split, or this line would be found
        problems = check("", sources={"CMakeLists.txt": f'message("{typed}")\n# in seconds\n'})
        self.assertEqual(len(problems), 1)
        self.assertIn("CMakeLists.txt:1: a time or machine typed by hand", problems[0])


def program(first, second, low, high):
    return {"sorts": ["stack quicksort", "recursive quicksort"], "first": first,
            "second": second, "difference": {"median": 0, "low": low, "high": high},
            "ratio": {"ratio": 1.5, "low": 1.4, "high": 1.6}}


def machine_file(cpu, family, commit, counts=COUNTS, cases=None):
    """A short record of a machine: its programs and sortbench cases."""
    return {"context": {"cpu": cpu, "family": family, "model": "1", "compiler": "GNU 12.2.0",
                        "date": "2026-12-10", "commit": commit,
                        "caches": {"L1d": "64 KiB (2 instances)", "L2": "2 MiB (2 instances)"},
                        "counts_digest": figures.counts_digest(counts)},
            "counts": counts,
            "programs": {"programs": {"corvel": program([4000], [7000], 1, 2),
                                      "dunmark": program([2800], [2790], -23, 12)}},
            "short_run": {"cases": cases or {}}}


MOVED = {"StackQuick": {**COUNTS["StackQuick"], "mispredicted": 80}}
MACHINES = {"zen": machine_file("AMD EPYC", "25", "aaa1111", cases={
                "ArrayBubble/CorvelData/100000": {"ms": [4000, 3900, 4100], "counters": {
                    "ns_per_exchange": 1.6}},
                "ArrayBubbleBranchless/CorvelData/100000": {"ms": [2000, 1950, 2100],
                                                            "counters": {}}}),
            "xeon-new": machine_file("Intel Xeon", "6", "bbb2222"),
            "xeon-old": machine_file("Intel Xeon", "5", "ccc3333", MOVED)}
TABLE_DOC = "<!-- fig machines_table -->\n<!-- /fig -->\n"


class AcrossMachines(unittest.TestCase):
    def setUp(self):
        self.figures = figures.Figures(MACHINES["zen"], BASELINE, MACHINES)

    def test_a_row_per_machine_in_order_and_the_stale_one_marked(self):
        rows = [line for line in self.figures.machines_table().splitlines()
                if line.startswith("| ") and "(family" in line]
        self.assertEqual([row.split(" | ")[0] for row in rows],
                         ["| AMD EPYC (family 25, model 1)", "| Intel Xeon (family 5, model 1) †",
                          "| Intel Xeon (family 6, model 1)"])
        self.assertIn("| 4000, 7000 ms | 1.50 (1.40–1.60) | 2800, 2790 ms | no difference shown |",
                      rows[0])
        self.assertIn("† Measured at its commit, before the sorts' counted work changed",
                      self.figures.machines_table())
        ratios = self.figures.machines_ratios_table().splitlines()
        self.assertIn("| 2.00 (1.86–2.10) |", ratios[2])  # the array sort over its twin
        self.assertIn("| – |", ratios[3])  # a short record without that case

    def test_only_the_docs_machine_fails_the_check_and_a_hand_edit_does(self):
        files = {**MACHINES, "docs-machine": machine_file("AMD EPYC", "26", "ddd4444")}
        rendered = figures.render_text(TABLE_DOC, figures.Figures({}, BASELINE, files))
        self.assertEqual(check(rendered, files), [])  # xeon-old is marked, not failed
        self.assertIn("is not what the results files render",
                      check(rendered.replace("2800, 2790", "2800, 2780"), files)[0])
        self.assertIn("the docs' machine", check(rendered, {**files,
                                                            "docs-machine": MACHINES["xeon-old"]})[0])

    def test_a_machine_is_named_by_its_cpu_and_a_record_replaces_its_own_file(self):
        context = {"cpu": "Intel(R) Xeon(R) Platinum 8375C CPU @ 2.90GHz", "family": "6",
                   "model": "106"}
        self.assertEqual(figures.machine_name(context), "intel-xeon-platinum-8375c-f6-m106")
        self.assertEqual(figures.machine_name({"cpu": "AMD EPYC", "family": "25",
                                               "model": "17"}), figures.DOCS_MACHINE)
        full = {"context": {"commit": "aaa", "record": "full", "compiler": "GNU"},
                "seconds": {"counts": 1}, "complete": False}
        # what is in the file, what the record is, and what it does.
        for kept, short, commit, does in [
                (None, False, "aaa", "starts"), (full, False, "aaa", "resumes"),
                ({**full, "complete": True}, False, "aaa", "starts"),
                (full, False, "bbb", "starts"), (full, True, "aaa", "refuses")]:
            with self.subTest(kept=kept, short=short, commit=commit):
                context = {"commit": commit, "record": "short" if short else "full",
                           "compiler": "GNU"}
                try:
                    data = figures.starting_data(kept, context, short)
                    found = "resumes" if data is kept else "starts"
                except SystemExit:
                    found = "refuses"
                self.assertEqual(found, does)


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
