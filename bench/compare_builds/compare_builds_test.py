#!/usr/bin/python3
"""compare_builds.py: the verdict on paired times, and --commits end to end on
a repository whose programs are stand-ins that report at once."""

import os
import pathlib
import json
import shutil
import subprocess
import sys
import tempfile
import unittest

from compare_builds import FAILED, NO_SPREAD, Change, change, describe, too_slow

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "figures"))
import figures  # noqa: E402

# before and after, a pair per round; the ratio and its interval, rounded; the word.
CASES = [([100, 100, 100], [100, 100, 100], (1.0, 1.0, 1.0), NO_SPREAD),
         ([100, 200, 300], [200, 400, 600], (2.0, 2.0, 2.0), NO_SPREAD),
         ([200, 400, 600], [100, 210, 290], (0.5, 0.45, 0.56), "faster"),
         ([100, 100, 100], [90, 110, 100], (1.0, 0.78, 1.28), "no change"),
         ([100, 102, 98], [110, 113, 107], (1.1, 1.08, 1.12), "slower")]


class Verdict(unittest.TestCase):
    def test_paired_times(self):
        for before, after, interval, word in CASES:
            found = change(before, after)
            self.assertEqual((tuple(round(x, 2) for x in (found.ratio, found.low, found.high)),
                              found.word), (interval, word), (before, after))
        self.assertIsNone(change([0, 1], [1, 1]))  # 0 ms: no ratio

    def test_fail_slower_needs_the_whole_interval_above_its_limit(self):
        changes = {"at the limit": Change(1.06, 1.05, 1.07, "slower"),
                   "above": Change(1.06, 1.051, 1.07, "slower"),
                   "across 1": Change(2.0, 0.9, 3.0, "no change"), "0 ms": None,
                   "every round x1.06": Change(1.06, 1.06, 1.06, NO_SPREAD),
                   "every round x1.04": Change(1.04, 1.04, 1.04, NO_SPREAD)}
        self.assertEqual(too_slow(changes, 5), ["above", "every round x1.06"])

    def test_what_line_4_shows_over_the_runs(self):
        # first times, second times, the verdict's start.
        for first, second, says in [
                ([200] * 10, [100] * 9 + [200], "the stack quicksort was slower in 9 of 10 "
                                                "runs, tied in 1: 100 ms"),
                ([100, 101, 99, 100], [150, 152, 149, 151], "the recursive quicksort was "
                                                            "slower in 4 of 4 runs: 50 ms"),
                ([100, 100, 100], [103, 103, 103], f"{NO_SPREAD}: the difference was 3 ms "
                                                   "in every run but 0"),
                ([100, 120, 90], [110, 100, 95], "no difference shown: the interval")]:
            lines, difference = describe("dunmark", first, second)
            self.assertIn(f"verdict: {says}", lines[-1])
            self.assertEqual(difference["positive"] + difference["negative"]
                             + difference["ties"], len(first))


# Each commit sets how long the stand-ins' second sort takes.
PROJECT = """cmake_minimum_required(VERSION 3.25)
project(stand_ins NONE)
set(SECOND_MS {})
foreach(program corvel dunmark)
  configure_file(stand_in_report.sh.in ${{program}}/${{program}} @ONLY)
  add_custom_target(${{program}})
endforeach()
"""


class Commits(unittest.TestCase):
    def setUp(self):
        self.repo = pathlib.Path(tempfile.mkdtemp())
        self.addCleanup(shutil.rmtree, self.repo)
        shutil.copy(HERE / "stand_in_report.sh.in", self.repo)
        (self.repo / ".gitignore").write_text("/build/\n")
        (self.repo / "CMakePresets.json").write_text(
            '{"version": 6, "configurePresets": [{"name": "release", "generator": "Ninja", '
            '"binaryDir": "${sourceDir}/build/${presetName}"}]}')
        self.git("init", "-q")
        for text in (PROJECT.format(1100), PROJECT.format(2200)):
            self.commit(text)

    def git(self, *args):
        env = {**os.environ, "GIT_AUTHOR_NAME": "t", "GIT_AUTHOR_EMAIL": "t@localhost",
               "GIT_COMMITTER_NAME": "t", "GIT_COMMITTER_EMAIL": "t@localhost"}
        return subprocess.run(["git", *args], cwd=self.repo, env=env, check=True,
                              capture_output=True, text=True).stdout.strip()

    def commit(self, text):
        (self.repo / "CMakeLists.txt").write_text(text)
        self.git("add", "-A")
        self.git("commit", "-qm", "next")

    def compare(self, *args, cwd=None):
        return subprocess.run([str(HERE / "compare_builds.py"), "--runs", "3", *args],
                              cwd=cwd or self.repo, capture_output=True, text=True)

    def test_slower_commits_and_edits_and_a_commit_against_itself(self):
        run = self.compare("--commits", "HEAD~1,HEAD", "--fail-slower", "5")
        self.assertEqual(run.returncode, 1, run.stderr)
        self.assertRegex(run.stdout, r"list bubble sort: 1\d{3} -> 2\d{3} ms, x[12]\.\d+ .*: "
                                     r"slower(.|\n)*slower by more than 5%: corvel list bubble "
                                     r"sort .*, dunmark recursive quicksort")
        self.assertEqual(self.git("status", "--porcelain"), "")
        self.assertTrue((self.repo / "build/commits" / self.git("rev-parse", "--short", "HEAD")
                         / "build").is_dir())
        same = self.compare("--commits", "HEAD,HEAD", "--fail-slower", "5")
        self.assertEqual(same.returncode, 0, same.stderr)
        self.assertNotIn("checking out", same.stderr)  # the build folder is reused
        (self.repo / "CMakeLists.txt").write_text(PROJECT.format(4400))
        self.assertRegex(self.compare("--commits", "HEAD").stdout,
                         r"\(HEAD\) -> the working tree\n(.|\n)*recursive quicksort: "
                         r"2\d{3} -> 4\d{3} ms, .*: slower")

    def test_its_json_feeds_every_figure_that_reads_it(self):
        """The contract with figures.py, in seconds rather than after a record."""
        found = {}
        for step, args in [("slowdown", ["--commits", "HEAD~1,HEAD", "--fail-slower", "5"]),
                           ("programs", ["--build-dir", str(self.repo / "build/commits" / self.git(
                               "rev-parse", "--short", "HEAD") / "build")])]:
            out = self.repo / "build" / f"{step}.json"
            run = self.compare(*args, "--json", str(out))
            self.assertIn(run.returncode, (0, 1), run.stderr)
            found[step] = json.loads(out.read_text())
        data = {"context": {"cpu": "A CPU", "family": "1", "model": "2", "compiler": "GNU",
                            "date": "2026-12-10", "commit": "abc1234",
                            "caches": {"L1d": "32 KiB", "L2": "1 MiB"}},
                "candidates": found["slowdown"], **found}
        rendered = figures.Figures(data, {"sorts": {}}, {"a-machine": data})
        for call in ["sample_reports", "output programs", "verdict corvel", "run_spread",
                     "outside_sorts dunmark", "wall_and_memory", "run_table", "output slowdown",
                     "candidates_table", "compared_ratio slowdown dunmark_recursive_quicksort",
                     "machines_table", "machines_ratios_table"]:
            with self.subTest(call):
                self.assertTrue(rendered.render(call))

    def test_the_sides_take_turns_at_running_first(self):
        run = self.compare("--commits", "HEAD~1,HEAD", "--programs", "corvel")
        self.assertEqual(run.returncode, 0, run.stderr)
        order = [line.split(": ", 1)[1].split()[0] for line in run.stderr.splitlines()
                 if line.startswith("run ")]
        head, base = self.git("rev-parse", "--short", "HEAD"), self.git("rev-parse",
                                                                        "--short", "HEAD~1")
        self.assertEqual(order, [base, head, head, base, base, head])

    def test_options_that_do_not_go_together_are_refused(self):
        for args in (["--commits", "HEAD~1,HEAD,HEAD"], ["--fail-slower", "5"],
                     ["--commits", "HEAD", "--build-dir", "build"]):
            run = self.compare(*args)
            self.assertEqual((run.returncode, run.stdout), (FAILED, ""), args)
            self.assertIn("error:", run.stderr)

    def test_what_cannot_run_says_why_before_any_result(self):
        self.commit('message(FATAL_ERROR "broken on purpose")')
        head = self.git("rev-parse", "--short", "HEAD")
        for args, cwd, says in [
                (["--commits", "no-such-commit"], None, "no commit 'no-such-commit'"),
                (["--commits", "HEAD~1,HEAD"], None, f"build of {head} \\(HEAD\\) failed; its last "
                                                     "lines:\n(.|\n)*broken on purpose"),
                (["--commits", "HEAD"], "/", "/ is not in a git working tree")]:
            run = self.compare(*args, cwd=cwd)
            self.assertEqual((run.returncode, run.stdout), (FAILED, ""))
            self.assertRegex(run.stderr, says)


if __name__ == "__main__":
    unittest.main()
